// The byte trace over the fake transceiver: the bytes it shows are the bytes
// that crossed the line, in both directions (a transfer cut short shows what
// moved and what was wanted); the port's events come in the
// order they happened, failures with their system code (left for the caller
// as the call left it), stamped from the performance counter; the lines are
// kept in memory while the transceiver times an answer and written when a
// step ends, the port closes or the trace goes away; and the trace sees a
// port only while it watches it.
#include "link/LineTrace.h"

#include "link/RadioCom.h"
#include "tests/support/TempFolder.h"
#include "tests/support/FrameBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A trace into a temporary file, read back line by line.
struct TraceFile {
    TraceFile() : stream(std::tmpfile()), trace(stream) {}
    ~TraceFile() { std::fclose(stream); }

    // Each line's text without its time stamp; the stamps must rise.
    std::vector<std::string> Events() const
    {
        std::vector<std::string> events;
        std::rewind(stream);
        char line[1024];
        double last = 0;
        while (std::fgets(line, sizeof line, stream)) {
            std::string text(line);
            EXPECT_EQ(text.back(), '\n');
            text.pop_back();
            double stamp = 0;
            int used = 0;
            EXPECT_EQ(std::sscanf(text.c_str(), "%lf %n", &stamp, &used), 1) << text;
            EXPECT_GE(stamp, last) << text;
            last = stamp;
            events.push_back(text.substr(static_cast<std::size_t>(used)));
        }
        std::fseek(stream, 0, SEEK_END);
        return events;
    }

    std::FILE* stream;
    CLineTrace trace;
};

// The bytes of every "tx" or "rx" line, in order.
Bytes BytesOf(const std::vector<std::string>& events, const std::string& what)
{
    Bytes bytes;
    for (const std::string& event : events) {
        if (event.compare(0, what.size() + 1, what + " ") != 0)
            continue;
        std::istringstream hex(event.substr(what.size() + 1, event.find("  |") - what.size() - 1));
        for (unsigned value = 0; hex >> std::hex >> value;)
            bytes.push_back(static_cast<unsigned char>(value));
    }
    return bytes;
}

std::size_t IndexOf(const std::vector<std::string>& events, const std::string& event)
{
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] == event)
            return i;
    }
    return events.size();
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace

TEST(LineTrace, ShowsTheBytesThatCrossedTheLineInBothDirections)
{
    FakeTransceiver fake;
    fake.version = B("V1.20.00.0"); // exactly the ten bytes read: none are thrown away
    TraceFile file;
    CCommTrace line(file.trace);
    {
        CRadioCom link(fake.Apis());
        link.SetObserver(&line);
        unsigned char identity[32], version[10], record[50];
        ASSERT_EQ(link.OpenCommunicationPort(nullptr, "43", "6"), CRadioCom::kSessionOk);
        ASSERT_EQ(link.BeginConnectionSession(nullptr, "44", "6"), CRadioCom::kSessionOk);
        ASSERT_EQ(link.MarriskEsnReadSession(nullptr, "44", "6", identity), CRadioCom::kSessionOk);
        ASSERT_EQ(link.VersionRequestSession(nullptr, "44", "6", version), CRadioCom::kSessionOk);
        ASSERT_EQ(link.OptionInfoRequestSession(nullptr, "44", "6", record, 50), CRadioCom::kSessionOk);
        link.EndConnectionSession();
    }
    const std::vector<std::string> events = file.Events();

    // Sent: every frame as one line, as the port wrote it.
    std::vector<Bytes> frames;
    for (const std::string& event : events) {
        if (event.compare(0, 3, "tx ") == 0)
            frames.push_back(BytesOf({event}, "tx"));
    }
    EXPECT_EQ(frames, fake.WrittenFrames());
    // Received: what the transceiver answered, no more and no less.
    const Bytes expected = Cat({{0x16, 0x06},
                                {0x55},
                                fake.identity,
                                {fake.IdentityCheck(), 0x06},
                                fake.version,
                                {0x06, 0x55},
                                fake.record,
                                {0x06, 0x06}});
    EXPECT_EQ(BytesOf(events, "rx"), expected);
    EXPECT_NE(IndexOf(events, "tx 50 52 4F 47 52 41 4D  |PROGRAM|"), events.size());
}

