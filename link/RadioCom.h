// CRadioCom: the transceiver link. The protocol steps (each sends one command,
// reads the answer and shows nothing) and the connection sessions that wrap
// them with the user's retry or cancel, asked through the link's asker.
// Protocol and session results are 0 for success and 1 for failure, the
// opposite of the serial port's.
#pragma once

#include "framework/CString.h"
#include "link/LinkAsker.h"
#include "link/LinkProtocol.h"
#include "link/SerialPort.h"

#include <vector>

class CWnd;

class CRadioCom : public CSerialPort {
public:
    // Protocol step results.
    static constexpr int kProtocolOk = 0;
    static constexpr int kProtocolFailed = 1;
    // OptionInformationTrasmit: the transceiver's own answer byte, or failure.
    static constexpr int kTrasmitAccepted = LinkProtocol::ACK; // 6
    static constexpr int kTrasmitRefused = LinkProtocol::NAK;  // 21
    static constexpr int kTrasmitFailed = 1;
    // Session results. kSessionRefused is OptionInformationTransmit's "the
    // transceiver refused the record"; it shares the value 6 with
    // kTrasmitAccepted only by history.
    static constexpr int kSessionOk = 0;
    static constexpr int kSessionFailed = 1;
    static constexpr int kSessionRefused = 6;
    // OptionInformationTransmit: the write frame failed before its answer,
    // and the record read back is neither the one sent nor the one before.
    static constexpr int kSessionOtherRecord = 7;

    // The tables must outlive the link.
    explicit CRadioCom(const PortApis& apis = PlatformPortApis());
    ~CRadioCom() override;

    // Protocol steps; the port must be open.
    int IsOldTransceiver();
    int ProgStart();
    int ProgEnd();
    int WaitProc(WORD milliseconds);
    int MarriskEsnRead(unsigned char* buffer);           // 32 bytes
    int ModelNameRequest(unsigned char* buffer);         // 8 bytes
    int VersionRequest(unsigned char* buffer);           // 10 bytes
    int OptionInformationRequest(unsigned char* buffer); // 50 bytes
    int OptionInformationTrasmit(unsigned char* buffer); // 50 bytes; 6 ACK, 21 NAK, 1 failed

    // Who the sessions ask; returns the previous one. Null (the default):
    // nobody, so a failed step is not tried again and a port that cannot be
    // opened is told to no one.
    CLinkAsker* SetAsker(CLinkAsker* asker);

    // Connection sessions: text and caption are the session's message to its
    // asker, about the window parent (which may be null).
    int OpenCommunicationPort(CWnd* parent, CString text, CString caption);
    int BeginConnectionSession(CWnd* parent, CString text, CString caption);
    int EndConnectionSession();
    int MarriskEsnReadSession(CWnd* parent, CString text, CString caption, unsigned char* buffer);
    int ModelNameRequestSession(CWnd* parent, CString text, CString caption, unsigned char* buffer);
    int VersionRequestSession(CWnd* parent, CString text, CString caption, unsigned char* buffer);
    int OptionInfoRequestSession(CWnd* parent, CString text, CString caption, unsigned char* buffer,
                                 int length);
    // A write frame that failed before its answer is never sent again
    // blind: after each Retry the record is read back first. The one sent:
    // done (kSessionOk, no second frame); before, the record the
    // transceiver held (may be null): the frame goes out again; any other
    // ends the session with kSessionOtherRecord, that record in found (50
    // bytes; may be null).
    int OptionInformationTransmit(CWnd* parent, CString text, CString caption, unsigned char* buffer,
                                  unsigned long length);
    int OptionInformationTransmit(CWnd* parent, CString text, CString caption, unsigned char* buffer,
                                  unsigned long length, const unsigned char* before, unsigned char* found);

    int IsOldTransceiverFlag() const { return m_oldTransceiver; }
    int GetSavedReadTimeout() const { return m_savedReadTimeout; }

private:
    using Request = int (CRadioCom::*)(unsigned char*);

    void SwapBaudRate(const char* baud);
    int WriteBytes(const unsigned char* data, size_t length);
    int ReadByte(unsigned char& value);
    int ReadClosingAck();
    int AcknowledgeAndClose();
    int RequestSession(CWnd* parent, LinkStep step, const CString& text, const CString& caption,
                       Request request, unsigned char* buffer, size_t zeroLength);
    // True to try the step again: Retry answered, and a port closed by a
    // failed call open again or given up on within the wait (the step then
    // fails and asks again). False on Cancel, or when the port came back
    // under another number (the asker told).
    bool AskRetry(CWnd* parent, LinkStep step, const CString& text, const CString& caption);
    bool Reopen(CWnd* parent);
    // The numbers of the ports Windows lists now; empty without a list.
    std::vector<BYTE> ListedPorts() const;
    // After a failed write frame: the transceiver's record, read in the
    // programming mode it may still be in, or in a new connection.
    bool ReadRecordBack(unsigned char* record);

    CLinkAsker* m_asker = nullptr;
    std::vector<BYTE> m_portsAtOpen;
    int m_savedReadTimeout = 1000;
    int m_oldTransceiver = 0;
};
