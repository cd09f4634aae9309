#include "link/SerialPort.h"

#include "link/LinkProtocol.h"
#include "link/PortName.h"
#include "link/PortObserver.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

// The write limit: long enough for the longest frame at the slowest rate the
// link uses, with at most 12 bits a character (start, 8 data, parity, 2
// stop), plus the driver's own latency; short enough that a stalled driver
// cannot hold the program for ever.
constexpr DWORD kMostBitsPerCharacter = 12;
constexpr DWORD kWriteTimeoutPerByte =
    (kMostBitsPerCharacter * 1000 + LinkProtocol::kSlowestRate - 1) / LinkProtocol::kSlowestRate;
constexpr DWORD kWriteTimeoutSlack = 250;

// The usual software flow-control characters.
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;

// Whether the port's write limit already lets every frame through (any frame
// of 1 to kLongestFrame bytes; the limit grows linearly with the length, so
// the two ends decide). No limit at all is not kept: every write must end.
bool WriteLimitSuffices(const COMMTIMEOUTS& t)
{
    if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) {
        return false;
    }
    for (uint64_t bytes : {uint64_t{1}, uint64_t{LinkProtocol::kLongestFrame}}) {
        const uint64_t limit = t.WriteTotalTimeoutMultiplier * bytes + t.WriteTotalTimeoutConstant;
        if (limit < kWriteTimeoutPerByte * bytes + kWriteTimeoutSlack) {
            return false;
        }
    }
    return true;
}

// A port keeps every DCB field its last user set, and BuildCommDCB changes
// only the framing and the flow control: each field that decides whether a
// received or sent byte passes unchanged is set here, and each field
// SetCommState checks even with flow control off.
void PassBytesUnchanged(DCB& dcb, WORD inputQueueSize)
{
    // Binary mode, the only one Windows supports: no end-of-file byte.
    dcb.fBinary = TRUE;
    // Parity is checked only when the settings string asks for it, and a
    // byte that fails the check is kept as received.
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.fErrorChar = FALSE;
    // No flow control of any kind: XON and XOFF are data bytes here, and
    // most programming cables drive neither CTS nor DSR.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    // Zero bytes are data: the identity block and the record hold them.
    dcb.fNull = FALSE;
    // One line error (noise as the radio powers up) must not stop every
    // later read and write.
    dcb.fAbortOnError = FALSE;
    // BuildCommDCB sets the DTR and RTS controls itself (RTS on), and RTS
    // must never rise on the programming cable.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    // SetCommState refuses equal XON and XOFF characters, and limits beyond
    // the input queue, whether or not software flow control is on: a port
    // whose last user left such values could not be set up at all.
    dcb.XonChar = kXon;
    dcb.XoffChar = kXoff;
    dcb.XonLim = static_cast<WORD>(inputQueueSize / 4);
    dcb.XoffLim = static_cast<WORD>(inputQueueSize / 4);
}

} // namespace

CSerialPort::CSerialPort(const PortApis& apis) : m_apis(apis)
{
}

CSerialPort::~CSerialPort()
{
    // Closed here rather than by m_handle, so an observer hears of it.
    Close();
}

bool CSerialPort::SetApis(const PortApis& apis)
{
    if (m_handle.IsValid()) {
        return false;
    }
    m_apis = apis;
    return true;
}

CPortObserver* CSerialPort::SetObserver(CPortObserver* observer)
{
    CPortObserver* previous = m_observer;
    m_observer = observer;
    return previous;
}

BOOL CSerialPort::Checked(const char* call, BOOL ok)
{
    if (!ok && m_observer) {
        const DWORD code = ::GetLastError();
        m_observer->Failed(call, code);
        ::SetLastError(code);
    }
    return ok;
}

CString CSerialPort::DeviceName(BYTE number)
{
    // CreateFile knows only COM1 to COM9 by their short names; from COM10 on
    // a port is reachable only through the device namespace, \\.\COMn.
    return PortName::DeviceName(number);
}