TEST(LineTrace, PortEventsComeInTheOrderTheyHappened)
{
    FakeTransceiver fake; // a new transceiver at 9600 baud: the old handshake goes unanswered first
    TraceFile file;
    CCommTrace line(file.trace);
    {
        CRadioCom link(fake.Apis());
        link.SetObserver(&line);
        link.SetPortNumber(12);
        ASSERT_EQ(link.OpenCommunicationPort(nullptr, "43", "6"), CRadioCom::kSessionOk);
        ASSERT_EQ(link.BeginConnectionSession(nullptr, "44", "6"), CRadioCom::kSessionOk);
        link.EndConnectionSession();
    }
    const std::vector<std::string> events = file.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "open COM12 9600,N,8,2");
    const std::size_t handshake = IndexOf(events, "tx 46 4C 46 4D 39 36 4B  |FLFM96K|");
    const std::size_t noAnswer = IndexOf(events, "timeout after 100 ms (wanted 1, got 0)");
    const std::size_t syn = IndexOf(events, "rx 16  |.|");
    const std::size_t faster = IndexOf(events, "baud 19200");
    const std::size_t end = IndexOf(events, "tx 45  |E|");
    ASSERT_LT(end, events.size());
    EXPECT_LT(handshake, noAnswer);
    EXPECT_LT(noAnswer, syn);
    EXPECT_LT(syn, faster);
    EXPECT_LT(faster, end);
    EXPECT_EQ(events.back(), "close");
    // A rate set again unchanged is no event.
    EXPECT_EQ(std::count(events.begin(), events.end(), "baud 9600"), 0);
}

TEST(LineTrace, FailuresAreWrittenWithTheirCodeAndLeftForTheCaller)
{
    struct Case {
        const char* name;
        std::function<void(FakeTransceiver&)> arrange;
        std::function<int(CRadioCom&)> run;
        const char* error; // the start and the end of the error line
        const char* call;
    };
    const Case cases[] = {
        {"a missing port", [](FakeTransceiver& f) { f.missingPorts.insert("COM4"); },
         [](CRadioCom& link) {
             link.SetPortNumber(4);
             const int opened = link.SetPortOpen(1);
             EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "the caller's code";
             return opened;
         },
         "error 2 ", "(open COM4)"},
        {"a port held by another program", [](FakeTransceiver& f) { f.DoCreateFile("COM4", 0, 0, 0, 0); },
         [](CRadioCom& link) {
             link.SetPortNumber(4);
             return link.SetPortOpen(1);
         },
         "error 5 ", "(open COM4)"},
        {"a failed write", [](FakeTransceiver& f) { f.FailCall(Call::WriteFile); },
         [](CRadioCom& link) {
             link.SetPortOpen(1);
             const int written = link.WriteByte(0x45);
             EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE)) << "the caller's code";
             return written;
         },
         "error 31 ", "(WriteFile)"},
        {"a failed read, with the driver's code",
         [](FakeTransceiver& f) {
             f.failError = ERROR_DEVICE_NOT_CONNECTED;
             f.FailCall(Call::ReadFile);
         },
         [](CRadioCom& link) {
             link.SetPortOpen(1);
             unsigned char byte = 0;
             const int read = link.ReadData(&byte, 1);
             EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED)) << "the caller's code";
             return read;
         },
         "error 1167 ", "(ReadFile)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        c.arrange(fake);
        TraceFile file;
        {
            CCommTrace line(file.trace);
            CRadioCom link(fake.Apis());
            link.SetObserver(&line);
            EXPECT_EQ(c.run(link), 0);
        }
        bool found = false;
        for (const std::string& event : file.Events()) {
            if (event.compare(0, std::strlen(c.error), c.error) == 0) {
                found = true;
                EXPECT_GT(event.size(), std::strlen(c.error) + std::strlen(c.call)) << "the system's text";
                EXPECT_EQ(event.substr(event.size() - std::strlen(c.call)), c.call) << event;
            }
        }
        EXPECT_TRUE(found);
    }
}

TEST(LineTrace, StepsAndTheLineOnlyWhileTheTraceWatches)
{
    FakeTransceiver fake;
    TraceFile file;
    CRadioCom link(fake.Apis());
    EXPECT_EQ(link.SetPortOpen(1), 1); // nobody watches: nothing, anywhere
    EXPECT_EQ(link.SetPortOpen(0), 1);
    {
        CCommTrace line(file.trace);
        CStepObserver& steps = line;
        steps.Step("identity");
        EXPECT_EQ(link.SetObserver(&line), nullptr);
        EXPECT_EQ(link.SetPortOpen(1), 1);
        steps.Step("end");
        EXPECT_EQ(link.SetObserver(nullptr), &line);
    }
    // With the trace gone, the line is the fake's alone again.
    EXPECT_EQ(link.WriteByte(0x45), 1);
    EXPECT_EQ(link.SetPortOpen(0), 1);
    EXPECT_EQ(fake.Written(), kEnd);
    EXPECT_EQ(file.Events(), (std::vector<std::string>{"step identity", "open COM1 9600,N,8,2", "step end"}));
}

