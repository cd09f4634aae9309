#include "tests/support/FakeTransceiver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

constexpr unsigned char SYN = 0x16, ACK = 0x06, NAK = 0x15, STX = 0x02;
constexpr unsigned char kGarbage = 0xA5;
constexpr DWORD kProgramBaudNew = 19200, kOldBaud = 9600;
HANDLE const kProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

FakeTransceiver* g_fake = nullptr;

HANDLE WINAPI FakeCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                              DWORD disposition, DWORD flags, HANDLE)
{
    return g_fake->DoCreateFile(name, access, share, disposition, flags);
}
BOOL WINAPI FakeSetupComm(HANDLE h, DWORD in, DWORD out)
{
    return g_fake->DoSetupComm(h, in, out);
}
BOOL WINAPI FakeGetCommState(HANDLE h, LPDCB dcb)
{
    return g_fake->DoGetCommState(h, dcb);
}
BOOL WINAPI FakeBuildCommDCBA(LPCSTR text, LPDCB dcb)
{
    return g_fake->DoBuildCommDCB(text, dcb);
}
BOOL WINAPI FakeSetCommState(HANDLE h, LPDCB dcb)
{
    return g_fake->DoSetCommState(h, dcb);
}
BOOL WINAPI FakeEscapeCommFunction(HANDLE h, DWORD func)
{
    return g_fake->DoEscapeCommFunction(h, func);
}
BOOL WINAPI FakeGetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    return g_fake->DoGetCommTimeouts(h, t);
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    return g_fake->DoSetCommTimeouts(h, t);
}
BOOL WINAPI FakePurgeComm(HANDLE h, DWORD flags)
{
    return g_fake->DoPurgeComm(h, flags);
}
BOOL WINAPI FakeReadFile(HANDLE h, LPVOID buffer, DWORD n, LPDWORD read, LPOVERLAPPED)
{
    return g_fake->DoReadFile(h, buffer, n, read);
}
BOOL WINAPI FakeWriteFile(HANDLE h, LPCVOID data, DWORD n, LPDWORD written, LPOVERLAPPED)
{
    return g_fake->DoWriteFile(h, data, n, written);
}
BOOL WINAPI FakeCloseHandle(HANDLE h)
{
    return g_fake->DoCloseHandle(h);
}
BOOL WINAPI FakeGetCommProperties(HANDLE h, LPCOMMPROP prop)
{
    return g_fake->DoGetCommProperties(h, prop);
}
BOOL WINAPI FakeClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT status)
{
    return g_fake->DoClearCommError(h, errors, status);
}
BOOL WINAPI FakeQueryPerformanceCounter(LARGE_INTEGER* count)
{
    return g_fake->DoQueryPerformanceCounter(count);
}
BOOL WINAPI FakeQueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    frequency->QuadPart = FakeTransceiver::kCounterFrequency;
    return TRUE;
}
HANDLE WINAPI FakeGetCurrentProcess()
{
    return kProcess;
}
DWORD WINAPI FakeGetPriorityClass(HANDLE process)
{
    return g_fake->DoGetPriorityClass(process);
}
BOOL WINAPI FakeSetPriorityClass(HANDLE process, DWORD cls)
{
    return g_fake->DoSetPriorityClass(process, cls);
}

LONG WINAPI FakeRegOpenKeyExA(HKEY parent, LPCSTR name, DWORD, REGSAM, PHKEY key)
{
    return g_fake->DoRegOpenKey(parent, name, key);
}
LONG WINAPI FakeRegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                              LPBYTE data, LPDWORD dataLength)
{
    return g_fake->DoRegEnumValue(key, index, name, nameLength, type, data, dataLength);
}
LONG WINAPI FakeRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD length)
{
    return g_fake->DoRegQueryValue(key, name, type, data, length);
}
LONG WINAPI FakeRegCloseKey(HKEY key)
{
    return g_fake->DoRegCloseKey(key);
}
HDEVINFO WINAPI FakeSetupDiGetClassDevsA(const GUID* cls, PCSTR, HWND, DWORD flags)
{
    return g_fake->DoGetClassDevs(cls, flags);
}
BOOL WINAPI FakeSetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    return g_fake->DoEnumDeviceInfo(set, index, device);
}
HKEY WINAPI FakeSetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD, DWORD keyType,
                                     REGSAM)
{
    return g_fake->DoOpenDevRegKey(set, device, scope, keyType);
}
BOOL WINAPI FakeSetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                  PDWORD type, PBYTE buffer, DWORD size, PDWORD required)
{
    return g_fake->DoGetDeviceProperty(set, device, property, type, buffer, size, required);
}
BOOL WINAPI FakeSetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    return g_fake->DoDestroyDeviceSet(set);
}

