#include "link/PortList.h"

#include "framework/UniqueHandle.h"
#include "link/DeviceListApi.h"
#include "link/PortName.h"

#include <algorithm>
#include <map>

namespace {

// HKLM: one value per present port, its data the port name.
constexpr char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The device key value that names a Ports-class device's port.
constexpr char kPortNameValue[] = "PortName";
// The Ports (COM and LPT) device setup class, {4D36E978-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// Registry value names are at most 16383 characters.
constexpr DWORD kLongestValueName = 16384;
// No port name or friendly name comes near this; a longer value is not one.
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

// The friendly name of a device, or empty.
CString FriendlyName(const DeviceListApi& api, HDEVINFO set, SP_DEVINFO_DATA& device)
{
    std::vector<BYTE> data(256);
    for (;;) {
        DWORD type = 0;
        DWORD required = 0;
        if (api.SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &type, data.data(),
                                                  static_cast<DWORD>(data.size()), &required)) {
            return IsString(type) ? TextOf(data, std::min<DWORD>(required, static_cast<DWORD>(data.size())))
                                  : CString();
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= data.size() ||
            required > kLongestText) {
            return CString(); // ERROR_INVALID_DATA: the device has none
        }
        data.resize(required);
    }
}

// Friendly names of the present Ports-class devices, by port number.
std::map<BYTE, CString> FriendlyNames(const DeviceListApi& api)
{
    std::map<BYTE, CString> names;
    const CDeviceSet set(api.SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT),
                         DeviceSetTraits{&api});
    if (!set.IsValid()) {
        return names;
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
            const CString friendly = FriendlyName(api, set.Get(), device);
            if (!friendly.IsEmpty()) {
                names[number] = friendly;
            }
        }
    }
    return names;
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
    };
    return api;
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
    const std::map<BYTE, CString> names = FriendlyNames(api);
    for (BYTE number : numbers) {
        SerialPortEntry entry;
        entry.number = number;
        const auto named = names.find(number);
        if (named != names.end()) {
            entry.friendlyName = named->second;
        }
        ports.push_back(entry);
    }
    return ports;
}
