// The serial ports Windows knows, listed without opening any: the port names
// under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, each with what the Ports device
// class tells of its device where Windows has one (friendly name, hardware
// id, driver, status). Every platform call goes through the device-list
// table it is given (link/DeviceListApi.h).
#pragma once

#include "framework/CString.h"
#include "link/PortWarning.h"

#include <windows.h>

#include <vector>

struct DeviceListApi;
const DeviceListApi& PlatformDeviceListApi();

// A port's device as Windows reports it: Unknown where no device of the
// Ports class names the port (Wine has none) or its status cannot be read.
enum class DeviceStatus { Unknown, Started, NotStarted, Problem };

struct SerialPortEntry {
    BYTE number = 0;      // PortName::kLowest to kHighest
    CString friendlyName; // e.g. "USB Serial Port (COM23)"; empty when none
    // The device's first hardware id (e.g. "USB\VID_1234&PID_5678"), its
    // driver's provider and version; each empty when Windows has none.
    CString hardwareId;
    CString driverProvider;
    CString driverVersion;
    ULONG problemCode = 0; // 0: started (or no problem to read: see status)
    DeviceStatus status = DeviceStatus::Unknown;
};

// Whether the port is flagged, and why (link/PortWarning.h).
PortWarning PortWarningOf(const SerialPortEntry& port);

// The number of a port name "COMn" (PortName::NumberOfName: any case, n 1 to
// 255 without leading zeros); 0 for any other name.
BYTE PortNumberOfName(const char* name);

// The port as lists show it: "COM23  USB Serial Port", the friendly name
// without the " (COM23)" Windows ends it with; "COM23" alone without a name.
CString PortLabel(const SerialPortEntry& port);

// Every present port, in port order, each once. Names other than COM1 to
// COM255 are left out; a device is matched to its port by its PortName value
// (never by the port its friendly name ends in); what a port's device lacks
// stays empty. Empty when the machine has no serial ports or the list cannot
// be read. The table must outlive the call.
std::vector<SerialPortEntry> ListSerialPorts(const DeviceListApi& api = PlatformDeviceListApi());
