// Ctrl+C, Ctrl+Break and the closing of the console window, for the
// commands that use the link: none of them may cut a frame. The handler only
// asks the run to stop at its next step; for a closing window, which Windows
// ends once the handler returns (or after a few seconds), it also waits for
// the run to have written its final history row.
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
    // The run is over and its final row written: a close waiting for it may
    // let Windows end the process.
    void Finished();

private:
    const ConsoleApi& m_api;
};

// The longest a closing console is held for the run's final row; Windows
// allows about 5 seconds.
constexpr DWORD kConsoleCloseWaitMs = 5000;

// What Windows calls, on a thread of its own, for each console event. TRUE
// for the events it handles while a CConsoleInterrupt is installed; a close
// returns once the run has finished (or after kConsoleCloseWaitMs). Tests
// deliver events through it.
BOOL WINAPI ConsoleControlHandler(DWORD event);
