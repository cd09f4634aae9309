// The Windows calls a serial port makes, in one table per concern: the
// device calls, the clock every wait reads or sleeps on, and the process
// priority calls around reads. A port gets the three as PortApis, with the
// port list's registry and device-setup calls (link/DeviceListApi.h) by
// which the link sees a removed adapter come back; the program's ports use
// the platform's functions, and unit tests hand theirs a simulated
// transceiver with a virtual clock instead.
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

// The clock of the port's busy waits, and the sleep of the longer pauses
// (waiting for a removed adapter to come back, pacing automatic retries).
struct ClockApi {
    decltype(&::QueryPerformanceCounter) QueryPerformanceCounter;
    decltype(&::QueryPerformanceFrequency) QueryPerformanceFrequency;
    decltype(&::Sleep) Sleep;
};

// The process's priority class, raised for each read.
struct PriorityApi {
    decltype(&::GetCurrentProcess) GetCurrentProcess;
    decltype(&::GetPriorityClass) GetPriorityClass;
    decltype(&::SetPriorityClass) SetPriorityClass;
};

struct DeviceListApi;

// Everything a port calls; the tables must outlive the port. devices may be
// null: the ports are then never listed, and a port that went away is
// opened again without waiting for Windows to list it.
struct PortApis {
    const SerialApi* serial;
    const ClockApi* clock;
    const PriorityApi* priority;
    const DeviceListApi* devices;
};

// The platform's own functions.
const SerialApi& PlatformSerialApi();
const ClockApi& PlatformClockApi();
const PriorityApi& PlatformPriorityApi();
PortApis PlatformPortApis();
