// The programming protocol steps of CRadioCom against the simulated
// transceiver: frames byte for byte, baud-rate swaps, time-outs and their
// restoration, and the answers each step accepts. Times are virtual.
#include "link/RadioCom.h"
#include "tests/support/FrameBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

const char* const kRates[] = {"9600", "19200", "38400", "57600", "4800", "2400", "1200"};

class ProtocolTest : public ::testing::Test {
protected:
    FakeTransceiver fake; // before the link: it closes through the fake
    CRadioCom radio{fake.Apis()};

    // Opens the port and forgets what the open did, so records start here.
    void Open()
    {
        ASSERT_EQ(radio.SetPortOpen(1), 1);
        Forget();
    }
    void Forget()
    {
        fake.writes.clear();
        fake.timeouts.clear();
        fake.lines.clear();
        fake.reads.clear();
    }
    // Puts the link in programming mode with a new transceiver at 19200.
    void Program()
    {
        Open();
        ASSERT_EQ(radio.ProgStart(), 0) << fake.Trace();
        Forget();
    }
    std::vector<DWORD> WriteBauds() const
    {
        std::vector<DWORD> out;
        for (const auto& w : fake.writes) {
            out.push_back(w.baud);
        }
        return out;
    }
};

// ---- Handshakes --------------------------------------------------------------

TEST_F(ProtocolTest, OldTransceiverEntersProgrammingModeAt9600)
{
    fake.kind = Kind::Old;
    fake.oldAckDelay = 450;
    radio.SetSettings("19200,N,8,2"); // left over from an earlier programming session
    Open();
    const uint64_t t0 = fake.Now();
    EXPECT_EQ(radio.IsOldTransceiver(), 0);
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{B("FLFM96K")});
    EXPECT_EQ(WriteBauds(), std::vector<DWORD>{9600});
    EXPECT_EQ(fake.ReadTimeouts(), (std::vector<DWORD>{100, 500, 10000}));
    EXPECT_EQ(radio.GetSettings(), "9600,N,8,2");
    EXPECT_EQ(radio.GetReadTimeout(), 10000);
    EXPECT_EQ(radio.GetSavedReadTimeout(), 1000);
    EXPECT_EQ(radio.IsOldTransceiverFlag(), 1);
    EXPECT_EQ(fake.Now() - t0, 450u);
    EXPECT_TRUE(fake.InProgrammingMode());
}

TEST_F(ProtocolTest, FailedOldHandshakeRestoresSettingsAndTimeOut)
{
    const struct {
        const char* what;
        Kind kind;
        Fault fault;
        std::vector<DWORD> timeouts;
        uint64_t elapsed;
    } cases[] = {
        {"nobody there", Kind::None, Fault::None, {100, 1000}, 100},
        {"a new transceiver does not hear it", Kind::New, Fault::None, {100, 1000}, 100},
        {"SYN without ACK", Kind::Old, Fault::Short, {100, 500, 1000}, 500},
        {"a garbage byte", Kind::Old, Fault::Garbage, {100, 1000}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake.kind = c.kind;
        if (c.fault != Fault::None) {
            fake.Script(Command::OldHandshake, FakeTransceiver::Answer(c.fault));
        }
        radio.SetSettings("19200,N,8,2");
        Open();
        const uint64_t t0 = fake.Now();
        EXPECT_EQ(radio.IsOldTransceiver(), 1);
        EXPECT_EQ(fake.ReadTimeouts(), c.timeouts);
        EXPECT_EQ(fake.Bauds(), (std::vector<DWORD>{9600, 19200}));
        EXPECT_EQ(radio.GetSettings(), "19200,N,8,2");
        EXPECT_EQ(radio.GetReadTimeout(), 1000);
        EXPECT_EQ(radio.IsOldTransceiverFlag(), 0);
        EXPECT_EQ(fake.Now() - t0, c.elapsed);
        EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{B("FLFM96K")}); // nothing after the failure
        ASSERT_EQ(radio.SetPortOpen(0), 1);
    }
}

