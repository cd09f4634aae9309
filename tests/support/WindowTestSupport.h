// Helpers for tests that create real windows under Wine: they need an X
// server (ctest runs under xvfb-run); without one they are skipped.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// True when this process can create windows.
inline bool CanCreateWindows()
{
    HWND probe = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        return false;
    ::DestroyWindow(probe);
    return true;
}

#define SKIP_WITHOUT_DISPLAY()                                                                               \
    do {                                                                                                     \
        if (!CanCreateWindows())                                                                             \
            GTEST_SKIP() << "no display: run under xvfb-run";                                                \
    } while (0)

// Dispatches whatever is queued for this thread.
inline void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// A window's text, as GetWindowTextA gives it (up to 1023 characters).
inline std::string WindowText(HWND window)
{
    char text[1024] = {};
    ::GetWindowTextA(window, text, sizeof(text));
    return text;
}
