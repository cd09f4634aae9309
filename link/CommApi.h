// The Windows calls the serial link makes, gathered in one table: the comm
// API, the performance counter used for every wait, the process priority
// calls used around reads, and the registry and device-setup calls that list
// the machine's serial ports. The program uses the platform's functions; unit
// tests put a simulated transceiver with a virtual clock and a virtual device
// tree in their place.
#pragma once

#include <windows.h>

#include <setupapi.h>

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
    decltype(&::QueryPerformanceCounter) QueryPerformanceCounter;
    decltype(&::QueryPerformanceFrequency) QueryPerformanceFrequency;
    decltype(&::GetCurrentProcess) GetCurrentProcess;
    decltype(&::GetPriorityClass) GetPriorityClass;
    decltype(&::SetPriorityClass) SetPriorityClass;
    // The port list: HKLM\HARDWARE\DEVICEMAP\SERIALCOMM and the Ports
    // device class.
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegEnumValueA) RegEnumValueA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegCloseKey) RegCloseKey;
    decltype(&::SetupDiGetClassDevsA) SetupDiGetClassDevsA;
    decltype(&::SetupDiEnumDeviceInfo) SetupDiEnumDeviceInfo;
    decltype(&::SetupDiOpenDevRegKey) SetupDiOpenDevRegKey;
    decltype(&::SetupDiGetDeviceRegistryPropertyA) SetupDiGetDeviceRegistryPropertyA;
    decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;
};

// The table in force.
const CommApi& Comm();

// The platform's own functions.
const CommApi& PlatformCommApi();

// Test seam: puts another table in force and returns the previous one;
// nullptr restores the platform's. The table must outlive its use.
const CommApi* SetCommApi(const CommApi* api);
