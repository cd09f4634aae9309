// The fake machine's device tree: the SERIALCOMM values and the Ports-class
// devices, read through the registry and device-setup calls.
#include "tests/support/FakeTransceiver.h"
#include "tests/support/FakeParts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

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

// A string value as the registry hands it back: without a terminating zero.
LONG CopyValue(const std::string& value, DWORD* type, BYTE* data, DWORD* length)
{
    if (type) {
        *type = REG_SZ;
    }
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
    return CopyValue(value.second, type, data, dataLength);
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

BOOL FakeTransceiver::DoDestroyDeviceSet(HDEVINFO set)
{
    if (set != kDeviceSet || m_deviceSets == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --m_deviceSets;
    return TRUE;
}
