#include "link/RadioCom.h"

#include "link/PortList.h"
#include "link/PortObserver.h"

#include <algorithm>
#include <cstring>

using namespace LinkProtocol;

namespace {

// How long a Retry waits for a removed adapter's port to be listed again and
// to take an open (a driver may refuse one with access denied while it still
// tears the old device down), and how often it looks.
constexpr DWORD kComeBackWaitMs = 10000;
constexpr DWORD kComeBackPollMs = 250;

bool Lists(const std::vector<BYTE>& ports, BYTE number)
{
    return std::find(ports.begin(), ports.end(), number) != ports.end();
}

} // namespace

CRadioCom::CRadioCom(const PortApis& apis) : CSerialPort(apis)
{
}

CRadioCom::~CRadioCom() = default;

CLinkAsker* CRadioCom::SetAsker(CLinkAsker* asker)
{
    CLinkAsker* previous = m_asker;
    m_asker = asker;
    return previous;
}

// ---- Protocol steps -------------------------------------------------------

void CRadioCom::SwapBaudRate(const char* baud)
{
    // Everything from the first comma after the baud rate on (",N,8,2")
    // stays; only the rate in front changes.
    const CString settings = GetSettings();
    const int comma = settings.Find(',', 1);
    const CString tail = comma >= 0 ? settings.Mid(comma) : CString();
    SetSettings(CString(baud) + tail);
}

int CRadioCom::WriteBytes(const unsigned char* data, size_t length)
{
    return WriteData(data, static_cast<WORD>(length));
}

int CRadioCom::ReadByte(unsigned char& value)
{
    return ReadData(&value, 1);
}

int CRadioCom::ReadClosingAck()
{
    unsigned char answer = 0;
    if (!ReadByte(answer)) {
        return kProtocolFailed;
    }
    return answer == ACK ? kProtocolOk : kProtocolFailed;
}

int CRadioCom::AcknowledgeAndClose()
{
    if (!WriteByte(ACK)) {
        return kProtocolFailed;
    }
    return ReadClosingAck();
}

int CRadioCom::WaitProc(WORD milliseconds)
{
    Delay(milliseconds);
    return 1;
}

int CRadioCom::IsOldTransceiver()
{
    m_oldTransceiver = 0;
    m_savedReadTimeout = GetReadTimeout();
    const CString kept = GetSettings();

    SwapBaudRate(kOldRate);
    if (!WriteString(kOldHandshake)) {
        SetReadTimeout(m_savedReadTimeout);
        return kProtocolFailed;
    }
    unsigned char answer = 0;
    SetReadTimeout(kSynTimeout);
    if (ReadByte(answer) && answer == SYN) {
        SetReadTimeout(kOldAckTimeout);
        if (ReadByte(answer) && answer == ACK) {
            m_oldTransceiver = 1;
            SetReadTimeout(kProgrammingTimeout);
            return kProtocolOk;
        }
    }
    SetSettings(kept);
    SetReadTimeout(m_savedReadTimeout);
    return kProtocolFailed;
}

int CRadioCom::ProgStart()
{
    m_savedReadTimeout = GetReadTimeout();
    const CString kept = GetSettings();

    for (size_t attempt = 0; attempt < kScanRateCount; ++attempt) {
        SwapBaudRate(kScanRates[attempt]);
        if (!WriteString(kProgram)) {
            SetReadTimeout(m_savedReadTimeout);
            return kProtocolFailed;
        }
        const bool slowest = attempt + 1 == kScanRateCount;
        SetReadTimeout(slowest ? kSynTimeoutSlowest : kSynTimeout);
        unsigned char answer = 0;
        if (!ReadByte(answer) || answer != SYN) {
            continue;
        }
        // The transceiver has seen the command and now waits for the PC to
        // come over to the programming rate before it acknowledges.
        SwapBaudRate(m_oldTransceiver ? kOldRate : kProgramRate);
        SetReadTimeout(kProgrammingTimeout);
        if (ReadByte(answer) && answer == ACK) {
            return kProtocolOk;
        }
    }
    SetSettings(kept);
    SetReadTimeout(m_savedReadTimeout);
    return kProtocolFailed;
}

