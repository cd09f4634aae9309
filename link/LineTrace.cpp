#include "link/LineTrace.h"

#include "framework/SystemText.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

// The table's functions find their state from the table in force: it is the
// first member of the state, and they are reached through no other table.
static_assert(std::is_standard_layout<CCommTrace::State>::value,
              "the table is found from the state's address");

CCommTrace::State& InForce()
{
    return *reinterpret_cast<CCommTrace::State*>(const_cast<CommApi*>(&Comm()));
}

HANDLE WINAPI TracedCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile);

bool IsTracing()
{
    return Comm().CreateFileA == &TracedCreateFileA;
}

// "COM3" for "\\.\COM3" as well: the name users know.
const char* ShownDevice(const char* name)
{
    if (!name)
        return "";
    return std::strncmp(name, "\\\\.\\", 4) == 0 ? name + 4 : name;
}

CString Settings(const DCB& dcb)
{
    static const char kParity[] = "NOEMS";
    const char parity = dcb.Parity < sizeof kParity - 1 ? kParity[dcb.Parity] : '?';
    const char* stop = dcb.StopBits == ONESTOPBIT ? "1" : dcb.StopBits == ONE5STOPBITS ? "1.5" : "2";
    CString text;
    text.Format("%lu,%c,%u,%s", static_cast<unsigned long>(dcb.BaudRate), parity,
                static_cast<unsigned>(dcb.ByteSize), stop);
    return text;
}

// Each failure is written with the code and the call, and the code is left
// for the caller as the call left it.
template <typename T> T Checked(CCommTrace::State& state, const char* call, T result, bool failed)
{
    if (failed) {
        const DWORD code = GetLastError();
        state.WriteError(call, code);
        SetLastError(code);
    }
    return result;
}

HANDLE WINAPI TracedCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile)
{
    CCommTrace::State& state = InForce();
    const HANDLE h =
        state.inner->CreateFileA(name, access, share, security, disposition, flags, templateFile);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        const DWORD code = GetLastError();
        CString call;
        call.Format("open %s", ShownDevice(name));
        state.WriteError(call, code);
        SetLastError(code);
        return h;
    }
    // The line settings follow; the open is written with them.
    std::strncpy(state.device, ShownDevice(name), sizeof state.device - 1);
    state.device[sizeof state.device - 1] = '\0';
    state.baud = 0;
    return h;
}

BOOL WINAPI TracedSetupComm(HANDLE h, DWORD in, DWORD out)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->SetupComm(h, in, out);
    return Checked(state, "SetupComm", ok, !ok);
}

BOOL WINAPI TracedGetCommState(HANDLE h, LPDCB dcb)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->GetCommState(h, dcb);
    return Checked(state, "GetCommState", ok, !ok);
}

BOOL WINAPI TracedBuildCommDCBA(LPCSTR text, LPDCB dcb)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->BuildCommDCBA(text, dcb);
    return Checked(state, "BuildCommDCB", ok, !ok);
}

BOOL WINAPI TracedSetCommState(HANDLE h, LPDCB dcb)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->SetCommState(h, dcb);
    if (!ok)
        return Checked(state, "SetCommState", ok, true);
    if (state.device[0]) {
        const CString line = CString("open ") + state.device + " " + Settings(*dcb);
        state.device[0] = '\0';
        state.Write(line);
    } else if (dcb->BaudRate != state.baud) {
        CString line;
        line.Format("baud %lu", static_cast<unsigned long>(dcb->BaudRate));
        state.Write(line);
    }
    state.baud = dcb->BaudRate;
    return ok;
}

BOOL WINAPI TracedEscapeCommFunction(HANDLE h, DWORD function)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->EscapeCommFunction(h, function);
    return Checked(state, "EscapeCommFunction", ok, !ok);
}

BOOL WINAPI TracedGetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->GetCommTimeouts(h, timeouts);
    return Checked(state, "GetCommTimeouts", ok, !ok);
}

BOOL WINAPI TracedSetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->SetCommTimeouts(h, timeouts);
    if (ok && timeouts)
        state.limits = *timeouts;
    return Checked(state, "SetCommTimeouts", ok, !ok);
}

BOOL WINAPI TracedPurgeComm(HANDLE h, DWORD flags)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->PurgeComm(h, flags);
    return Checked(state, "PurgeComm", ok, !ok);
}