const CommApi kFakeApi = {
    &FakeCreateFileA,
    &FakeSetupComm,
    &FakeGetCommState,
    &FakeBuildCommDCBA,
    &FakeSetCommState,
    &FakeEscapeCommFunction,
    &FakeGetCommTimeouts,
    &FakeSetCommTimeouts,
    &FakePurgeComm,
    &FakeReadFile,
    &FakeWriteFile,
    &FakeCloseHandle,
    &FakeGetCommProperties,
    &FakeClearCommError,
    &FakeQueryPerformanceCounter,
    &FakeQueryPerformanceFrequency,
    &FakeGetCurrentProcess,
    &FakeGetPriorityClass,
    &FakeSetPriorityClass,
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

FakeTransceiver::Bytes Text(const char* s)
{
    return FakeTransceiver::Bytes(s, s + std::strlen(s));
}

bool Is(const FakeTransceiver::Bytes& chunk, const unsigned char* frame, size_t n)
{
    return chunk.size() == n && std::equal(chunk.begin(), chunk.end(), frame);
}

std::string Hex(const FakeTransceiver::Bytes& bytes)
{
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof(b), "%02X ", c);
        out += b;
    }
    return out;
}

} // namespace

FakeTransceiver::Reply FakeTransceiver::Answer(Fault fault, DWORD delay)
{
    Reply r;
    r.fault = fault;
    r.delay = delay;
    return r;
}

FakeTransceiver::Reply FakeTransceiver::Raw(Bytes bytes, DWORD delay)
{
    Reply r;
    r.raw = true;
    r.bytes = std::move(bytes);
    r.delay = delay;
    return r;
}

const std::vector<FakeTransceiver::PortState>& FakeTransceiver::InheritedStates()
{
    // A write limit of 50 ms cuts "PROGRAM" at 1200 baud (64 ms on the line).
    // Limits of 2048 and 1024 suit a 4096-byte queue, not the link's 512.
    static const std::vector<PortState> states = {
        {"nothing harmful left", false, false, false, false, 0, 0, 0, false, 0, 0},
        {"zero bytes stripped", true, false, false, false, 0, 0, 0, false, 0, 0},
        {"aborts on error, an error left latched", false, true, false, true, 0, 0, 0, false, 0, 0},
        {"aborts on error, noise after the open", false, true, false, false, 50, 0, 0, false, 0, 0},
        {"DSR-sensitive, cable without DSR", false, false, true, false, 0, 0, 0, false, 0, 0},
        {"write time-out too short for 1200 baud", false, false, false, false, 0, 0, 50, false, 0, 0},
        {"XON character equal to XOFF", false, false, false, false, 0, 0, 0, true, 0, 0},
        {"flow-control limits for a larger queue", false, false, false, false, 0, 0, 0, false, 2048, 1024},
        {"all of these together", true, true, true, true, 50, 0, 50, true, 2048, 1024},
    };
    return states;
}

void FakeTransceiver::Inherit(const PortState& state)
{
    m_dcb.fNull = state.fNull;
    m_dcb.fAbortOnError = state.fAbortOnError;
    m_dcb.fDsrSensitivity = state.fDsrSensitivity;
    if (state.xonIsXoff) {
        m_dcb.XonChar = m_dcb.XoffChar = 0; // a DCB its program built from zeros
    }
    if (state.xonLimit || state.xoffLimit) {
        m_dcb.XonLim = state.xonLimit;
        m_dcb.XoffLim = state.xoffLimit;
    }
    if (state.errorLatched) {
        m_errors |= CE_FRAME;
    }
    noiseAfterOpen = state.noiseAfterOpen;
    if (state.writeMultiplier || state.writeConstant) {
        SetWriteTimeouts(state.writeMultiplier, state.writeConstant);
    }
}

