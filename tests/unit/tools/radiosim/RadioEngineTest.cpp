#include "tools/radiosim/RadioEngine.h"
#include "tests/unit/tools/radiosim/RadioClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace radiosim;

namespace {

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

RadioConfig Config(const std::string& text = "")
{
    CConfigBuilder b;
    std::string err;
    EXPECT_TRUE(b.LoadText(text, err)) << err;
    return b.Build();
}

// An engine on a clock of its own, driven as the PC would at a given rate.
struct Radio : RadioClock<CRadioEngine> {
    explicit Radio(const RadioConfig& c) : RadioClock(1000, CRadioEngine(c)), cfg(c) {}

    // The handshake for this radio's kind, ending in programming mode.
    void EnterProgramming()
    {
        bool old = cfg.kind == Kind::Old;
        Bytes got = Send(B(old ? "FLFM96K" : "PROGRAM"), old ? 9600 : cfg.baud, 0);
        ASSERT_EQ(Cat(got, Wait(old ? 9600 : 19200, 30)), (Bytes{SYN, ACK}));
        ASSERT_EQ(engine.GetMode(), CRadioEngine::Mode::Programming);
    }

    RadioConfig cfg;
    CRadioEngine& engine = line;
};

uint8_t Sum(const Identity& id)
{
    unsigned s = 0;
    for (uint8_t b : id)
        s += b;
    return static_cast<uint8_t>(s);
}

} // namespace

TEST(RadioEngineTest, NewRadioHearsProgramOnlyAtItsRateAndAcksAfterTheSwitchTo19200)
{
    Radio r(Config("baud=38400"));
    for (unsigned rate : {9600u, 19200u, 57600u, 4800u, 2400u, 1200u})
        EXPECT_EQ(r.Send(B("PROGRAM"), rate), Bytes{}) << rate;
    EXPECT_EQ(r.Send(B("FLFM96K"), 38400), Bytes{}) << "a new radio ignores the old handshake";

    EXPECT_EQ(r.Send(B("PROGRAM"), 38400, 200), Bytes{SYN}) << "no ACK while the PC stays at 38400";
    EXPECT_EQ(r.Wait(19200, 30), Bytes{ACK});
    EXPECT_EQ(r.engine.ListenBaud(), 19200u);
    EXPECT_EQ(r.Send(B("P"), 38400), Bytes{}) << "commands are heard at 19200 only";
    EXPECT_EQ(r.Send(B("P"), 19200).size(), radiosim::kVersionSize);
}

TEST(RadioEngineTest, HandshakeMustArriveWholeAtOneRate)
{
    Radio r(Config("baud=38400"));
    EXPECT_EQ(r.Send(B("PROG"), 38400), Bytes{});
    EXPECT_EQ(r.Send(B("RAM"), 9600), Bytes{}) << "bytes at the wrong rate are noise";
    EXPECT_EQ(r.Send(B("RAM"), 38400), Bytes{});
    EXPECT_EQ(r.Send(B("xxPROGRAM"), 38400, 0), Bytes{SYN}) << "leading noise does not matter";
}

TEST(RadioEngineTest, PcThatNeverSwitchesLeavesTheRadioIdle)
{
    Radio r(Config("baud=38400"));
    EXPECT_EQ(r.Send(B("PROGRAM"), 38400, kSwitchWaitMs + 5), Bytes{SYN});
    EXPECT_EQ(r.engine.GetMode(), CRadioEngine::Mode::Idle);
    EXPECT_EQ(r.Wait(19200, 30), Bytes{});
}

TEST(RadioEngineTest, OldRadioAnswersTheOldHandshakeAndStaysAt9600)
{
    Radio r(Config("kind=old\nbaud=38400"));
    EXPECT_EQ(r.Send(B("PROGRAM"), 9600), Bytes{});
    EXPECT_EQ(r.Send(B("PROGRAM"), 38400), Bytes{});
    r.EnterProgramming();
    EXPECT_EQ(r.Send(B("E"), 19200), Bytes{});
    EXPECT_EQ(r.Send(B("E"), 9600), Bytes{ACK});
    EXPECT_EQ(r.engine.GetMode(), CRadioEngine::Mode::Idle);
}