int CRadioCom::ProgEnd()
{
    if (!WriteByte(kEnd)) {
        SetReadTimeout(m_savedReadTimeout);
        return kProtocolFailed;
    }
    unsigned char answer = 0;
    const int got = ReadByte(answer);
    SetReadTimeout(m_savedReadTimeout);
    return got && answer == ACK ? kProtocolOk : kProtocolFailed;
}

int CRadioCom::MarriskEsnRead(unsigned char* buffer)
{
    if (!WriteBytes(kIdentityRequest, sizeof(kIdentityRequest))) {
        return kProtocolFailed;
    }
    unsigned char lead = 0;
    if (!ReadByte(lead) || lead != kLeadByte) {
        return kProtocolFailed;
    }
    if (!ReadData(buffer, kIdentitySize)) {
        return kProtocolFailed;
    }
    unsigned char check = 0;
    if (!ReadByte(check)) {
        return kProtocolFailed;
    }
    unsigned char sum = 0;
    for (size_t i = 0; i < kIdentitySize; ++i) {
        sum = static_cast<unsigned char>(sum + buffer[i]);
    }
    const bool intact = sum == check;
    if (!WriteByte(intact ? ACK : NAK)) {
        return kProtocolFailed;
    }
    const int closing = ReadClosingAck();
    // A block that failed its own check is never passed on as good, whatever
    // the transceiver closes with: its model name decides what may be
    // written to the radio.
    return intact ? closing : kProtocolFailed;
}

int CRadioCom::ModelNameRequest(unsigned char* buffer)
{
    WaitProc(kModelNameWait);
    if (!WriteByte(STX)) {
        return kProtocolFailed;
    }
    if (!ReadData(buffer, kModelNameAnswerSize)) {
        return kProtocolFailed;
    }
    return AcknowledgeAndClose();
}

int CRadioCom::VersionRequest(unsigned char* buffer)
{
    if (!WriteByte(kVersionRequest)) {
        return kProtocolFailed;
    }
    WaitProc(kVersionWait);
    if (!ReadData(buffer, kVersionSize)) {
        return kProtocolFailed;
    }
    // Some transceivers send more than the ten bytes; the rest must not be
    // read as the answer to the ACK.
    PurgeInput();
    return AcknowledgeAndClose();
}

int CRadioCom::OptionInformationRequest(unsigned char* buffer)
{
    if (!WriteBytes(kRecordRequest, sizeof(kRecordRequest))) {
        return kProtocolFailed;
    }
    unsigned char lead = 0;
    if (!ReadByte(lead) || lead != kLeadByte) {
        return kProtocolFailed;
    }
    if (!ReadData(buffer, kRecordSize)) {
        return kProtocolFailed;
    }
    return AcknowledgeAndClose();
}

int CRadioCom::OptionInformationTrasmit(unsigned char* buffer)
{
    const int noted = GetReadTimeout();
    // The command and the record in one call: a frame is either on its way
    // whole or failed as one, never left with its record still to send.
    unsigned char frame[kLongestFrame];
    std::copy(kRecordWrite, kRecordWrite + sizeof(kRecordWrite), frame);
    std::copy(buffer, buffer + kRecordSize, frame + sizeof(kRecordWrite));
    if (!WriteBytes(frame, sizeof(frame))) {
        return kTrasmitFailed;
    }
    // Storing the record takes the transceiver a while.
    SetReadTimeout(kProgrammingTimeout);
    unsigned char answer = 0;
    const int got = ReadByte(answer);
    SetReadTimeout(noted);
    if (got && answer == ACK) {
        return kTrasmitAccepted;
    }
    if (got && answer == NAK) {
        return kTrasmitRefused;
    }
    return kTrasmitFailed;
}

// ---- Connection sessions --------------------------------------------------

