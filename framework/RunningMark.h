// While a program of the installation runs it holds a named mutex, so the
// installer and the uninstaller can tell before they touch a file: Windows
// lets no one replace or delete the file of a running program.
#pragma once

#include <windows.h>

// Both programs make one at start-up and keep it until they exit. It only
// marks: several copies may run at once, each holding its own handle to the
// same mutex, which exists while any of them runs. Its name comes from
// ORVELLE_RUNNING_MUTEX in CMakeLists.txt, as the installer script's does.
//
// The name is in the Global\ namespace, so a copy running in another session
// (another user, a remote desktop, a scheduled task) is seen too. The mutex
// lets everyone wait on it, which is all the installer and another user's
// copy ask for; only its maker's side may do more.
class CRunningMark {
public:
    CRunningMark();
    ~CRunningMark();
    CRunningMark(const CRunningMark&) = delete;
    CRunningMark& operator=(const CRunningMark&) = delete;

    // Whether this copy holds the mark.
    bool IsHeld() const { return m_mutex != nullptr; }

private:
    // Null when the mutex could neither be made nor opened: the program runs
    // on unmarked.
    HANDLE m_mutex = nullptr;
};

// The access a mark grants everyone (Everyone: wait on it, nothing more), as
// a security descriptor in SDDL; the system, the administrators and the
// mark's owner get full access.
extern const char kRunningMarkAccess[];
