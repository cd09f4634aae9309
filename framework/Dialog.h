// CDialog: a dialog from a template, run modally by our own loop.
//
// DoModal creates the dialog modelessly, disables its owner and runs a loop
// that offers every message to PreTranslateMessage (dialog keyboard
// navigation by default) before dispatching it. A dialog constructed without
// a parent is owned by the application's main window.
#pragma once

#include <windows.h>

#include "framework/Wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
    {
    }

    BOOL m_bSaveAndValidate; // true: controls to members; false: members to controls
    CWnd* m_pDlgWnd;
};

// Binds control to the dialog's child id, once, so that its class receives the
// child's messages.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr);
    ~CDialog() override;

    // IDOK, IDCANCEL or the value given to EndDialog; -1 when the dialog
    // could not be created.
    virtual INT_PTR DoModal();
    // Ends the modal loop with result; the window goes when DoModal returns.
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Dialog keyboard navigation (IsDialogMessage).
    BOOL PreTranslateMessage(MSG* msg) override;

    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The owner the dialog gets: the parent, else the main window.
    HWND GetOwnerForModal() const;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    void RunModalLoop();

    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
};