bool CRadioCom::AskRetry(CWnd* parent, LinkStep step, const CString& text, const CString& caption)
{
    if (CPortObserver* observer = Observer())
        observer->AwaitingAnswer();
    // Only an answer of Retry retries, and nobody to ask is a Cancel: the
    // loop must never spin without the user.
    if (!m_asker || m_asker->AskRetry(parent, step, text, caption) != LinkAnswer::Retry) {
        return false;
    }
    // The port was closed because a call on it failed (a cable pulled out):
    // the user has put it back, so it is opened again with the settings in
    // force. If it is still missing, the step fails and asks again.
    return IsPortOpen() || Reopen(parent);
}

std::vector<BYTE> CRadioCom::ListedPorts() const
{
    std::vector<BYTE> numbers;
    if (GetApis().devices) {
        for (const SerialPortEntry& port : ListSerialPorts(*GetApis().devices)) {
            numbers.push_back(port.number);
        }
    }
    return numbers;
}

bool CRadioCom::Reopen(CWnd* parent)
{
    // Windows lists a removed adapter's port again only once its driver has
    // taken the device back, and an open before that fails; an adapter
    // without a serial number may come back under another number. Where the
    // list never showed the port (it cannot be read), the open alone decides.
    const BYTE number = GetPortNumber();
    const bool listed = Lists(m_portsAtOpen, number);
    for (DWORD waited = 0;; waited += kComeBackPollMs) {
        const std::vector<BYTE> now = listed ? ListedPorts() : std::vector<BYTE>();
        if (!listed || Lists(now, number)) {
            if (SetPortOpen(1)) {
                return true;
            }
        } else {
            const auto added = std::find_if(now.begin(), now.end(),
                                            [this](BYTE port) { return !Lists(m_portsAtOpen, port); });
            if (added != now.end()) {
                // Not taken for the transceiver's on a guess: the user says
                // which port to use.
                if (m_asker) {
                    m_asker->PortMoved(parent, number, *added);
                }
                return false;
            }
        }
        // Only an adapter still on its way back is waited for; a port that
        // is there but refuses for another reason fails the step at once.
        const bool comingBack = listed ? !Lists(now, number) || GetOpenError() == ERROR_ACCESS_DENIED
                                       : GetOpenError() == ERROR_ACCESS_DENIED;
        if (!comingBack || waited >= kComeBackWaitMs) {
            return true; // the step fails on the closed port and asks again
        }
        GetApis().clock->Sleep(kComeBackPollMs);
    }
}

int CRadioCom::OpenCommunicationPort(CWnd* parent, CString text, CString caption)
{
    SetPortNumber(GetPortNumber());
    SetPortOpen(0);
    if (SetPortOpen(1)) {
        // What the machine listed while the port worked: a port that
        // appears later is an adapter come back under another number.
        m_portsAtOpen = ListedPorts();
        return kSessionOk;
    }
    if (m_asker) {
        m_asker->PortNotOpened(parent, text, caption);
    }
    return kSessionFailed;
}

int CRadioCom::BeginConnectionSession(CWnd* parent, CString text, CString caption)
{
    for (;;) {
        // Every attempt tries the old handshake first, then the whole scan.
        if (IsOldTransceiver() == kProtocolOk) {
            return kSessionOk;
        }
        if (ProgStart() != kProtocolFailed) {
            return kSessionOk;
        }
        if (!AskRetry(parent, LinkStep::Connect, text, caption)) {
            EndConnectionSession();
            return kSessionFailed;
        }
    }
}

int CRadioCom::EndConnectionSession()
{
    ProgEnd();
    SetPortOpen(0);
    return kSessionOk;
}

int CRadioCom::RequestSession(CWnd* parent, LinkStep step, const CString& text, const CString& caption,
                              Request request, unsigned char* buffer, size_t zeroLength)
{
    if (!buffer) {
        EndConnectionSession();
        return kSessionFailed;
    }
    for (;;) {
        if (zeroLength) {
            std::memset(buffer, 0, zeroLength);
        }
        if ((this->*request)(buffer) != kProtocolFailed) {
            return kSessionOk;
        }
        if (!AskRetry(parent, step, text, caption)) {
            EndConnectionSession();
            return kSessionFailed;
        }
    }
}

