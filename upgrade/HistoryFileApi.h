// The Windows calls the upgrade history makes on its folder and file, in one
// table, so that a test can give them the failures Wine cannot produce (a
// disk that fills up, a folder the user may not write to, a file another
// program holds for a moment) and a clock of its own for the wait.
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
};

// The platform's own functions.
const HistoryFileApi& PlatformHistoryFileApi();
