// The byte trace of the serial line: what the program sent and received and
// what happened to the port, one line per event, each stamped with the
// milliseconds since the trace began:
//
//        0 open COM3 9600,N,8,2
//       12 tx 50 52 4F 47 52 41 4D  |PROGRAM|
//      112 timeout after 100 ms (wanted 1, got 0)
//      113 baud 19200
//      140 rx 16  |.|
//      150 step identity
//      160 error 995 The I/O operation has been aborted... (ReadFile)
//      170 close
//
// CCommTrace watches a port (CSerialPort::SetObserver), which tells it what
// its calls did, so the trace holds exactly the bytes that crossed the line,
// as they crossed it; a run that drives the link tells it its steps. Every
// line is flushed as it is written: a run that fails, or a process that
// dies, leaves every line up to that point.
#pragma once

#include "framework/CString.h"
#include "link/PortObserver.h"
#include "link/StepObserver.h"

#include <cstdio>
#include <memory>

class CLineTrace {
public:
    // Writes to stream, which stays the caller's (stderr).
    explicit CLineTrace(std::FILE* stream) : m_stream(stream) {}
    ~CLineTrace();
    CLineTrace(const CLineTrace&) = delete;
    CLineTrace& operator=(const CLineTrace&) = delete;

    // A trace into the file at path, made empty first; "-" is stderr. Null
    // with "<path>: <reason>" in error when the file cannot be opened.
    static std::unique_ptr<CLineTrace> Open(const CString& path, CString& error);

    // One line: the time stamp (milliseconds), the text, the line end.
    void Line(unsigned long milliseconds, const char* text);

    // "tx 55 52 4B  |URK|": the bytes in hex, then as text with every byte
    // that is not printable ASCII shown as '.'.
    static CString BytesText(const char* what, const unsigned char* bytes, unsigned long count);

private:
    std::FILE* m_stream;
    bool m_owned = false;
};

// Writes what a port tells it, and the steps of a run, to a trace; the time
// stamps count from its construction. The trace must outlive the object, and
// the object the port it watches (or its last call).
class CCommTrace final : public CPortObserver, public CStepObserver {
public:
    explicit CCommTrace(CLineTrace& trace);
    CCommTrace(const CCommTrace&) = delete;
    CCommTrace& operator=(const CCommTrace&) = delete;

    void Opened(const char* port, const DCB& line) override;
    void SettingsApplied(const DCB& line) override;
    void TimeoutsSet(const COMMTIMEOUTS& timeouts) override;
    void Written(const unsigned char* bytes, DWORD count) override;
    void Read(const unsigned char* bytes, DWORD count) override;
    void ReadTimedOut(DWORD wanted, DWORD got) override;
    void WriteTimedOut(DWORD wanted, DWORD sent) override;
    void LineErrors(DWORD errors) override;
    void Failed(const char* call, DWORD code) override;
    void Closed() override;
    // "step identity"
    void Step(const char* name) override;

private:
    void Write(const char* text);

    CLineTrace& m_trace;
    DWORD m_start;
    DWORD m_baud = 0;           // the rate last written to the trace
    COMMTIMEOUTS m_limits = {}; // the last time-outs set, for the time-out lines
};
