// The fake machine's device tree: the SERIALCOMM values and the Ports-class
// devices, read through the registry, device-setup and configuration-manager
// calls.
#include "tests/support/FakeTransceiver.h"
#include "tests/support/FakeParts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

using namespace FakeParts;

namespace {

LONG WINAPI FakeRegOpenKeyExA(HKEY parent, LPCSTR name, DWORD, REGSAM, PHKEY key)
{
    return TheFake().DoRegOpenKey(parent, name, key);
}
LONG WINAPI FakeRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                              LPBYTE data, LPDWORD dataLength)
{
    return TheFake().DoRegEnumValue(key, index, name, nameLength, type, data, dataLength);
}
LONG WINAPI FakeRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD length)
{
    return TheFake().DoRegQueryValue(key, name, type, data, length);
}
LONG WINAPI FakeRegCloseKey(HKEY key)
{
    return TheFake().DoRegCloseKey(key);
}
HDEVINFO WINAPI FakeSetupDiGetClassDevsA(const GUID* cls, PCSTR, HWND, DWORD flags)
{
    return TheFake().DoGetClassDevs(cls, flags);
}
BOOL WINAPI FakeSetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    return TheFake().DoEnumDeviceInfo(set, index, device);
}
HKEY WINAPI FakeSetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD, DWORD keyType,
                                     REGSAM)
{
    return TheFake().DoOpenDevRegKey(set, device, scope, keyType);
}
BOOL WINAPI FakeSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                  PDWORD type, PBYTE buffer, DWORD size, PDWORD required)
{
    return TheFake().DoGetDeviceProperty(set, device, property, type, buffer, size, required);
}
BOOL WINAPI FakeSetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    return TheFake().DoDestroyDeviceSet(set);
}
BOOL WINAPI FakeSetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                  PDWORD type, PBYTE buffer, DWORD size, PDWORD required)
{
    return TheFake().DoGetDeviceWideProperty(set, device, property, type, buffer, size, required);
}
BOOL WINAPI FakeSetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, const DEVPROPKEY* key,
                                          DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD required,
                                          DWORD flags)
{
    return TheFake().DoGetDriverProperty(set, device, key, type, buffer, size, required, flags);
}
CONFIGRET WINAPI FakeCM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST device, ULONG flags)
{
    return TheFake().DoGetDevNodeStatus(status, problem, device, flags);
}

const DeviceListApi kDeviceListApi = {
    &FakeRegOpenKeyExA,
    &FakeRegEnumValueA,
    &FakeRegQueryValueExA,
    &FakeRegCloseKey,
    &FakeSetupDiGetClassDevsA,
    &FakeSetupDiEnumDeviceInfo,
    &FakeSetupDiOpenDevRegKey,
    &FakeSetupDiGetDeviceRegistryPropertyA,
    &FakeSetupDiDestroyDeviceInfoList,
    &FakeSetupDiGetDeviceRegistryPropertyW,
    &FakeSetupDiGetDevicePropertyW,
    &FakeCM_Get_DevNode_Status,
};

} // namespace

const DeviceListApi& FakeTransceiver::DeviceList() const
{
    return kDeviceListApi;
}

// ---- The machine's serial ports -----------------------------------------------

namespace {

// The Ports device setup class.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr int kSerialCommKey = -1; // m_keys: the SERIALCOMM key, not a device's
HDEVINFO const kDeviceSet = reinterpret_cast<HDEVINFO>(static_cast<uintptr_t>(0x7000));

// The driver's provider and version keys (devpkey.h).
constexpr GUID kDriverKeys = {0xa8b865dd, 0x2e3d, 0x4094, {0xad, 0x97, 0xe5, 0x93, 0xa7, 0x0c, 0x75, 0xd6}};
constexpr DEVPROPID kDriverVersionId = 3;
constexpr DEVPROPID kDriverProviderId = 9;

// A value as the registry hands it back: a string without a terminating zero
// unless its form says otherwise.
LONG CopyValue(const std::string& text, DWORD* type, BYTE* data, DWORD* length,
               const FakeTransceiver::ValueForm& form = {})
{
    if (type) {
        *type = form.type;
    }
    const std::string value = form.countsZero ? text + '\0' : text;
    const DWORD needed = static_cast<DWORD>(value.size());
    if (!length) {
        return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    }
    if (data && *length < needed) {
        *length = needed;
        return ERROR_MORE_DATA;
    }
    if (data) {
        std::memcpy(data, value.data(), value.size());
    }
    *length = needed;
    return ERROR_SUCCESS;
}

} // namespace

