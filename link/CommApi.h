// The Windows calls a serial port makes, in one table per concern: the
// device calls, the performance counter every wait reads, and the process
// priority calls around reads. A port gets the three as PortApis; the
// program's ports use the platform's functions, and unit tests hand theirs a
// simulated transceiver with a virtual clock instead. The port list's
// registry and device-setup calls are in their own table
// (link/DeviceListApi.h).
#pragma once

#include <windows.h>

// A communications device: open, set up, read, write, close.
struct SerialApi {
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
};

// The clock of the port's busy waits.
struct ClockApi {
    decltype(&::QueryPerformanceCounter) QueryPerformanceCounter;
    decltype(&::QueryPerformanceFrequency) QueryPerformanceFrequency;
};

// The process's priority class, raised for each read.
struct PriorityApi {
    decltype(&::GetCurrentProcess) GetCurrentProcess;
    decltype(&::GetPriorityClass) GetPriorityClass;
    decltype(&::SetPriorityClass) SetPriorityClass;
};

// Everything a port calls; the tables must outlive the port.
struct PortApis {
    const SerialApi* serial;
    const ClockApi* clock;
    const PriorityApi* priority;
};

// The platform's own functions.
const SerialApi& PlatformSerialApi();
const ClockApi& PlatformClockApi();
const PriorityApi& PlatformPriorityApi();
PortApis PlatformPortApis();
