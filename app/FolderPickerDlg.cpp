#include "app/FolderPickerDlg.h"

#include "app/ComApartment.h"

#include <memory>

namespace {

struct CoTaskMemDeleter {
    void operator()(ITEMIDLIST* item) const { ::CoTaskMemFree(item); }
};
using ItemListPtr = std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter>;

// The file-system path of an item, or false. Some shells hand virtual folders
// (printers, control panel) back as "::{guid}" parsing names; those are not
// paths either.
bool PathFromItemList(LPCITEMIDLIST item, CString& path)
{
    char buffer[MAX_PATH] = {};
    if (!::SHGetPathFromIDListA(item, buffer))
        return false;
    if (buffer[0] == '\0' || (buffer[0] == ':' && buffer[1] == ':'))
        return false;
    path = buffer;
    return true;
}

} // namespace

BEGIN_MESSAGE_MAP(CFolderPickerDlg, CDialog)
ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

CFolderPickerDlg::CFolderPickerDlg(CWnd* parent, const char* caption, UINT flags)
    : CDialog(0, parent), m_strCaption(caption)
{
    m_bi.ulFlags = flags;
}

int CFolderPickerDlg::Browse(const char* title, const char* initialFolder, LPCITEMIDLIST root)
{
    if (title)
        m_strTitle = title;
    if (initialFolder)
        m_strInitialFolder = initialFolder;
    m_strPath.Empty();

    m_bi.hwndOwner = HwndOf(m_pParentWnd);
    m_bi.pidlRoot = root;
    m_bi.pszDisplayName = nullptr;
    m_bi.lpszTitle = m_strTitle.GetString();
    m_bi.lpfn = &CFolderPickerDlg::BrowseCallbackProc;
    // A full pointer on both targets: LPARAM is pointer-sized.
    m_bi.lParam = reinterpret_cast<LPARAM>(this);

    ItemListPtr chosen;
    {
        CComApartment apartment;
        chosen.reset(::SHBrowseForFolderA(&m_bi));
    }
    m_bInitialized = 0;
    // The browser's window is gone; WM_NCDESTROY has normally let it go already.
    if (m_hWnd)
        UnsubclassWindow();

    if (!chosen)
        return 0;
    return PathFromItemList(chosen.get(), m_strPath) ? 1 : 0;
}

int CALLBACK CFolderPickerDlg::BrowseCallbackProc(HWND hWnd, UINT message, LPARAM lParam, LPARAM data)
{
    auto* picker = reinterpret_cast<CFolderPickerDlg*>(data);
    if (!picker)
        return 0;
    switch (message) {
    case BFFM_INITIALIZED:
        if (!picker->SubclassWindow(hWnd) || !picker->OnInitDialog())
            ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case BFFM_SELCHANGED:
        picker->OnSelChanged(reinterpret_cast<LPCITEMIDLIST>(lParam));
        return 0;
    case BFFM_VALIDATEFAILEDA:
        return picker->OnValidateFailed(reinterpret_cast<const char*>(lParam)) ? 1 : 0;
    default:
        return 0;
    }
}

BOOL CFolderPickerDlg::OnInitDialog()
{
    if (!m_strCaption.IsEmpty())
        SetWindowText(m_strCaption);
    if (!m_strInitialFolder.IsEmpty())
        SetSelection(m_strInitialFolder.GetString());
    if (m_hIcon) {
        SetIcon(m_hIcon, FALSE);
        SetIcon(m_hIcon, TRUE);
    }
    if (!m_strOkText.IsEmpty())
        SetDlgItemText(IDOK, m_strOkText);
    if (!m_strCancelText.IsEmpty())
        SetDlgItemText(IDCANCEL, m_strCancelText);
    if (!m_bKeepContextHelp) {
        const LONG_PTR exStyle = ::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE);
        if (exStyle & WS_EX_CONTEXTHELP) {
            ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_CONTEXTHELP));
            // The caption buttons are redrawn only when the frame changes.
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        }
    }
    m_bInitialized = 1;
    return TRUE;
}

void CFolderPickerDlg::SetSelection(LPCITEMIDLIST item)
{
    if (item)
        SendMessage(BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(item));
}

void CFolderPickerDlg::SetSelection(const char* path)
{
    if (path)
        SendMessage(BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path));
}

void CFolderPickerDlg::SetStatusText(const char* text)
{
    SendMessage(BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

void CFolderPickerDlg::OnSelChanged(LPCITEMIDLIST)
{
}

int CFolderPickerDlg::OnValidateFailed(const char*)
{
    return 1;
}

void CFolderPickerDlg::EnableOK(BOOL enable)
{
    SendMessage(BFFM_ENABLEOK, 0, enable);
}

void CFolderPickerDlg::OnContextMenu(HWND, POINT screenPoint)
{
    if (!m_bKeepContextHelp) {
        RECT frame = {};
        ::GetWindowRect(m_hWnd, &frame);
        // Below the caption: the client area, which gets no menu.
        if (screenPoint.y >= frame.top + ::GetSystemMetrics(SM_CYCAPTION))
            return;
    }
    Default();
}