// A transceiver that hears "PROGRAM" only at one rate is found on that
// attempt, and its ACK is read after the switch to 19200.
TEST_F(ProtocolTest, ScanFindsTheTransceiverAtItsRate)
{
    for (int found = 0; found < 7; ++found) {
        SCOPED_TRACE(kRates[found]);
        fake.scanBaud = static_cast<DWORD>(std::stoul(kRates[found]));
        fake.Script(Command::Switch, FakeTransceiver::Answer(Fault::None, 9999)); // ACK just in time
        radio.SetSettings("9600,N,8,2");
        Open();
        const uint64_t t0 = fake.Now();
        ASSERT_EQ(radio.ProgStart(), 0) << fake.Trace();

        std::vector<Bytes> frames;
        std::vector<DWORD> bauds, timeouts;
        for (int i = 0; i <= found; ++i) {
            frames.push_back(B("PROGRAM"));
            bauds.push_back(static_cast<DWORD>(std::stoul(kRates[i])));
            timeouts.push_back(i == 6 ? 164 : 100);
        }
        timeouts.push_back(10000);
        EXPECT_EQ(fake.WrittenFrames(), frames);
        EXPECT_EQ(WriteBauds(), bauds);
        EXPECT_EQ(fake.ReadTimeouts(), timeouts);
        bauds.push_back(19200);
        EXPECT_EQ(fake.Bauds(), bauds);
        // The ACK came at 19200 with 10 s allowed.
        EXPECT_EQ(fake.reads.back().timeout, 10000u);
        EXPECT_EQ(fake.LineBaud(), 19200u);
        EXPECT_EQ(radio.GetSettings(), "19200,N,8,2");
        EXPECT_EQ(radio.GetReadTimeout(), 10000);
        EXPECT_EQ(fake.Now() - t0, found * 100u + 9999u);
        EXPECT_TRUE(fake.InProgrammingMode());
        // Leave programming mode for the next case.
        ASSERT_EQ(radio.ProgEnd(), 0);
        ASSERT_EQ(radio.SetPortOpen(0), 1);
    }
}

TEST_F(ProtocolTest, ScanWithoutAnswerTakesItsTimeOutsAndRestoresEverything)
{
    fake.kind = Kind::None;
    radio.SetSettings("2400,N,8,2");
    radio.SetReadTimeout(1500);
    Open();
    const uint64_t t0 = fake.Now();
    EXPECT_EQ(radio.ProgStart(), 1);
    EXPECT_EQ(fake.Now() - t0, 6 * 100u + 164u);
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>(7, B("PROGRAM")));
    EXPECT_EQ(WriteBauds(), (std::vector<DWORD>{9600, 19200, 38400, 57600, 4800, 2400, 1200}));
    EXPECT_EQ(fake.ReadTimeouts(), (std::vector<DWORD>{100, 100, 100, 100, 100, 100, 164, 1500}));
    EXPECT_EQ(radio.GetSettings(), "2400,N,8,2");
    EXPECT_EQ(fake.LineBaud(), 2400u);
    EXPECT_EQ(radio.GetReadTimeout(), 1500);
}

// SYN but no ACK costs that attempt its 10 s; the scan goes on, it does not
// start over.
TEST_F(ProtocolTest, SynWithoutAckGoesOnWithTheNextRate)
{
    fake.scanBaud = 38400;
    fake.Script(Command::Switch, FakeTransceiver::Answer(Fault::Silence));
    Open();
    const uint64_t t0 = fake.Now();
    EXPECT_EQ(radio.ProgStart(), 1);
    EXPECT_EQ(fake.Now() - t0, 100u + 100u + 10000u + 3 * 100u + 164u);
    EXPECT_EQ(WriteBauds(), (std::vector<DWORD>{9600, 19200, 38400, 57600, 4800, 2400, 1200}));
    EXPECT_EQ(radio.GetSettings(), "9600,N,8,2");
    EXPECT_EQ(radio.GetReadTimeout(), 1000);
}

TEST_F(ProtocolTest, ScanStopsAtAFailedWrite)
{
    fake.kind = Kind::None;
    Open();
    fake.FailCall(Call::WriteFile, 2);
    EXPECT_EQ(radio.ProgStart(), 1);
    EXPECT_EQ(WriteBauds(), std::vector<DWORD>{9600}); // the second write failed
    // The failed write closed the port: the time-out is restored in its
    // settings, for the next open, not applied.
    EXPECT_EQ(radio.IsPortOpen(), 0);
    EXPECT_EQ(fake.ReadTimeouts(), (std::vector<DWORD>{100}));
    EXPECT_EQ(radio.GetReadTimeout(), 1000);
}

