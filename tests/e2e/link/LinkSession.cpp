// Runs the upgrade run's connection sequence for real through the link
// library: open, begin, identity, version, record, write, end. Driven by
// link_test.py against radiosim on a pty mapped to a COM port.
//
//   link_session <port> [--answers retry,cancel,...] [--mask HEX16] [--repeat N]
//
// Every message box is answered from --answers (then Cancel) and printed.
// The record written is the one read with its 8 option bytes ANDed with
// --mask (default ff.. : unchanged). Output, one fact per line:
//   box <type hex> <caption>|<text>
//   step <name> <result> <milliseconds>
//   identity|version|record|written <hex>
//   session <milliseconds>          open to end, one per run
#include "app/BoxAsker.h"
#include "framework/AppMessageBox.h"
#include "link/RadioCom.h"
#include "tests/support/HexText.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int> g_answers;
size_t g_nextAnswer = 0;

int ScriptedBox(void*, const char* text, const char* caption, unsigned type)
{
    int answer = g_nextAnswer < g_answers.size() ? g_answers[g_nextAnswer++] : IDCANCEL;
    std::printf("box 0x%02x %s|%s -> %d\n", type, caption, text, answer);
    std::fflush(stdout);
    return answer;
}

class CStopwatch {
public:
    CStopwatch()
    {
        QueryPerformanceFrequency(&m_freq);
        QueryPerformanceCounter(&m_start);
    }
    double Ms() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) /
               static_cast<double>(m_freq.QuadPart);
    }

private:
    LARGE_INTEGER m_freq, m_start;
};

// One step: runs it, prints its result and time, returns the result.
template <typename F> int Step(const char* name, F f)
{
    CStopwatch w;
    int r = f();
    std::printf("step %s %d %.1f\n", name, r, w.Ms());
    std::fflush(stdout);
    return r;
}

constexpr size_t kOptionsOffset = 42, kOptionsSize = 8;

// The upgrade run's sequence; returns 0 when the record was accepted.
int RunSession(CRadioCom& radio, BYTE port, const unsigned char* mask)
{
    const CString text = "link failure", caption = "Orvelle link test";
    CStopwatch session;
    radio.SetPortNumber(port);
    radio.SetPortOpen(0);
    if (Step("open", [&] { return radio.OpenCommunicationPort(nullptr, "port failure", caption); }) != 0)
        return 1;
    if (Step("begin", [&] { return radio.BeginConnectionSession(nullptr, text, caption); }) != 0)
        return 1;
    std::printf("old %d settings %s\n", radio.IsOldTransceiverFlag(), radio.GetSettings().GetString());

    unsigned char identity[32] = {};
    if (Step("identity", [&] { return radio.MarriskEsnReadSession(nullptr, text, caption, identity); }) != 0)
        return 1;
    std::printf("identity %s\n", Hex(identity, sizeof identity).c_str());

    unsigned char version[10] = {};
    if (Step("version", [&] { return radio.VersionRequestSession(nullptr, text, caption, version); }) != 0)
        return 1;
    std::printf("version %s\n", Hex(version, sizeof version).c_str());

    unsigned char record[50] = {};
    if (Step("record", [&] { return radio.OptionInfoRequestSession(nullptr, text, caption, record, 50); }) !=
        0)
        return 1;
    std::printf("record %s\n", Hex(record, sizeof record).c_str());

    for (size_t i = 0; i < kOptionsSize; ++i)
        record[kOptionsOffset + i] &= mask[i];
    std::printf("written %s\n", Hex(record, sizeof record).c_str());
    int w =
        Step("write", [&] { return radio.OptionInformationTransmit(nullptr, text, caption, record, 50); });
    if (w != CRadioCom::kSessionOk)
        return 1;
    Step("end", [&] { return radio.EndConnectionSession(); });
    std::printf("session %.1f\n", session.Ms());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: link_session <port> [--answers a,b] [--mask HEX16] [--repeat N]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    unsigned char mask[kOptionsSize];
    std::memset(mask, 0xFF, sizeof mask);
    int repeat = 1;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string opt = argv[i];
        if (opt == "--answers") {
            std::string list = argv[i + 1];
            size_t pos = 0;
            while (pos <= list.size()) {
                size_t comma = list.find(',', pos);
                std::string a =
                    list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
                g_answers.push_back(a == "retry" ? IDRETRY : a == "ok" ? IDOK : IDCANCEL);
                if (comma == std::string::npos)
                    break;
                pos = comma + 1;
            }
        } else if (opt == "--mask") {
            if (!ParseHexBytes(argv[i + 1], std::strlen(argv[i + 1]), mask, sizeof mask)) {
                std::fprintf(stderr, "--mask wants 16 hex digits\n");
                return 2;
            }
        } else if (opt == "--repeat") {
            repeat = std::atoi(argv[i + 1]);
        }
    }
    if (port < 1 || port > 255 || repeat < 1) {
        std::fprintf(stderr, "bad port or repeat count\n");
        return 2;
    }
    SetAppMessageBoxFn(ScriptedBox);

    // The sessions ask as ORVELLE.exe's do: through the boxes.
    CBoxAsker answers;
    CRadioCom radio;
    radio.SetAsker(&answers);
    int result = 0;
    for (int run = 0; run < repeat; ++run)
        result = RunSession(radio, static_cast<BYTE>(port), mask);
    std::printf("result %d\n", result);
    return result;
}
