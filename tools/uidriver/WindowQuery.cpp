#include "tools/uidriver/WindowQuery.h"

#include "text/Json.h"
#include "tools/uidriver/Args.h"

#include <algorithm>

namespace uidriver {

namespace {

struct EnumState {
    const WindowFilter* filter;
    std::vector<HWND> found;
};

std::vector<HWND> ChildrenOf(HWND hwnd);

// A message box holds its body (static 0xFFFF), maybe its icon (static 1088
// under Wine, 20 under Windows) and the standard buttons, nothing else: a
// dialog of our own with an IDC_STATIC label is not one.
bool IsMessageBoxLayout(HWND hwnd)
{
    HWND body = GetDlgItem(hwnd, kMessageBoxTextId);
    if (body == nullptr || ClassOf(body) != L"Static")
        return false;
    for (HWND child : ChildrenOf(hwnd)) {
        int id = ControlId(child);
        std::wstring cls = ClassOf(child);
        bool known = (cls == L"Static" && (id == kMessageBoxTextId || id == 1088 || id == 20)) ||
                     (cls == L"Button" && id >= IDOK && id <= IDCONTINUE);
        if (!known)
            return false;
    }
    return true;
}

bool Matches(HWND hwnd, const WindowFilter& f)
{
    if (f.visibleOnly && !IsWindowVisible(hwnd))
        return false;
    if (f.pid != 0 && ProcessOf(hwnd) != f.pid)
        return false;
    if (std::find(f.exclude.begin(), f.exclude.end(), hwnd) != f.exclude.end())
        return false;
    if (!f.className.empty() && ClassOf(hwnd) != f.className)
        return false;
    if (f.owner != nullptr && GetWindow(hwnd, GW_OWNER) != f.owner)
        return false;
    if (!f.caption.empty()) {
        std::wstring text = TextOf(hwnd);
        if (f.captionPrefix ? text.compare(0, f.caption.size(), f.caption) != 0 : text != f.caption)
            return false;
    }
    if (f.messageBox && !IsMessageBoxLayout(hwnd))
        return false;
    return true;
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param)
{
    auto* state = reinterpret_cast<EnumState*>(param);
    if (Matches(hwnd, *state->filter))
        state->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param)
{
    // Only direct children: a control's own inner windows are not ours.
    auto* list = reinterpret_cast<std::pair<HWND, std::vector<HWND>>*>(param);
    if (GetParent(hwnd) == list->first)
        list->second.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND hwnd)
{
    std::pair<HWND, std::vector<HWND>> list{hwnd, {}};
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&list));
    return list.second;
}

std::string RectJson(HWND hwnd)
{
    RECT r{};
    GetWindowRect(hwnd, &r);
    CJsonObject o;
    o.Number("x", r.left)
        .Number("y", r.top)
        .Number("width", r.right - r.left)
        .Number("height", r.bottom - r.top);
    return o.Text();
}

std::string DescribeChild(HWND hwnd)
{
    CJsonObject o;
    o.Number("hwnd", reinterpret_cast<UINT_PTR>(hwnd))
        .Number("id", ControlId(hwnd))
        .String("class", WideToUtf8(ClassOf(hwnd)))
        .String("text", WideToUtf8(TextOf(hwnd)))
        .Number("style", GetWindowLongW(hwnd, GWL_STYLE))
        .Bool("visible", IsWindowVisible(hwnd) != 0)
        .Bool("enabled", IsWindowEnabled(hwnd) != 0)
        .Raw("rect", RectJson(hwnd));
    int check = CheckState(hwnd);
    if (check >= 0)
        o.Bool("checked", check == BST_CHECKED);
    return o.Text();
}

} // namespace

std::vector<HWND> FindTopLevel(const WindowFilter& filter)
{
    EnumState state{&filter, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t buf[256] = {};
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

std::wstring TextOf(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
        wchar_t buf[1024] = {};
        GetWindowTextW(hwnd, buf, 1024);
        return buf;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
        return std::wstring();
    text.resize(std::min<size_t>(copied, text.size() - 1));
    return text;
}

DWORD ProcessOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

int ControlId(HWND hwnd)
{
    return static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_ID) & 0xFFFF);
}

