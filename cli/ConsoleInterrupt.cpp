#include "cli/ConsoleInterrupt.h"

#include "cli/ConsoleText.h"
#include "files/FileHandle.h"

#include <atomic>

namespace {

struct InterruptState {
    std::atomic<bool> installed{false};
    std::atomic<bool> requested{false};
    // Manual-reset: set once the run is over, so that every waiting close
    // goes.
    CFileHandle finished{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

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
    if (state.finished.IsValid())
        ResetEvent(state.finished.Get());
    state.installed = true;
    m_api.SetConsoleCtrlHandler(nullptr, FALSE);
    m_api.SetConsoleCtrlHandler(&ConsoleControlHandler, TRUE);
}

CConsoleInterrupt::~CConsoleInterrupt()
{
    Finished();
    State().installed = false;
    m_api.SetConsoleCtrlHandler(&ConsoleControlHandler, FALSE);
}

bool CConsoleInterrupt::Requested() const
{
    return State().requested;
}

void CConsoleInterrupt::Finished()
{
    InterruptState& state = State();
    if (state.finished.IsValid())
        SetEvent(state.finished.Get());
}

BOOL WINAPI ConsoleControlHandler(DWORD event)
{
    InterruptState& state = State();
    if (!state.installed)
        return FALSE; // the next handler (the system's) decides
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // Handled: the process goes on, and the run stops where it may.
        state.requested = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends as soon as this returns: the run's final row
        // first, as far as the time Windows gives allows.
        state.requested = true;
        if (state.finished.IsValid())
            WaitForSingleObject(state.finished.Get(), kConsoleCloseWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}
