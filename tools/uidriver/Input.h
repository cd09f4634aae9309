// Keyboard, mouse and focus actions on another process's windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

// WM_CHAR per character. Sent (synchronous: done when this returns) unless
// post is set; posted messages pass through the program's message loop.
void SendChars(HWND target, const std::wstring& text, bool post);
// WM_CHAR per byte of the window's ANSI code page.
void SendAnsiCodes(HWND target, const std::vector<long long>& codes, bool post);
// A key press and release posted to the window's queue, as the keyboard
// would deliver them, so the program's message loop sees them.
void PostKey(HWND target, UINT vk, bool down, bool up);
// Real input to whatever window has the focus: press the keys in order,
// release them in reverse (a chord such as Ctrl+V).
void SendInputKeys(const std::vector<long long>& vks);
void SendInputText(const std::wstring& text);
// Makes hwnd's top-level window the foreground window; true on success.
bool Activate(HWND hwnd);
// Gives the control the keyboard focus. Returns how ("attach" or "click"),
// or an empty string when neither worked.
std::string FocusControl(HWND control);
// A mouse click posted to a control at its centre (client coordinates).
void ClickAt(HWND control, bool right);

} // namespace uidriver