int CSerialPort::SetPortNumber(BYTE number)
{
    if (number != 0) {
        m_portNumber = number;
    }
    if (!m_open) {
        return 1;
    }
    const int closed = Close();
    const int opened = Open();
    return closed && opened ? 1 : 0;
}

int CSerialPort::SetPortOpen(int open)
{
    const int want = open ? 1 : 0;
    if (want == m_open) {
        return 1;
    }
    return want ? Open() : Close();
}

int CSerialPort::Open()
{
    m_openError = ERROR_SUCCESS;
    HANDLE h = m_apis.serial->CreateFileA(DeviceName(m_portNumber), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        m_openError = ::GetLastError();
        if (m_observer) {
            CString call;
            call.Format("open COM%u", static_cast<unsigned>(m_portNumber));
            m_observer->Failed(call, m_openError);
            ::SetLastError(m_openError);
        }
        return 0;
    }
    m_handle = CCommHandle(h, CommHandleTraits{m_apis.serial});
    m_open = 1;
    m_announceOpen = true;
    // A driver left aborting on errors takes no other call while an error is
    // pending, so the pending one is acknowledged before anything else.
    ClearErrors();

    // The platform keeps the last settings of a device, so each open puts
    // ours in place; RTS goes off last because many cables key the radio's
    // transmitter with it.
    if (SetInputBufferSize(m_inputQueueSize) && SetOutputBufferSize(m_outputQueueSize) &&
        SetSettings(m_settings) && SetReadTimeout(m_readTimeout) &&
        Checked("EscapeCommFunction", m_apis.serial->EscapeCommFunction(m_handle.Get(), CLRRTS))) {
        return 1;
    }
    // A port that failed its configuration is not usable: release it at once
    // rather than leave it held and counted as open.
    m_openError = ::GetLastError();
    Close();
    return 0;
}

int CSerialPort::Close()
{
    m_open = 0;
    m_announceOpen = false;
    if (!m_handle.IsValid()) {
        return 1;
    }
    const bool closed = m_handle.Close();
    const DWORD code = ::GetLastError();
    if (m_observer) {
        m_observer->Closed();
        if (!closed) {
            m_observer->Failed("CloseHandle", code);
        }
    }
    ::SetLastError(code);
    return closed ? 1 : 0;
}

int CSerialPort::SetInputBufferSize(WORD size)
{
    m_inputQueueSize = size;
    return m_open ? ApplyQueueSizes() : 1;
}

int CSerialPort::SetOutputBufferSize(WORD size)
{
    m_outputQueueSize = size;
    return m_open ? ApplyQueueSizes() : 1;
}

int CSerialPort::ApplyQueueSizes()
{
    return Checked("SetupComm", m_apis.serial->SetupComm(m_handle.Get(), m_inputQueueSize, m_outputQueueSize))
               ? 1
               : 0;
}

int CSerialPort::SetSettings(CString settings)
{
    settings.Remove(' ');
    m_settings = settings;
    return m_open ? ApplySettings() : 1;
}

int CSerialPort::ApplySettings()
{
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    const SerialApi& api = *m_apis.serial;
    if (!Checked("GetCommState", api.GetCommState(m_handle.Get(), &dcb))) {
        return 0;
    }
    if (!Checked("BuildCommDCB", api.BuildCommDCBA(m_settings, &dcb))) {
        return 0;
    }
    // After the parse, not before: it would undo part of it.
    PassBytesUnchanged(dcb, m_inputQueueSize);
    if (!Checked("SetCommState", api.SetCommState(m_handle.Get(), &dcb))) {
        return 0;
    }
    if (m_observer) {
        if (m_announceOpen) {
            CString port;
            port.Format("COM%u", static_cast<unsigned>(m_portNumber));
            m_observer->Opened(port, dcb);
        } else {
            m_observer->SettingsApplied(dcb);
        }
    }
    m_announceOpen = false;
    return Checked("EscapeCommFunction", api.EscapeCommFunction(m_handle.Get(), CLRRTS)) ? 1 : 0;
}

