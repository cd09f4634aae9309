// CFileDialog: the platform's file-open (or save) dialog.
//
// The filter is given in the class library's form, "Text(*.x)|*.x||"; the
// dialog turns the bars into the NULs the platform wants. The initial folder
// is held as a string of its own, so it is never cut to a fixed buffer.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <array>
#include <string>

#include "framework/CString.h"
#include "framework/Path.h"

class CWnd;

class CFileDialog {
public:
    // The file-name buffer holds a full path of kLongestPath characters and
    // the NUL.
    static constexpr int kFileNameBufferSize = kLongestPath + 1;

    CFileDialog(BOOL openFileDialog, const char* defaultExtension = nullptr, const char* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose a file, IDCANCEL otherwise.
    INT_PTR DoModal();
    // The chosen file's full path.
    CString GetPathName() const { return CString(m_fileName.data()); }

    // The folder the dialog opens in when no file name is given.
    void SetInitialFolder(const CString& folder);
    const CString& GetInitialFolder() const { return m_initialFolder; }
    // The filter as the platform gets it (NUL-separated, double NUL at the end).
    const std::string& GetPlatformFilter() const { return m_filter; }

    // The platform's record, for anything not covered above.
    OPENFILENAMEA m_ofn;

private:
    BOOL m_bOpenFileDialog;
    CWnd* m_pParentWnd;
    std::array<char, kFileNameBufferSize> m_fileName{};
    std::string m_filter;
    CString m_defaultExtension;
    CString m_initialFolder;
};
