// Finding and describing another process's windows. Wine keeps window
// handles valid across the processes of one wineserver, so a handle found
// here can be passed to any later command.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

// Time any one message to the program under test may take before we give up
// on it instead of hanging with it.
constexpr UINT kSendTimeoutMs = 5000;

// The static control that holds a message box's body.
constexpr int kMessageBoxTextId = 0xFFFF;

struct WindowFilter {
    DWORD pid = 0;              // 0: any process
    std::wstring className;     // empty: any class
    std::wstring caption;       // empty: any caption
    bool captionPrefix = false; // caption must only start with it
    HWND owner = nullptr;       // non-null: owned by this window
    bool visibleOnly = true;
    bool messageBox = false; // laid out as a message box: body static 0xFFFF, icon, standard buttons
    std::vector<HWND> exclude;
};

std::vector<HWND> FindTopLevel(const WindowFilter& filter);

std::wstring ClassOf(HWND hwnd);
// The text the window itself reports (WM_GETTEXT), so edit controls are
// read correctly; falls back to the stored title if the window is busy.
std::wstring TextOf(HWND hwnd);
DWORD ProcessOf(HWND hwnd);
int ControlId(HWND hwnd);
bool IsButtonKind(HWND hwnd, LONG kind);
bool IsCheckable(HWND hwnd);
int CheckState(HWND hwnd); // BM_GETCHECK, -1 when not a check/radio button

// A child by control id, or the window itself when id < 0.
HWND Resolve(HWND hwnd, long long id);

// The window with the keyboard focus and the active window of the thread
// that owns hwnd.
struct FocusInfo {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND foreground = nullptr;
};
FocusInfo FocusOf(HWND hwnd);

std::string DescribeWindow(HWND hwnd, bool children);
std::string DescribeMessageBox(HWND hwnd);
std::string HwndJson(HWND hwnd);

} // namespace uidriver
