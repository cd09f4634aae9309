// A simulated transceiver behind the port's tables (link/CommApi.h) and the
// port list's (link/DeviceListApi.h), on a virtual clock, for in-process
// tests of the link and of everything that drives it. Its parts, one file
// each: the driver rules (FakeDriver.cpp: what the device calls do, their
// failures, the pulled cable), the radio (FakeRadio.cpp: the protocol side),
// the clock and the priority calls (FakeClock.cpp), and the machine's device
// tree (FakeDeviceTree.cpp: the registry and the device list).
//
// The device side records what the PC side did: every byte written (with the
// baud rate and time), every line setting, time-out, purge, open and close,
// and the DTR/RTS lines. Any platform call can be made to fail.
//
// Like a Windows port, the device keeps the state its last user left (Wine
// starts every open clean), and its driver obeys it: with fNull it drops the
// zero bytes it receives; with fDsrSensitivity it drops every byte while the
// cable does not drive DSR; with fAbortOnError a line error refuses every
// call but ClearCommError (and aborts a read in progress) until that call
// acknowledges it; a write whose bytes take longer on the line than its write
// time-out allows is cut there; SetCommState refuses a DCB that breaks the
// rules Windows documents and enforces even for unused fields (equal XON and
// XOFF characters, flow-control limits beyond the input queue, impossible
// framing). InheritedStates() lists such states.
//
// The cable can be pulled out and put back, also in the middle of a read or
// a write: a handle opened before the pull fails every call with the
// driver's error for ever, as on Windows (some drivers still take
// ClearCommError on it, some end its reads with success and no bytes, if
// asked), while a new open works once the cable is back (after a while of
// access denied, if asked). The adapter put back starts with its driver's
// defaults (9600 baud, DTR and RTS on, no time-outs), not the dead handle's
// settings. While it is out its port is missing from the machine's list; it
// may come back under another number.
//
// The transceiver side plays the programming protocol: an old transceiver
// hears "FLFM96K" at 9600 baud; another hears "PROGRAM" only at its scan
// rate, answers SYN, and acknowledges once the PC has switched to 19200 baud.
// In programming mode it answers the requests from its identity block, model
// name, version and option record, and stores records written to it. Each
// answer can be replaced, once per scripted reply, by a fault or raw bytes.
//
// The clock, kept in microseconds: a read that finds too few bytes advances it
// by the read time-out (or to the arrival of the last byte it needed). The
// performance counter (10 MHz, as on Windows 10) shows it in steps of
// clockStepUs (1 us): each time the counter has been read three times in a row
// with no other call between, the clock moves on to the next step, so a busy
// wait costs its length to the microsecond (and a zero wait nothing). A step
// of 15.6 ms plays a counter as coarse as Windows' tick count, which moves
// only at each timer interrupt.
//
// The machine's serial ports: the values under SERIALCOMM and the devices of
// the Ports class with their port names, friendly names, hardware ids,
// drivers and status, read through the registry, device-setup and
// configuration-manager calls. The registry hands string values back
// without a terminating zero (Windows does not promise one) unless a value
// is given another form.
//
// One instance at a time: its tables' functions reach the one that lives.
// Links take its tables (CRadioCom link(fake.Apis()), ListSerialPorts(
// fake.DeviceList())) and must be destroyed before it; FakeOnPort puts a
// link made elsewhere on them for a while.
#pragma once

