// Ctrl+C, Ctrl+Break and the closing of the console window, for the
// commands that use the link: none of them may cut the write frame. The
// handler asks the run to stop at its next step and, outside the write frame,
// cuts short the read the run's thread is blocked in (a read may wait up to
// ten seconds for a silent radio; the handler cannot reach a synchronous
// ReadFile otherwise), so that the run ends programming mode and writes its
// final row at once. For a closing window, which Windows ends once the
// handler returns (or about five seconds after the event), it also waits for
// the run's final history row. A batch's pause between connection attempts
// ends at the stop too.
#pragma once

#include <windows.h>

struct ConsoleApi;

class CConsoleInterrupt {
public:
    // Installs the handler with no stop asked for yet, through the console
    // table. A program started with Ctrl+C ignored (a parent's
    // CREATE_NEW_PROCESS_GROUP, or its own SetConsoleCtrlHandler(NULL, TRUE))
    // would never see the press: that is undone first.
    explicit CConsoleInterrupt(const ConsoleApi& api);
    // Lets a waiting close go, then removes the handler.
    ~CConsoleInterrupt();
    CConsoleInterrupt(const CConsoleInterrupt&) = delete;
    CConsoleInterrupt& operator=(const CConsoleInterrupt&) = delete;

    // A Ctrl+C, Ctrl+Break or close has come since the handler was installed.
    bool Requested() const;
    // Waits this long, or until a stop is asked for (not at all when one
    // was): a pause between the batch's connection attempts.
    void WaitForStop(DWORD milliseconds) const;
    // The run is over and its final row written: a close waiting for it may
    // let Windows end the process.
    void Finished();
    // Whether a stop may cut the run thread's read short: not while the write
    // frame and its answer are on their way. Allowed until told otherwise.
    void AllowCut(bool allowed);

private:
    const ConsoleApi& m_api;
};

// The longest a closing console is held for the run's final row; Windows
// ends the process about 5 seconds after the event whatever the handler does.
constexpr DWORD kConsoleCloseWaitMs = 4000;

// What Windows calls, on a thread of its own, for each console event. TRUE
// for the events it handles while a CConsoleInterrupt is installed; a close
// returns once the run has finished (or after kConsoleCloseWaitMs). Tests
// deliver events through it.
BOOL WINAPI ConsoleControlHandler(DWORD event);
