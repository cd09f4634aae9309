// The fake's driver rules: what each device call does to the simulated port
// (its state, the bytes in flight, the time-outs), the calls made to fail, the
// states a previous user leaves behind, and the pulled cable (the removed
// device's handle as drivers answer on it, the port leaving the machine's
// list, and coming back as a new device, perhaps under another number).
#include "tests/support/FakeTransceiver.h"
#include "tests/support/FakeParts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

using namespace FakeParts;

namespace {

// The number of a port's device name ("COM4", "\\.\COM23"); 0 for another.
int NumberOf(const std::string& name)
{
    const size_t at = name.rfind("COM");
    if (at == std::string::npos || at + 3 >= name.size() ||
        name.find_first_not_of("0123456789", at + 3) != std::string::npos) {
        return 0;
    }
    return std::stoi(name.substr(at + 3));
}

HANDLE WINAPI FakeCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                              DWORD disposition, DWORD flags, HANDLE)
{
    return TheFake().DoCreateFile(name, access, share, disposition, flags);
}
BOOL WINAPI FakeSetupComm(HANDLE h, DWORD in, DWORD out)
{
    return TheFake().DoSetupComm(h, in, out);
}
BOOL WINAPI FakeGetCommState(HANDLE h, LPDCB dcb)
{
    return TheFake().DoGetCommState(h, dcb);
}
BOOL WINAPI FakeBuildCommDCBA(LPCSTR text, LPDCB dcb)
{
    return TheFake().DoBuildCommDCB(text, dcb);
}
BOOL WINAPI FakeSetCommState(HANDLE h, LPDCB dcb)
{
    return TheFake().DoSetCommState(h, dcb);
}
BOOL WINAPI FakeEscapeCommFunction(HANDLE h, DWORD func)
{
    return TheFake().DoEscapeCommFunction(h, func);
}
BOOL WINAPI FakeGetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    return TheFake().DoGetCommTimeouts(h, t);
}
BOOL WINAPI FakeSetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    return TheFake().DoSetCommTimeouts(h, t);
}
BOOL WINAPI FakePurgeComm(HANDLE h, DWORD flags)
{
    return TheFake().DoPurgeComm(h, flags);
}
BOOL WINAPI FakeReadFile(HANDLE h, LPVOID buffer, DWORD n, LPDWORD read, LPOVERLAPPED)
{
    return TheFake().DoReadFile(h, buffer, n, read);
}
BOOL WINAPI FakeWriteFile(HANDLE h, LPCVOID data, DWORD n, LPDWORD written, LPOVERLAPPED)
{
    return TheFake().DoWriteFile(h, data, n, written);
}
BOOL WINAPI FakeCloseHandle(HANDLE h)
{
    return TheFake().DoCloseHandle(h);
}
BOOL WINAPI FakeGetCommProperties(HANDLE h, LPCOMMPROP prop)
{
    return TheFake().DoGetCommProperties(h, prop);
}
BOOL WINAPI FakeClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT status)
{
    return TheFake().DoClearCommError(h, errors, status);
}

const SerialApi kSerialApi = {
    &FakeCreateFileA,       &FakeSetupComm,          &FakeGetCommState,    &FakeBuildCommDCBA,
    &FakeSetCommState,      &FakeEscapeCommFunction, &FakeGetCommTimeouts, &FakeSetCommTimeouts,
    &FakePurgeComm,         &FakeReadFile,           &FakeWriteFile,       &FakeCloseHandle,
    &FakeGetCommProperties, &FakeClearCommError,
};

} // namespace

