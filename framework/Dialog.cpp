#include "framework/Dialog.h"

#include "framework/WinApp.h"

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd)
        return;
    HWND item = pDX->m_pDlgWnd->GetDlgItem(id);
    if (item)
        control.SubclassWindow(item);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent)
{
}

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
}

// Every message is handled by the subclassed window procedure; the dialog
// procedure only has to exist (the dialog manager sends WM_INITDIALOG only to
// dialogs that have one) and asks for default processing.
INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

HWND CDialog::GetOwnerForModal() const
{
    if (m_pParentWnd)
        return m_pParentWnd->GetSafeHwnd();
    CWnd* main = AfxGetMainWnd();
    return main && main != this ? main->GetSafeHwnd() : nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = GetOwnerForModal();
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);

    m_nModalResult = -1;
    m_bContinueModal = true; // EndDialog during initialisation clears it

    HookWindowCreate(this);
    HWND hWnd = ::CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                     &CDialog::DialogProc, 0);
    UnhookWindowCreate();

    if (hWnd && m_hWnd == hWnd) {
        if (m_bContinueModal && !::IsWindowVisible(m_hWnd))
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    } else {
        m_nModalResult = -1;
    }

    // The owner gets enabled before the dialog goes, so that it becomes the
    // active window again.
    if (disableOwner)
        ::EnableWindow(owner, TRUE);
    if (m_hWnd) {
        if (owner && ::GetActiveWindow() == m_hWnd)
            ::SetActiveWindow(owner);
        DestroyWindow();
    }
    m_bContinueModal = false;
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (m_bContinueModal && m_hWnd) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            // Leave WM_QUIT for whoever runs the next loop out.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    m_bContinueModal = false;
    if (m_hWnd)
        PostMessage(WM_NULL); // wakes the loop up
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (!m_hWnd)
        return FALSE;
    return ::IsDialogMessageA(m_hWnd, msg);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        RECT before = {};
        ::GetWindowRect(m_hWnd, &before);
        const BOOL result = OnInitDialog();
        // A dialog its initialisation did not place is centred, over its
        // owner or on the screen.
        RECT after = {};
        if (m_hWnd && ::GetWindowRect(m_hWnd, &after) && after.left == before.left &&
            after.top == before.top && !(::GetWindowLongPtrA(m_hWnd, GWL_STYLE) & WS_CHILD))
            CenterWindow();
        return result;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
