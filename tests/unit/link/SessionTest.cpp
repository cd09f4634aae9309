// The connection sessions: their boxes through the message-box seam, retry
// (the request goes out again from its first byte) and cancel (programming
// mode ended, port closed), and how each ends on bad input from the line.
#include "app/BoxAsker.h"
#include "framework/Wnd.h"
#include "link/RadioCom.h"
#include "tests/support/FrameBytes.h"
#include "tests/support/ScriptedBoxes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr unsigned kRetryBox = MB_RETRYCANCEL | MB_ICONERROR; // 0x15

class SessionTest : public ::testing::Test {
protected:
    SessionTest() { radio.SetAsker(&answers); }

    FakeTransceiver fake; // before the link: it closes through the fake
    ScriptedBoxes boxes;
    CBoxAsker answers; // the sessions ask as in ORVELLE.exe: through the boxes
    CRadioCom radio{fake.Apis()};

    // Open and in programming mode with a new transceiver; records start here.
    void Connect()
    {
        ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
        ASSERT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 0) << fake.Trace();
        fake.writes.clear();
        fake.timeouts.clear();
    }
    void ExpectClosedAfterEnd()
    {
        EXPECT_EQ(radio.IsPortOpen(), 0);
        EXPECT_EQ(fake.OpenHandles(), 0);
        ASSERT_FALSE(fake.writes.empty());
        EXPECT_EQ(fake.writes.back().bytes, kEnd);
    }
};

// The request sessions share one loop; each row is one of them.
struct RequestSession {
    const char* name;
    Command command;
    Bytes request;
    size_t size;
    std::function<int(CRadioCom&, unsigned char*)> run;
};

const RequestSession kRequestSessions[] = {
    {"identity", Command::Identity, kUrk, 32,
     [](CRadioCom& r, unsigned char* b) { return r.MarriskEsnReadSession(nullptr, "44", "6", b); }},
    {"model name", Command::ModelName, kStx, 8,
     [](CRadioCom& r, unsigned char* b) { return r.ModelNameRequestSession(nullptr, "44", "6", b); }},
    {"version", Command::Version, kP, 10,
     [](CRadioCom& r, unsigned char* b) { return r.VersionRequestSession(nullptr, "44", "6", b); }},
    {"option record", Command::RecordRead, kUrcb, 50,
     [](CRadioCom& r, unsigned char* b) { return r.OptionInfoRequestSession(nullptr, "44", "6", b, 50); }},
};

// ---- Opening -------------------------------------------------------------------

TEST_F(SessionTest, OpeningShowsOneOkBoxWhenThePortCannotBeUsed)
{
    const struct {
        const char* what;
        std::function<void(FakeTransceiver&)> arrange;
        int result;
    } cases[] = {
        {"present", [](FakeTransceiver&) {}, 0},
        {"missing", [](FakeTransceiver& f) { f.missingPorts.insert("COM4"); }, 1},
        {"fails its configuration", [](FakeTransceiver& f) { f.FailCall(Call::SetCommTimeouts); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTransceiver local;
        ScriptedBoxes user;
        user.answers = {IDRETRY}; // an OK box has no retry
        CRadioCom link(local.Apis());
        link.SetAsker(&answers);
        link.SetPortNumber(4);
        c.arrange(local);
        EXPECT_EQ(link.OpenCommunicationPort(nullptr, "text 43", "text 6"), c.result);
        EXPECT_EQ(link.IsPortOpen(), c.result == 0 ? 1 : 0);
        EXPECT_EQ(local.OpenHandles(), c.result == 0 ? 1 : 0);
        EXPECT_EQ(local.opens.size(), 1u);
        if (c.result == 0) {
            EXPECT_TRUE(user.shown.empty());
        } else {
            ASSERT_EQ(user.shown.size(), 1u);
            EXPECT_EQ(user.shown[0].text, "text 43");
            EXPECT_EQ(user.shown[0].caption, "text 6");
            EXPECT_EQ(user.shown[0].type, static_cast<unsigned>(MB_OK | MB_ICONERROR));
        }
        link.SetPortOpen(0);
    }
}

TEST_F(SessionTest, BoxesAreOwnedByTheParentWindow)
{
    fake.kind = Kind::None;
    fake.missingPorts.insert("COM1");
    CWnd parent;
    parent.m_hWnd = reinterpret_cast<HWND>(0x1234);
    radio.OpenCommunicationPort(&parent, "43", "6");
    fake.missingPorts.clear();
    radio.OpenCommunicationPort(&parent, "43", "6");
    radio.BeginConnectionSession(&parent, "44", "6");
    parent.m_hWnd = nullptr;
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].owner, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(boxes.shown[1].owner, reinterpret_cast<void*>(0x1234));
}

// ---- Entering programming mode -------------------------------------------------

// Cancel, or a box that could not be shown (0): the handshake, the whole scan,
// one box, then "E" with the restored time-out and the port closed.
TEST_F(SessionTest, BeginWithoutATransceiverEndsOnCancel)
{
    for (int answer : {IDCANCEL, 0}) {
        SCOPED_TRACE(answer);
        fake.kind = Kind::None;
        boxes.shown.clear();
        boxes.answers = {answer};
        ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
        fake.writes.clear();
        const uint64_t t0 = fake.Now();
        EXPECT_EQ(radio.BeginConnectionSession(nullptr, "text 44", "text 6"), 1);
        EXPECT_EQ(fake.Now() - t0, 100u + 764u + 1000u);

        std::vector<Bytes> frames{B("FLFM96K")};
        frames.insert(frames.end(), 7, B("PROGRAM"));
        frames.push_back(kEnd);
        EXPECT_EQ(fake.WrittenFrames(), frames);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "text 44");
        EXPECT_EQ(boxes.shown[0].caption, "text 6");
        EXPECT_EQ(boxes.shown[0].type, kRetryBox);
        ExpectClosedAfterEnd();
    }
}

