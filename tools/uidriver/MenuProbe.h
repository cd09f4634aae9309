// Probes that run inside the program: reading its menu, and a barrier in its
// message queue. Wine does not let one process read another's menus, so the
// driver puts a small hook library into the program (a WH_GETMESSAGE hook on
// its thread); the hook answers from inside the program through WM_COPYDATA
// as its thread takes the probe from the queue.
#pragma once

#include <windows.h>

#include <string>

namespace uidriver {

// Name of the message that asks the hook for the menu of the window it is
// posted to; wParam is the window that receives the WM_COPYDATA answer.
constexpr const wchar_t* kMenuProbeMessage = L"OrvelleUiDriverReadMenu";
constexpr ULONG_PTR kMenuProbeCopyTag = 0x4D454E55; // "MENU"

// Name of the message that asks the hook to answer at once (an empty
// WM_COPYDATA); wParam as for the menu probe.
constexpr const wchar_t* kSyncMessage = L"OrvelleUiDriverSync";
constexpr ULONG_PTR kSyncCopyTag = 0x53594E43; // "SYNC"
// The key of the input barrier, which no program here uses; the input's
// extra information is the window that receives the answer.
constexpr WORD kSyncKey = VK_F24;

// Fills json with the window's menu; returns an error text or "" on success.
std::string ReadMenu(HWND hwnd, long long timeoutMs, std::string& json);

// Returns once the thread of hwnd has taken from its queue every message
// posted to it before the call: whatever those messages opened (a message
// box, say) exists by then. Posted messages come before input, so with input
// the barrier is a key press sent through SendInput instead, and the return
// also means every input sent before has been taken. Returns an error text
// or "" on success.
std::string SyncQueue(HWND hwnd, bool input, long long timeoutMs);

} // namespace uidriver
