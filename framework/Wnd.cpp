#include "framework/Wnd.h"

#include "framework/WinApp.h"

#include <vector>

namespace {

// The window property that maps a bound window to its CWnd.
const char kObjectProperty[] = "Orvelle.CWnd";

// Creation hook state. One user-interface thread, and only one window is
// hooked at a time (the hook is removed as soon as that window exists).
HHOOK g_creationHook = nullptr;
CWnd* g_wndBeingCreated = nullptr;

} // namespace

CWnd::~CWnd()
{
    if (m_hWnd)
        UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? static_cast<CWnd*>(::GetPropA(hWnd, kObjectProperty)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd))
        return FALSE;
    if (!::SetPropA(hWnd, kObjectProperty, this))
        return FALSE;
    m_hWnd = hWnd;
    // Pointer-sized on both targets: GWLP_WNDPROC holds a full pointer.
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StdWndProc)));
    return TRUE;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (!hWnd)
        return nullptr;
    if (m_pfnSuper && ::IsWindow(hWnd))
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropA(hWnd, kObjectProperty);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return hWnd;
}

CString CWnd::GetWindowText() const
{
    CString text;
    const int length = ::GetWindowTextLengthA(m_hWnd);
    if (length > 0) {
        // The length may overstate for double-byte text; the copy says how
        // much arrived.
        char* buffer = text.GetBuffer(length);
        const int copied = ::GetWindowTextA(m_hWnd, buffer, length + 1);
        text.ReleaseBuffer(copied > 0 ? copied : 0);
    }
    return text;
}

CString CWnd::GetDlgItemText(int id) const
{
    HWND item = GetDlgItem(id);
    if (!item)
        return CString();
    const int length = ::GetWindowTextLengthA(item);
    if (length <= 0)
        return CString();
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int copied = ::GetWindowTextA(item, buffer.data(), length + 1);
    return CString(buffer.data(), copied > 0 ? copied : 0);
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    // WM_NCDESTROY unbinds the object (StdWndProc).
    return ::DestroyWindow(m_hWnd);
}

void CWnd::CenterWindow()
{
    RECT window;
    if (!::GetWindowRect(m_hWnd, &window))
        return;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoA(::MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    RECT centre = area;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &centre);

    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = (centre.left + centre.right - width) / 2;
    int y = (centre.top + centre.bottom - height) / 2;
    if (x + width > area.right)
        x = area.right - width;
    if (y + height > area.bottom)
        y = area.bottom - height;
    if (x < area.left)
        x = area.left;
    if (y < area.top)
        y = area.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

const CMessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

const CMessageMap* CWnd::GetThisMessageMap()
{
    static const CMsgMapEntry entries[] = {{0, 0, 0, nullptr}};
    static const CMessageMap map = {nullptr, entries};
    return &map;
}

static bool EntryMatches(const CMsgMapEntry& entry, UINT message, WPARAM wParam)
{
    if (entry.message != message)
        return false;
    if (message == WM_COMMAND)
        return entry.id == LOWORD(wParam) && entry.code == HIWORD(wParam);
    if (message == WM_REFLECT_COMMAND)
        return entry.code == HIWORD(wParam);
    return true;
}

static const CMsgMapEntry* FindEntry(const CMessageMap* map, UINT message, WPARAM wParam)
{
    for (; map; map = map->base ? map->base() : nullptr) {
        for (const CMsgMapEntry* entry = map->entries; entry->message != 0; ++entry) {
            if (EntryMatches(*entry, message, wParam))
                return entry;
        }
    }
    return nullptr;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND && lParam != 0) {
        // A control's notification goes to the control first.
        CWnd* child = FromHandlePermanent(reinterpret_cast<HWND>(lParam));
        if (child && child != this && child->OnChildNotify(wParam, lParam, result))
            return true;
    }
    if (message == WM_SETCURSOR) {
        // Keep the wait cursor up while the application is busy.
        CWinApp* app = AfxGetApp();
        if (app && app->GetWaitCursorCount() > 0) {
            app->RestoreWaitCursor();
            *result = TRUE;
            return true;
        }
    }
    const CMsgMapEntry* entry = FindEntry(GetMessageMap(), message, wParam);
    if (!entry)
        return false;
    *result = entry->handler(this, wParam, lParam);
    return true;
}

bool CWnd::OnChildNotify(WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const CMsgMapEntry* entry = FindEntry(GetMessageMap(), WM_REFLECT_COMMAND, wParam);
    if (!entry)
        return false;
    *result = entry->handler(this, wParam, lParam);
    return true;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

LRESULT CALLBACK CWnd::StdWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = FromHandlePermanent(hWnd);
    if (!wnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    // Handlers may re-enter (SendMessage to itself); Default() must always
    // see the message being handled at its own level.
    const MSG saved = wnd->m_currentMsg;
    wnd->m_currentMsg = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    wnd->m_currentMsg = saved;
    if (message == WM_NCDESTROY && wnd->m_hWnd == hWnd)
        wnd->UnsubclassWindow();
    return result;
}

// With an input method active, Windows may create the thread's IME window
// while the hook waits for the program's own; those windows are never ours.
static bool IsImeWindow(HWND hWnd)
{
    if (::GetClassLongA(hWnd, GCL_STYLE) & CS_IME)
        return true;
    char name[8] = {};
    return ::GetClassNameA(hWnd, name, sizeof(name)) > 0 && ::lstrcmpiA(name, "IME") == 0;
}

LRESULT CALLBACK CWnd::CreationHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && g_wndBeingCreated && !IsImeWindow(reinterpret_cast<HWND>(wParam))) {
        CWnd* wnd = g_wndBeingCreated;
        g_wndBeingCreated = nullptr;
        wnd->SubclassWindow(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(g_creationHook, code, wParam, lParam);
}

void CWnd::HookWindowCreate(CWnd* wnd)
{
    g_wndBeingCreated = wnd;
    if (!g_creationHook)
        g_creationHook =
            ::SetWindowsHookExA(WH_CBT, &CWnd::CreationHookProc, nullptr, ::GetCurrentThreadId());
}

void CWnd::UnhookWindowCreate()
{
    if (g_creationHook)
        ::UnhookWindowsHookEx(g_creationHook);
    g_creationHook = nullptr;
    g_wndBeingCreated = nullptr;
}