// A link nobody asks for (no asker, as the dialog's own link between runs):
// a failed step is final, nothing is shown, and the connection is ended as
// after a Cancel; a port that cannot be opened fails quietly.
TEST_F(SessionTest, WithoutAnAskerAFailedStepIsFinalAndNothingIsShown)
{
    radio.SetAsker(nullptr);
    fake.kind = Kind::None;
    ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
    EXPECT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 1);
    ExpectClosedAfterEnd();
    fake.missingPorts.insert("COM1");
    EXPECT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SessionTest, BeginRetryTriesTheOldHandshakeAgainThenTheScan)
{
    fake.kind = Kind::None;
    boxes.answers = {IDRETRY};
    // The user plugs in a transceiver that answers only at 38400.
    boxes.onShow = [this](const ScriptedBoxes::Box&) {
        fake.kind = Kind::New;
        fake.scanBaud = 38400;
    };
    ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
    EXPECT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 0);

    std::vector<Bytes> frames{B("FLFM96K")};
    frames.insert(frames.end(), 7, B("PROGRAM"));
    frames.push_back(B("FLFM96K"));
    frames.insert(frames.end(), 3, B("PROGRAM"));
    EXPECT_EQ(fake.WrittenFrames(), frames);
    EXPECT_EQ(fake.writes[8].baud, 9600u);
    EXPECT_EQ(fake.writes.back().baud, 38400u);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(radio.GetSettings(), "19200,N,8,2");
    EXPECT_TRUE(fake.InProgrammingMode());
}

TEST_F(SessionTest, BeginWithAnOldTransceiverSkipsTheScan)
{
    fake.kind = Kind::Old;
    ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
    EXPECT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 0);
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{B("FLFM96K")});
    EXPECT_EQ(radio.GetSettings(), "9600,N,8,2");
    EXPECT_TRUE(boxes.shown.empty());
}

// ---- Request sessions ----------------------------------------------------------

TEST_F(SessionTest, RequestSessionsRetryFromTheFirstByte)
{
    for (const RequestSession& s : kRequestSessions) {
        SCOPED_TRACE(s.name);
        Connect();
        boxes.shown.clear();
        boxes.answers = {IDRETRY};
        fake.Script(s.command, FakeTransceiver::Answer(Fault::Silence));
        unsigned char buffer[64] = {};
        EXPECT_EQ(s.run(radio, buffer), 0);
        EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{s.request, s.request, kAck}));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].type, kRetryBox);
        EXPECT_EQ(radio.IsPortOpen(), 1);
        radio.EndConnectionSession();
    }
}

TEST_F(SessionTest, RequestSessionsEndTheConnectionOnCancel)
{
    for (int answer : {IDCANCEL, 0}) {
        for (const RequestSession& s : kRequestSessions) {
            SCOPED_TRACE(std::string(s.name) + " answer " + std::to_string(answer));
            Connect();
            boxes.shown.clear();
            boxes.answers = {answer};
            fake.Script(s.command, FakeTransceiver::Answer(Fault::Silence));
            unsigned char buffer[64] = {};
            EXPECT_EQ(s.run(radio, buffer), 1);
            EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{s.request, kEnd}));
            EXPECT_EQ(fake.writes.back().baud, 19200u);
            EXPECT_EQ(boxes.shown.size(), 1u);
            ExpectClosedAfterEnd();
            EXPECT_FALSE(fake.InProgrammingMode());
        }
    }
}

