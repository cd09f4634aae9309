#include "framework/WinApp.h"

#include "framework/Wnd.h"

namespace {
// Set by the application object's constructor: the framework reaches the
// application through it. A plain pointer, not an object of its own.
CWinApp* g_app = nullptr;
} // namespace

CWinApp::CWinApp()
{
    g_app = this;
    m_hInstance = ::GetModuleHandleA(nullptr);
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

void CWinApp::BeginWaitCursor()
{
    HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514))); // IDC_WAIT
    if (m_nWaitCursorCount++ == 0)
        m_hcurWaitCursorRestore = previous;
}

void CWinApp::EndWaitCursor()
{
    if (m_nWaitCursorCount <= 0)
        return;
    if (--m_nWaitCursorCount == 0) {
        ::SetCursor(m_hcurWaitCursorRestore ? m_hcurWaitCursorRestore
                                            : ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))); // IDC_ARROW
        m_hcurWaitCursorRestore = nullptr;
    }
}

void CWinApp::RestoreWaitCursor()
{
    if (m_nWaitCursorCount > 0)
        ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
}

HICON CWinApp::LoadIcon(UINT id) const
{
    return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id));
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_app ? g_app->m_hInstance : ::GetModuleHandleA(nullptr);
}

int AfxWinMain(CWinApp& app, HINSTANCE instance)
{
    app.m_hInstance = instance;
    // The program's modal dialogs run their own loops inside InitInstance,
    // so there is no message loop after it: whatever it returns, the program
    // ends with ExitInstance's code.
    app.InitInstance();
    return app.ExitInstance();
}

CWaitCursor::CWaitCursor()
{
    if (CWinApp* app = AfxGetApp())
        app->BeginWaitCursor();
}

CWaitCursor::~CWaitCursor()
{
    if (CWinApp* app = AfxGetApp())
        app->EndWaitCursor();
}
