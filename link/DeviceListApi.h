// The Windows calls that list the machine's serial ports without opening
// any: the registry (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM and the devices'
// keys) and the device-setup calls of the Ports device class. The port list
// takes the table; unit tests hand it a simulated device tree.
#pragma once

#include <windows.h>

#include <setupapi.h>

struct DeviceListApi {
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

// The platform's own functions.
const DeviceListApi& PlatformDeviceListApi();