BOOL WINAPI TracedReadFile(HANDLE h, LPVOID buffer, DWORD wanted, LPDWORD got, LPOVERLAPPED overlapped)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->ReadFile(h, buffer, wanted, got, overlapped);
    const DWORD code = GetLastError();
    const DWORD count = got ? *got : 0;
    if (count > 0 && count <= wanted)
        state.Write(CLineTrace::BytesText("rx", static_cast<const unsigned char*>(buffer), count));
    if (!ok) {
        state.WriteError("ReadFile", code);
    } else if (count < wanted) {
        const unsigned long limit =
            state.limits.ReadTotalTimeoutMultiplier * wanted + state.limits.ReadTotalTimeoutConstant;
        CString line;
        line.Format("timeout after %lu ms (wanted %lu, got %lu)", limit, static_cast<unsigned long>(wanted),
                    static_cast<unsigned long>(count));
        state.Write(line);
    }
    SetLastError(code);
    return ok;
}

BOOL WINAPI TracedWriteFile(HANDLE h, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED overlapped)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->WriteFile(h, data, length, written, overlapped);
    const DWORD code = GetLastError();
    const DWORD count = written ? *written : 0;
    if (count > 0 && count <= length)
        state.Write(CLineTrace::BytesText("tx", static_cast<const unsigned char*>(data), count));
    if (!ok) {
        state.WriteError("WriteFile", code);
    } else if (count < length) {
        const unsigned long limit =
            state.limits.WriteTotalTimeoutMultiplier * length + state.limits.WriteTotalTimeoutConstant;
        CString line;
        line.Format("timeout after %lu ms (wanted to send %lu, sent %lu)", limit,
                    static_cast<unsigned long>(length), static_cast<unsigned long>(count));
        state.Write(line);
    }
    SetLastError(code);
    return ok;
}

BOOL WINAPI TracedCloseHandle(HANDLE h)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->CloseHandle(h);
    const DWORD code = GetLastError();
    state.device[0] = '\0';
    state.Write("close");
    if (!ok)
        state.WriteError("CloseHandle", code);
    SetLastError(code);
    return ok;
}

BOOL WINAPI TracedGetCommProperties(HANDLE h, LPCOMMPROP properties)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->GetCommProperties(h, properties);
    return Checked(state, "GetCommProperties", ok, !ok);
}

BOOL WINAPI TracedClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT status)
{
    CCommTrace::State& state = InForce();
    const BOOL ok = state.inner->ClearCommError(h, errors, status);
    if (!ok)
        return Checked(state, "ClearCommError", ok, true);
    // Line errors are the line's events: a byte lost or damaged.
    if (errors && *errors) {
        CString line;
        line.Format("line errors 0x%lX", static_cast<unsigned long>(*errors));
        state.Write(line);
    }
    return ok;
}

// The clock, the priority calls and the port list are not the line's:
// forwarded unwritten.
BOOL WINAPI TracedQueryPerformanceCounter(LARGE_INTEGER* count)
{
    return InForce().inner->QueryPerformanceCounter(count);
}

BOOL WINAPI TracedQueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    return InForce().inner->QueryPerformanceFrequency(frequency);
}

LSTATUS WINAPI TracedRegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    return InForce().inner->RegOpenKeyExA(key, subKey, options, access, result);
}

LSTATUS WINAPI TracedRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                                   LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    return InForce().inner->RegEnumValueA(key, index, name, nameSize, reserved, type, data, dataSize);
}

LSTATUS WINAPI TracedRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD dataSize)
{
    return InForce().inner->RegQueryValueExA(key, name, reserved, type, data, dataSize);
}

LSTATUS WINAPI TracedRegCloseKey(HKEY key)
{
    return InForce().inner->RegCloseKey(key);
}

HDEVINFO WINAPI TracedSetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags)
{
    return InForce().inner->SetupDiGetClassDevsA(classGuid, enumerator, parent, flags);
}

BOOL WINAPI TracedSetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data)
{
    return InForce().inner->SetupDiEnumDeviceInfo(set, index, data);
}

HKEY WINAPI TracedSetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD scope, DWORD profile,
                                       DWORD keyType, REGSAM access)
{
    return InForce().inner->SetupDiOpenDevRegKey(set, data, scope, profile, keyType, access);
}