void FakeTransceiver::AddPort(int number, const std::string& friendlyName)
{
    const std::string name = "COM" + std::to_string(number);
    serialComm.emplace_back("\\Device\\Serial" + std::to_string(serialComm.size()), name);
    portDevices.push_back({name, friendlyName});
}

LONG FakeTransceiver::DoRegOpenKey(HKEY parent, const char* name, HKEY* key)
{
    Note(std::string("RegOpenKeyExA ") + (name ? name : ""));
    if (Fails(Call::RegOpenKey)) {
        return ERROR_ACCESS_DENIED;
    }
    if (parent != HKEY_LOCAL_MACHINE || !name || _stricmp(name, "HARDWARE\\DEVICEMAP\\SERIALCOMM") != 0 ||
        serialComm.empty()) {
        return ERROR_FILE_NOT_FOUND; // the key exists only while a port does
    }
    *key = reinterpret_cast<HKEY>(m_nextKey);
    m_nextKey += 4;
    m_keys[*key] = kSerialCommKey;
    return ERROR_SUCCESS;
}

LONG FakeTransceiver::DoRegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                                     BYTE* data, DWORD* dataLength)
{
    const auto open = m_keys.find(key);
    if (open == m_keys.end() || open->second != kSerialCommKey) {
        return ERROR_INVALID_HANDLE;
    }
    if (index >= serialComm.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const auto& value = serialComm[index];
    // The name's length is counted without its zero, the room with it.
    if (!name || !nameLength || *nameLength <= value.first.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, value.first.c_str(), value.first.size() + 1);
    *nameLength = static_cast<DWORD>(value.first.size());
    const auto form = serialCommForms.find(value.first);
    return CopyValue(value.second, type, data, dataLength,
                     form != serialCommForms.end() ? form->second : ValueForm{});
}

LONG FakeTransceiver::DoRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* length)
{
    const auto open = m_keys.find(key);
    if (open == m_keys.end() || open->second == kSerialCommKey) {
        return ERROR_INVALID_HANDLE;
    }
    if (!name || _stricmp(name, "PortName") != 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    return CopyValue(portDevices.at(static_cast<size_t>(open->second)).portName, type, data, length);
}

LONG FakeTransceiver::DoRegCloseKey(HKEY key)
{
    return m_keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

HDEVINFO FakeTransceiver::DoGetClassDevs(const GUID* cls, DWORD flags)
{
    Note("SetupDiGetClassDevsA");
    if (Fails(Call::SetupDiGetClassDevs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Only a set of the present Ports-class devices is played.
    if (!cls || !IsEqualGUID(*cls, kPortsClass) || !(flags & DIGCF_PRESENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ++m_deviceSets;
    return kDeviceSet;
}

BOOL FakeTransceiver::DoEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    if (set != kDeviceSet || m_deviceSets == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= portDevices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    device->DevInst = index + 1;
    return TRUE;
}

HKEY FakeTransceiver::DoOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD keyType)
{
    HKEY const failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (set != kDeviceSet || !device || device->DevInst == 0 || device->DevInst > portDevices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return failed;
    }
    if (scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV) {
        SetLastError(ERROR_KEY_DOES_NOT_EXIST); // only the hardware key holds PortName
        return failed;
    }
    HKEY key = reinterpret_cast<HKEY>(m_nextKey);
    m_nextKey += 4;
    m_keys[key] = static_cast<int>(device->DevInst - 1);
    return key;
}

BOOL FakeTransceiver::DoGetDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                          BYTE* buffer, DWORD size, DWORD* required)
{
    if (set != kDeviceSet || !device || device->DevInst == 0 || device->DevInst > portDevices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& friendly = portDevices[device->DevInst - 1].friendlyName;
    if (property != SPDRP_FRIENDLYNAME || friendly.empty()) {
        SetLastError(ERROR_INVALID_DATA); // the device has no such property
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(friendly.size() + 1);
    if (required) {
        *required = needed;
    }
    if (type) {
        *type = REG_SZ;
    }
    if (!buffer || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, friendly.c_str(), needed);
    return TRUE;
}

namespace {

// A property as SetupAPI hands it back: required always set, the data only
// when it fits.
BOOL CopyProperty(const std::vector<BYTE>& value, BYTE* buffer, DWORD size, DWORD* required)
{
    const DWORD needed = static_cast<DWORD>(value.size());
    if (required) {
        *required = needed;
    }
    if (!buffer || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, value.data(), needed);
    return TRUE;
}

// The text in UTF-16 with a zero; with another zero for a string list. The
// fake's texts are ASCII.
std::vector<BYTE> WideBytes(const std::string& text, bool list)
{
    std::vector<BYTE> bytes;
    for (const char c : text + (list ? std::string(2, '\0') : std::string(1, '\0'))) {
        bytes.push_back(static_cast<BYTE>(c));
        bytes.push_back(0);
    }
    return bytes;
}

} // namespace

const FakeTransceiver::PortDevice* FakeTransceiver::DeviceOf(HDEVINFO set,
                                                             const SP_DEVINFO_DATA* device) const
{
    if (set != kDeviceSet || m_deviceSets == 0 || !device || device->DevInst == 0 ||
        device->DevInst > portDevices.size()) {
        return nullptr;
    }
    return &portDevices[device->DevInst - 1];
}

BOOL FakeTransceiver::DoGetDeviceWideProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property,
                                              DWORD* type, BYTE* buffer, DWORD size, DWORD* required)
{
    const PortDevice* port = DeviceOf(set, device);
    if (!port) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (property != SPDRP_HARDWAREID || port->hardwareId.empty()) {
        SetLastError(ERROR_INVALID_DATA); // the device has no such property
        return FALSE;
    }
    if (type) {
        *type = REG_MULTI_SZ;
    }
    return CopyProperty(WideBytes(port->hardwareId, true), buffer, size, required);
}

BOOL FakeTransceiver::DoGetDriverProperty(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key,
                                          DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required,
                                          DWORD flags)
{
    const PortDevice* port = DeviceOf(set, device);
    if (!port || !key || !type) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (flags != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return FALSE;
    }
    const std::string* text = nullptr;
    if (IsEqualGUID(key->fmtid, kDriverKeys) && key->pid == kDriverProviderId) {
        text = &port->driverProvider;
    } else if (IsEqualGUID(key->fmtid, kDriverKeys) && key->pid == kDriverVersionId) {
        text = &port->driverVersion;
    }
    if (!text || text->empty()) {
        SetLastError(ERROR_NOT_FOUND); // what SetupAPI says of a property the device lacks
        return FALSE;
    }
    *type = DEVPROP_TYPE_STRING;
    return CopyProperty(WideBytes(*text, false), buffer, size, required);
}

CONFIGRET FakeTransceiver::DoGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST device, ULONG flags)
{
    if (!status || !problem) {
        return CR_INVALID_POINTER;
    }
    if (flags != 0) {
        return CR_INVALID_FLAG;
    }
    // A device node is the DevInst the enumeration gave (index + 1).
    if (device == 0 || device > portDevices.size()) {
        return CR_INVALID_DEVNODE;
    }
    const PortDevice& port = portDevices[device - 1];
    if (!port.statusReadable) {
        return CR_NO_SUCH_DEVNODE;
    }
    *status = DN_DRIVER_LOADED | (port.problemCode ? DN_HAS_PROBLEM : DN_STARTED);
    *problem = port.problemCode;
    return CR_SUCCESS;
}

BOOL FakeTransceiver::DoDestroyDeviceSet(HDEVINFO set)
{
    if (set != kDeviceSet || m_deviceSets == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --m_deviceSets;
    return TRUE;
}
