// The serial ports Windows knows, listed without opening any: the port names
// under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, each with its device's friendly
// name from the Ports device class where Windows has one. Every platform
// call goes through the device-list table it is given (link/DeviceListApi.h).
#pragma once

#include "framework/CString.h"

#include <windows.h>

#include <vector>

struct DeviceListApi;
const DeviceListApi& PlatformDeviceListApi();

struct SerialPortEntry {
    BYTE number = 0;      // PortName::kLowest to kHighest
    CString friendlyName; // e.g. "USB Serial Port (COM23)"; empty when none
    CString hardwareId;
    CString driverProvider;
    CString driverVersion;
    ULONG problemCode = 0; // 0: started
};

// The number of a port name "COMn" (PortName::NumberOfName: any case, n 1 to
// 255 without leading zeros); 0 for any other name.
BYTE PortNumberOfName(const char* name);

// The port as lists show it: "COM23  USB Serial Port", the friendly name
// without the " (COM23)" Windows ends it with; "COM23" alone without a name.
CString PortLabel(const SerialPortEntry& port);

// Every present port, in port order, each once. Names other than COM1 to
// COM255 are left out; a port whose device has no friendly name has an empty
// one. Empty when the machine has no serial ports or the list cannot be read.
// The table must outlive the call.
std::vector<SerialPortEntry> ListSerialPorts(const DeviceListApi& api = PlatformDeviceListApi());
