// CWnd: a window object bound to a window handle. Minimal for now; the dialog
// framework grows it (handle map, subclassing, message maps).
#pragma once

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    HWND m_hWnd = nullptr;
};

// The handle of a window that may be absent (owner windows are often null).
inline HWND HwndOf(const CWnd* wnd)
{
    return wnd ? wnd->m_hWnd : nullptr;
}