// Bad input from the line: each ends its step with a failure, and nothing but
// the cancel's "E" follows it on the line.
TEST_F(SessionTest, BadInputEndsTheStepAndNothingFurtherIsWritten)
{
    struct Case {
        size_t session; // index into kRequestSessions
        Command command;
        Fault fault;
        std::vector<Bytes> written; // before the "E"
    };
    const Case cases[] = {
        {0, Command::Identity, Fault::Silence, {kUrk}},
        {0, Command::Identity, Fault::Garbage, {kUrk}},
        {0, Command::Identity, Fault::Short, {kUrk}},
        {0, Command::Identity, Fault::WrongLead, {kUrk}},
        {0, Command::Identity, Fault::WrongCheck, {kUrk, kNak}},
        {0, Command::Identity, Fault::HangUp, {kUrk}},
        {0, Command::Ack, Fault::Silence, {kUrk, kAck}},
        {0, Command::Ack, Fault::Garbage, {kUrk, kAck}},
        {1, Command::ModelName, Fault::Silence, {kStx}},
        {1, Command::ModelName, Fault::Garbage, {kStx}},
        {1, Command::ModelName, Fault::Short, {kStx}},
        {1, Command::ModelName, Fault::HangUp, {kStx}},
        {1, Command::Ack, Fault::Garbage, {kStx, kAck}},
        {2, Command::Version, Fault::Silence, {kP}},
        {2, Command::Version, Fault::Garbage, {kP}},
        {2, Command::Version, Fault::Short, {kP}},
        {2, Command::Version, Fault::HangUp, {kP}},
        {2, Command::Ack, Fault::Silence, {kP, kAck}},
        {3, Command::RecordRead, Fault::Silence, {kUrcb}},
        {3, Command::RecordRead, Fault::Garbage, {kUrcb}},
        {3, Command::RecordRead, Fault::Short, {kUrcb}}, // 49 of 50 bytes
        {3, Command::RecordRead, Fault::WrongLead, {kUrcb}},
        {3, Command::RecordRead, Fault::HangUp, {kUrcb}},
        {3, Command::Ack, Fault::Garbage, {kUrcb, kAck}},
    };
    for (const Case& c : cases) {
        const RequestSession& s = kRequestSessions[c.session];
        SCOPED_TRACE(std::string(s.name) + " fault " + std::to_string(static_cast<int>(c.fault)) +
                     (c.command == Command::Ack ? " in the closing ACK" : ""));
        FakeTransceiver local;
        ScriptedBoxes user;
        CRadioCom link(local.Apis());
        link.SetAsker(&answers);
        ASSERT_EQ(link.OpenCommunicationPort(nullptr, "43", "6"), 0);
        ASSERT_EQ(link.BeginConnectionSession(nullptr, "44", "6"), 0);
        local.writes.clear();
        local.Script(c.command, FakeTransceiver::Answer(c.fault));
        unsigned char buffer[64] = {};
        EXPECT_EQ(s.run(link, buffer), 1);
        std::vector<Bytes> expected = c.written;
        expected.push_back(kEnd);
        EXPECT_EQ(local.WrittenFrames(), expected) << local.Trace();
        EXPECT_EQ(user.shown.size(), 1u);
        EXPECT_EQ(link.IsPortOpen(), 0);
        EXPECT_EQ(local.OpenHandles(), 0);
    }
}

TEST_F(SessionTest, OptionRecordSessionZeroesFiftyBytesAndRefusesASmallerBuffer)
{
    Connect();
    fake.Script(Command::RecordRead, FakeTransceiver::Answer(Fault::Silence));
    unsigned char buffer[60];
    std::memset(buffer, 0xEE, sizeof(buffer));
    EXPECT_EQ(radio.OptionInfoRequestSession(nullptr, "44", "6", buffer, 60), 1);
    EXPECT_EQ(Bytes(buffer, buffer + 50), Bytes(50, 0));
    EXPECT_EQ(Bytes(buffer + 50, buffer + 60), Bytes(10, 0xEE));

    // Below 50 the record would not fit: no request, no box, connection ended.
    Connect();
    boxes.shown.clear();
    std::memset(buffer, 0xEE, sizeof(buffer));
    EXPECT_EQ(radio.OptionInfoRequestSession(nullptr, "44", "6", buffer, 49), 1);
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{kEnd});
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Bytes(buffer, buffer + 60), Bytes(60, 0xEE));
    ExpectClosedAfterEnd();
}

// ---- Writing the record --------------------------------------------------------

TEST_F(SessionTest, RecordWriteAcceptedStaysInProgrammingMode)
{
    Connect();
    unsigned char rec[60];
    std::memset(rec, 0x3C, sizeof(rec));
    EXPECT_EQ(radio.OptionInformationTransmit(nullptr, "44", "6", rec, 60), CRadioCom::kSessionOk);
    EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{Frame(kUwcb, Bytes(50, 0x3C))})); // always 50 bytes
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(radio.IsPortOpen(), 1);
    EXPECT_TRUE(fake.InProgrammingMode());
    EXPECT_EQ(fake.record, Bytes(50, 0x3C));
}

TEST_F(SessionTest, RecordRefusedEndsTheConnectionWithoutABox)
{
    fake.writeAnswer = 0x15;
    const Bytes before = fake.record;
    Connect();
    unsigned char rec[50] = {};
    const int result = radio.OptionInformationTransmit(nullptr, "44", "6", rec, 50);
    EXPECT_EQ(result, CRadioCom::kSessionRefused);
    EXPECT_EQ(result, 6);
    EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{Frame(kUwcb, Bytes(50, 0)), kEnd}));
    EXPECT_TRUE(boxes.shown.empty());
    ExpectClosedAfterEnd();
    EXPECT_EQ(fake.record, before);
}