#include "link/CommApi.h"
#include "link/DeviceListApi.h"
#include "link/SerialPort.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class FakeTransceiver {
public:
    using Bytes = std::vector<unsigned char>;

    enum class Kind { None, Old, New };

    // What the transceiver answers: each command the PC sends, plus Switch,
    // the PC coming over to the programming rate after a "PROGRAM" SYN.
    enum class Command {
        OldHandshake,
        Program,
        Switch,
        End,
        Identity,
        ModelName,
        Version,
        RecordRead,
        RecordWrite,
        Ack,
        Nak
    };

    // Ways an answer goes wrong. Short drops the last byte; Garbage answers
    // one stray byte; WrongLead changes the first byte, WrongCheck the last;
    // HangUp sends the first half of the answer and then nothing ever again.
    enum class Fault { None, Silence, Garbage, Short, WrongLead, WrongCheck, HangUp };

    struct Reply {
        Fault fault = Fault::None;
        bool raw = false; // send bytes instead of the normal answer
        Bytes bytes;
        DWORD delay = 0; // milliseconds from the command to the first byte
    };
    static Reply Answer(Fault fault, DWORD delay = 0);
    static Reply Raw(Bytes bytes, DWORD delay = 0);

    // Platform calls that can be made to fail.
    enum class Call {
        CreateFile,
        SetupComm,
        GetCommState,
        BuildCommDCB,
        SetCommState,
        EscapeCommFunction,
        GetCommTimeouts,
        SetCommTimeouts,
        PurgeComm,
        ReadFile,
        WriteFile,
        CloseHandle,
        GetCommProperties,
        GetPriorityClass,
        ClearCommError,
        RegOpenKey,
        SetupDiGetClassDevs
    };

    struct Open {
        std::string name;
        DWORD access, share, disposition, flags;
    };
    struct Write {
        uint64_t time;
        DWORD baud;
        Bytes bytes;
    };
    struct Line {
        uint64_t time;
        DWORD baud;
        BYTE parity, byteSize, stopBits;
        DWORD dtrControl, rtsControl;
    };
    struct Read {
        uint64_t time; // when the read began
        DWORD requested, got, timeout, priorityClass;
    };

    // A state the port's last user left behind. Inherit puts the three DCB
    // flags as given; the latched error, the noise, the write time-outs and
    // the flow-control characters and limits only where set.
    struct PortState {
        const char* name;
        bool fNull, fAbortOnError, fDsrSensitivity;
        bool errorLatched;     // a line error that user never acknowledged
        DWORD noiseAfterOpen;  // see the member of that name
        DWORD writeMultiplier; // write time-outs, in force when either is set
        DWORD writeConstant;
        bool xonIsXoff;           // XonChar equal to XoffChar, flow control off
        WORD xonLimit, xoffLimit; // in force when either is set
    };
    // Each state a previous program can leave that loses or blocks data, on
    // its own and all together, after a first row with none of them.
    static const std::vector<PortState>& InheritedStates();
    void Inherit(const PortState& state);
    // The write time-outs as the port's last user left them (0, 0: none).
    void SetWriteTimeouts(DWORD multiplier, DWORD constant);

    FakeTransceiver();
    ~FakeTransceiver();
    FakeTransceiver(const FakeTransceiver&) = delete;
    FakeTransceiver& operator=(const FakeTransceiver&) = delete;

    // ---- The tables the program's code is given ---------------------------
    const SerialApi& Serial() const;
    const ClockApi& Clock() const;
    const PriorityApi& Priority() const;
    PortApis Apis() const { return {&Serial(), &Clock(), &Priority(), &DeviceList()}; }
    const DeviceListApi& DeviceList() const;

    // ---- The transceiver -------------------------------------------------
    Kind kind = Kind::New;
    DWORD scanBaud = 9600;             // the one rate at which a new transceiver hears "PROGRAM"
    DWORD answerDelay = 0;             // default delay of every answer
    DWORD oldAckDelay = 0;             // old handshake: from SYN to ACK
    Bytes identity;                    // 32 bytes, begins with the model name
    Bytes modelName;                   // 8 bytes
    Bytes version;                     // sent whole: more than 10 bytes tests the drop
    Bytes record;                      // 50 bytes; replaced by an accepted write
    unsigned char writeAnswer = 0x06;  // answer to a record write
    std::vector<Bytes> recordsWritten; // every complete record received
    // Runs as each WriteFile call's bytes arrive, before the transceiver
    // hears them: something the user does while that frame is on its way.
    std::function<void(const Bytes& chunk)> onWrite;

    // The next time cmd arrives (and is heard), answer reply instead of the
    // normal answer; replies queue per command. Faulty and raw answers do not
    // move the transceiver into or out of programming mode.
    void Script(Command cmd, Reply reply);
    bool InProgrammingMode() const { return m_programming; }
    // The radio unplugged (and so switched off): it forgets programming mode
    // and any frame half heard; its identity, record and answers stay.
    void PowerOff()
    {
        m_programming = m_awaitingSwitch = m_awaitingRecord = false;
        m_recordIn.clear();
    }
    bool HungUp() const { return m_hungUp; }
    // Sum of the identity bytes modulo 256, as the transceiver sends it.
    unsigned char IdentityCheck() const;

    // ---- The device ------------------------------------------------------
    std::set<std::string> missingPorts;        // CreateFileA fails for these names
    std::map<std::string, DWORD> refusedPorts; // CreateFileA fails with this error
    bool shortWrites = false;                  // WriteFile succeeds but sends one byte fewer
    DWORD provSubType = PST_RS232;             // GetCommProperties
    // Programming cables carry TXD, RXD, ground and the lines the PC drives;
    // few drive the PC's DSR input.
    bool dsrDriven = false;
    // A byte with a framing error arrives this long after each open (noise
    // as the radio is powered up); 0: none.
    DWORD noiseAfterOpen = 0;
    WORD providerBytes = 0; // provider data beyond COMMPROP
    // The nth call of c from now fails (1: the next one), with failError as
    // its last error.
    void FailCall(Call c, int nth = 1);
    void FailAlways(Call c) { m_failAlways.insert(c); }
    DWORD failError = ERROR_GEN_FAILURE;

    // The cable pulled out: every call on a handle open now fails with
    // error from here on; opens fail as for a missing port until PlugCable.
    // The adapter's port leaves the machine's list of ports (AddPort), and
    // the radio drops a write frame it has heard only part of (its line went
    // quiet).
    void PullCable(DWORD error);
    // How the driver answers on a handle of the removed device besides: some
    // still take ClearCommError (no errors, nothing queued), some end a read
    // at once with success and no bytes.
    bool removedClearsErrors = false;
    bool removedReadsNothing = false;
    // The cable put back: its port is listed again, as COM`number` when
    // that is not 0 (an adapter without a serial number that Windows gives
    // another number; its old one stays missing), and the adapter's state is
    // its driver's defaults again. For deniedAfterPlug ms
    // from now, every open fails with ERROR_ACCESS_DENIED, as while a
    // driver still tears down the removed device.
    void PlugCable(int number = 0);
    DWORD deniedAfterPlug = 0;
    // The cable comes out during the next call of c (WriteFile or ReadFile):
    // a write gets its first bytesOut bytes onto the line (the transceiver
    // hears them), then the call fails with error, as PullCable(error).
    void PullCableDuring(Call c, DWORD error, size_t bytesOut = 0);
    // Called with each command the transceiver hears, before it answers.
    std::function<void(Command)> onHeard;
    // Called as each Sleep begins, with its length: what the user does while
    // the program waits.
    std::function<void(DWORD milliseconds)> onSleep;

    // ---- The machine's serial ports --------------------------------------
    struct PortDevice {
        std::string portName;     // the device key's PortName value
        std::string friendlyName; // empty: the device has none
        // Each empty: the device has none. The hardware id is handed back
        // as a one-id list.
        std::string hardwareId{};
        std::string driverProvider{}, driverVersion{};
        ULONG problemCode = 0; // CM_PROB_ number; 0: started
        bool statusReadable = true;
    };
    // Values under SERIALCOMM: value name, data (the port name).
    std::vector<std::pair<std::string, std::string>> serialComm;
    // A SERIALCOMM value played otherwise than REG_SZ without its zero, by
    // value name: its type, and whether its length counts a zero.
    struct ValueForm {
        DWORD type = REG_SZ;
        bool countsZero = false;
    };
    std::map<std::string, ValueForm> serialCommForms;
    std::vector<PortDevice> portDevices; // present devices of the Ports class
    // Both: the port present as COMn with that friendly name ("" for none).
    void AddPort(int number, const std::string& friendlyName = "");
    // Registry keys and device information sets not closed yet.
    int OpenKeys() const { return static_cast<int>(m_keys.size()) + m_deviceSets; }

    // ---- The clock -------------------------------------------------------
    static constexpr LONGLONG kCounterFrequency = 10000000;
    LONGLONG counterFrequency = kCounterFrequency; // counts per second
    uint64_t clockStepUs = 1;                      // the counter's resolution
    uint64_t Now() const { return m_nowUs / 1000; }
    uint64_t NowUs() const { return m_nowUs; }
    void SetNow(uint64_t ms) { SetNowUs(Us(ms)); }
    void SetNowUs(uint64_t us)
    {
        m_nowUs = us;
        m_tickRepeats = 0;
    }

    // ---- What the PC side did --------------------------------------------
    std::vector<Open> opens;
    int closes = 0;
    int badCloses = 0;                               // CloseHandle on a handle not open
    std::vector<std::pair<DWORD, DWORD>> queueSizes; // SetupComm
    std::vector<std::string> builtStrings;           // BuildCommDCBA input
    std::vector<Line> lines;                         // SetCommState
    std::vector<COMMTIMEOUTS> timeouts;              // SetCommTimeouts
    std::vector<DWORD> purges;                       // PurgeComm flags
    std::vector<Write> writes;
    std::vector<Read> reads;
    std::vector<WORD> propertyBlockSizes; // wPacketLength handed to GetCommProperties
    int clears = 0;                       // ClearCommError calls that succeeded
    bool dtr = false, rts = false;
    bool rtsEverRaised = false;
    DWORD priorityClass = NORMAL_PRIORITY_CLASS;
    std::vector<std::string> trace; // every call in order, readable

    int OpenHandles() const { return static_cast<int>(m_handles.size()); }
    DWORD LineBaud() const { return m_dcb.BaudRate; }
    Bytes Written() const;                    // every byte written, in order
    std::vector<Bytes> WrittenFrames() const; // one entry per WriteFile
    std::vector<DWORD> ReadTimeouts() const;  // ReadTotalTimeoutConstant of each SetCommTimeouts
    std::vector<DWORD> Bauds() const;         // baud rate of each SetCommState
    std::string Trace() const;
    size_t PendingInput() const { return m_input.size(); }
    // CE_ flags of the line errors not yet acknowledged by ClearCommError.
    DWORD LineErrors() const { return m_errors; }
    // Puts bytes on the line from the transceiver's side, arriving after delay.
    void Send(const Bytes& bytes, DWORD delay = 0);
    // Puts one byte with a framing error on the line, arriving after delay.
    void Noise(DWORD delay);

    // ---- Called through the tables (public for them only) ----------------
    HANDLE DoCreateFile(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    BOOL DoSetupComm(HANDLE h, DWORD in, DWORD out);
    BOOL DoGetCommState(HANDLE h, DCB* dcb);
    BOOL DoBuildCommDCB(const char* text, DCB* dcb);
    BOOL DoSetCommState(HANDLE h, const DCB* dcb);
    BOOL DoEscapeCommFunction(HANDLE h, DWORD func);
    BOOL DoGetCommTimeouts(HANDLE h, COMMTIMEOUTS* t);
    BOOL DoSetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t);
    BOOL DoPurgeComm(HANDLE h, DWORD flags);
    BOOL DoReadFile(HANDLE h, void* buffer, DWORD n, DWORD* read);
    BOOL DoWriteFile(HANDLE h, const void* data, DWORD n, DWORD* written);
    BOOL DoCloseHandle(HANDLE h);
    BOOL DoGetCommProperties(HANDLE h, COMMPROP* prop);
    BOOL DoClearCommError(HANDLE h, DWORD* errors, COMSTAT* status);
    BOOL DoQueryPerformanceCounter(LARGE_INTEGER* count);
    void DoSleep(DWORD milliseconds);
    LONG DoRegOpenKey(HKEY parent, const char* name, HKEY* key);
    LONG DoRegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type, BYTE* data,
                        DWORD* dataLength);
    LONG DoRegQueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* length);
    LONG DoRegCloseKey(HKEY key);
    HDEVINFO DoGetClassDevs(const GUID* cls, DWORD flags);
    BOOL DoEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
    HKEY DoOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD keyType);
    BOOL DoGetDeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type, BYTE* buffer,
                             DWORD size, DWORD* required);
    BOOL DoGetDeviceWideProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* type,
                                 BYTE* buffer, DWORD size, DWORD* required);
    BOOL DoGetDriverProperty(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key, DEVPROPTYPE* type,
                             BYTE* buffer, DWORD size, DWORD* required, DWORD flags);
    CONFIGRET DoGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST device, ULONG flags);
    BOOL DoDestroyDeviceSet(HDEVINFO set);
    DWORD DoGetPriorityClass(HANDLE process);
    BOOL DoSetPriorityClass(HANDLE process, DWORD cls);

