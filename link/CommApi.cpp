#include "link/CommApi.h"

const CommApi& PlatformCommApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants, and the link object is a global that may need the table
    // before or after other globals are constructed.
    static const CommApi api = {
        &::CreateFileA,
        &::SetupComm,
        &::GetCommState,
        &::BuildCommDCBA,
        &::SetCommState,
        &::EscapeCommFunction,
        &::GetCommTimeouts,
        &::SetCommTimeouts,
        &::PurgeComm,
        &::ReadFile,
        &::WriteFile,
        &::CloseHandle,
        &::GetCommProperties,
        &::ClearCommError,
        &::QueryPerformanceCounter,
        &::QueryPerformanceFrequency,
        &::GetCurrentProcess,
        &::GetPriorityClass,
        &::SetPriorityClass,
        &::RegOpenKeyExA,
        &::RegEnumValueA,
        &::RegQueryValueExA,
        &::RegCloseKey,
        &::SetupDiGetClassDevsA,
        &::SetupDiEnumDeviceInfo,
        &::SetupDiOpenDevRegKey,
        &::SetupDiGetDeviceRegistryPropertyA,
        &::SetupDiDestroyDeviceInfoList,
    };
    return api;
}

// Test seam (one of the program's two): null means the platform's table.
static const CommApi* g_commApi = nullptr;

const CommApi& Comm()
{
    return g_commApi ? *g_commApi : PlatformCommApi();
}

const CommApi* SetCommApi(const CommApi* api)
{
    const CommApi* previous = g_commApi ? g_commApi : &PlatformCommApi();
    g_commApi = api;
    return previous;
}
