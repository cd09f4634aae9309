#include "link/LineTrace.h"

#include "framework/SystemText.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

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

// The system's text for a code, on one line.
CString TraceErrorText(DWORD code)
{
    const CString text = SystemText(code);
    return text.IsEmpty() ? CString("(no system text)") : text;
}

} // namespace

CLineTrace::~CLineTrace()
{
    Flush();
    for (const Sink& sink : m_sinks) {
        if (sink.owned && sink.stream)
            std::fclose(sink.stream);
    }
}

namespace {

// The file at path, made empty; null with "<path>: <reason>".
std::FILE* OpenTraceFile(const CString& path, CString& error)
{
    std::FILE* stream = std::fopen(path, "w");
    if (!stream)
        error = path + ": " + std::strerror(errno);
    return stream;
}

} // namespace

std::unique_ptr<CLineTrace> CLineTrace::Open(const CString& path, CString& error)
{
    if (path == "-")
        return std::make_unique<CLineTrace>(stderr);
    std::FILE* stream = OpenTraceFile(path, error);
    if (!stream)
        return nullptr;
    auto trace = std::make_unique<CLineTrace>(stream);
    trace->m_sinks.front().owned = true;
    return trace;
}

bool CLineTrace::AlsoTo(const CString& path, CString& error)
{
    std::FILE* stream = OpenTraceFile(path, error);
    if (!stream)
        return false;
    // What the others hold already is theirs; the header is everybody's.
    Flush();
    m_sinks.push_back({stream, true});
    std::fwrite(m_header.data(), 1, m_header.size(), stream);
    std::fflush(stream);
    return true;
}

void CLineTrace::Header(const char* text)
{
    const std::string line = std::string("# ") + text + "\n";
    m_header += line;
    m_held += line;
}

void CLineTrace::Line(double milliseconds, const char* text)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.1f ", milliseconds);
    m_held += stamp;
    m_held += text;
    m_held += '\n';
}

void CLineTrace::Flush()
{
    if (m_held.empty())
        return;
    for (const Sink& sink : m_sinks) {
        if (!sink.stream)
            continue;
        std::fwrite(m_held.data(), 1, m_held.size(), sink.stream);
        std::fflush(sink.stream);
    }
    m_held.clear();
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

CCommTrace::CCommTrace(CLineTrace& trace, const ClockApi& clock)
    : m_trace(trace), m_clock(clock), m_start(Now()), m_ticksPerMs(1.0)
{
    LARGE_INTEGER frequency = {};
    if (m_clock.QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
        m_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;
}

CCommTrace::~CCommTrace()
{
    Flush();
}

LONGLONG CCommTrace::Now() const
{
    LARGE_INTEGER count = {};
    m_clock.QueryPerformanceCounter(&count);
    return count.QuadPart;
}

void CCommTrace::Write(const char* text)
{
    m_trace.Line(static_cast<double>(Now() - m_start) / m_ticksPerMs, text);
}

void CCommTrace::Flush()
{
    m_trace.Flush();
}

void CCommTrace::Opened(const char* port, const DCB& line)
{
    Write(CString("open ") + port + " " + Settings(line));
    m_baud = line.BaudRate;
}

void CCommTrace::SettingsApplied(const DCB& line)
{
    // A rate set again unchanged is no event.
    if (line.BaudRate != m_baud) {
        CString text;
        text.Format("baud %lu", static_cast<unsigned long>(line.BaudRate));
        Write(text);
    }
    m_baud = line.BaudRate;
}

void CCommTrace::TimeoutsSet(const COMMTIMEOUTS& timeouts)
{
    m_limits = timeouts;
}

void CCommTrace::Written(const unsigned char* bytes, DWORD count)
{
    Write(CLineTrace::BytesText("tx", bytes, count));
}

void CCommTrace::Read(const unsigned char* bytes, DWORD count)
{
    Write(CLineTrace::BytesText("rx", bytes, count));
}

void CCommTrace::ReadTimedOut(DWORD wanted, DWORD got)
{
    const unsigned long limit =
        m_limits.ReadTotalTimeoutMultiplier * wanted + m_limits.ReadTotalTimeoutConstant;
    CString line;
    line.Format("timeout after %lu ms (wanted %lu, got %lu)", limit, static_cast<unsigned long>(wanted),
                static_cast<unsigned long>(got));
    Write(line);
}

void CCommTrace::WriteTimedOut(DWORD wanted, DWORD sent)
{
    const unsigned long limit =
        m_limits.WriteTotalTimeoutMultiplier * wanted + m_limits.WriteTotalTimeoutConstant;
    CString line;
    line.Format("timeout after %lu ms (wanted to send %lu, sent %lu)", limit,
                static_cast<unsigned long>(wanted), static_cast<unsigned long>(sent));
    Write(line);
}

void CCommTrace::LineErrors(DWORD errors)
{
    CString line;
    line.Format("line errors 0x%lX", static_cast<unsigned long>(errors));
    Write(line);
}

void CCommTrace::Failed(const char* call, DWORD code)
{
    CString line;
    line.Format("error %lu %s (%s)", static_cast<unsigned long>(code), TraceErrorText(code).GetString(),
                call);
    Write(line);
}

void CCommTrace::Closed()
{
    // The port's session is over: nothing waits on the line.
    Write("close");
    Flush();
}

void CCommTrace::AwaitingAnswer()
{
    // The run has stopped at a failed step: what led there is on disk while
    // the question waits, however the run ends.
    Flush();
}

void CCommTrace::Note(const char* text)
{
    Write(text);
    Flush();
}

void CCommTrace::Step(const char* name)
{
    // The step before has ended, and no exchange is under way: the lines go
    // out, this one with them, so that a trace shows where a run got to.
    Write(CString("step ") + name);
    Flush();
}