TEST(RadioEngineTest, AnswersEachRequestByteExactAndClosesWithAck)
{
    RadioConfig cfg = Config("model=QM-7700\nidentity_rest=hex:0102\nshort_model=SHORT\nversion=2.10.05");
    Identity id{};
    std::copy_n("QM-7700", 7, id.begin());
    id[12] = 1;
    id[13] = 2;
    ASSERT_EQ(cfg.identity, id);
    Bytes record(cfg.record.begin(), cfg.record.end());

    struct Case {
        const char* name;
        Bytes request, answer;
    } cases[] = {
        {"identity", {'U', 'R', 'K'}, Cat(Cat({0x55}, Bytes(id.begin(), id.end())), {Sum(id)})},
        {"model name", {STX}, Cat(B("SHORT"), Bytes(3, 0))},
        {"version", {'P'}, Cat(B("2.10.05"), Bytes(3, 0))},
        {"option record", {'U', 'R', 0xCB}, Cat({0x55}, record)},
    };
    Radio r(cfg);
    r.EnterProgramming();
    for (const Case& c : cases) {
        EXPECT_EQ(r.Send(c.request, 19200), c.answer) << c.name;
        EXPECT_EQ(r.Send({ACK}, 19200), Bytes{ACK}) << c.name;
        EXPECT_EQ(r.Send({ACK}, 19200), Bytes{}) << c.name << ": a stray ACK gets no answer";
    }
    EXPECT_EQ(r.Send({'U', 'R', 'K'}, 19200).size(), 1 + kIdentitySize + 1);
    EXPECT_EQ(r.Send({NAK}, 19200), Bytes{ACK}) << "a NAK from the PC is closed with ACK too";
    EXPECT_EQ(r.Send({'E'}, 19200), Bytes{ACK});
}

TEST(RadioEngineTest, WrongCheckByteForTheConfiguredNumberOfAnswers)
{
    Radio r(Config("bad_check=2"));
    r.EnterProgramming();
    for (int i = 0; i < 3; ++i) {
        Bytes a = r.Send({'U', 'R', 'K'}, 19200);
        ASSERT_EQ(a.size(), 34u);
        uint8_t want = static_cast<uint8_t>(Sum(r.cfg.identity) + (i < 2 ? 1 : 0));
        EXPECT_EQ(a.back(), want) << "answer " << i;
        r.Send({NAK}, 19200);
    }
}