// An unanswered frame is sent again, whole, only after a read-back found the
// record before still in place.
TEST_F(SessionTest, RecordWriteWithoutAnswerReadsBackThenSendsTheWholeFrameOrEnds)
{
    unsigned char rec[50];
    for (int i = 0; i < 50; ++i) {
        rec[i] = static_cast<unsigned char>(i);
    }
    const Bytes record(rec, rec + 50);
    const Bytes held = fake.record;
    for (int answer : {IDRETRY, IDCANCEL, 0}) {
        SCOPED_TRACE(answer);
        Connect();
        boxes.shown.clear();
        boxes.answers = {answer};
        fake.Script(Command::RecordWrite, FakeTransceiver::Answer(Fault::Silence));
        const uint64_t t0 = fake.Now();
        const int result = radio.OptionInformationTransmit(nullptr, "44", "6", rec, 50, held.data(), nullptr);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].type, kRetryBox);
        if (answer == IDRETRY) {
            EXPECT_EQ(result, CRadioCom::kSessionOk);
            EXPECT_EQ(fake.WrittenFrames(),
                      (std::vector<Bytes>{Frame(kUwcb, record), kUrcb, kAck, Frame(kUwcb, record)}));
            EXPECT_EQ(fake.Now() - t0, 10000u);
            radio.EndConnectionSession();
        } else {
            EXPECT_EQ(result, CRadioCom::kSessionFailed);
            EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{Frame(kUwcb, record), kEnd}));
            ExpectClosedAfterEnd();
        }
    }
}

TEST_F(SessionTest, RecordWriteRefusesABufferShorterThanARecord)
{
    Connect();
    unsigned char rec[49] = {};
    EXPECT_EQ(radio.OptionInformationTransmit(nullptr, "44", "6", rec, 49), CRadioCom::kSessionFailed);
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{kEnd});
    EXPECT_TRUE(fake.recordsWritten.empty());
    ExpectClosedAfterEnd();
}

TEST_F(SessionTest, EndingNeverShowsABox)
{
    Connect();
    fake.kind = Kind::None; // the transceiver is gone
    fake.Script(Command::End, FakeTransceiver::Answer(Fault::Silence));
    EXPECT_EQ(radio.EndConnectionSession(), 0);
    EXPECT_TRUE(boxes.shown.empty());
    ExpectClosedAfterEnd();
    EXPECT_EQ(radio.GetReadTimeout(), 1000);
    EXPECT_EQ(radio.EndConnectionSession(), 0); // already closed: still 0
}