const SerialApi& FakeTransceiver::Serial() const
{
    return kSerialApi;
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

void FakeTransceiver::FailCall(Call c, int nth)
{
    m_failIn[c] = nth;
}

bool FakeTransceiver::Fails(Call c)
{
    m_tickRepeats = 0;
    if (m_failAlways.count(c)) {
        SetLastError(failError);
        return true;
    }
    auto it = m_failIn.find(c);
    if (it != m_failIn.end() && --it->second == 0) {
        m_failIn.erase(it);
        SetLastError(failError);
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

// ---- The device ------------------------------------------------------------

HANDLE FakeTransceiver::DoCreateFile(const char* name, DWORD access, DWORD share, DWORD disposition,
                                     DWORD flags)
{
    const std::string n = name ? name : "";
    Note("CreateFileA " + n);
    opens.push_back({n, access, share, disposition, flags});
    if (Fails(Call::CreateFile) || missingPorts.count(n) || m_cablePulled ||
        m_goneNumbers.count(NumberOf(n))) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (m_nowUs < m_deniedUntilUs) {
        Note("  refused: the removed device is still being torn down");
        SetLastError(ERROR_ACCESS_DENIED);
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
    PullDuring pull;
    if (Known(h) && PullsDuring(Call::ReadFile, pull)) {
        PullCable(pull.error);
        SetLastError(pull.error);
        return FALSE;
    }
    if (removedReadsNothing && Stale(h)) {
        Note("  (device removed) read 0");
        return TRUE;
    }
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
    PullDuring pull;
    if (Known(h) && PullsDuring(Call::WriteFile, pull)) {
        chunk.resize(std::min(chunk.size(), pull.bytesOut));
        Note("  cable pulled after " + std::to_string(chunk.size()) + " bytes");
        if (!chunk.empty()) {
            writes.push_back({Now(), m_dcb.BaudRate, chunk});
            Hear(chunk);
        }
        PullCable(pull.error);
        *written = static_cast<DWORD>(chunk.size());
        SetLastError(pull.error);
        return FALSE;
    }
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
    if (Fails(Call::ClearCommError)) {
        return FALSE;
    }
    if (removedClearsErrors && Stale(h)) {
        Note("  (device removed) no errors");
        ++clears;
        if (errors) {
            *errors = 0;
        }
        if (status) {
            *status = COMSTAT{};
        }
        return TRUE;
    }
    if (!Known(h)) {
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

// ---- The cable ---------------------------------------------------------------

void FakeTransceiver::PullCable(DWORD error)
{
    Note("  cable pulled out");
    m_cablePulled = true;
    std::set<std::string> names;
    for (HANDLE h : m_handles) {
        m_staleHandles[h] = error;
        names.insert("COM" + std::to_string(NumberOf(m_handleNames[h])));
    }
    m_input.clear();
    m_awaitingRecord = false;
    m_recordIn.clear();
    // The adapter's port leaves the machine's list.
    const auto out = [&names](const std::string& name) { return names.count(name) != 0; };
    for (auto it = serialComm.begin(); it != serialComm.end();) {
        if (out(it->second)) {
            m_unpluggedComm.push_back(*it);
            it = serialComm.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = portDevices.begin(); it != portDevices.end();) {
        if (out(it->portName)) {
            m_unpluggedDevices.push_back(*it);
            it = portDevices.erase(it);
        } else {
            ++it;
        }
    }
}

void FakeTransceiver::PlugCable(int number)
{
    Note("  cable put back" + (number ? " as COM" + std::to_string(number) : std::string()));
    m_cablePulled = false;
    m_deniedUntilUs = m_nowUs + Us(deniedAfterPlug);
    // A new device: its driver's defaults, whatever the dead handle had set.
    m_dcb = DCB{};
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = 9600;
    m_dcb.fBinary = TRUE;
    m_dcb.ByteSize = 8;
    m_dcb.Parity = NOPARITY;
    m_dcb.StopBits = ONESTOPBIT;
    m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
    m_dcb.XonChar = 0x11;
    m_dcb.XoffChar = 0x13;
    m_dcb.XonLim = 2048;
    m_dcb.XoffLim = 512;
    m_inputQueue = 4096;
    m_timeouts = COMMTIMEOUTS{};
    m_errors = 0;
    const std::string name = "COM" + std::to_string(number);
    const auto renamed = [&](std::string& text, const std::string& old) {
        const size_t at = text.rfind(old);
        if (number && at != std::string::npos) {
            text.replace(at, old.size(), name);
        }
    };
    for (auto& entry : m_unpluggedComm) {
        if (number) {
            m_goneNumbers.insert(NumberOf(entry.second));
        }
        if (number) {
            entry.second = name;
        }
        serialComm.push_back(entry);
    }
    for (auto& device : m_unpluggedDevices) {
        const std::string old = device.portName;
        renamed(device.friendlyName, old);
        renamed(device.portName, old);
        portDevices.push_back(device);
    }
    if (number) {
        m_goneNumbers.erase(number);
    }
    m_unpluggedComm.clear();
    m_unpluggedDevices.clear();
}

void FakeTransceiver::PullCableDuring(Call c, DWORD error, size_t bytesOut)
{
    m_pullDuring.push_back({c, error, bytesOut});
}

bool FakeTransceiver::PullsDuring(Call c, PullDuring& pull)
{
    const auto it = std::find_if(m_pullDuring.begin(), m_pullDuring.end(),
                                 [c](const PullDuring& p) { return p.call == c; });
    if (it == m_pullDuring.end()) {
        return false;
    }
    pull = *it;
    m_pullDuring.erase(it);
    return true;
}