TEST(RadioEngineTest, WriteAnswersPerConfigAndOnlyAckReplacesTheRecord)
{
    struct Case {
        const char* write;
        Bytes answer;
        bool replaced;
    } cases[] = {
        {"ack", {ACK}, true},
        {"nak", {NAK}, false},
        {"silent", {}, false},
        {"garbage", {0x3C}, false},
        // A radio that lies.
        {"ack-keep", {ACK}, false},
    };
    for (const Case& c : cases) {
        Radio r(Config(std::string("garbage_byte=0x3c\nwrite=") + c.write));
        r.EnterProgramming();
        Record before = r.engine.CurrentRecord(), sent{};
        for (size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<uint8_t>(0xA0 + i);
        // The PC writes the command and the record separately; the record may
        // arrive in pieces.
        EXPECT_EQ(r.Send({'U', 'W', 0xCB}, 19200), Bytes{}) << c.write;
        EXPECT_EQ(r.Send(Bytes(sent.begin(), sent.begin() + 20), 19200), Bytes{}) << c.write;
        EXPECT_EQ(r.Send(Bytes(sent.begin() + 20, sent.end()), 19200), c.answer) << c.write;

        std::vector<WrittenRecord> w = r.engine.TakeWrites();
        ASSERT_EQ(w.size(), 1u) << c.write;
        EXPECT_EQ(w[0].record, sent) << c.write;
        EXPECT_EQ(r.engine.CurrentRecord(), c.replaced ? sent : before) << c.write;
        EXPECT_EQ(r.Send({'U', 'R', 0xCB}, 19200),
                  Cat({0x55}, Bytes(r.engine.CurrentRecord().begin(), r.engine.CurrentRecord().end())))
            << c.write << ": the record read back is the radio's current one";
    }
}

TEST(RadioEngineTest, HalfFrameIsForgottenAfterAPauseAndAStrayByteDoesNotDerailTheParser)
{
    Radio r(Config());
    r.EnterProgramming();
    EXPECT_EQ(r.Send({'U', 'W', 0xCB, 1, 2, 3}, 19200, kStaleFrameMs + 10), Bytes{});
    EXPECT_EQ(r.Send({'P'}, 19200).size(), radiosim::kVersionSize) << "the next command is read as a command";
    EXPECT_EQ(r.Send({'U', 'E'}, 19200), Bytes{ACK}) << "a U followed by E is the end command";
    EXPECT_TRUE(r.engine.TakeWrites().empty());
}

TEST(RadioEngineTest, SilenceInProgrammingModeReturnsTheRadioToIdle)
{
    Radio r(Config("prog_timeout_ms=1000"));
    r.EnterProgramming();
    r.Wait(19200, 1001);
    EXPECT_EQ(r.engine.GetMode(), CRadioEngine::Mode::Idle);
    EXPECT_EQ(r.Send({'P'}, 19200), Bytes{});
}

TEST(RadioEngineTest, DelayHoldsEveryAnswerBack)
{
    Radio r(Config("delay_ms=200\nbaud=19200"));
    EXPECT_EQ(r.Send(B("PROGRAM"), 19200, 199), Bytes{});
    EXPECT_EQ(r.Wait(19200, 1), Bytes{SYN});
    EXPECT_EQ(r.Wait(19200, 217), Bytes{}) << "the ACK waits its own delay after the settle time";
    EXPECT_EQ(r.Wait(19200, 5), Bytes{ACK});
}

TEST(RadioEngineTest, ResetForgetsProgrammingModeButKeepsTheRecord)
{
    Radio r(Config());
    r.EnterProgramming();
    Bytes rec(kRecordSize, 0x11);
    r.Send(Cat({'U', 'W', 0xCB}, rec), 19200);
    r.engine.Reset();
    EXPECT_EQ(r.engine.GetMode(), CRadioEngine::Mode::Idle);
    EXPECT_EQ(Bytes(r.engine.CurrentRecord().begin(), r.engine.CurrentRecord().end()), rec);
}

TEST(RadioEngineTest, HangUpInTheRecordWriteTakesNothingAndHappensOnce)
{
    Radio r(Config("hangup_in_write=20"));
    const Record before = r.engine.CurrentRecord();
    r.EnterProgramming();
    const Bytes rec(kRecordSize, 0x11);
    EXPECT_EQ(r.Send(Cat({'U', 'W', 0xCB}, rec), 19200), Bytes{}) << "no answer to a frame cut short";
    EXPECT_TRUE(r.engine.TakeHangUp());
    EXPECT_FALSE(r.engine.TakeHangUp());
    EXPECT_TRUE(r.engine.TakeWrites().empty());
    EXPECT_EQ(r.engine.CurrentRecord(), before);
    EXPECT_EQ(r.engine.GetMode(), CRadioEngine::Mode::Idle);

    // The next connection writes whole.
    r.engine.Reset();
    r.EnterProgramming();
    EXPECT_EQ(r.Send(Cat({'U', 'W', 0xCB}, rec), 19200), Bytes{ACK});
    EXPECT_FALSE(r.engine.TakeHangUp());
    EXPECT_EQ(Bytes(r.engine.CurrentRecord().begin(), r.engine.CurrentRecord().end()), rec);
}

TEST(RadioEngineTest, AnyInputAtAnyRateKeepsTheEngineSane)
{
    // No input from the line may crash the radio or grow its buffers.
    Radio r(Config("baud=2400"));
    const unsigned rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 0};
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    size_t answered = 0;
    for (int i = 0; i < 20000; ++i) {
        unsigned rate = rates[(next() >> 16) % 8];
        Bytes chunk((next() >> 16) % 60);
        for (uint8_t& b : chunk) {
            // Mostly protocol bytes, so the parser gets deep into its frames.
            static const uint8_t common[] = {'U', 'R', 'W', 'K', 0xCB, 'P', 'E', ACK, NAK, STX};
            uint32_t v = next() >> 16;
            b = v % 3 ? common[v % sizeof common] : static_cast<uint8_t>(v >> 8);
        }
        if (i % 50 == 0)
            r.Send(B("PROGRAM"), 2400, 25);
        answered += r.Send(chunk, rate, next() % 3 == 0 ? 600 : 1).size();
        r.engine.TakeWrites();
    }
    EXPECT_GT(answered, 0u);
}

TEST(FaultFilterTest, ByteCountFaults)
{
    struct Case {
        const char* cfg;
        std::string expect; // per byte: s sent, d dropped, h hang-up, g garbage
    } cases[] = {
        {"", "ssssss"},
        {"silent_after=0", "dddddd"},
        {"silent_after=3", "sssddd"},
        {"hangup_after=2", "sshsss"},
        {"garbage_at=1\ngarbage_byte=0x77", "sgssss"},
        {"garbage_at=4\nsilent_after=4", "ssssdd"},
    };
    for (const Case& c : cases) {
        CFaultFilter f(Config(c.cfg));
        std::string got;
        for (int i = 0; i < 6; ++i) {
            uint8_t b = 0x06;
            CFaultFilter::Action a = f.Next(b);
            got += a == CFaultFilter::Action::HangUp ? 'h'
                   : a == CFaultFilter::Action::Drop ? 'd'
                   : b == 0x77                       ? 'g'
                                                     : 's';
        }
        EXPECT_EQ(got, c.expect) << c.cfg;
    }
}