// The upgrade run's sequence against a transceiver that answers only at
// 38400: every frame, at its rate, and the time the protocol itself takes.
TEST_F(SessionTest, UpgradeSequenceByteForByte)
{
    fake.scanBaud = 38400;
    radio.SetPortNumber(3);
    radio.SetPortOpen(0);
    const uint64_t t0 = fake.Now();
    ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
    ASSERT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 0);
    unsigned char id[32], version[10] = {}, rec[50] = {};
    ASSERT_EQ(radio.MarriskEsnReadSession(nullptr, "44", "6", id), 0);
    ASSERT_EQ(radio.VersionRequestSession(nullptr, "44", "6", version), 0);
    ASSERT_EQ(radio.OptionInfoRequestSession(nullptr, "44", "6", rec, 50), 0);
    rec[10] = 0x7F;
    ASSERT_EQ(radio.OptionInformationTransmit(nullptr, "44", "6", rec, 50), 0);
    ASSERT_EQ(radio.EndConnectionSession(), 0);

    EXPECT_EQ(Bytes(id, id + 32), fake.identity);
    EXPECT_EQ(Bytes(version, version + 10), B("V2.10.0003"));
    EXPECT_EQ(fake.recordsWritten, std::vector<Bytes>{Bytes(rec, rec + 50)});

    const struct {
        Bytes bytes;
        DWORD baud;
    } expected[] = {
        {B("FLFM96K"), 9600},
        {B("PROGRAM"), 9600},
        {B("PROGRAM"), 19200},
        {B("PROGRAM"), 38400},
        {kUrk, 19200},
        {kAck, 19200},
        {kP, 19200},
        {kAck, 19200},
        {kUrcb, 19200},
        {kAck, 19200},
        {Frame(kUwcb, Bytes(rec, rec + 50)), 19200},
        {kEnd, 19200},
    };
    ASSERT_EQ(fake.writes.size(), sizeof(expected) / sizeof(expected[0])) << fake.Trace();
    for (size_t i = 0; i < fake.writes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fake.writes[i].bytes, expected[i].bytes);
        EXPECT_EQ(fake.writes[i].baud, expected[i].baud);
    }
    EXPECT_EQ(fake.opens.back().name, "COM3");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(fake.rtsEverRaised);
    ExpectClosedAfterEnd();
    // Old handshake 100 ms, two unanswered scan rates 200 ms, version wait
    // 55 ms: with a transceiver that answers at once, nothing else.
    EXPECT_EQ(fake.Now() - t0, 355u);
    // Every read ran in the real-time class, which is back to normal now.
    for (const auto& r : fake.reads) {
        EXPECT_EQ(r.priorityClass, static_cast<DWORD>(REALTIME_PRIORITY_CLASS));
    }
    EXPECT_EQ(fake.priorityClass, static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

// ---- A cable pulled out ----------------------------------------------------------

// How a driver reports the removed device on the handle opened before: every
// call fails with its error, or ClearCommError still succeeds while the
// transfers fail, or a read ends at once with success and no bytes.
enum class Removed { EveryCallFails, ClearCommErrorWorks, ReadsNothing };

// One pull of the cable during a whole upgrade sequence.
struct Pull {
    DWORD error;
    Command pulledAt; // the cable comes out once the transceiver has heard it
    Removed removed;
    Bytes inWrite; // not empty: it comes out during the WriteFile that begins so, instead
    int plugAtBox; // the box at which the user has put the cable back
};

std::string NameOf(const Pull& pull)
{
    static const char* const kRemoved[] = {"every call fails", "ClearCommError works", "reads nothing"};
    return "error " + std::to_string(pull.error) + " at command " +
           std::to_string(static_cast<int>(pull.pulledAt)) + ", " + kRemoved[static_cast<int>(pull.removed)] +
           (pull.inWrite.empty() ? "" : ", during the write") + ", back at box " +
           std::to_string(pull.plugAtBox);
}

// A USB programming cable pulled out during the run and put back while the
// user is asked (at the first box, or only at the second). A handle to the
// removed adapter never works again, and drivers report it in different ways:
// on each, the link lets the handle go, Retry opens the port again with the
// settings in force, and the run goes on to write the right record. The
// adapter put back starts with its driver's defaults (9600 baud, RTS on), so
// the settings must really be applied to the new handle.
void RunWithTheCablePulled(const Pull& pull)
{
    FakeTransceiver fake;
    fake.removedClearsErrors = pull.removed == Removed::ClearCommErrorWorks;
    fake.removedReadsNothing = pull.removed == Removed::ReadsNothing;
    ScriptedBoxes user;
    user.answers.assign(static_cast<size_t>(pull.plugAtBox), IDRETRY);
    bool pulled = false;
    if (pull.inWrite.empty()) {
        fake.onHeard = [&](Command heard) {
            if (heard == pull.pulledAt && !pulled) {
                pulled = true;
                fake.PullCable(pull.error);
            }
        };
    } else {
        fake.onWrite = [&](const Bytes& chunk) {
            if (!pulled && chunk.size() >= pull.inWrite.size() &&
                std::equal(pull.inWrite.begin(), pull.inWrite.end(), chunk.begin())) {
                pulled = true;
                fake.PullCableDuring(Call::WriteFile, pull.error, 1);
            }
        };
    }
    size_t linesAtPlug = 0;
    user.onShow = [&](const ScriptedBoxes::Box&) {
        if (static_cast<int>(user.shown.size()) == pull.plugAtBox) {
            fake.PlugCable();
            linesAtPlug = fake.lines.size();
        }
    };
    CBoxAsker answers;
    CRadioCom radio(fake.Apis());
    radio.SetAsker(&answers);
    radio.SetPortNumber(23);

    ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0);
    ASSERT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 0);
    unsigned char id[32] = {}, version[10] = {}, rec[50] = {};
    ASSERT_EQ(radio.MarriskEsnReadSession(nullptr, "44", "6", id), 0) << fake.Trace();
    ASSERT_EQ(radio.VersionRequestSession(nullptr, "44", "6", version), 0) << fake.Trace();
    ASSERT_EQ(radio.OptionInfoRequestSession(nullptr, "44", "6", rec, 50), 0) << fake.Trace();
    EXPECT_EQ(Bytes(id, id + 32), fake.identity);
    EXPECT_EQ(Bytes(version, version + 10), B("V2.10.0003"));
    EXPECT_EQ(Bytes(rec, rec + 50), fake.record);
    rec[7] = 0x5A;
    const Bytes changed(rec, rec + 50);
    ASSERT_EQ(radio.OptionInformationTransmit(nullptr, "44", "6", rec, 50), 0) << fake.Trace();
    ASSERT_EQ(radio.EndConnectionSession(), 0);

    EXPECT_TRUE(pulled);
    ASSERT_EQ(user.shown.size(), static_cast<size_t>(pull.plugAtBox))
        << "one box more while the cable is out";
    for (const ScriptedBoxes::Box& box : user.shown) {
        EXPECT_EQ(box.type, kRetryBox);
    }
    EXPECT_EQ(fake.record, changed);
    ASSERT_FALSE(fake.recordsWritten.empty());
    for (const Bytes& written : fake.recordsWritten) {
        EXPECT_EQ(written, changed);
    }
    EXPECT_FALSE(fake.InProgrammingMode());
    // The same port opened again once the dead handle was let go (and
    // tried at each Retry before the cable was back); the transceiver
    // answers only at the programming rate, so the settings in force came
    // back with it.
    ASSERT_EQ(fake.opens.size(), 1u + static_cast<size_t>(pull.plugAtBox));
    for (size_t i = 1; i < fake.opens.size(); ++i) {
        EXPECT_EQ(fake.opens[i].name, "\\\\.\\COM23");
    }
    EXPECT_EQ(fake.closes, 2);
    EXPECT_EQ(fake.badCloses, 0);
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_FALSE(fake.rtsEverRaised);
    // The new handle, on an adapter that came back at 9600 baud with RTS on,
    // was set to the programming rate with RTS off before anything was sent.
    ASSERT_GT(fake.lines.size(), linesAtPlug) << fake.Trace();
    for (size_t i = linesAtPlug; i < fake.lines.size(); ++i) {
        SCOPED_TRACE("setting " + std::to_string(i));
        EXPECT_EQ(fake.lines[i].baud, 19200u) << "the new transceiver's programming rate";
        EXPECT_EQ(fake.lines[i].rtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
    }
    EXPECT_FALSE(fake.rts);
}

