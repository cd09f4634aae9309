// The fake as a whole: its construction, the one instance the tables reach,
// and the records of what the PC side did.
#include "tests/support/FakeTransceiver.h"
#include "tests/support/FakeParts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace FakeParts;

namespace {

FakeTransceiver* g_fake = nullptr;

} // namespace

FakeTransceiver& FakeParts::TheFake()
{
    return *g_fake;
}

FakeTransceiver::FakeTransceiver()
{
    identity = Text("TRX-4000E   ");
    for (int i = 0; identity.size() < 32; ++i) {
        identity.push_back(static_cast<unsigned char>(0x80 + i * 7));
    }
    modelName = Text("TRX4000E");
    version = Text("V2.10.0003");
    for (int i = 0; i < 50; ++i) {
        record.push_back(static_cast<unsigned char>(i * 5 + 1));
    }
    // A device that has been used before: not our settings.
    m_dcb.DCBlength = sizeof(DCB);
    m_dcb.BaudRate = 4800;
    m_dcb.ByteSize = 7;
    m_dcb.Parity = EVENPARITY;
    m_dcb.StopBits = ONESTOPBIT;
    m_dcb.fBinary = 1;
    m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
    m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
    m_dcb.XonChar = 0x11;
    m_dcb.XoffChar = 0x13;
    m_dcb.XonLim = 64;
    m_dcb.XoffLim = 64;
    m_timeouts.ReadIntervalTimeout = MAXDWORD;
    m_timeouts.ReadTotalTimeoutMultiplier = 7;
    m_timeouts.ReadTotalTimeoutConstant = 0;
    m_timeouts.WriteTotalTimeoutMultiplier = 3;
    m_timeouts.WriteTotalTimeoutConstant = 777;
    g_fake = this;
}

FakeTransceiver::~FakeTransceiver()
{
    g_fake = nullptr;
}

void FakeTransceiver::Note(const std::string& text)
{
    trace.push_back(std::to_string(Now()) + " " + text);
}

// ---- Records ---------------------------------------------------------------

FakeTransceiver::Bytes FakeTransceiver::Written() const
{
    Bytes all;
    for (const Write& w : writes) {
        all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    }
    return all;
}

std::vector<FakeTransceiver::Bytes> FakeTransceiver::WrittenFrames() const
{
    std::vector<Bytes> frames;
    for (const Write& w : writes) {
        frames.push_back(w.bytes);
    }
    return frames;
}

std::vector<DWORD> FakeTransceiver::ReadTimeouts() const
{
    std::vector<DWORD> out;
    for (const COMMTIMEOUTS& t : timeouts) {
        out.push_back(t.ReadTotalTimeoutConstant);
    }
    return out;
}

std::vector<DWORD> FakeTransceiver::Bauds() const
{
    std::vector<DWORD> out;
    for (const Line& l : lines) {
        out.push_back(l.baud);
    }
    return out;
}

std::string FakeTransceiver::Trace() const
{
    std::string out;
    for (const std::string& line : trace) {
        out += line + "\n";
    }
    return out;
}