TEST(LineTrace, BytesAreShownInHexAndAsText)
{
    const struct {
        Bytes bytes;
        const char* shown;
    } cases[] = {
        {kUrk, "tx 55 52 4B  |URK|"},
        {{0x00, 0x1F, 0x20, 0x7E, 0x7F, 0xFF}, "tx 00 1F 20 7E 7F FF  |.. ~..|"},
        {{}, "tx  ||"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            CLineTrace::BytesText("tx", c.bytes.data(), static_cast<unsigned long>(c.bytes.size())).str(),
            c.shown);
}

TEST(LineTrace, NothingIsWrittenWhileTheTransceiverTimesTheBaudSwitch)
{
    // A new transceiver answers PROGRAM with SYN and waits for the PC to
    // switch to 19200 baud: a file write there (milliseconds on a USB stick
    // or a share) would fall in the time it gives.
    FakeTransceiver fake;
    TraceFile file;
    CCommTrace line(file.trace, fake.Clock());
    long heardProgram = -1, heardSwitch = -1;
    fake.onHeard = [&](FakeTransceiver::Command command) {
        if (command == FakeTransceiver::Command::Program)
            heardProgram = std::ftell(file.stream);
        else if (command == FakeTransceiver::Command::Switch)
            heardSwitch = std::ftell(file.stream);
    };
    {
        CRadioCom link(fake.Apis());
        link.SetObserver(&line);
        ASSERT_EQ(link.OpenCommunicationPort(nullptr, "43", "6"), CRadioCom::kSessionOk);
        ASSERT_EQ(link.BeginConnectionSession(nullptr, "44", "6"), CRadioCom::kSessionOk);
        ASSERT_GE(heardSwitch, 0) << "the transceiver switched";
        EXPECT_EQ(heardSwitch, heardProgram) << "bytes handed to the file between PROGRAM and the switch";
        link.EndConnectionSession();
    }
    fake.onHeard = nullptr;
    // The port's closing wrote the whole session out, the SYN and the
    // switch among it.
    const std::vector<std::string> events = file.Events();
    EXPECT_LT(IndexOf(events, "rx 16  |.|"), IndexOf(events, "baud 19200"));
    EXPECT_EQ(events.back(), "close");
}

// A transfer cut short shows the bytes that moved, not the count asked for,
// and says how many were wanted: a write the driver cut, and a read whose
// answer came short.
TEST(LineTrace, AShortTransferShowsTheBytesThatMovedAndTheCountWanted)
{
    const struct {
        const char* name;
        std::function<void(FakeTransceiver&)> arrange;
        std::function<void(CRadioCom&)> run;
        const char* direction;
        Bytes moved;
        const char* timeout;
    } cases[] = {
        {"a short write",
         [](FakeTransceiver& f) { f.shortWrites = true; },
         [](CRadioCom& link) {
             const unsigned char frame[] = {0x55, 0x52, 0x4B};
             EXPECT_EQ(link.WriteData(frame, sizeof frame), 0);
         },
         "tx",
         {0x55, 0x52},
         "(wanted to send 3, sent 2)"},
        {"a short read",
         [](FakeTransceiver& f) {
             f.Send({0x55, 0x01, 0x02});
         },
         [](CRadioCom& link) {
             link.SetReadTimeout(40);
             unsigned char answer[5] = {};
             EXPECT_EQ(link.ReadData(answer, sizeof answer), 0);
         },
         "rx",
         {0x55, 0x01, 0x02},
         "(wanted 5, got 3)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        TraceFile file;
        {
            CCommTrace line(file.trace);
            CRadioCom link(fake.Apis());
            link.SetObserver(&line);
            ASSERT_EQ(link.SetPortOpen(1), 1);
            c.arrange(fake);
            c.run(link);
        }
        const std::vector<std::string> events = file.Events();
        EXPECT_EQ(BytesOf(events, c.direction), c.moved);
        const auto said = std::find_if(events.begin(), events.end(), [&](const std::string& event) {
            return event.find(c.timeout) != std::string::npos;
        });
        EXPECT_NE(said, events.end()) << c.timeout;
    }
}

TEST(LineTrace, StampsAreTheCountersMillisecondsWithOneDecimal)
{
    const struct {
        uint64_t elapsedUs; // since the trace began
        const char* stamp;
    } cases[] = {
        {0, "       0.0"},
        {400, "       0.4"},
        {12'340, "      12.3"},
        {1'500'060, "    1500.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stamp);
        FakeTransceiver fake;
        TraceFile file;
        const uint64_t start = fake.NowUs();
        {
            CCommTrace line(file.trace, fake.Clock());
            fake.SetNowUs(start + c.elapsedUs);
            line.Closed();
        }
        std::rewind(file.stream);
        char text[64] = {};
        ASSERT_TRUE(std::fgets(text, sizeof text, file.stream));
        EXPECT_EQ(std::string(text), std::string(c.stamp) + " close\n");
    }
}

TEST(LineTrace, AFileTraceIsWrittenWhenAStepEndsThePortClosesOrTheTraceGoesAway)
{
    TempFolder folder;
    const std::string path = folder / "run.trace";
    // Read while the trace is still open, as after a crash.
    const auto onDisk = [&path] {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const auto lines = [&onDisk] {
        const std::string text = onDisk();
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    };
    const unsigned char program[] = {'P', 'R', 'O', 'G', 'R', 'A', 'M'};

    std::ofstream(path) << "an older run's trace\n";
    CString error;
    std::unique_ptr<CLineTrace> trace = CLineTrace::Open(path.c_str(), error);
    ASSERT_TRUE(trace) << error.str();
    EXPECT_EQ(onDisk(), "") << "made empty";
    trace->Line(7, "open COM1 9600,N,8,2");
    EXPECT_EQ(onDisk(), "") << "kept in memory";
    trace->Flush();
    EXPECT_EQ(onDisk(), "       7.0 open COM1 9600,N,8,2\n");
    {
        CCommTrace line(*trace);
        line.Written(program, sizeof program);
        EXPECT_EQ(lines(), 1u) << "a frame is kept";
        line.Step("identity");
        EXPECT_EQ(lines(), 3u) << "the step before it has ended";
        line.Written(program, sizeof program);
        line.Closed();
        EXPECT_EQ(lines(), 5u) << "the session is over";
        line.Failed("ReadFile", ERROR_OPERATION_ABORTED);
        EXPECT_EQ(lines(), 5u);
        line.AwaitingAnswer();
        EXPECT_EQ(lines(), 6u) << "a failed step waits for the user";
        line.Failed("ReadFile", ERROR_OPERATION_ABORTED);
    }
    EXPECT_EQ(lines(), 7u) << "a trace that goes away writes what it holds";
    trace->Line(9, "close");
    trace.reset();
    EXPECT_EQ(lines(), 8u) << "and so does the file";

    EXPECT_FALSE(CLineTrace::Open((folder / "no such folder\\run.trace").c_str(), error));
    EXPECT_NE(error.str().find("no such folder"), std::string::npos) << error.str();
    EXPECT_TRUE(CLineTrace::Open("-", error)) << "standard error";
}

// A support desk reads a trace from the top: the header first, in every file
// the trace goes to (one added later too), then the events, and the
// program's own last line.
TEST(LineTrace, TheHeaderComesFirstInEveryFileAndTheProgramsNoteLast)
{
    TempFolder folder;
    const std::string first = folder / "first.trace";
    const std::string second = folder / "second.trace";
    const auto onDisk = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    CString error;
    std::unique_ptr<CLineTrace> trace = CLineTrace::Open(first.c_str(), error);
    ASSERT_TRUE(trace) << error.str();
    trace->Header("orvelle-cli 1.0");
    trace->Header("port: COM3");
    trace->Line(1, "open COM3 9600,N,8,2");
    ASSERT_TRUE(trace->AlsoTo(second.c_str(), error)) << error.str();
    {
        CCommTrace line(*trace);
        line.Step("identity");
        line.Note("outcome identified (exit 0)");
        const std::string header = "# orvelle-cli 1.0\n# port: COM3\n";
        const std::string one = onDisk(first);
        const std::string two = onDisk(second);
        EXPECT_EQ(one.compare(0, header.size() + 10, header + "       1.0"), 0) << one;
        EXPECT_EQ(two.compare(0, header.size(), header), 0) << two;
        EXPECT_EQ(two.find("open COM3"), std::string::npos) << "written before the file was added";
        for (const std::string& text : {one, two}) {
            EXPECT_NE(text.find(" step identity\n"), std::string::npos) << text;
            const std::string last = " outcome identified (exit 0)\n";
            EXPECT_EQ(text.compare(text.size() - last.size(), last.size(), last), 0) << text;
        }
    }
    EXPECT_FALSE(trace->AlsoTo((folder / "no such folder\\x.trace").c_str(), error));
    EXPECT_NE(error.str().find("x.trace"), std::string::npos) << error.str();
}