bool IsButtonKind(HWND hwnd, LONG kind)
{
    return ClassOf(hwnd) == L"Button" && (GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK) == kind;
}

bool IsCheckable(HWND hwnd)
{
    return IsButtonKind(hwnd, BS_CHECKBOX) || IsButtonKind(hwnd, BS_AUTOCHECKBOX) ||
           IsButtonKind(hwnd, BS_RADIOBUTTON) || IsButtonKind(hwnd, BS_AUTORADIOBUTTON) ||
           IsButtonKind(hwnd, BS_3STATE) || IsButtonKind(hwnd, BS_AUTO3STATE);
}

int CheckState(HWND hwnd)
{
    if (!IsCheckable(hwnd))
        return -1;
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(hwnd, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state))
        return -1;
    return static_cast<int>(state);
}

HWND Resolve(HWND hwnd, long long id)
{
    if (id < 0)
        return hwnd;
    return GetDlgItem(hwnd, static_cast<int>(id));
}

FocusInfo FocusOf(HWND hwnd)
{
    FocusInfo info;
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &gui)) {
        info.focus = gui.hwndFocus;
        info.active = gui.hwndActive;
    }
    info.foreground = GetForegroundWindow();
    return info;
}

std::string HwndJson(HWND hwnd)
{
    return std::to_string(reinterpret_cast<UINT_PTR>(hwnd));
}

std::string DescribeWindow(HWND hwnd, bool children)
{
    CJsonObject o;
    o.Number("hwnd", reinterpret_cast<UINT_PTR>(hwnd))
        .Number("pid", ProcessOf(hwnd))
        .String("class", WideToUtf8(ClassOf(hwnd)))
        .String("caption", WideToUtf8(TextOf(hwnd)))
        .Number("style", GetWindowLongW(hwnd, GWL_STYLE))
        .Number("exstyle", GetWindowLongW(hwnd, GWL_EXSTYLE))
        .Bool("visible", IsWindowVisible(hwnd) != 0)
        .Bool("enabled", IsWindowEnabled(hwnd) != 0)
        .Bool("iconic", IsIconic(hwnd) != 0)
        .Raw("owner", HwndJson(GetWindow(hwnd, GW_OWNER)))
        .Raw("rect", RectJson(hwnd));
    FocusInfo focus = FocusOf(hwnd);
    o.Raw("focus", HwndJson(focus.focus))
        .Number("focus_id", focus.focus && IsChild(hwnd, focus.focus) ? ControlId(focus.focus) : -1)
        .Raw("active", HwndJson(focus.active))
        .Raw("foreground", HwndJson(focus.foreground));
    if (children) {
        std::vector<std::string> list;
        for (HWND child : ChildrenOf(hwnd))
            list.push_back(DescribeChild(child));
        o.Raw("children", JsonList(list));
    }
    return o.Text();
}

std::string DescribeMessageBox(HWND hwnd)
{
    CJsonObject o;
    o.Number("hwnd", reinterpret_cast<UINT_PTR>(hwnd))
        .Number("pid", ProcessOf(hwnd))
        .String("caption", WideToUtf8(TextOf(hwnd)))
        .Raw("owner", HwndJson(GetWindow(hwnd, GW_OWNER)));
    HWND body = GetDlgItem(hwnd, kMessageBoxTextId);
    o.String("text", WideToUtf8(body ? TextOf(body) : std::wstring()));
    bool icon = false;
    std::vector<std::string> buttons;
    for (HWND child : ChildrenOf(hwnd)) {
        std::wstring cls = ClassOf(child);
        if (cls == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child))
            icon = true;
        if (cls == L"Button" && IsWindowVisible(child)) {
            CJsonObject b;
            b.Number("id", ControlId(child))
                .String("text", WideToUtf8(TextOf(child)))
                .Bool("enabled", IsWindowEnabled(child) != 0);
            buttons.push_back(b.Text());
        }
    }
    o.Bool("icon", icon).Raw("buttons", JsonList(buttons)).Raw("rect", RectJson(hwnd));
    return o.Text();
}

} // namespace uidriver