private:
    static constexpr uint64_t Us(uint64_t ms) { return ms * 1000; }

    struct Pending {
        uint64_t arrival; // microseconds
        unsigned char byte;
        bool error; // received with a framing error, not yet latched
    };

    bool Fails(Call c);
    bool Known(HANDLE h);
    void Queue(const Pending& p);
    // Latches the errors of the bytes that have arrived by now.
    void LatchArrivedErrors();
    // A latched error with fAbortOnError: the driver takes no call but
    // ClearCommError.
    bool Refused();
    // The driver throws the byte away as it arrives (fNull, fDsrSensitivity).
    bool Dropped(unsigned char byte) const;
    // SetCommState's checks of a DCB.
    bool ValidDcb(const DCB& d) const;
    // Tenths of a bit time per character in the current framing.
    DWORD CharacterTenthBits() const;
    void Note(const std::string& text);
    void Hear(const Bytes& chunk);
    void Respond(Command cmd, const Bytes& normal, DWORD lastByteGap = 0);
    DWORD ProgrammingBaud() const;

    uint64_t m_nowUs = Us(1000000);
    int m_tickRepeats = 0;
    std::map<Call, int> m_failIn;
    std::set<Call> m_failAlways;
    std::set<HANDLE> m_handles;
    std::map<HANDLE, std::string> m_handleNames;
    uintptr_t m_nextHandle = 0x1000;
    DCB m_dcb = {};
    COMMTIMEOUTS m_timeouts = {};
    DWORD m_errors = 0;
    DWORD m_inputQueue = 4096; // the driver's buffer until SetupComm sizes it
    std::deque<Pending> m_input;
    std::map<Command, std::deque<Reply>> m_script;
    bool m_programming = false;
    bool m_awaitingSwitch = false;
    bool m_awaitingRecord = false;
    Bytes m_recordIn;
    bool m_hungUp = false;
    bool m_cablePulled = false;
    // PullCableDuring: the call, the error and the bytes that get out.
    struct PullDuring {
        Call call;
        DWORD error;
        size_t bytesOut;
    };
    std::vector<PullDuring> m_pullDuring;
    // The port entries of an adapter that is out (PullCable), and the port
    // names it may no longer be opened by once it is back under another.
    std::vector<std::pair<std::string, std::string>> m_unpluggedComm;
    std::vector<PortDevice> m_unpluggedDevices;
    std::set<int> m_goneNumbers;
    uint64_t m_deniedUntilUs = 0;
    // The present device a device-setup call names; null for none.
    const PortDevice* DeviceOf(HDEVINFO set, const SP_DEVINFO_DATA* device) const;
    // Takes the pull of c set up by PullCableDuring, if any.
    bool PullsDuring(Call c, PullDuring& pull);
    std::map<HANDLE, DWORD> m_staleHandles; // opened before a pull: its error
    bool Stale(HANDLE h) const { return m_staleHandles.count(h) != 0; }
    // Open registry keys: the SERIALCOMM key, or a device key (its device).
    std::map<HKEY, int> m_keys;
    uintptr_t m_nextKey = 0x5000;
    int m_deviceSets = 0;
};

// While it lives, a port made elsewhere (the program's global link) calls the
// fake; afterwards the tables it had. The port is closed at both ends, so no
// handle of one device is taken to the other. Destroy it before the fake.
class FakeOnPort {
public:
    FakeOnPort(CSerialPort& port, const FakeTransceiver& fake) : m_port(port), m_previous(port.GetApis())
    {
        m_port.SetPortOpen(0);
        m_port.SetApis(fake.Apis());
    }
    ~FakeOnPort()
    {
        m_port.SetPortOpen(0);
        m_port.SetApis(m_previous);
    }
    FakeOnPort(const FakeOnPort&) = delete;
    FakeOnPort& operator=(const FakeOnPort&) = delete;

private:
    CSerialPort& m_port;
    PortApis m_previous;
};
