// The Windows calls the serial link makes, gathered in one table: the comm
// API, the tick count used for every wait and the process priority calls
// used around reads. The program uses the platform's functions; unit tests
// put a simulated transceiver with a virtual clock in their place.
#pragma once

#include <windows.h>

struct CommApi {
    decltype(&::CreateFileA) CreateFileA;
    decltype(&::SetupComm) SetupComm;
    decltype(&::GetCommState) GetCommState;
    decltype(&::BuildCommDCBA) BuildCommDCBA;
    decltype(&::SetCommState) SetCommState;
    decltype(&::EscapeCommFunction) EscapeCommFunction;
    decltype(&::GetCommTimeouts) GetCommTimeouts;
    decltype(&::SetCommTimeouts) SetCommTimeouts;
    decltype(&::PurgeComm) PurgeComm;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetCommProperties) GetCommProperties;
    decltype(&::ClearCommError) ClearCommError;
    decltype(&::GetTickCount) GetTickCount;
    decltype(&::GetCurrentProcess) GetCurrentProcess;
    decltype(&::GetPriorityClass) GetPriorityClass;
    decltype(&::SetPriorityClass) SetPriorityClass;
};

// The table in force.
const CommApi& Comm();

// The platform's own functions.
const CommApi& PlatformCommApi();

// Test seam: puts another table in force and returns the previous one;
// nullptr restores the platform's. The table must outlive its use.
const CommApi* SetCommApi(const CommApi* api);
