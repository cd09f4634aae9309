// CWnd: a C++ object bound to a window handle.
//
// The handle-to-object map lives in the windows themselves: a bound window
// carries a property pointing at its CWnd, so FromHandlePermanent needs no
// table of its own. A CWnd gets its messages by subclassing: SubclassWindow
// puts StdWndProc in front of the window's own procedure, which stays
// reachable through Default()/DefWindowProc. Dialogs are subclassed while they
// are being created (see CDialog), so they see WM_CREATE too.
#pragma once

#include <windows.h>

#include "framework/CString.h"
#include "framework/MessageMap.h"

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window, or nullptr.
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Binds this object to an existing window and routes its messages through
    // the message map. Fails when either is already bound.
    BOOL SubclassWindow(HWND hWnd);
    // Gives the window its own procedure back and unbinds it.
    HWND UnsubclassWindow();

    // Window services the program uses.
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    CString GetWindowText() const;
    void GetWindowText(CString& text) const { text = GetWindowText(); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL bigIcon);
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL DestroyWindow();
    // Centres the window over its owner, or on its monitor's work area when
    // it has no visible owner, keeping it on that monitor.
    void CenterWindow();

    // Dialog-item shortcuts.
    void SetDlgItemText(int id, const char* text) { ::SetDlgItemTextA(m_hWnd, id, text); }
    CString GetDlgItemText(int id) const;
    void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }

    // Called by the modal loop before a message is dispatched; true when the
    // message has been handled and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg);

    HWND m_hWnd = nullptr;

protected:
    // Everything a bound window receives goes through here: the message map
    // first, then the window's own procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A WM_COMMAND from this control reaching its parent: true when this
    // control's map handles it (ON_CONTROL_REFLECT).
    bool OnChildNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // The window's own procedure for any message, and for the current one.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default();

    // Default handlers, called by derived handlers that want the usual
    // processing as well.
    int OnCreate(LPCREATESTRUCTA) { return static_cast<int>(Default()); }
    void OnPaint() { Default(); }
    BOOL OnHelpInfo(HELPINFO*) { return static_cast<BOOL>(Default()); }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
    void OnContextMenu(HWND, POINT) { Default(); }
    void OnChar(UINT, UINT, UINT) { Default(); }

    virtual const CMessageMap* GetMessageMap() const;
    static const CMessageMap* GetThisMessageMap();

    // Creation hook: the next window this thread creates is bound to wnd
    // before it receives its first message. Input-method windows, which
    // Windows may create first, are passed over.
    static void HookWindowCreate(CWnd* wnd);
    static void UnhookWindowCreate();

private:
    static LRESULT CALLBACK StdWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CreationHookProc(int code, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;
    MSG m_currentMsg = {};
};

// The handle of a window that may be absent (owner windows are often null).
inline HWND HwndOf(const CWnd* wnd)
{
    return wnd ? wnd->m_hWnd : nullptr;
}
