// The Windows calls that list the machine's serial ports without opening
// any: the registry (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM and the devices'
// keys), the device-setup calls of the Ports device class (names, hardware
// ids, driver) and the configuration manager's device status. The port list
// takes the table; unit tests hand it a simulated device tree.
#pragma once

#include <windows.h>

#include <cfgmgr32.h>
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
    decltype(&::SetupDiGetDeviceRegistryPropertyW) SetupDiGetDeviceRegistryPropertyW;
    decltype(&::SetupDiGetDevicePropertyW) SetupDiGetDevicePropertyW;
    decltype(&::CM_Get_DevNode_Status) CM_Get_DevNode_Status;
};

// The platform's own functions.
const DeviceListApi& PlatformDeviceListApi();