void FakeTransceiver::SetWriteTimeouts(DWORD multiplier, DWORD constant)
{
    m_timeouts.WriteTotalTimeoutMultiplier = multiplier;
    m_timeouts.WriteTotalTimeoutConstant = constant;
}

FakeTransceiver::FakeTransceiver()
{
    identity = Text("TRX-4000E   ");
    for (int i = 0; identity.size() < 32; ++i) {
        identity.push_back(static_cast<unsigned char>(0x80 + i * 7));
    }
    modelName = Text("TRX4000E");
    version = Text("V2.10.0003");
    for (int i = 0; i < 50; ++i) {
        record.push_back(static_cast<unsigned char>(i * 5 + 1));
    }
    // A device that has been used before: not our settings.
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = 4800;
    m_dcb.ByteSize = 7;
    m_dcb.Parity = EVENPARITY;
    m_dcb.StopBits = ONESTOPBIT;
    m_dcb.fBinary = 1;
    m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
    m_dcb.XonChar = 0x11;
    m_dcb.XoffChar = 0x13;
    m_dcb.XonLim = 64;
    m_dcb.XoffLim = 64;
    m_timeouts.ReadIntervalTimeout = MAXDWORD;
    m_timeouts.ReadTotalTimeoutMultiplier = 7;
    m_timeouts.ReadTotalTimeoutConstant = 0;
    m_timeouts.WriteTotalTimeoutMultiplier = 3;
    m_timeouts.WriteTotalTimeoutConstant = 777;
    g_fake = this;
    m_previous = SetCommApi(&kFakeApi);
}

FakeTransceiver::~FakeTransceiver()
{
    SetCommApi(m_previous);
    g_fake = nullptr;
}

void FakeTransceiver::Script(Command cmd, Reply reply)
{
    m_script[cmd].push_back(std::move(reply));
}

unsigned char FakeTransceiver::IdentityCheck() const
{
    unsigned char sum = 0;
    for (unsigned char c : identity) {
        sum = static_cast<unsigned char>(sum + c);
    }
    return sum;
}

void FakeTransceiver::FailCall(Call c, int nth)
{
    m_failIn[c] = nth;
}

bool FakeTransceiver::Fails(Call c)
{
    m_tickRepeats = 0;
    if (m_failAlways.count(c)) {
        return true;
    }
    auto it = m_failIn.find(c);
    if (it != m_failIn.end() && --it->second == 0) {
        m_failIn.erase(it);
        return true;
    }
    return false;
}