int CRadioCom::MarriskEsnReadSession(CWnd* parent, CString text, CString caption, unsigned char* buffer)
{
    return RequestSession(parent, LinkStep::Identity, text, caption, &CRadioCom::MarriskEsnRead, buffer, 0);
}

int CRadioCom::ModelNameRequestSession(CWnd* parent, CString text, CString caption, unsigned char* buffer)
{
    return RequestSession(parent, LinkStep::ModelName, text, caption, &CRadioCom::ModelNameRequest, buffer,
                          0);
}

int CRadioCom::VersionRequestSession(CWnd* parent, CString text, CString caption, unsigned char* buffer)
{
    return RequestSession(parent, LinkStep::Version, text, caption, &CRadioCom::VersionRequest, buffer, 0);
}

int CRadioCom::OptionInfoRequestSession(CWnd* parent, CString text, CString caption, unsigned char* buffer,
                                        int length)
{
    // The request stores exactly one record; a smaller buffer would be
    // overrun. That is the caller's mistake, not the line's: nothing to retry,
    // so the connection is ended as for any failed session.
    if (length < static_cast<int>(kRecordSize)) {
        EndConnectionSession();
        return kSessionFailed;
    }
    return RequestSession(parent, LinkStep::Record, text, caption, &CRadioCom::OptionInformationRequest,
                          buffer, kRecordSize);
}

int CRadioCom::OptionInformationTransmit(CWnd* parent, CString text, CString caption, unsigned char* buffer,
                                         unsigned long length)
{
    return OptionInformationTransmit(parent, text, caption, buffer, length, nullptr, nullptr);
}

bool CRadioCom::ReadRecordBack(unsigned char* record)
{
    // The transceiver is still in programming mode unless it has left it
    // (switched off with the cable out): then a new connection first.
    if (OptionInformationRequest(record) == kProtocolOk) {
        return true;
    }
    if (!IsPortOpen() || (IsOldTransceiver() != kProtocolOk && ProgStart() == kProtocolFailed)) {
        return false;
    }
    return OptionInformationRequest(record) == kProtocolOk;
}

int CRadioCom::OptionInformationTransmit(CWnd* parent, CString text, CString caption, unsigned char* buffer,
                                         unsigned long length, const unsigned char* before,
                                         unsigned char* found)
{
    // One whole record is always sent; never read past a shorter buffer.
    if (!buffer || length < kRecordSize) {
        EndConnectionSession();
        return kSessionFailed;
    }
    for (;;) {
        const int answer = OptionInformationTrasmit(buffer);
        if (answer == kTrasmitAccepted) {
            return kSessionOk; // still in programming mode: the caller ends it
        }
        if (answer == kTrasmitRefused) {
            // Not a link failure: nothing asked here, the caller reports the
            // refusal.
            EndConnectionSession();
            return kSessionRefused;
        }
        // The frame may have reached the transceiver whole with only its
        // answer lost: it is never sent again before the record is read back.
        for (;;) {
            if (!AskRetry(parent, LinkStep::Write, text, caption)) {
                EndConnectionSession();
                return kSessionFailed;
            }
            unsigned char now[kRecordSize] = {};
            if (!ReadRecordBack(now)) {
                continue; // asks again
            }
            if (std::equal(now, now + kRecordSize, buffer)) {
                return kSessionOk; // the transceiver took it; only its answer was lost
            }
            if (before && std::equal(now, now + kRecordSize, before)) {
                break; // the frame never arrived: it goes out again
            }
            // A record nobody meant (or, with no record before to compare,
            // one that is not the frame's): writing again on a guess could
            // make it worse.
            if (found) {
                std::copy(now, now + kRecordSize, found);
            }
            EndConnectionSession();
            return kSessionOtherRecord;
        }
    }
}