// With the old-transceiver flag set the scan switches to 9600, not 19200.
TEST_F(ProtocolTest, ScanAfterAnOldHandshakeSwitchesTo9600)
{
    fake.kind = Kind::Old;
    Open();
    ASSERT_EQ(radio.IsOldTransceiver(), 0);
    fake.kind = Kind::None;
    fake.Send({0x16}, 1); // after the write's purge
    fake.Send({0x06}, 2);
    Forget();
    EXPECT_EQ(radio.ProgStart(), 0);
    EXPECT_EQ(fake.Bauds(), (std::vector<DWORD>{9600, 9600}));
    EXPECT_EQ(radio.GetSettings(), "9600,N,8,2");
}

TEST_F(ProtocolTest, ProgEndRestoresTheSavedTimeOutAnsweredOrNot)
{
    Program();
    uint64_t t0 = fake.Now();
    EXPECT_EQ(radio.ProgEnd(), 0);
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{kEnd});
    EXPECT_EQ(fake.ReadTimeouts(), std::vector<DWORD>{1000});
    EXPECT_EQ(fake.Now(), t0);
    EXPECT_FALSE(fake.InProgrammingMode());
    // The baud rate stays until the next handshake.
    EXPECT_EQ(radio.GetSettings(), "19200,N,8,2");

    // No transceiver: the whole programming time-out, then restored.
    ASSERT_EQ(radio.ProgStart(), 0);
    fake.kind = Kind::None;
    Forget();
    t0 = fake.Now();
    EXPECT_EQ(radio.ProgEnd(), 1);
    EXPECT_EQ(fake.Now() - t0, 10000u);
    EXPECT_EQ(fake.ReadTimeouts(), std::vector<DWORD>{1000});

    fake.FailCall(Call::WriteFile);
    radio.SetReadTimeout(10000);
    EXPECT_EQ(radio.ProgEnd(), 1);
    EXPECT_EQ(radio.GetReadTimeout(), 1000);
}

// ---- Requests ------------------------------------------------------------------

TEST_F(ProtocolTest, IdentityReadAcknowledgesAGoodBlock)
{
    Program();
    unsigned char id[32] = {};
    EXPECT_EQ(radio.MarriskEsnRead(id), 0);
    EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{kUrk, kAck}));
    EXPECT_EQ(Bytes(id, id + 32), fake.identity);
}

// A block that failed its check is answered with NAK and is never good,
// whatever byte closes the exchange.
TEST_F(ProtocolTest, IdentityWithAWrongCheckByteFailsWhateverTheClosingByte)
{
    for (unsigned char closing : {0x06, 0x15, 0x00}) {
        SCOPED_TRACE(static_cast<int>(closing));
        Program();
        fake.Script(Command::Identity, FakeTransceiver::Answer(Fault::WrongCheck));
        fake.Script(Command::Nak, FakeTransceiver::Raw({closing}));
        unsigned char id[32] = {};
        EXPECT_EQ(radio.MarriskEsnRead(id), 1);
        EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{kUrk, kNak}));
        EXPECT_EQ(fake.reads.size(), 4u) << "the closing byte is still read";
        EXPECT_EQ(fake.PendingInput(), 0u);
        ASSERT_EQ(radio.ProgEnd(), 0);
        ASSERT_EQ(radio.SetPortOpen(0), 1);
    }
}

TEST_F(ProtocolTest, ModelNameIsAskedFor50MsAfterTheCall)
{
    Program();
    const uint64_t t0 = fake.Now();
    unsigned char name[8] = {};
    EXPECT_EQ(radio.ModelNameRequest(name), 0);
    EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{kStx, kAck}));
    EXPECT_EQ(fake.writes[0].time - t0, 50u);
    EXPECT_EQ(Bytes(name, name + 8), fake.modelName);
}

TEST_F(ProtocolTest, VersionBytesAfterTheTenthAreDroppedBeforeTheAck)
{
    Program();
    fake.version = B("V2.10.0003XY"); // two more than asked for
    unsigned char version[10] = {};
    EXPECT_EQ(radio.VersionRequest(version), 0) << fake.Trace();
    EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{kP, kAck}));
    EXPECT_EQ(Bytes(version, version + 10), B("V2.10.0003"));
    // The answer is read 55 ms after the request went out.
    EXPECT_EQ(fake.reads[0].time - fake.writes[0].time, 55u);
}

TEST_F(ProtocolTest, OptionRecordReadTakesFiftyBytesAfterTheLeadByte)
{
    Program();
    unsigned char rec[50] = {};
    EXPECT_EQ(radio.OptionInformationRequest(rec), 0);
    EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{kUrcb, kAck}));
    EXPECT_EQ(Bytes(rec, rec + 50), fake.record);
}