TEST(CablePulled, RetryWithTheCableBackCompletesTheUpgrade)
{
    const DWORD kErrorDeviceRemoved = 1617; // ERROR_DEVICE_REMOVED
    const Pull pulls[] = {
        {ERROR_ACCESS_DENIED, Command::Identity, Removed::EveryCallFails, {}, 1},
        {ERROR_BAD_COMMAND, Command::Version, Removed::EveryCallFails, {}, 1},
        {ERROR_GEN_FAILURE, Command::RecordRead, Removed::EveryCallFails, {}, 1},
        {ERROR_DEVICE_NOT_CONNECTED, Command::RecordWrite, Removed::EveryCallFails, {}, 1},
        {ERROR_OPERATION_ABORTED, Command::Ack, Removed::EveryCallFails, {}, 1},
        {ERROR_FILE_NOT_FOUND, Command::RecordRead, Removed::EveryCallFails, {}, 1},
        // Errors the link has no list of: any failure on a removed device.
        {kErrorDeviceRemoved, Command::Identity, Removed::EveryCallFails, {}, 1},
        {ERROR_DEV_NOT_EXIST, Command::Version, Removed::EveryCallFails, {}, 1},
        // The driver still answers ClearCommError, or ends reads in success.
        {kErrorDeviceRemoved, Command::RecordRead, Removed::ClearCommErrorWorks, {}, 1},
        {ERROR_GEN_FAILURE, Command::Identity, Removed::ReadsNothing, {}, 1},
        {kErrorDeviceRemoved, Command::RecordRead, Removed::ReadsNothing, {}, 1},
        // Pulled while a request is being written.
        {ERROR_DEV_NOT_EXIST, Command::Identity, Removed::EveryCallFails, kUrk, 1},
        {kErrorDeviceRemoved, Command::RecordRead, Removed::ClearCommErrorWorks, kUrcb, 1},
        // Put back only when asked the second time: the first Retry finds no
        // port and asks again.
        {ERROR_DEV_NOT_EXIST, Command::Identity, Removed::EveryCallFails, {}, 2},
        {kErrorDeviceRemoved, Command::Version, Removed::ReadsNothing, {}, 2},
        {ERROR_GEN_FAILURE, Command::RecordRead, Removed::EveryCallFails, kUrcb, 2},
    };
    for (const Pull& pull : pulls) {
        SCOPED_TRACE(NameOf(pull));
        RunWithTheCablePulled(pull);
    }
}

// ---- A cable pulled during the write frame ---------------------------------------

// The port the cable's adapter has while it works, as Windows lists it.
constexpr int kCablePort = 5;
// ERROR_NO_SUCH_DEVICE, which a USB-serial driver answers for a removed
// device; mingw-w64's headers lack it.
constexpr DWORD kErrorNoSuchDevice = 433;

// The user of the write session: Retry for as many failures as scripted,
// with the cable put back as each is asked (as the number given; 0: the
// same), then Cancel; and whoever hears of a port that came back as another.
class CableUser : public CLinkAsker {
public:
    CableUser(FakeTransceiver& fake, int retries) : m_fake(fake), m_retries(retries) {}

    LinkAnswer AskRetry(CWnd*, LinkStep step, const CString&, const CString&) override
    {
        steps.push_back(step);
        if (onAsk) {
            onAsk();
        }
        if (plugAs >= 0) {
            m_fake.PlugCable(plugAs);
            plugTime = m_fake.Now();
        }
        return static_cast<int>(steps.size()) <= m_retries ? LinkAnswer::Retry : LinkAnswer::Cancel;
    }
    void PortNotOpened(CWnd*, const CString&, const CString&) override { ADD_FAILURE() << "port not opened"; }
    void PortMoved(CWnd*, int from, int to) override { moves.emplace_back(from, to); }

    int plugAs = 0; // -1: the cable stays out
    std::function<void()> onAsk;
    std::vector<LinkStep> steps;
    std::vector<std::pair<int, int>> moves;
    uint64_t plugTime = 0;

private:
    FakeTransceiver& m_fake;
    int m_retries;
};

// A radio in programming mode on COM5 with its record read, over a USB
// adapter Windows lists beside a built-in COM1, which refuses opens for a
// while after it is back; one per case.
struct Cable {
    explicit Cable(int retries = 1) : user(fake, retries)
    {
        fake.AddPort(kCablePort, "USB Serial Port (COM5)");
        fake.AddPort(1, "Communications Port (COM1)");
        fake.deniedAfterPlug = 1500;
        radio.SetAsker(&user);
        radio.SetPortNumber(kCablePort);
        ready = radio.OpenCommunicationPort(nullptr, "43", "6") == 0 &&
                radio.BeginConnectionSession(nullptr, "44", "6") == 0 &&
                radio.OptionInfoRequestSession(nullptr, "44", "6", before, 50) == 0;
        std::copy(before, before + 50, meant);
        meant[7] = 0x5A;
        fake.writes.clear();
    }
    int Write()
    {
        unsigned char sent[50];
        std::copy(meant, meant + 50, sent);
        return radio.OptionInformationTransmit(nullptr, "44", "6", sent, 50, before, found);
    }
    // The write frames that reached the line, whole or in part.
    size_t WriteFrames() const
    {
        size_t frames = 0;
        for (const auto& w : fake.writes) {
            frames += w.bytes.size() >= 3 && Bytes(w.bytes.begin(), w.bytes.begin() + 3) == kUwcb ? 1 : 0;
        }
        return frames;
    }
    Bytes Meant() const { return Bytes(meant, meant + 50); }