int CSerialPort::SetReadTimeout(int milliseconds)
{
    m_readTimeout = milliseconds;
    return m_open ? ApplyReadTimeout() : 1;
}

int CSerialPort::ApplyReadTimeout()
{
    COMMTIMEOUTS timeouts = {};
    if (!Checked("GetCommTimeouts", m_apis.serial->GetCommTimeouts(m_handle.Get(), &timeouts))) {
        return 0;
    }
    // One total limit per read, whatever its length: a read returns as soon
    // as all bytes are in, or when the time-out has passed.
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(m_readTimeout);
    // The write limit is the port's last user's: kept where it lets every
    // frame through, replaced where it would cut one.
    if (!WriteLimitSuffices(timeouts)) {
        timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutPerByte;
        timeouts.WriteTotalTimeoutConstant = kWriteTimeoutSlack;
    }
    if (!Checked("SetCommTimeouts", m_apis.serial->SetCommTimeouts(m_handle.Get(), &timeouts))) {
        return 0;
    }
    if (m_observer) {
        m_observer->TimeoutsSet(timeouts);
    }
    return 1;
}

int CSerialPort::Write(const void* data, DWORD length)
{
    if (!m_open) {
        return 0;
    }
    PurgeInput();
    DWORD written = 0;
    // A frame only half sent is a failure: the transceiver cannot use it.
    const BOOL ok = m_apis.serial->WriteFile(m_handle.Get(), data, length, &written, nullptr);
    if (m_observer) {
        const DWORD code = ::GetLastError();
        if (written > 0 && written <= length) {
            m_observer->Written(static_cast<const unsigned char*>(data), written);
        }
        if (!ok) {
            m_observer->Failed("WriteFile", code);
        } else if (written < length) {
            m_observer->WriteTimedOut(length, written);
        }
        ::SetLastError(code);
    }
    if (ok && written == length) {
        return 1;
    }
    if (ok) {
        TimedOut(); // a write cut by its time-out: the port still works, if it answers
    } else {
        Failed();
    }
    return 0;
}

int CSerialPort::WriteData(const unsigned char* data, WORD length)
{
    return Write(data, length);
}

int CSerialPort::WriteString(CString text)
{
    return Write(text.GetString(), static_cast<DWORD>(text.GetLength()));
}

int CSerialPort::WriteByte(BYTE value)
{
    return Write(&value, 1);
}

int CSerialPort::ReadData(unsigned char* buffer, WORD length)
{
    if (!m_open) {
        return 0;
    }
    // The whole process runs in the real-time class for the read, so the
    // answer is taken from the driver as soon as it arrives.
    const PriorityApi& priority = *m_apis.priority;
    HANDLE process = priority.GetCurrentProcess();
    const DWORD previousClass = priority.GetPriorityClass(process);
    // Without the class noted it could not be put back: read unraised.
    const bool raised = previousClass != 0 && priority.SetPriorityClass(process, REALTIME_PRIORITY_CLASS);
    DWORD read = 0;
    const BOOL ok = m_apis.serial->ReadFile(m_handle.Get(), buffer, length, &read, nullptr);
    const DWORD code = ::GetLastError();
    if (raised) {
        priority.SetPriorityClass(process, previousClass);
    }
    if (m_observer) {
        if (read > 0 && read <= length) {
            m_observer->Read(buffer, read);
        }
        if (!ok) {
            m_observer->Failed("ReadFile", code);
        } else if (read < length) {
            m_observer->ReadTimedOut(length, read);
        }
    }
    ::SetLastError(code);
    if (ok && read >= length) {
        return 1;
    }
    if (ok) {
        TimedOut(); // a read time-out: nothing wrong with the port, if it answers
    } else {
        Failed();
    }
    return 0;
}

