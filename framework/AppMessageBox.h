// The one way the program shows a message box. Every box (language-file
// errors, file errors, link failures and retry prompts, run outcomes, the close
// question) goes through AppMessageBox, so tests can put a scripted responder
// in place of the platform's MessageBoxA. Portable: no windows.h.
#pragma once

// owner is the HWND of the owning window, or nullptr; type is the MB_* flags.
// The result is the platform's (IDOK, IDCANCEL, IDRETRY, IDYES, IDNO), or 0
// when the box could not be shown.
using AppMessageBoxFn = int (*)(void* owner, const char* text, const char* caption, unsigned type);

int AppMessageBox(void* owner, const char* text, const char* caption, unsigned type);

class CWnd;

// The same box owned by a window object of the framework (its window, or
// none for nullptr). Layers that only hand an owner on take it as an opaque
// CWnd* and need not know the window classes. Windows only.
int OwnedMessageBox(const CWnd* owner, const char* text, const char* caption, unsigned type);

// Test seam: replaces the responder and returns the previous one; nullptr
// restores the platform's message box.
AppMessageBoxFn SetAppMessageBoxFn(AppMessageBoxFn fn);

// A responder with state of its own (the console tool prints the file
// utility's boxes on its own stream): in place while it lives, answering every
// box in place of the function above, and the one before it back after. One
// on a thread at a time, as the boxes are.
class CMessageBoxResponder {
public:
    CMessageBoxResponder();
    virtual ~CMessageBoxResponder();
    CMessageBoxResponder(const CMessageBoxResponder&) = delete;
    CMessageBoxResponder& operator=(const CMessageBoxResponder&) = delete;

    virtual int Respond(void* owner, const char* text, const char* caption, unsigned type) = 0;

private:
    CMessageBoxResponder* m_previous;
};