BOOL WINAPI TracedSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                                    PDWORD type, PBYTE buffer, DWORD size, PDWORD required)
{
    return InForce().inner->SetupDiGetDeviceRegistryPropertyA(set, data, property, type, buffer, size, required);
}

BOOL WINAPI TracedSetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    return InForce().inner->SetupDiDestroyDeviceInfoList(set);
}

HANDLE WINAPI TracedGetCurrentProcess()
{
    return InForce().inner->GetCurrentProcess();
}

DWORD WINAPI TracedGetPriorityClass(HANDLE process)
{
    return InForce().inner->GetPriorityClass(process);
}

BOOL WINAPI TracedSetPriorityClass(HANDLE process, DWORD priorityClass)
{
    return InForce().inner->SetPriorityClass(process, priorityClass);
}

// The system's text for a code, on one line.
CString TraceErrorText(DWORD code)
{
    const CString text = SystemText(code);
    return text.IsEmpty() ? CString("(no system text)") : text;
}

} // namespace

CLineTrace::~CLineTrace()
{
    if (m_owned && m_stream)
        std::fclose(m_stream);
}

std::unique_ptr<CLineTrace> CLineTrace::Open(const CString& path, CString& error)
{
    if (path == "-")
        return std::make_unique<CLineTrace>(stderr);
    std::FILE* stream = std::fopen(path, "w");
    if (!stream) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto trace = std::make_unique<CLineTrace>(stream);
    trace->m_owned = true;
    return trace;
}

void CLineTrace::Line(unsigned long milliseconds, const char* text)
{
    if (!m_stream)
        return;
    std::fprintf(m_stream, "%8lu %s\n", milliseconds, text);
    std::fflush(m_stream);
}

CString CLineTrace::BytesText(const char* what, const unsigned char* bytes, unsigned long count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line(what);
    std::string shown;
    for (unsigned long i = 0; i < count; ++i) {
        line += ' ';
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 0x0F];
        shown += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    }
    return CString(line + "  |" + shown + "|");
}

void CCommTrace::State::Write(const char* text)
{
    // The system's clock, not the table's: a simulated line keeps its own
    // time, untouched by the trace.
    trace->Line(static_cast<unsigned long>(::GetTickCount() - start), text);
}

void CCommTrace::State::WriteError(const char* call, DWORD code)
{
    CString line;
    line.Format("error %lu %s (%s)", static_cast<unsigned long>(code), TraceErrorText(code).GetString(), call);
    Write(line);
}

CCommTrace::CCommTrace(CLineTrace& trace)
{
    m_state.table = {
        &TracedCreateFileA,       &TracedSetupComm,          &TracedGetCommState,    &TracedBuildCommDCBA,
        &TracedSetCommState,      &TracedEscapeCommFunction, &TracedGetCommTimeouts, &TracedSetCommTimeouts,
        &TracedPurgeComm,         &TracedReadFile,           &TracedWriteFile,       &TracedCloseHandle,
        &TracedGetCommProperties, &TracedClearCommError,     &TracedQueryPerformanceCounter,
        &TracedQueryPerformanceFrequency, &TracedGetCurrentProcess, &TracedGetPriorityClass,
        &TracedSetPriorityClass,  &TracedRegOpenKeyExA,      &TracedRegEnumValueA,   &TracedRegQueryValueExA,
        &TracedRegCloseKey,       &TracedSetupDiGetClassDevsA, &TracedSetupDiEnumDeviceInfo,
        &TracedSetupDiOpenDevRegKey, &TracedSetupDiGetDeviceRegistryPropertyA,
        &TracedSetupDiDestroyDeviceInfoList,
    };
    m_state.inner = &Comm();
    m_state.trace = &trace;
    m_state.start = ::GetTickCount();
    m_state.device[0] = '\0';
    m_state.baud = 0;
    m_state.limits = COMMTIMEOUTS{};
    // Its table's functions would find the outer state from the inner one.
    if (IsTracing())
        return;
    m_previous = SetCommApi(&m_state.table);
    m_installed = true;
}

CCommTrace::~CCommTrace()
{
    if (m_installed)
        SetCommApi(m_previous);
}

void TraceStep(const char* name)
{
    if (!IsTracing())
        return;
    InForce().Write(CString("step ") + name);
}
