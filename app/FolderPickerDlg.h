// The folder picker: the shell's folder browser, taken over once its window
// exists so that it can be adjusted like one of our own dialogs (caption,
// initial selection, icon, button texts, no context help), returning the
// chosen folder as a file-system path.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include "framework/CString.h"
#include "framework/Dialog.h"

class CFolderPickerDlg : public CDialog {
public:
    // flags: the browser's BIF_* flags; caption may be null (the browser's own).
    CFolderPickerDlg(CWnd* parent, const char* caption, UINT flags);

    // Runs the browser. title and initialFolder replace the stored ones when
    // not null; root is handed to the browser as is (null: the desktop).
    // 1: the user chose a folder that has a file-system path (GetPath);
    // 0: cancelled, or the chosen item is no file-system folder.
    virtual int Browse(const char* title, const char* initialFolder, LPCITEMIDLIST root);
    // While the browser is open: select a folder, set the status text, enable
    // or disable OK.
    virtual void SetSelection(LPCITEMIDLIST item);
    virtual void SetSelection(const char* path);
    virtual void SetStatusText(const char* text);
    virtual void OnSelChanged(LPCITEMIDLIST item);
    // The user typed a name the browser cannot resolve: non-zero keeps it open.
    virtual int OnValidateFailed(const char* name);
    virtual void EnableOK(BOOL enable);

    const CString& GetPath() const { return m_strPath; }

protected:
    BOOL OnInitDialog() override;
    // The browser's buttons belong to the browser.
    void OnOK() override { Default(); }
    void OnCancel() override { Default(); }
    void OnContextMenu(HWND window, POINT screenPoint);

    DECLARE_MESSAGE_MAP()

    BROWSEINFOA m_bi = {};
    CString m_strPath;          // the chosen folder
    CString m_strInitialFolder; // empty: the browser's own choice
    CString m_strTitle;         // above the folder tree
    CString m_strCaption;       // empty: the browser's own caption
    CString m_strOkText;        // empty: unchanged
    CString m_strCancelText;    // empty: unchanged
    HICON m_hIcon = nullptr;    // null: unchanged
    int m_bInitialized = 0;     // 1 while the browser is set up and shown
    int m_bKeepContextHelp = 0; // 0: no question-mark button, no client-area menu

private:
    static int CALLBACK BrowseCallbackProc(HWND hWnd, UINT message, LPARAM lParam, LPARAM data);
};
