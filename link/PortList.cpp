#include "link/PortList.h"

#include "framework/CodePage.h"
#include "framework/UniqueHandle.h"
#include "link/DeviceListApi.h"
#include "link/PortName.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace {

// HKLM: one value per present port, its data the port name.
constexpr char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The device key value that names a Ports-class device's port.
constexpr char kPortNameValue[] = "PortName";
// The Ports (COM and LPT) device setup class, {4D36E978-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// The driver's provider and version (devpkey.h's DEVPKEY_Device_DriverProvider
// and DEVPKEY_Device_DriverVersion).
constexpr DEVPROPKEY kDriverProvider = {
    {0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}}, 9};
constexpr DEVPROPKEY kDriverVersion = {
    {0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}}, 3};
// Registry value names are at most 16383 characters.
constexpr DWORD kLongestValueName = 16384;
// No port name, friendly name, hardware id or driver text comes near this (in
// bytes); a longer value is not one.
constexpr DWORD kLongestText = 1024;

// A registry key, closed through the device-list table. SetupDiOpenDevRegKey
// reports failure with INVALID_HANDLE_VALUE, RegOpenKeyEx leaves null.
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle key)
    {
        return key != nullptr && key != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    bool Close(Handle key) const { return api->RegCloseKey(key) == ERROR_SUCCESS; }

    const DeviceListApi* api;
};
using CRegKey = CUniqueHandle<RegKeyTraits>;

// A device information set, destroyed through the device-list table.
struct DeviceSetTraits {
    using Handle = HDEVINFO;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle set) { return set != INVALID_HANDLE_VALUE && set != nullptr; }
    bool Close(Handle set) const { return api->SetupDiDestroyDeviceInfoList(set) != FALSE; }

    const DeviceListApi* api;
};
using CDeviceSet = CUniqueHandle<DeviceSetTraits>;

// A string value's text: the bytes the call returned, up to the first zero.
// The registry does not promise a terminating zero.
CString TextOf(const std::vector<BYTE>& data, DWORD length)
{
    const auto end = data.begin() + std::min<size_t>(length, data.size());
    const auto zero = std::find(data.begin(), end, BYTE{0});
    return CString(reinterpret_cast<const char*>(data.data()), static_cast<int>(zero - data.begin()));
}

bool IsString(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// A string value of an open key; false when it is missing, of another type
// or implausibly long.
bool QueryText(const DeviceListApi& api, HKEY key, const char* name, CString& text)
{
    std::vector<BYTE> data(64);
    for (;;) {
        DWORD type = 0;
        DWORD length = static_cast<DWORD>(data.size());
        const LONG result = api.RegQueryValueExA(key, name, nullptr, &type, data.data(), &length);
        if (result == ERROR_MORE_DATA && length > data.size() && length <= kLongestText) {
            data.resize(length);
            continue;
        }
        if (result != ERROR_SUCCESS || !IsString(type)) {
            return false;
        }
        text = TextOf(data, length);
        return true;
    }
}

// The port numbers under SERIALCOMM, unsorted, possibly repeated.
std::vector<BYTE> SerialCommPorts(const DeviceListApi& api)
{
    std::vector<BYTE> ports;
    CRegKey key(nullptr, RegKeyTraits{&api});
    if (api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, key.Address()) !=
        ERROR_SUCCESS) {
        return ports; // no serial port has ever been present
    }
    std::vector<char> name(kLongestValueName);
    std::vector<BYTE> data(64);
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG result = api.RegEnumValueA(key.Get(), index, name.data(), &nameLength, nullptr, &type,
                                              data.data(), &dataLength);
        if (result == ERROR_MORE_DATA && dataLength > data.size() && dataLength <= kLongestText) {
            data.resize(dataLength);
            continue; // the same value again, with room for its data
        }
        if (result == ERROR_MORE_DATA) {
            ++index; // not a port name: skip it
            continue;
        }
        if (result != ERROR_SUCCESS) {
            break; // ERROR_NO_MORE_ITEMS, or a key that cannot be read further
        }
        ++index;
        if (IsString(type)) {
            if (const BYTE number = PortNumberOfName(TextOf(data, dataLength))) {
                ports.push_back(number);
            }
        }
    }
    return ports;
}

// A device property as the call hands it back: true with its type and
// data (length: the bytes filled), growing the buffer as the call asks.
// read(buffer, size, type, required) is the property call.
template <typename Read> bool ReadProperty(Read read, DWORD& type, std::vector<BYTE>& data, DWORD& length)
{
    data.assign(256, 0);
    for (;;) {
        DWORD required = 0;
        if (read(data.data(), static_cast<DWORD>(data.size()), type, required)) {
            length = std::min<DWORD>(required, static_cast<DWORD>(data.size()));
            return true;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= data.size() ||
            required > kLongestText) {
            return false; // ERROR_INVALID_DATA, ERROR_NOT_FOUND: the device has none
        }
        data.resize(required);
    }
}

// A UTF-16 string's text (the first of a list) in the ANSI code page: the
// characters the call returned, up to the first zero.
CString TextOfWide(const std::vector<BYTE>& data, DWORD length)
{
    std::wstring wide;
    const size_t characters = std::min<size_t>(length, data.size()) / sizeof(WCHAR);
    for (size_t i = 0; i < characters; ++i) {
        WCHAR character = 0;
        std::memcpy(&character, data.data() + i * sizeof(WCHAR), sizeof(WCHAR));
        if (character == 0) {
            break;
        }
        wide += character;
    }
    std::string text;
    CodePageFromWide(wide, AnsiCodePage(), text);
    return CString(text);
}

