// The byte trace of the serial line: what the program sent and received and
// what happened to the port, one line per event, each stamped with the
// milliseconds since the trace began, from the performance counter:
//
//        0.0 open COM3 9600,N,8,2
//       12.4 tx 50 52 4F 47 52 41 4D  |PROGRAM|
//      112.6 timeout after 100 ms (wanted 1, got 0)
//      113.0 baud 19200
//      140.2 rx 16  |.|
//      150.3 step identity
//      160.8 error 995 The I/O operation has been aborted... (ReadFile)
//      170.1 close
//
// CCommTrace watches a port (CSerialPort::SetObserver), which tells it what
// its calls did, so the trace holds exactly the bytes that crossed the line,
// as they crossed it; a run that drives the link tells it its steps. The
// lines are kept in memory and written when a step ends, when the port
// closes and when the trace goes away: a file write (milliseconds on a USB
// stick, a share or a console) never falls between a frame and the answer
// the transceiver is timing, such as its SYN and the baud switch it waits
// for. They are also written when a failed step waits for the user's answer.
// A run that fails still leaves its whole trace. A program may put header
// lines ("# ...", unstamped: what ran, when, on which port) before the
// events, and a trace may go to a second file too (the console tool's --trace
// and its History\last-run.trace).
#pragma once

#include "framework/CString.h"
#include "link/CommApi.h"
#include "link/PortObserver.h"
#include "link/StepObserver.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class CLineTrace {
public:
    // Writes to stream, which stays the caller's (stderr).
    explicit CLineTrace(std::FILE* stream) { m_sinks.push_back({stream, false}); }
    // Writes what it still holds.
    ~CLineTrace();
    CLineTrace(const CLineTrace&) = delete;
    CLineTrace& operator=(const CLineTrace&) = delete;

    // A trace into the file at path, made empty first; "-" is stderr. Null
    // with "<path>: <reason>" in error when the file cannot be opened.
    static std::unique_ptr<CLineTrace> Open(const CString& path, CString& error);
    // From now on also into the file at path, made empty first, which gets
    // the header lines so far at once. False with "<path>: <reason>" in
    // error when the file cannot be opened.
    bool AlsoTo(const CString& path, CString& error);

    // A header line "# text", unstamped, kept until Flush like the others.
    void Header(const char* text);
    // One line, kept until Flush: the time stamp (milliseconds, one
    // decimal), the text, the line end.
    void Line(double milliseconds, const char* text);
    // Writes the lines kept so far, at once, and flushes the streams.
    void Flush();

    // "tx 55 52 4B  |URK|": the bytes in hex, then as text with every byte
    // that is not printable ASCII shown as '.'.
    static CString BytesText(const char* what, const unsigned char* bytes, unsigned long count);

private:
    struct Sink {
        std::FILE* stream;
        bool owned; // opened here, closed here
    };
    std::vector<Sink> m_sinks;
    std::string m_header; // the header lines, for a file added later
    std::string m_held;   // the lines not yet written
};

// Writes what a port tells it, and the steps of a run, to a trace; the time
// stamps come from clock's counter and count from its construction. The
// trace and the clock must outlive the object, and the object the port it
// watches (or its last call). A step's beginning, a failed step's question,
// the port's closing and the object's end write the trace's lines out.
class CCommTrace final : public CPortObserver, public CStepObserver {
public:
    explicit CCommTrace(CLineTrace& trace, const ClockApi& clock = PlatformClockApi());
    ~CCommTrace();
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
    void AwaitingAnswer() override;
    // "step identity"; the step before it has ended.
    void Step(const char* name) override;
    // Writes the lines kept so far (a run that is over, but whose objects
    // live on).
    void Flush();
    // A stamped line of the program's own (how the command ended), written
    // out at once.
    void Note(const char* text);

private:
    void Write(const char* text);
    LONGLONG Now() const;

    CLineTrace& m_trace;
    const ClockApi& m_clock;
    LONGLONG m_start;
    double m_ticksPerMs;
    DWORD m_baud = 0;           // the rate last written to the trace
    COMMTIMEOUTS m_limits = {}; // the last time-outs set, for the time-out lines
};