bool FakeTransceiver::Known(HANDLE h)
{
    const auto stale = m_staleHandles.find(h);
    if (stale != m_staleHandles.end()) {
        Note("  (device removed)");
        SetLastError(stale->second);
        return false;
    }
    if (m_handles.count(h)) {
        return true;
    }
    Note("  (unknown handle)");
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

void FakeTransceiver::Note(const std::string& text)
{
    trace.push_back(std::to_string(Now()) + " " + text);
}

// ---- Records ---------------------------------------------------------------

FakeTransceiver::Bytes FakeTransceiver::Written() const
{
    Bytes all;
    for (const Write& w : writes) {
        all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    }
    return all;
}

std::vector<FakeTransceiver::Bytes> FakeTransceiver::WrittenFrames() const
{
    std::vector<Bytes> frames;
    for (const Write& w : writes) {
        frames.push_back(w.bytes);
    }
    return frames;
}

std::vector<DWORD> FakeTransceiver::ReadTimeouts() const
{
    std::vector<DWORD> out;
    for (const COMMTIMEOUTS& t : timeouts) {
        out.push_back(t.ReadTotalTimeoutConstant);
    }
    return out;
}

std::vector<DWORD> FakeTransceiver::Bauds() const
{
    std::vector<DWORD> out;
    for (const Line& l : lines) {
        out.push_back(l.baud);
    }
    return out;
}

std::string FakeTransceiver::Trace() const
{
    std::string out;
    for (const std::string& line : trace) {
        out += line + "\n";
    }
    return out;
}

void FakeTransceiver::Queue(const Pending& p)
{
    // Keep the line in arrival order; equal times keep their order.
    auto at = std::upper_bound(m_input.begin(), m_input.end(), p,
                               [](const Pending& a, const Pending& b) { return a.arrival < b.arrival; });
    m_input.insert(at, p);
}

void FakeTransceiver::Send(const Bytes& bytes, DWORD delay)
{
    for (unsigned char b : bytes) {
        Queue({m_nowUs + Us(delay), b, false});
    }
}

void FakeTransceiver::Noise(DWORD delay)
{
    Note("  noise in " + std::to_string(delay) + " ms");
    Queue({m_nowUs + Us(delay), 0x00, true});
}

// ---- The driver's own rules ------------------------------------------------

bool FakeTransceiver::ValidDcb(const DCB& d) const
{
    // As SetCommState documents: XON and XOFF must differ, flow control on or
    // off; 5 data bits never with 2 stop bits, 6 to 8 never with 1.5.
    if (d.XonChar == d.XoffChar) {
        return false;
    }
    if (d.ByteSize < 5 || d.ByteSize > 8 || d.Parity > SPACEPARITY || d.StopBits > TWOSTOPBITS) {
        return false;
    }
    if ((d.ByteSize == 5 && d.StopBits == TWOSTOPBITS) || (d.ByteSize > 5 && d.StopBits == ONE5STOPBITS)) {
        return false;
    }
    // The serial driver refuses flow-control limits beyond its input buffer,
    // which this one sizes as SetupComm asked.
    return d.XonLim <= m_inputQueue && d.XoffLim <= m_inputQueue;
}

void FakeTransceiver::LatchArrivedErrors()
{
    for (Pending& p : m_input) {
        if (p.arrival > m_nowUs) {
            break;
        }
        if (p.error) {
            m_errors |= CE_FRAME;
            p.error = false;
        }
    }
}

bool FakeTransceiver::Refused()
{
    LatchArrivedErrors();
    if (m_dcb.fAbortOnError && m_errors != 0) {
        Note("  refused: line error not acknowledged");
        SetLastError(ERROR_OPERATION_ABORTED);
        return true;
    }
    return false;
}

bool FakeTransceiver::Dropped(unsigned char byte) const
{
    return (m_dcb.fNull && byte == 0) || (m_dcb.fDsrSensitivity && !dsrDriven);
}

DWORD FakeTransceiver::CharacterTenthBits() const
{
    // Start bit, data bits, parity bit, stop bits (1, 1.5 or 2).
    const DWORD stop = m_dcb.StopBits == TWOSTOPBITS ? 20 : m_dcb.StopBits == ONE5STOPBITS ? 15 : 10;
    return 10 + 10 * m_dcb.ByteSize + (m_dcb.Parity != NOPARITY ? 10 : 0) + stop;
}

// ---- The transceiver -------------------------------------------------------

DWORD FakeTransceiver::ProgrammingBaud() const
{
    return kind == Kind::Old ? kOldBaud : kProgramBaudNew;
}

void FakeTransceiver::Respond(Command cmd, const Bytes& normal, DWORD lastByteGap)
{
    if (onHeard) {
        onHeard(cmd);
    }
    Reply reply;
    reply.delay = answerDelay;
    auto it = m_script.find(cmd);
    if (it != m_script.end() && !it->second.empty()) {
        reply = it->second.front();
        it->second.pop_front();
    }
    Bytes out;
    if (reply.raw) {
        out = reply.bytes;
    } else {
        out = normal;
        switch (reply.fault) {
        case Fault::None:
            break;
        case Fault::Silence:
            out.clear();
            break;
        case Fault::Garbage:
            out = {kGarbage};
            break;
        case Fault::Short:
            if (!out.empty()) {
                out.pop_back();
            }
            break;
        case Fault::WrongLead:
            if (!out.empty()) {
                out.front() = static_cast<unsigned char>(out.front() ^ 0xFF);
            }
            break;
        case Fault::WrongCheck:
            if (!out.empty()) {
                out.back() = static_cast<unsigned char>(out.back() + 1);
            }
            break;
        case Fault::HangUp:
            out.resize(out.size() / 2);
            m_hungUp = true;
            break;
        }
    }
    Note("  transceiver answers " + Hex(out));
    if (reply.raw || reply.fault != Fault::None || out.size() < 2) {
        Send(out, reply.delay);
    } else {
        Send(Bytes(out.begin(), out.end() - 1), reply.delay);
        Send(Bytes(out.end() - 1, out.end()), reply.delay + lastByteGap);
    }

    // Only the normal answer moves the transceiver between its modes.
    if (reply.raw || reply.fault != Fault::None) {
        return;
    }
    switch (cmd) {
    case Command::OldHandshake:
    case Command::Switch:
        m_programming = true;
        break;
    case Command::Program:
        m_awaitingSwitch = true;
        break;
    case Command::End:
        m_programming = false;
        break;
    case Command::RecordWrite:
        if (writeAnswer == ACK) {
            record = recordsWritten.back();
        }
        break;
    default:
        break;
    }
}

void FakeTransceiver::Hear(const Bytes& chunk)
{
    if (m_hungUp || kind == Kind::None || chunk.empty()) {
        return;
    }
    const DWORD baud = m_dcb.BaudRate;
    m_awaitingSwitch = false;

    if (!m_programming) {
        if (kind == Kind::Old && baud == kOldBaud && chunk == Text("FLFM96K")) {
            Respond(Command::OldHandshake, {SYN, ACK}, oldAckDelay);
        } else if (kind == Kind::New && baud == scanBaud && chunk == Text("PROGRAM")) {
            Respond(Command::Program, {SYN});
        }
        return;
    }
    if (baud != ProgrammingBaud()) {
        return; // noise at the wrong rate
    }
    if (m_awaitingRecord) {
        m_recordIn.insert(m_recordIn.end(), chunk.begin(), chunk.end());
        if (m_recordIn.size() >= 50) {
            m_awaitingRecord = false;
            recordsWritten.push_back(Bytes(m_recordIn.begin(), m_recordIn.begin() + 50));
            Respond(Command::RecordWrite, {writeAnswer});
        }
        return;
    }
    static const unsigned char urk[] = {0x55, 0x52, 0x4B}, urcb[] = {0x55, 0x52, 0xCB},
                               uwcb[] = {0x55, 0x57, 0xCB};
    if (chunk == Bytes{0x45}) {
        Respond(Command::End, {ACK});
    } else if (Is(chunk, urk, 3)) {
        Bytes answer{0x55};
        answer.insert(answer.end(), identity.begin(), identity.end());
        answer.push_back(IdentityCheck());
        Respond(Command::Identity, answer);
    } else if (chunk == Bytes{STX}) {
        Respond(Command::ModelName, modelName);
    } else if (chunk == Bytes{0x50}) {
        Respond(Command::Version, version);
    } else if (Is(chunk, urcb, 3)) {
        Bytes answer{0x55};
        answer.insert(answer.end(), record.begin(), record.end());
        Respond(Command::RecordRead, answer);
    } else if (Is(chunk, uwcb, 3)) {
        m_awaitingRecord = true;
        m_recordIn.clear();
    } else if (chunk == Bytes{ACK}) {
        Respond(Command::Ack, {ACK});
    } else if (chunk == Bytes{NAK}) {
        Respond(Command::Nak, {NAK});
    }
}

// ---- The device ------------------------------------------------------------

HANDLE FakeTransceiver::DoCreateFile(const char* name, DWORD access, DWORD share, DWORD disposition,
                                     DWORD flags)
{
    const std::string n = name ? name : "";
    Note("CreateFileA " + n);
    opens.push_back({n, access, share, disposition, flags});
    if (Fails(Call::CreateFile) || missingPorts.count(n) || m_cablePulled) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const auto refused = refusedPorts.find(n);
    if (refused != refusedPorts.end()) {
        SetLastError(refused->second);
        return INVALID_HANDLE_VALUE;
    }
    for (const auto& held : m_handleNames) {
        if (held.second == n) {
            // Opened without sharing: a second open is refused.
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    HANDLE h = reinterpret_cast<HANDLE>(m_nextHandle);
    m_nextHandle += 4;
    m_handles.insert(h);
    m_handleNames[h] = n;
    m_input.clear();
    m_awaitingSwitch = false;
    m_awaitingRecord = false;
    if (noiseAfterOpen) {
        Noise(noiseAfterOpen);
    }
    return h;
}

BOOL FakeTransceiver::DoSetupComm(HANDLE h, DWORD in, DWORD out)
{
    Note("SetupComm " + std::to_string(in) + " " + std::to_string(out));
    if (Fails(Call::SetupComm) || !Known(h) || Refused()) {
        return FALSE;
    }
    queueSizes.emplace_back(in, out);
    m_inputQueue = in;
    return TRUE;
}

BOOL FakeTransceiver::DoGetCommState(HANDLE h, DCB* dcb)
{
    Note("GetCommState");
    if (Fails(Call::GetCommState) || !Known(h) || Refused()) {
        return FALSE;
    }
    *dcb = m_dcb;
    return TRUE;
}

BOOL FakeTransceiver::DoBuildCommDCB(const char* text, DCB* dcb)
{
    const std::string s = text ? text : "";
    Note("BuildCommDCBA " + s);
    builtStrings.push_back(s);
    if (Fails(Call::BuildCommDCB)) {
        return FALSE;
    }
    // The old mode syntax: baud[,parity[,data[,stop]]], no spaces expected.
    std::vector<std::string> fields;
    std::stringstream in(s);
    for (std::string f; std::getline(in, f, ',');) {
        fields.push_back(f);
    }
    if (fields.empty() || fields.size() > 4 || fields[0].empty() ||
        fields[0].find_first_not_of("0123456789") != std::string::npos) {
        return FALSE;
    }
    DCB d = *dcb;
    d.BaudRate = static_cast<DWORD>(std::stoul(fields[0]));
    if (fields.size() > 1) {
        static const std::string parities = "NOEMS";
        if (fields[1].size() != 1 || parities.find(fields[1][0]) == std::string::npos) {
            return FALSE;
        }
        d.Parity = static_cast<BYTE>(parities.find(fields[1][0]));
    }
    if (fields.size() > 2) {
        if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') {
            return FALSE;
        }
        d.ByteSize = static_cast<BYTE>(fields[2][0] - '0');
    }
    if (fields.size() > 3) {
        if (fields[3] == "1") {
            d.StopBits = ONESTOPBIT;
        } else if (fields[3] == "1.5") {
            d.StopBits = ONE5STOPBITS;
        } else if (fields[3] == "2") {
            d.StopBits = TWOSTOPBITS;
        } else {
            return FALSE;
        }
    }
    d.fParity = d.Parity != NOPARITY;
    // As the platform's parser does when the string names no handshake: flow
    // control off, and DTR and RTS both on.
    d.fOutX = d.fInX = 0;
    d.fOutxCtsFlow = d.fOutxDsrFlow = 0;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    *dcb = d;
    return TRUE;
}

BOOL FakeTransceiver::DoSetCommState(HANDLE h, const DCB* dcb)
{
    Note("SetCommState " + std::to_string(dcb->BaudRate) + " parity " + std::to_string(dcb->Parity) +
         " bits " + std::to_string(dcb->ByteSize) + " stop " + std::to_string(dcb->StopBits) + " dtr " +
         std::to_string(dcb->fDtrControl) + " rts " + std::to_string(dcb->fRtsControl));
    if (Fails(Call::SetCommState) || !Known(h) || Refused()) {
        return FALSE;
    }
    if (!ValidDcb(*dcb)) {
        Note("  refused: invalid DCB");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    m_dcb = *dcb;
    lines.push_back({Now(), dcb->BaudRate, dcb->Parity, dcb->ByteSize, dcb->StopBits, dcb->fDtrControl,
                     dcb->fRtsControl});
    dtr = dcb->fDtrControl != DTR_CONTROL_DISABLE;
    rts = dcb->fRtsControl != RTS_CONTROL_DISABLE;
    rtsEverRaised = rtsEverRaised || rts;
    const bool switched = m_awaitingSwitch && dcb->BaudRate == kProgramBaudNew;
    m_awaitingSwitch = false;
    if (switched && !m_hungUp) {
        Respond(Command::Switch, {ACK});
    }
    return TRUE;
}

BOOL FakeTransceiver::DoEscapeCommFunction(HANDLE h, DWORD func)
{
    Note("EscapeCommFunction " + std::to_string(func));
    if (Fails(Call::EscapeCommFunction) || !Known(h) || Refused()) {
        return FALSE;
    }
    switch (func) {
    case SETRTS:
        rts = rtsEverRaised = true;
        break;
    case CLRRTS:
        rts = false;
        break;
    case SETDTR:
        dtr = true;
        break;
    case CLRDTR:
        dtr = false;
        break;
    default:
        break;
    }
    return TRUE;
}

BOOL FakeTransceiver::DoGetCommTimeouts(HANDLE h, COMMTIMEOUTS* t)
{
    Note("GetCommTimeouts");
    if (Fails(Call::GetCommTimeouts) || !Known(h) || Refused()) {
        return FALSE;
    }
    *t = m_timeouts;
    return TRUE;
}

BOOL FakeTransceiver::DoSetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t)
{
    Note("SetCommTimeouts read " + std::to_string(t->ReadTotalTimeoutConstant));
    if (Fails(Call::SetCommTimeouts) || !Known(h) || Refused()) {
        return FALSE;
    }
    m_timeouts = *t;
    timeouts.push_back(*t);
    return TRUE;
}

BOOL FakeTransceiver::DoPurgeComm(HANDLE h, DWORD flags)
{
    Note("PurgeComm " + std::to_string(flags));
    if (Fails(Call::PurgeComm) || !Known(h) || Refused()) {
        return FALSE;
    }
    purges.push_back(flags);
    if (flags & PURGE_RXCLEAR) {
        // Only what has arrived is thrown away; bytes still on their way stay.
        while (!m_input.empty() && m_input.front().arrival <= m_nowUs) {
            m_input.pop_front();
        }
    }
    return TRUE;
}

BOOL FakeTransceiver::DoReadFile(HANDLE h, void* buffer, DWORD n, DWORD* read)
{
    Note("ReadFile " + std::to_string(n) + " within " + std::to_string(m_timeouts.ReadTotalTimeoutConstant));
    *read = 0;
    if (Fails(Call::ReadFile) || !Known(h) || Refused()) {
        return FALSE;
    }
    const uint64_t start = Now();
    const uint64_t deadline = m_nowUs + Us(m_timeouts.ReadTotalTimeoutConstant);
    auto* out = static_cast<unsigned char*>(buffer);
    DWORD got = 0;
    bool aborted = false;
    while (got < n && !m_input.empty() && m_input.front().arrival <= deadline) {
        Pending& next = m_input.front();
        m_nowUs = std::max(m_nowUs, next.arrival);
        if (next.error) {
            m_errors |= CE_FRAME;
            next.error = false;
            if (m_dcb.fAbortOnError) {
                // The byte stays in the queue; the read ends at once.
                aborted = true;
                break;
            }
        }
        const unsigned char byte = next.byte;
        m_input.pop_front();
        if (!Dropped(byte)) {
            out[got++] = byte;
        }
    }
    if (got < n && !aborted) {
        m_nowUs = deadline;
    }
    *read = got;
    reads.push_back({start, n, got, m_timeouts.ReadTotalTimeoutConstant, priorityClass});
    if (aborted) {
        Note("  read aborted by a line error after " + std::to_string(got));
        SetLastError(ERROR_OPERATION_ABORTED);
        return FALSE;
    }
    Note("  read " + std::to_string(got));
    return TRUE;
}

BOOL FakeTransceiver::DoWriteFile(HANDLE h, const void* data, DWORD n, DWORD* written)
{
    *written = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    Bytes chunk(bytes, bytes + n);
    Note("WriteFile " + Hex(chunk) + "at " + std::to_string(m_dcb.BaudRate));
    if (onWrite)
        onWrite(chunk);
    if (Fails(Call::WriteFile) || !Known(h) || Refused()) {
        return FALSE;
    }
    if (shortWrites && !chunk.empty()) {
        chunk.pop_back();
    }
    const uint64_t start = Now();
    // A write that would outlast its time-out ends there with the bytes sent
    // so far; a time-out is not an error, so the call still succeeds.
    const uint64_t limit =
        uint64_t{m_timeouts.WriteTotalTimeoutMultiplier} * n + m_timeouts.WriteTotalTimeoutConstant;
    if (limit != 0 && m_dcb.BaudRate != 0) {
        // A character takes CharacterTenthBits() * 100 / baud milliseconds.
        const uint64_t fits = limit * m_dcb.BaudRate / (uint64_t{CharacterTenthBits()} * 100);
        if (fits < chunk.size()) {
            chunk.resize(static_cast<size_t>(fits));
            m_nowUs += Us(limit);
            m_tickRepeats = 0;
            Note("  write time-out after " + std::to_string(fits) + " bytes");
        }
    }
    *written = static_cast<DWORD>(chunk.size());
    writes.push_back({start, m_dcb.BaudRate, chunk});
    Hear(chunk);
    return TRUE;
}

BOOL FakeTransceiver::DoCloseHandle(HANDLE h)
{
    Note("CloseHandle");
    if (!m_handles.count(h)) {
        ++badCloses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The handle is gone even when the close reports failure.
    m_handles.erase(h);
    m_staleHandles.erase(h);
    m_handleNames.erase(h);
    ++closes;
    return Fails(Call::CloseHandle) ? FALSE : TRUE;
}

BOOL FakeTransceiver::DoGetCommProperties(HANDLE h, COMMPROP* prop)
{
    Note("GetCommProperties");
    propertyBlockSizes.push_back(prop->wPacketLength);
    if (Fails(Call::GetCommProperties) || !Known(h) || Refused()) {
        return FALSE;
    }
    const WORD given = prop->wPacketLength;
    const WORD needed = static_cast<WORD>(sizeof(COMMPROP) + providerBytes);
    std::memset(prop, 0, sizeof(COMMPROP));
    prop->wPacketLength = needed;
    prop->wPacketVersion = 2;
    prop->dwServiceMask = SP_SERIALCOMM;
    prop->dwMaxBaud = BAUD_USER;
    prop->dwProvSubType = provSubType;
    prop->dwCurrentTxQueue = 512;
    prop->dwCurrentRxQueue = 512;
    if (providerBytes && given >= needed) {
        // Provider data fills the block the caller said it has.
        std::memset(reinterpret_cast<unsigned char*>(prop) + sizeof(COMMPROP), 0x5A, providerBytes);
    }
    return TRUE;
}

BOOL FakeTransceiver::DoClearCommError(HANDLE h, DWORD* errors, COMSTAT* status)
{
    Note("ClearCommError");
    if (Fails(Call::ClearCommError) || !Known(h)) {
        return FALSE;
    }
    LatchArrivedErrors();
    ++clears;
    if (errors) {
        *errors = m_errors;
    }
    if (status) {
        *status = COMSTAT{};
        for (const Pending& p : m_input) {
            if (p.arrival > m_nowUs) {
                break;
            }
            ++status->cbInQue;
        }
    }
    m_errors = 0;
    return TRUE;
}

BOOL FakeTransceiver::DoQueryPerformanceCounter(LARGE_INTEGER* count)
{
    const uint64_t step = clockStepUs ? clockStepUs : 1;
    if (m_tickRepeats >= 3) {
        m_nowUs = (m_nowUs / step + 1) * step;
        m_tickRepeats = 0;
    }
    ++m_tickRepeats;
    count->QuadPart = static_cast<LONGLONG>(m_nowUs / step * step * (kCounterFrequency / 1000000));
    return TRUE;
}

DWORD FakeTransceiver::DoGetPriorityClass(HANDLE process)
{
    if (Fails(Call::GetPriorityClass) || process != kProcess) {
        return 0;
    }
    return priorityClass;
}

BOOL FakeTransceiver::DoSetPriorityClass(HANDLE process, DWORD cls)
{
    m_tickRepeats = 0;
    if (process != kProcess) {
        return FALSE;
    }
    Note("SetPriorityClass " + std::to_string(cls));
    priorityClass = cls;
    return TRUE;
}

// ---- The cable ---------------------------------------------------------------

void FakeTransceiver::PullCable(DWORD error)
{
    Note("  cable pulled out");
    m_cablePulled = true;
    for (HANDLE h : m_handles) {
        m_staleHandles[h] = error;
    }
    m_input.clear();
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
