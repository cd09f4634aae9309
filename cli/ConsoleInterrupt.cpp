#include "cli/ConsoleInterrupt.h"

#include "cli/ConsoleText.h"
#include "files/FileHandle.h"

#include <atomic>

namespace {

// How often a closing console's wait cuts the run thread's read short.
constexpr DWORD kCloseCutEveryMs = 100;

struct InterruptState {
    std::atomic<bool> installed{false};
    std::atomic<bool> requested{false};
    std::atomic<bool> cutAllowed{true};
    // The thread that runs the link, as the handler's thread may reach it,
    // and the table through which its read is cut short.
    CFileHandle runThread;
    std::atomic<const ConsoleApi*> api{nullptr};
    // Manual-reset: set once the run is over, so that every waiting close
    // goes.
    CFileHandle finished{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    // Manual-reset: set with requested, so that a pause ends at once.
    CFileHandle stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

// A stop asked for: the flag every step reads, and the event a pause waits on.
void RequestStop(InterruptState& state)
{
    state.requested = true;
    if (state.stop.IsValid())
        SetEvent(state.stop.Get());
}

// The one process-wide state of the console tool: Windows calls the handler
// with nothing of ours to go by, on its own thread, and possibly just as the
// tool's objects go away. A function-local static outlives them all.
InterruptState& State()
{
    static InterruptState state;
    return state;
}

} // namespace

CConsoleInterrupt::CConsoleInterrupt(const ConsoleApi& api) : m_api(api)
{
    InterruptState& state = State();
    state.requested = false;
    if (state.stop.IsValid())
        ResetEvent(state.stop.Get());
    if (state.finished.IsValid())
        ResetEvent(state.finished.Get());
    state.cutAllowed = true;
    HANDLE thread = nullptr;
    // CancelSynchronousIo needs THREAD_TERMINATE; the query right lets the
    // thread be named.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                         THREAD_TERMINATE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, 0))
        thread = nullptr;
    state.runThread.Reset(thread);
    state.api = &m_api;
    state.installed = true;
    m_api.SetConsoleCtrlHandler(nullptr, FALSE);
    m_api.SetConsoleCtrlHandler(&ConsoleControlHandler, TRUE);
}

CConsoleInterrupt::~CConsoleInterrupt()
{
    Finished();
    InterruptState& state = State();
    state.installed = false;
    m_api.SetConsoleCtrlHandler(&ConsoleControlHandler, FALSE);
    state.api = nullptr;
    state.runThread.Reset(nullptr);
}

bool CConsoleInterrupt::Requested() const
{
    return State().requested;
}

void CConsoleInterrupt::WaitForStop(DWORD milliseconds) const
{
    InterruptState& state = State();
    if (state.requested)
        return;
    if (state.stop.IsValid())
        WaitForSingleObject(state.stop.Get(), milliseconds);
    else
        Sleep(milliseconds);
}

void CConsoleInterrupt::Finished()
{
    InterruptState& state = State();
    if (state.finished.IsValid())
        SetEvent(state.finished.Get());
}

void CConsoleInterrupt::AllowCut(bool allowed)
{
    State().cutAllowed = allowed;
}

namespace {

// Cuts the read the run's thread is blocked in short, outside the write
// frame; nothing when it is in none.
void CutRead(InterruptState& state)
{
    const ConsoleApi* api = state.api;
    if (api && state.cutAllowed && state.runThread.IsValid())
        api->CancelSynchronousIo(state.runThread.Get());
}

} // namespace

BOOL WINAPI ConsoleControlHandler(DWORD event)
{
    InterruptState& state = State();
    if (!state.installed)
        return FALSE; // the next handler (the system's) decides
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // Handled: the process goes on, and the run stops where it may.
        RequestStop(state);
        CutRead(state);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends as soon as this returns: the run's final row
        // first, as far as the time Windows gives allows.
        RequestStop(state);
        if (!state.finished.IsValid())
            return TRUE;
        // A read may begin just after one was cut (ending programming mode
        // reads the radio's answer): cut again until the run is over.
        for (DWORD waited = 0; waited < kConsoleCloseWaitMs; waited += kCloseCutEveryMs) {
            CutRead(state);
            if (WaitForSingleObject(state.finished.Get(), kCloseCutEveryMs) == WAIT_OBJECT_0)
                break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}
