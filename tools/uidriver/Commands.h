// The driver's commands. Each takes its arguments and returns the fields of
// its one-line JSON answer; a failure throws DriverError.
#pragma once

#include "tools/uidriver/Args.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace uidriver {

struct HandleCloser {
    void operator()(void* h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// State kept between the commands of one serve session: the processes this
// driver started, so their exit codes stay readable after they end.
class Session {
public:
    void Keep(DWORD pid, HANDLE process) { m_processes[pid] = UniqueHandle(process); }
    HANDLE Process(DWORD pid) const;

private:
    std::map<DWORD, UniqueHandle> m_processes;
};

// Runs one command; returns the whole answer line (without the line feed).
std::string RunCommand(Session& session, const Args& args);

} // namespace uidriver