    FakeTransceiver fake; // before the link: it closes through the fake
    CableUser user;
    CRadioCom radio{fake.Apis()};
    bool ready = false;
    unsigned char before[50] = {}, meant[50] = {}, found[50] = {};
};

// The cable comes out during the write frame or while its answer is read,
// with each error a driver gives a removed device, after any number of the
// frame's 53 bytes; the user puts it back and presses Retry at once, while
// the driver still refuses opens. The port is closed on the failure, opened
// again once Windows lists it and takes an open, and the record is read back
// before anything else: a frame the radio took whole is not sent again (only
// its answer was lost), one it never had whole is sent once more. The frame
// always goes out in one WriteFile call.
TEST(CablePulledDuringTheWrite, FrameSentAgainOnlyAfterTheRecordIsReadBack)
{
    const struct {
        Call call;
        DWORD error;
        size_t bytesOut; // of the frame's 53, before the cable comes out
    } cases[] = {
        {Call::WriteFile, kErrorNoSuchDevice, 0},    {Call::WriteFile, ERROR_DEV_NOT_EXIST, 3},
        {Call::WriteFile, ERROR_INVALID_HANDLE, 30}, {Call::WriteFile, ERROR_ACCESS_DENIED, 52},
        {Call::WriteFile, kErrorNoSuchDevice, 53},   {Call::WriteFile, ERROR_GEN_FAILURE, 53},
        {Call::ReadFile, kErrorNoSuchDevice, 53},    {Call::ReadFile, ERROR_DEV_NOT_EXIST, 53},
        {Call::ReadFile, ERROR_INVALID_HANDLE, 53},  {Call::ReadFile, ERROR_ACCESS_DENIED, 53},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call == Call::WriteFile ? "WriteFile" : "ReadFile") + ", error " +
                     std::to_string(c.error) + ", " + std::to_string(c.bytesOut) + " bytes out");
        Cable cable;
        ASSERT_TRUE(cable.ready) << cable.fake.Trace();
        FakeTransceiver& fake = cable.fake;
        fake.PullCableDuring(c.call, c.error, c.bytesOut);
        const size_t opensBefore = fake.opens.size();

        ASSERT_EQ(cable.Write(), CRadioCom::kSessionOk) << fake.Trace();

        const bool tookIt = c.bytesOut == 53;
        EXPECT_EQ(cable.user.steps, std::vector<LinkStep>{LinkStep::Write});
        EXPECT_EQ(fake.record, cable.Meant());
        EXPECT_EQ(fake.recordsWritten, std::vector<Bytes>{cable.Meant()});
        // A frame cut off before its first byte never reached the line.
        EXPECT_EQ(cable.WriteFrames(), tookIt || c.bytesOut == 0 ? 1u : 2u);
        for (const auto& w : fake.writes) {
            if (w.bytes.size() >= 3 && Bytes(w.bytes.begin(), w.bytes.begin() + 3) == kUwcb &&
                &w != &fake.writes.front()) {
                EXPECT_EQ(w.bytes, Frame(kUwcb, cable.Meant())); // a second frame: whole, one call
            }
        }
        // The record was read back before any second frame.
        const auto readBack = std::find_if(fake.writes.begin(), fake.writes.end(),
                                           [](const FakeTransceiver::Write& w) { return w.bytes == kUrcb; });
        ASSERT_NE(readBack, fake.writes.end());
        EXPECT_EQ(std::count_if(readBack, fake.writes.end(),
                                [](const FakeTransceiver::Write& w) {
                                    return w.bytes.size() >= 3 &&
                                           Bytes(w.bytes.begin(), w.bytes.begin() + 3) == kUwcb;
                                }),
                  tookIt ? 0 : 1);
        // Opened again on the same port, only once the driver took an open.
        ASSERT_GT(fake.opens.size(), opensBefore + 1);
        EXPECT_EQ(fake.opens.back().name, "COM5");
        EXPECT_GE(fake.Now(), cable.user.plugTime + fake.deniedAfterPlug);
        EXPECT_EQ(fake.OpenHandles(), 1);
        EXPECT_EQ(cable.radio.EndConnectionSession(), 0);
        EXPECT_EQ(fake.badCloses, 0);
    }
}

// Read back after the failed frame, the radio holds a record nobody meant:
// nothing more is written, the session ends, and the caller gets that
// record. Without a record before to compare, anything but the one sent
// counts as such.
TEST(CablePulledDuringTheWrite, AThirdRecordStopsTheSession)
{
    for (bool withBefore : {true, false}) {
        SCOPED_TRACE(withBefore ? "record before given" : "no record before");
        Cable cable;
        ASSERT_TRUE(cable.ready);
        FakeTransceiver& fake = cable.fake;
        const Bytes third(50, 0x33);
        cable.user.onAsk = [&] { fake.record = withBefore ? third : Bytes(cable.before, cable.before + 50); };
        fake.PullCableDuring(Call::WriteFile, kErrorNoSuchDevice, 20);
        unsigned char sent[50];
        std::copy(cable.meant, cable.meant + 50, sent);
        const int result = cable.radio.OptionInformationTransmit(
            nullptr, "44", "6", sent, 50, withBefore ? cable.before : nullptr, cable.found);
        EXPECT_EQ(result, CRadioCom::kSessionOtherRecord) << fake.Trace();
        EXPECT_EQ(Bytes(cable.found, cable.found + 50),
                  withBefore ? third : Bytes(cable.before, cable.before + 50));
        EXPECT_EQ(cable.WriteFrames(), 1u);
        EXPECT_TRUE(fake.recordsWritten.empty());
        EXPECT_EQ(cable.radio.IsPortOpen(), 0);
        EXPECT_FALSE(fake.InProgrammingMode());
    }
}

