// CWinApp: the application object's base. The program's entry point hands
// control to AfxWinMain, which runs InitInstance; the application keeps its
// main window and the counted wait cursor.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns false to end the program without a message loop of its own.
    virtual BOOL InitInstance();
    // The process's exit code.
    virtual int ExitInstance();

    // The wait cursor is counted: it stays up until every Begin has had its End.
    void BeginWaitCursor();
    void EndWaitCursor();
    // Puts the wait cursor back (after a message box replaced it, say).
    void RestoreWaitCursor();
    int GetWaitCursorCount() const { return m_nWaitCursorCount; }

    HICON LoadIcon(UINT id) const;

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

private:
    int m_nWaitCursorCount = 0;
    HCURSOR m_hcurWaitCursorRestore = nullptr;
};

// The one application object, or nullptr when there is none (some tests).
CWinApp* AfxGetApp();
// The application's main window, or nullptr.
CWnd* AfxGetMainWnd();
// The module that holds the resources: the executable.
HINSTANCE AfxGetInstanceHandle();

// Called from WinMain with the application object: runs its InitInstance.
int AfxWinMain(CWinApp& app, HINSTANCE instance);

// Wait cursor for the life of a scope, ended on every way out.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