bool CSerialPort::ClearErrors()
{
    // Only the acknowledgement matters.
    DWORD errors = 0;
    COMSTAT status = {};
    if (!Checked("ClearCommError", m_apis.serial->ClearCommError(m_handle.Get(), &errors, &status))) {
        return false;
    }
    // Line errors are the line's events: a byte lost or damaged.
    if (errors != 0 && m_observer) {
        m_observer->LineErrors(errors);
    }
    return true;
}

void CSerialPort::Failed()
{
    // Drivers fail a removed device's handle with errors of their own
    // choosing (ERROR_NO_SUCH_DEVICE, ERROR_DEV_NOT_EXIST,
    // ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, ...), and
    // such a handle never works again, even once the device is back: the
    // port is closed whatever the error, so the next open finds the device
    // anew. The one exception is a transfer cut short on purpose (a stop
    // cancels the run thread's blocked read) or by a line error on a handle
    // that still answers: that port goes on, so programming mode can still
    // be ended on it.
    const DWORD code = ::GetLastError();
    const bool answers = ClearErrors();
    if (!(answers && code == ERROR_OPERATION_ABORTED)) {
        Close();
    }
    ::SetLastError(code);
}

void CSerialPort::TimedOut()
{
    // Some drivers end every read of a removed device at once, in success
    // and with nothing read, and refuse it every other call: kept open, the
    // port would never be opened anew once the device is back.
    const DWORD code = ::GetLastError();
    if (!ClearErrors()) {
        Close();
    }
    ::SetLastError(code);
}

int CSerialPort::PurgeInput()
{
    if (m_open) {
        Checked("PurgeComm", m_apis.serial->PurgeComm(m_handle.Get(), PURGE_RXCLEAR));
    }
    return 1;
}

int CSerialPort::IsRs232Port()
{
    if (!m_open) {
        return 0;
    }
    // Some drivers answer the properties query reliably only a moment after
    // the open; the short pauses give them that time.
    Delay(10);
    Delay(10);
    // The first query only learns how large a block the provider fills.
    std::vector<COMMPROP> block(1);
    block[0].wPacketLength = sizeof(COMMPROP);
    if (!Checked("GetCommProperties", m_apis.serial->GetCommProperties(m_handle.Get(), block.data()))) {
        Delay(10);
        return 0;
    }
    const size_t needed = block[0].wPacketLength;
    Delay(10);
    const size_t count = (needed + sizeof(COMMPROP) - 1) / sizeof(COMMPROP);
    block.assign(count > 0 ? count : 1, COMMPROP{});
    block[0].wPacketLength = static_cast<WORD>(needed < sizeof(COMMPROP) ? sizeof(COMMPROP) : needed);
    block[0].dwProvSpec1 = COMMPROP_INITIALIZED;
    if (!Checked("GetCommProperties", m_apis.serial->GetCommProperties(m_handle.Get(), block.data()))) {
        Delay(10);
        return 0;
    }
    Delay(10);
    Delay(10);
    return block[0].dwProvSubType == PST_RS232 ? 1 : 0;
}

void CSerialPort::Delay(WORD milliseconds)
{
    // The performance counter, not the tick count: the tick moves in steps of
    // 10 to 16 ms on Windows, so a wait on it can end up to a step early.
    if (milliseconds == 0) {
        return;
    }
    LARGE_INTEGER frequency = {}, first = {}, start = {}, now = {};
    const ClockApi& clock = *m_apis.clock;
    if (!clock.QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !clock.QueryPerformanceCounter(&first)) {
        return; // documented never to fail since Windows XP
    }
    // The first reading may lie anywhere within one step of the counter; the
    // wait starts at the counter's next step, a known instant, so it is never
    // short whatever the counter's resolution. The length is rounded up to
    // whole counts for the same reason.
    do {
        clock.QueryPerformanceCounter(&start);
    } while (start.QuadPart == first.QuadPart);
    const int64_t counts = (int64_t{milliseconds} * frequency.QuadPart + 999) / 1000;
    do {
        clock.QueryPerformanceCounter(&now);
    } while (now.QuadPart - start.QuadPart < counts);
}