// The adapter comes back, but Windows gives it another number (it has no
// serial number): the link opens nothing on a guess, tells its asker both
// numbers, and the session ends failed with nothing sent again. A cable that
// never comes back is waited for a bounded time, after which the step fails
// and asks again.
TEST(CablePulledDuringTheWrite, BackUnderAnotherNumberOrNotBackAtAll)
{
    const struct {
        const char* what;
        int plugAs;
        std::vector<std::pair<int, int>> moves;
        size_t asks;
    } cases[] = {
        {"back as COM7", 7, {{kCablePort, 7}}, 1},
        {"never back", -1, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Cable cable;
        ASSERT_TRUE(cable.ready);
        FakeTransceiver& fake = cable.fake;
        cable.user.plugAs = c.plugAs;
        fake.PullCableDuring(Call::WriteFile, ERROR_DEV_NOT_EXIST, 10);
        const size_t opensBefore = fake.opens.size();
        const uint64_t t0 = fake.Now();

        EXPECT_EQ(cable.Write(), CRadioCom::kSessionFailed);

        EXPECT_EQ(cable.user.moves, c.moves);
        EXPECT_EQ(cable.user.steps.size(), c.asks);
        EXPECT_EQ(cable.WriteFrames(), 1u);
        EXPECT_EQ(cable.radio.IsPortOpen(), 0);
        for (size_t i = opensBefore; i < fake.opens.size(); ++i) {
            EXPECT_NE(fake.opens[i].name, "COM7");
        }
        if (c.plugAs < 0) {
            // Windows never listed it again: no open tried, a wait of ten
            // seconds, then the question again.
            EXPECT_EQ(fake.opens.size(), opensBefore);
            EXPECT_GE(fake.Now() - t0, 10000u);
            EXPECT_LT(fake.Now() - t0, 11000u);
        }
    }
}

// ---- A port as its last user left it ------------------------------------------

// The whole upgrade sequence from one state another program can leave a port
// in, against a transceiver that answers only at 1200 baud and whose identity
// and record hold zero bytes: every step succeeds without a box, the record
// read is the transceiver's and the record written arrives intact.
void RunWholeSession(const FakeTransceiver::PortState& state, const Bytes& identity, const Bytes& record)
{
    FakeTransceiver fake;
    fake.scanBaud = 1200;
    fake.identity = identity;
    fake.record = record;
    fake.Inherit(state);
    ScriptedBoxes user; // a box would be answered Cancel
    CBoxAsker answers;
    CRadioCom radio(fake.Apis());
    radio.SetAsker(&answers);

    ASSERT_EQ(radio.OpenCommunicationPort(nullptr, "43", "6"), 0) << fake.Trace();
    ASSERT_EQ(radio.BeginConnectionSession(nullptr, "44", "6"), 0) << fake.Trace();
    unsigned char id[32] = {}, version[10] = {}, rec[50] = {};
    ASSERT_EQ(radio.MarriskEsnReadSession(nullptr, "44", "6", id), 0) << fake.Trace();
    ASSERT_EQ(radio.VersionRequestSession(nullptr, "44", "6", version), 0) << fake.Trace();
    ASSERT_EQ(radio.OptionInfoRequestSession(nullptr, "44", "6", rec, 50), 0) << fake.Trace();
    EXPECT_EQ(Bytes(id, id + 32), identity);
    EXPECT_EQ(Bytes(rec, rec + 50), record);

    rec[1] = 0x00;
    rec[2] = 0x7F;
    const Bytes changed(rec, rec + 50);
    ASSERT_EQ(radio.OptionInformationTransmit(nullptr, "44", "6", rec, 50), 0) << fake.Trace();
    EXPECT_EQ(radio.EndConnectionSession(), 0);

    EXPECT_EQ(fake.recordsWritten, std::vector<Bytes>{changed});
    EXPECT_EQ(fake.record, changed);
    EXPECT_FALSE(fake.InProgrammingMode());
    EXPECT_TRUE(user.shown.empty());
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_FALSE(fake.rtsEverRaised);
}

TEST(InheritedPortState, AWholeSessionSucceedsFromEveryState)
{
    Bytes identity = B("TRX-4000E");
    identity.resize(12, 0x00); // the model name, padded with zeros
    for (unsigned char b : {0x01, 0x00, 0x00, 0x42, 0x00, 0x13, 0x11, 0x00}) {
        identity.push_back(b);
    }
    identity.resize(32, 0x00);
    Bytes record(50, 0x00);
    record[0] = 0x07;
    record[17] = 0x80;
    record[49] = 0x11; // XON, as data

    for (const FakeTransceiver::PortState& state : FakeTransceiver::InheritedStates()) {
        SCOPED_TRACE(state.name);
        RunWholeSession(state, identity, record);
    }
}

} // namespace