// The friendly name of a device, or empty.
CString FriendlyName(const DeviceListApi& api, HDEVINFO set, SP_DEVINFO_DATA& device)
{
    DWORD type = 0;
    DWORD length = 0;
    std::vector<BYTE> data;
    const bool read = ReadProperty(
        [&](BYTE* buffer, DWORD size, DWORD& got, DWORD& required) {
            return api.SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &got, buffer, size,
                                                         &required) != FALSE;
        },
        type, data, length);
    return read && IsString(type) ? TextOf(data, length) : CString();
}

// The first of a device's hardware ids, or empty.
CString HardwareId(const DeviceListApi& api, HDEVINFO set, SP_DEVINFO_DATA& device)
{
    DWORD type = 0;
    DWORD length = 0;
    std::vector<BYTE> data;
    const bool read = ReadProperty(
        [&](BYTE* buffer, DWORD size, DWORD& got, DWORD& required) {
            return api.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &got, buffer, size,
                                                         &required) != FALSE;
        },
        type, data, length);
    return read && (type == REG_MULTI_SZ || type == REG_SZ) ? TextOfWide(data, length) : CString();
}

// A string property of a device's driver, or empty.
CString DriverText(const DeviceListApi& api, HDEVINFO set, SP_DEVINFO_DATA& device, const DEVPROPKEY& key)
{
    DWORD type = 0;
    DWORD length = 0;
    std::vector<BYTE> data;
    const bool read = ReadProperty(
        [&](BYTE* buffer, DWORD size, DWORD& got, DWORD& required) {
            DEVPROPTYPE propertyType = 0;
            const BOOL done =
                api.SetupDiGetDevicePropertyW(set, &device, &key, &propertyType, buffer, size, &required, 0);
            got = propertyType;
            return done != FALSE;
        },
        type, data, length);
    return read && type == DEVPROP_TYPE_STRING ? TextOfWide(data, length) : CString();
}

// The device's status and problem number, as the configuration manager has
// them.
void ReadStatus(const DeviceListApi& api, const SP_DEVINFO_DATA& device, SerialPortEntry& entry)
{
    ULONG status = 0;
    ULONG problem = 0;
    if (api.CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) != CR_SUCCESS) {
        return; // Unknown
    }
    if (status & DN_HAS_PROBLEM) {
        entry.status = DeviceStatus::Problem;
        entry.problemCode = problem;
    } else {
        entry.status = status & DN_STARTED ? DeviceStatus::Started : DeviceStatus::NotStarted;
    }
}

// What the present Ports-class devices tell of their ports, by port number
// (each entry without its number).
std::map<BYTE, SerialPortEntry> PortDevices(const DeviceListApi& api)
{
    std::map<BYTE, SerialPortEntry> devices;
    const CDeviceSet set(api.SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT),
                         DeviceSetTraits{&api});
    if (!set.IsValid()) {
        return devices;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        if (!api.SetupDiEnumDeviceInfo(set.Get(), index, &device)) {
            break; // ERROR_NO_MORE_ITEMS
        }
        const CRegKey key(
            api.SetupDiOpenDevRegKey(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE),
            RegKeyTraits{&api});
        CString portName;
        if (!key.IsValid() || !QueryText(api, key.Get(), kPortNameValue, portName)) {
            continue;
        }
        // LPT ports share the class; their names are not COMn.
        if (const BYTE number = PortNumberOfName(portName)) {
            SerialPortEntry& entry = devices[number];
            entry.friendlyName = FriendlyName(api, set.Get(), device);
            entry.hardwareId = HardwareId(api, set.Get(), device);
            entry.driverProvider = DriverText(api, set.Get(), device, kDriverProvider);
            entry.driverVersion = DriverText(api, set.Get(), device, kDriverVersion);
            ReadStatus(api, device, entry);
        }
    }
    return devices;
}

} // namespace

const DeviceListApi& PlatformDeviceListApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants.
    static const DeviceListApi api = {
        &::RegOpenKeyExA,
        &::RegEnumValueA,
        &::RegQueryValueExA,
        &::RegCloseKey,
        &::SetupDiGetClassDevsA,
        &::SetupDiEnumDeviceInfo,
        &::SetupDiOpenDevRegKey,
        &::SetupDiGetDeviceRegistryPropertyA,
        &::SetupDiDestroyDeviceInfoList,
        &::SetupDiGetDeviceRegistryPropertyW,
        &::SetupDiGetDevicePropertyW,
        &::CM_Get_DevNode_Status,
    };
    return api;
}

PortWarning PortWarningOf(const SerialPortEntry& port)
{
    return PortWarningOf(port.problemCode, port.friendlyName);
}

BYTE PortNumberOfName(const char* name)
{
    return static_cast<BYTE>(PortName::NumberOfName(name));
}

CString PortLabel(const SerialPortEntry& port)
{
    const CString name = PortName::Name(port.number);
    CString description = port.friendlyName;
    const CString suffix = " (" + name + ")";
    const int kept = description.GetLength() - suffix.GetLength();
    if (kept > 0 && _stricmp(description.Mid(kept), suffix) == 0) {
        description = description.Left(kept);
    }
    return description.IsEmpty() ? name : name + "  " + description;
}

std::vector<SerialPortEntry> ListSerialPorts(const DeviceListApi& api)
{
    std::vector<BYTE> numbers = SerialCommPorts(api);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    std::vector<SerialPortEntry> ports;
    if (numbers.empty()) {
        return ports;
    }
    const std::map<BYTE, SerialPortEntry> devices = PortDevices(api);
    for (BYTE number : numbers) {
        const auto device = devices.find(number);
        SerialPortEntry entry = device != devices.end() ? device->second : SerialPortEntry();
        entry.number = number;
        ports.push_back(entry);
    }
    return ports;
}
