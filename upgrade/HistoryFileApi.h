// The Windows calls the upgrade history makes on its folder and file, in one
// table, so that a test can give them the failures Wine cannot produce (a
// disk that fills up, a folder the user may not write to, a file another
// program holds for a moment or for as long as it likes) and a clock and a
// process id of its own for the wait and the side files' names.
#pragma once

#include <windows.h>

struct HistoryFileApi {
    decltype(&::CreateDirectoryA) CreateDirectoryA;
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::GetFileSizeEx) GetFileSizeEx;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::GetTickCount) GetTickCount;
    decltype(&::Sleep) Sleep;
    decltype(&::GetCurrentProcessId) GetCurrentProcessId;
    // The side files: found, and removed through the handle they were
    // folded through.
    decltype(&::FindFirstFileA) FindFirstFileA;
    decltype(&::FindNextFileA) FindNextFileA;
    decltype(&::FindClose) FindClose;
    decltype(&::SetFileInformationByHandle) SetFileInformationByHandle;
};

// The platform's own functions.
const HistoryFileApi& PlatformHistoryFileApi();