TEST_F(ProtocolTest, RecordWriteSendsCommandAndRecordAndReadsTheAnswer)
{
    const struct {
        const char* what;
        FakeTransceiver::Reply reply;
        int result;
        uint64_t elapsed;
    } cases[] = {
        {"ACK", FakeTransceiver::Answer(Fault::None, 2500), CRadioCom::kTrasmitAccepted, 2500},
        {"NAK", FakeTransceiver::Raw({0x15}), CRadioCom::kTrasmitRefused, 0},
        {"another byte", FakeTransceiver::Raw({0x00}), CRadioCom::kTrasmitFailed, 0},
        {"silence", FakeTransceiver::Answer(Fault::Silence), CRadioCom::kTrasmitFailed, 10000},
    };
    unsigned char rec[50];
    for (int i = 0; i < 50; ++i) {
        rec[i] = static_cast<unsigned char>(0xC0 + i);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Program();
        radio.SetReadTimeout(777); // whatever was in force comes back
        Forget();
        fake.Script(Command::RecordWrite, c.reply);
        const uint64_t t0 = fake.Now();
        EXPECT_EQ(radio.OptionInformationTrasmit(rec), c.result);
        EXPECT_EQ(fake.WrittenFrames(), (std::vector<Bytes>{Frame(kUwcb, Bytes(rec, rec + 50))}));
        EXPECT_EQ(fake.ReadTimeouts(), (std::vector<DWORD>{10000, 777}));
        EXPECT_EQ(fake.Now() - t0, c.elapsed);
        ASSERT_EQ(fake.recordsWritten.size(), 1u);
        EXPECT_EQ(fake.recordsWritten[0], Bytes(rec, rec + 50));
        fake.recordsWritten.clear();
        radio.ProgEnd();
        ASSERT_EQ(radio.SetPortOpen(0), 1);
    }
}

// ---- Waits ---------------------------------------------------------------------

// Every wait of the protocol lasts at least its length with a clock as coarse
// as Windows' tick count (15.6 ms a step), wherever within a step it starts,
// and with a counter of any frequency: 10 MHz, the 3.579545 MHz of an ACPI
// timer (not a whole number of counts per millisecond) and a GHz one read
// from the processor's time stamp.
TEST_F(ProtocolTest, NoWaitEndsBeforeItsTime)
{
    using LinkProtocol::kModelNameWait;
    using LinkProtocol::kVersionWait;
    unsigned char answer[16] = {};
    const struct {
        const char* what;
        std::function<void()> wait;
        uint64_t atLeastMs;
    } cases[] = {
        {"a port probe's pause", [&] { radio.WaitProc(50); }, 50},
        {"one pause of the RS-232 check", [&] { radio.Delay(10); }, 10},
        {"the RS-232 check", [&] { radio.IsRs232Port(); }, 50},
        {"the model name request", [&] { radio.ModelNameRequest(answer); }, kModelNameWait},
        {"the version request", [&] { radio.VersionRequest(answer); }, kVersionWait},
    };
    constexpr uint64_t kTick = 15600;
    Program();
    for (const LONGLONG frequency :
         {FakeTransceiver::kCounterFrequency, LONGLONG{3579545}, LONGLONG{2900000000}}) {
        fake.counterFrequency = frequency;
        for (const uint64_t step : {uint64_t{1}, kTick}) {
            fake.clockStepUs = step;
            for (const auto& c : cases) {
                for (uint64_t phase = 0; phase < step; phase += std::max<uint64_t>(step / 12, 1)) {
                    SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(frequency) + " Hz, steps of " +
                                 std::to_string(step) + " us, " + std::to_string(phase) + " us into a step");
                    fake.SetNowUs((fake.NowUs() / step + 1) * step + phase);
                    const uint64_t start = fake.NowUs();
                    c.wait();
                    EXPECT_GE(fake.NowUs() - start, c.atLeastMs * 1000);
                }
            }
        }
    }
}

TEST_F(ProtocolTest, AHalfSentRecordIsAFailure)
{
    Program();
    fake.shortWrites = true;
    unsigned char rec[50] = {};
    EXPECT_EQ(radio.OptionInformationTrasmit(rec), CRadioCom::kTrasmitFailed);
    EXPECT_EQ(fake.writes.size(), 1u) << "the record does not follow a half-sent command";
}

} // namespace
