// Reading another process's menu. Wine does not let one process read
// another's menus, so the driver puts a small hook library into the program
// (a WH_GETMESSAGE hook on its thread); the hook reads the menu inside the
// program and sends it back as JSON through WM_COPYDATA.
#pragma once

#include <windows.h>

#include <string>

namespace uidriver {

// Name of the message that asks the hook for the menu of the window it is
// posted to; wParam is the window that receives the WM_COPYDATA answer.
constexpr const wchar_t* kMenuProbeMessage = L"OrvelleUiDriverReadMenu";
constexpr ULONG_PTR kMenuProbeCopyTag = 0x4D454E55; // "MENU"

// Fills json with the window's menu; returns an error text or "" on success.
std::string ReadMenu(HWND hwnd, long long timeoutMs, std::string& json);

} // namespace uidriver
