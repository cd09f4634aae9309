#include "framework/FileDialog.h"

#include "framework/WinApp.h"
#include "framework/Wnd.h"

#include <algorithm>
#include <cstring>

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                         const char* filter, CWnd* parent)
    : m_ofn(), m_bOpenFileDialog(openFileDialog), m_pParentWnd(parent)
{
    if (fileName) {
        // A longer name than the buffer holds is cut, never overrun.
        const size_t length = std::min(std::strlen(fileName), m_fileName.size() - 1);
        std::memcpy(m_fileName.data(), fileName, length);
        m_fileName[length] = '\0';
    }
    if (filter) {
        m_filter = filter;
        for (char& c : m_filter) {
            if (c == '|')
                c = '\0';
        }
        m_filter.push_back('\0'); // the list ends with an empty string even if "||" was left out
    }
    if (defaultExtension)
        m_defaultExtension = defaultExtension;

    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.Flags = flags | OFN_EXPLORER;
}

void CFileDialog::SetInitialFolder(const CString& folder)
{
    m_initialFolder = folder;
}

INT_PTR CFileDialog::DoModal()
{
    HWND owner = HwndOf(m_pParentWnd);
    if (!owner)
        owner = HwndOf(AfxGetMainWnd());
    m_ofn.hwndOwner = owner;
    m_ofn.hInstance = AfxGetInstanceHandle();
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.lpstrFile = m_fileName.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_fileName.size());
    m_ofn.lpstrDefExt = m_defaultExtension.IsEmpty() ? nullptr : m_defaultExtension.GetString();
    m_ofn.lpstrInitialDir = m_initialFolder.IsEmpty() ? nullptr : m_initialFolder.GetString();

    const BOOL ok = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    return ok ? IDOK : IDCANCEL;
}
