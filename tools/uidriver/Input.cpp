#include "tools/uidriver/Input.h"

#include "tools/uidriver/WindowQuery.h"

#include <algorithm>

namespace uidriver {

namespace {

LPARAM KeyLParam(UINT vk, bool up)
{
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    LPARAM l = 1 | scan;
    if (up)
        l |= static_cast<LPARAM>(0xC0000000u);
    return l;
}

void WaitForFocus(HWND control, DWORD ms)
{
    DWORD start = GetTickCount();
    while (FocusOf(control).focus != control && GetTickCount() - start < ms)
        Sleep(10);
}

INPUT KeyInput(WORD vk, WORD scan, DWORD flags)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return in;
}

} // namespace

void SendChars(HWND target, const std::wstring& text, bool post)
{
    for (wchar_t c : text) {
        if (post) {
            PostMessageW(target, WM_CHAR, c, 1);
        } else {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(target, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
        }
    }
}

void SendAnsiCodes(HWND target, const std::vector<long long>& codes, bool post)
{
    for (long long code : codes) {
        WPARAM w = static_cast<WPARAM>(code & 0xFF);
        if (post) {
            PostMessageA(target, WM_CHAR, w, 1);
        } else {
            DWORD_PTR result = 0;
            SendMessageTimeoutA(target, WM_CHAR, w, 1, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
        }
    }
}

void PostKey(HWND target, UINT vk, bool down, bool up)
{
    if (down)
        PostMessageW(target, WM_KEYDOWN, vk, KeyLParam(vk, false));
    if (up)
        PostMessageW(target, WM_KEYUP, vk, KeyLParam(vk, true));
}

void SendInputKeys(const std::vector<long long>& vks)
{
    std::vector<INPUT> events;
    for (long long vk : vks)
        events.push_back(KeyInput(static_cast<WORD>(vk), 0, 0));
    for (auto it = vks.rbegin(); it != vks.rend(); ++it)
        events.push_back(KeyInput(static_cast<WORD>(*it), 0, KEYEVENTF_KEYUP));
    SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

void SendInputText(const std::wstring& text)
{
    std::vector<INPUT> events;
    for (wchar_t c : text) {
        events.push_back(KeyInput(0, c, KEYEVENTF_UNICODE));
        events.push_back(KeyInput(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
    }
    SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}

bool Activate(HWND hwnd)
{
    HWND top = GetAncestor(hwnd, GA_ROOT);
    if (GetForegroundWindow() == top)
        return true;
    SetForegroundWindow(top);
    DWORD start = GetTickCount();
    while (GetForegroundWindow() != top && GetTickCount() - start < 1000)
        Sleep(10);
    return GetForegroundWindow() == top;
}

std::string FocusControl(HWND control)
{
    if (FocusOf(control).focus == control)
        return "already";
    Activate(control);
    // Sharing the target thread's input state lets SetFocus reach across
    // the process boundary.
    DWORD me = GetCurrentThreadId();
    DWORD target = GetWindowThreadProcessId(control, nullptr);
    if (AttachThreadInput(me, target, TRUE)) {
        SetFocus(control);
        AttachThreadInput(me, target, FALSE);
        WaitForFocus(control, 200);
        if (FocusOf(control).focus == control)
            return "attach";
    }
    // Otherwise click it: an edit or a button takes the focus itself.
    ClickAt(control, false);
    WaitForFocus(control, 1000);
    return FocusOf(control).focus == control ? "click" : "";
}

void ClickAt(HWND control, bool right)
{
    RECT r{};
    GetClientRect(control, &r);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    UINT downMsg = right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
    UINT upMsg = right ? WM_RBUTTONUP : WM_LBUTTONUP;
    WPARAM keys = right ? MK_RBUTTON : MK_LBUTTON;
    PostMessageW(control, downMsg, keys, at);
    PostMessageW(control, upMsg, 0, at);
}

} // namespace uidriver
