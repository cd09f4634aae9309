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
// CCommTrace puts a comm table in force that forwards every call to the
// table in force before it and writes the trace from what the calls did, so
// the trace holds exactly the bytes that crossed the line, as they crossed
// it. Every line is flushed as it is written: a run that fails, or a process
// that dies, leaves every line up to that point.
#pragma once

#include "framework/CString.h"
#include "link/CommApi.h"

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

// While it lives, the trace sees the line: the comm table in force forwards
// to the one it replaced and writes each event to the trace. A trace already
// in force is left as it is (this one then writes nothing of the line). The
// trace must outlive the object; destroy it after the link's last call.
class CCommTrace {
public:
    explicit CCommTrace(CLineTrace& trace);
    ~CCommTrace();
    CCommTrace(const CCommTrace&) = delete;
    CCommTrace& operator=(const CCommTrace&) = delete;

    // What the table's calls need; public for them only.
    struct State {
        CommApi table; // first: the table in force is found from its address
        const CommApi* inner;
        CLineTrace* trace;
        DWORD start;
        char device[16];     // the port opened last, until its first line settings are set; "" after
        DWORD baud;          // the rate last written to the trace
        COMMTIMEOUTS limits; // the last time-outs set, for the time-out lines

        void Write(const char* text);
        void WriteError(const char* call, DWORD code);
    };

private:
    State m_state;
    const CommApi* m_previous = nullptr;
    bool m_installed = false;
};

// A step of the run that drives the link ("step identity"), written to the
// trace in force; nothing when none is.
void TraceStep(const char* name);
