#include "link/CommApi.h"

#include "link/PortList.h"

// Each table is built on first use: the addresses of imported functions are
// not constants, and the program's link is a global that may need them
// before or after other globals are constructed.

const SerialApi& PlatformSerialApi()
{
    static const SerialApi api = {
        &::CreateFileA,        &::SetupComm,       &::GetCommState,      &::BuildCommDCBA,  &::SetCommState,
        &::EscapeCommFunction, &::GetCommTimeouts, &::SetCommTimeouts,   &::PurgeComm,      &::ReadFile,
        &::WriteFile,          &::CloseHandle,     &::GetCommProperties, &::ClearCommError,
    };
    return api;
}

const ClockApi& PlatformClockApi()
{
    static const ClockApi api = {&::QueryPerformanceCounter, &::QueryPerformanceFrequency, &::Sleep};
    return api;
}

const PriorityApi& PlatformPriorityApi()
{
    static const PriorityApi api = {&::GetCurrentProcess, &::GetPriorityClass, &::SetPriorityClass};
    return api;
}

PortApis PlatformPortApis()
{
    return {&PlatformSerialApi(), &PlatformClockApi(), &PlatformPriorityApi(), &PlatformDeviceListApi()};
}
