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
    if (m_owned && m_stream)
        std::fclose(m_stream);
}

std::unique_ptr<CLineTrace> CLineTrace::Open(const CString& path, CString& error)
{
    if (path == "-")
        return std::make_unique<CLineTrace>(stderr);
    std::FILE* stream = std::fopen(path, "w");
    if (!stream) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto trace = std::make_unique<CLineTrace>(stream);
    trace->m_owned = true;
    return trace;
}

void CLineTrace::Line(unsigned long milliseconds, const char* text)
{
    if (!m_stream)
        return;
    std::fprintf(m_stream, "%8lu %s\n", milliseconds, text);
    std::fflush(m_stream);
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

CCommTrace::CCommTrace(CLineTrace& trace) : m_trace(trace), m_start(::GetTickCount())
{
}

void CCommTrace::Write(const char* text)
{
    // The system's clock, not the port's: a simulated line keeps its own
    // time, untouched by the trace.
    m_trace.Line(static_cast<unsigned long>(::GetTickCount() - m_start), text);
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
    Write("close");
}

void CCommTrace::Step(const char* name)
{
    Write(CString("step ") + name);
}
