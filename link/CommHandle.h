// Owns one open communications device handle and closes it through the
// port's device table, so no path out of the serial port can leave a device
// held.
#pragma once

#include "framework/UniqueHandle.h"
#include "link/CommApi.h"

struct CommHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE; }
    bool Close(Handle h) const { return api->CloseHandle(h) != FALSE; }

    const SerialApi* api = &PlatformSerialApi();
};

using CCommHandle = CUniqueHandle<CommHandleTraits>;
