#include "tools/uidriver/MenuProbe.h"

#include "tools/uidriver/WindowQuery.h"

#include <functional>
#include <memory>

namespace uidriver {

namespace {

struct HookCloser {
    void operator()(HHOOK h) const { UnhookWindowsHookEx(h); }
};
struct WindowCloser {
    void operator()(HWND h) const { DestroyWindow(h); }
};
struct LibraryCloser {
    void operator()(HMODULE h) const { FreeLibrary(h); }
};

struct ReplyState {
    ULONG_PTR tag = 0;
    bool done = false;
    std::string json;
};

LRESULT CALLBACK ReplyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        auto* state = reinterpret_cast<ReplyState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (state != nullptr && cds->dwData == state->tag) {
            state->json.assign(static_cast<const char*>(cds->lpData), cds->cbData);
            state->done = true;
        }
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::wstring HookLibraryPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/") + 1) + L"uidriver_hook.dll";
}

// Puts the hook on the thread of hwnd, lets ask() send the probe (given the
// window for the answer) and waits for the answer tagged tag.
std::string Probe(HWND hwnd, ULONG_PTR tag, long long timeoutMs, const std::function<bool(HWND)>& ask,
                  std::string& json)
{
    std::unique_ptr<HINSTANCE__, LibraryCloser> library(LoadLibraryW(HookLibraryPath().c_str()));
    if (!library)
        return "uidriver_hook.dll not found beside the driver";
    auto hookProc =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(library.get(), "MenuProbeHook")));
    if (hookProc == nullptr)
        return "uidriver_hook.dll lacks MenuProbeHook";

    WNDCLASSW wc{};
    wc.lpfnWndProc = ReplyProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelleUiDriverMenuReply";
    RegisterClassW(&wc);
    std::unique_ptr<HWND__, WindowCloser> reply(CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0,
                                                                0, nullptr, nullptr, wc.hInstance, nullptr));
    if (!reply)
        return "cannot create the reply window";
    ReplyState state;
    state.tag = tag;
    SetWindowLongPtrW(reply.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));

    DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    std::unique_ptr<HHOOK__, HookCloser> hook(
        SetWindowsHookExW(WH_GETMESSAGE, hookProc, library.get(), thread));
    if (!hook)
        return "SetWindowsHookEx failed, error " + std::to_string(GetLastError());
    if (!ask(reply.get()))
        return "cannot send the probe, error " + std::to_string(GetLastError());

    DWORD start = GetTickCount();
    while (!state.done && GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    if (!state.done)
        return "the program did not answer the probe";
    json = state.json;
    return std::string();
}

} // namespace

std::string ReadMenu(HWND hwnd, long long timeoutMs, std::string& json)
{
    return Probe(
        hwnd, kMenuProbeCopyTag, timeoutMs,
        [hwnd](HWND reply) {
            return PostMessageW(hwnd, RegisterWindowMessageW(kMenuProbeMessage),
                                reinterpret_cast<WPARAM>(reply), 0) != 0;
        },
        json);
}

std::string SyncQueue(HWND hwnd, bool input, long long timeoutMs)
{
    std::string ignored;
    return Probe(
        hwnd, kSyncCopyTag, timeoutMs,
        [hwnd, input](HWND reply) {
            if (!input)
                return PostMessageW(hwnd, RegisterWindowMessageW(kSyncMessage),
                                    reinterpret_cast<WPARAM>(reply), 0) != 0;
            INPUT keys[2] = {};
            for (INPUT& key : keys) {
                key.type = INPUT_KEYBOARD;
                key.ki.wVk = kSyncKey;
                key.ki.dwExtraInfo = reinterpret_cast<ULONG_PTR>(reply);
            }
            keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
            return SendInput(2, keys, sizeof(INPUT)) == 2;
        },
        ignored);
}

} // namespace uidriver
