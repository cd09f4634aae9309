// While a program of the installation runs it holds a named mutex, so the
// installer and the uninstaller can tell before they touch a file: Windows
// lets no one replace or delete the file of a running program.
#pragma once

#include <windows.h>

// Both programs make one at start-up and keep it until they exit. It only
// marks: several copies may run at once, each holding its own handle to the
// same mutex, which exists while any of them runs. Its name comes from
// ORVELLE_RUNNING_MUTEX in CMakeLists.txt, as the installer script's does.
class CRunningMark {
public:
    CRunningMark();
    ~CRunningMark();
    CRunningMark(const CRunningMark&) = delete;
    CRunningMark& operator=(const CRunningMark&) = delete;

private:
    // Null when the mutex could not be made: the program runs on unmarked.
    HANDLE m_mutex = nullptr;
};
