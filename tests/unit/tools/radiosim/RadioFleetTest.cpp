#include "tools/radiosim/RadioFleet.h"
#include "tests/unit/tools/radiosim/RadioClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace radiosim;

namespace {

std::vector<FleetRadio> Fleet(const std::string& text)
{
    CConfigBuilder b;
    std::string err;
    EXPECT_TRUE(b.LoadText(text, err)) << err;
    std::vector<FleetRadio> fleet;
    EXPECT_TRUE(b.BuildFleet(fleet, err)) << err;
    return fleet;
}

// The PC's side, on a clock of its own: connection attempts as the program
// makes them (the old handshake, then the scan of rates ending at the
// slowest), sessions and pauses.
struct Pc : RadioClock<CRadioFleet> {
    explicit Pc(const std::string& text) : RadioClock(kStartMs, CRadioFleet(Fleet(text), kStartMs)) {}

    // One connection attempt; the programming rate, or 0 when nothing
    // answered (the attempt then ends with E at the last rate, as the
    // program's does).
    unsigned Connect()
    {
        if (Send(B("FLFM96K"), 9600, 100) == Bytes{SYN})
            return Wait(9600, 30) == Bytes{ACK} ? 9600 : 0;
        for (const char* rate : LinkProtocol::kScanRates) {
            const unsigned r = LinkProtocol::RateOf(rate);
            if (Send(B("PROGRAM"), r, 170) == Bytes{SYN})
                return Wait(19200, 30) == Bytes{ACK} ? 19200 : 0;
        }
        Send({'E'}, LinkProtocol::kSlowestRate);
        return 0;
    }
    // A connection that reads the identity (or not) and ends with E; the
    // identity block read, empty when nothing answered.
    Bytes Session(bool identify = true)
    {
        const unsigned rate = Connect();
        if (rate == 0)
            return {};
        Bytes id;
        if (identify) {
            id = Send({'U', 'R', 'K'}, rate);
            EXPECT_EQ(id.size(), 1 + kIdentitySize + 1);
            if (id.size() == 1 + kIdentitySize + 1)
                id = Bytes(id.begin() + 1, id.end() - 1);
            Send({ACK}, rate);
        }
        EXPECT_EQ(Send({'E'}, rate), Bytes{ACK});
        return identify ? id : Bytes{1};
    }
    Bytes RecordRead(unsigned rate)
    {
        Bytes r = Send({'U', 'R', 0xCB}, rate);
        Send({ACK}, rate);
        return r.empty() ? r : Bytes(r.begin() + 1, r.end());
    }

    static constexpr uint64_t kStartMs = 5000;
    CRadioFleet& fleet = line;
};

// Three radios told apart by their identities' tail.
const char* const kThree = "identity_rest=SN-A\n"
                           "radio.1.identity_rest=SN-1\n"
                           "radio.2.identity_rest=SN-2\n"
                           "radio.3.identity_rest=SN-3\n";

} // namespace

TEST(RadioFleetTest, WhichRadioAnswersWhen)
{
    // s: a session reading the identity, answered by radio `radio` (0: none);
    // h: a session that never asks for the identity; w: arg ms pass, then
    // radio `radio` is there (0: none).
    struct Step {
        char op;
        unsigned arg, radio;
    };
    struct Case {
        const char* name;
        std::string cfg;
        std::vector<Step> steps;
    } cases[] = {
        {"by default each goes after one session and the next answers the third attempt after",
         kThree,
         {{'s', 0, 1},
          {'w', 0, 0},
          {'s', 0, 0},
          {'s', 0, 0},
          {'s', 0, 2},
          {'s', 0, 0},
          {'s', 0, 0},
          {'s', 0, 3},
          {'s', 0, 0},
          {'s', 0, 0},
          {'s', 0, 0}}},
        {"a session that never read the identity does not send the radio away",
         kThree,
         {{'h', 0, 1}, {'h', 0, 1}, {'w', 0, 1}, {'s', 0, 1}, {'w', 0, 0}}},
        {"sessions:2 stays for the read-back after the write",
         std::string(kThree) + "radio.1.leave=sessions:2\nradio.2.gap_attempts=1\n",
         {{'s', 0, 1}, {'w', 0, 1}, {'s', 0, 1}, {'w', 0, 0}, {'s', 0, 0}, {'s', 0, 2}}},
        {"leave_ms holds the radio after the session's E",
         std::string(kThree) + "radio.1.leave_ms=1000\n",
         {{'s', 0, 1}, {'w', 900, 1}, {'w', 200, 0}}},
        {"gap_ms counts from when the radio before went",
         std::string(kThree) + "radio.2.gap_attempts=0\nradio.2.gap_ms=2000\n",
         {{'s', 0, 1}, {'w', 0, 0}, {'w', 1900, 0}, {'w', 150, 2}, {'s', 0, 2}}},
        {"both gaps must pass: the attempts and the time",
         std::string(kThree) + "radio.2.gap_attempts=1\nradio.2.gap_ms=3000\n",
         {{'s', 0, 1}, {'s', 0, 0}, {'w', 100, 0}, {'w', 3000, 2}}},
        {"the first radio's gap_ms runs from the PC's first byte",
         std::string(kThree) + "radio.1.gap_ms=3000\n",
         {{'w', 5000, 0}, {'s', 0, 0}, {'w', 200, 0}, {'w', 1500, 1}, {'s', 0, 1}}},
        {"the first radio can wait for attempts too",
         std::string(kThree) + "radio.1.gap_attempts=2\n",
         {{'s', 0, 0}, {'s', 0, 0}, {'s', 0, 1}}},
        {"leave=ms goes on the clock, whatever the PC does",
         std::string(kThree) + "radio.1.leave=ms:500\n",
         {{'w', 490, 1}, {'w', 20, 0}, {'s', 0, 0}, {'s', 0, 0}, {'s', 0, 2}}},
        {"leave=never on the last radio keeps it",
         std::string(kThree) + "radio.3.leave=never\nradio.2.gap_attempts=0\nradio.3.gap_attempts=0\n",
         {{'s', 0, 1}, {'s', 0, 2}, {'s', 0, 3}, {'s', 0, 3}, {'s', 0, 3}}},
        {"one plain radio stays all run",
         "identity_rest=SN-1\n",
         {{'s', 0, 1}, {'s', 0, 1}, {'w', 100000, 1}, {'s', 0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pc pc(c.cfg);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i) + " " + s.op);
            if (s.op == 'w') {
                pc.Wait(9600, s.arg);
                EXPECT_EQ(pc.fleet.Present(), s.radio);
            } else if (s.op == 'h') {
                EXPECT_EQ(pc.Session(false).empty(), s.radio == 0);
            } else {
                Bytes id = pc.Session();
                if (s.radio == 0) {
                    EXPECT_EQ(id, Bytes{});
                } else {
                    const Identity& want = pc.fleet.IdentityOf(s.radio);
                    EXPECT_EQ(id, Bytes(want.begin(), want.end()));
                }
            }
        }
    }
}

TEST(RadioFleetTest, WhileNoRadioIsThereNothingIsHeardAndNothingAnswers)
{
    Pc pc(std::string(kThree) + "radio.2.gap_attempts=5\n");
    ASSERT_FALSE(pc.Session().empty());
    ASSERT_EQ(pc.fleet.Present(), 0u);
    for (const char* rate : LinkProtocol::kScanRates) {
        const unsigned r = LinkProtocol::RateOf(rate);
        EXPECT_FALSE(pc.fleet.Hears(r)) << r;
        EXPECT_EQ(pc.Send(B("PROGRAM"), r, 200), Bytes{}) << r;
    }
    EXPECT_EQ(pc.Send({'U', 'R', 'K', 'P', STX, 'E'}, 19200, 200), Bytes{});
    EXPECT_EQ(pc.fleet.MissedAttempts(), 1u) << "the scan above ended at the slowest rate: one attempt";
    EXPECT_EQ(pc.fleet.StateOf(1), CRadioFleet::State::Gone);
    EXPECT_EQ(pc.fleet.StateOf(2), CRadioFleet::State::Waiting);
}

TEST(RadioFleetTest, RadioPluggedInAgainKeepsItsRecordButNotItsProgrammingMode)
{
    Pc pc("radio.1.identity_rest=SN-1\nradio.2.identity_rest=SN-2\nradio.2.record=hex:2222\n"
          "radio.2.leave=ms:1000\nradio.3.same_as=1\n");
    const Bytes written(kRecordSize, 0x11);
    const Record radio2Before = pc.fleet.RecordOf(2);

    // Radio 1 gets a record.
    unsigned rate = pc.Connect();
    ASSERT_EQ(rate, 19200u);
    pc.Send({'U', 'R', 'K'}, rate);
    pc.Send({ACK}, rate);
    pc.Send({'U', 'W', 0xCB}, rate, 0);
    EXPECT_EQ(pc.Send(written, rate), Bytes{ACK});
    pc.Send({'E'}, rate);
    ASSERT_EQ(pc.fleet.Present(), 0u);

    // Radio 2 is pulled out in programming mode.
    pc.Session();
    pc.Session();
    ASSERT_EQ(pc.Connect(), 19200u);
    ASSERT_EQ(pc.fleet.Present(), 2u);
    pc.Wait(19200, 1000);
    ASSERT_EQ(pc.fleet.Present(), 0u);

    // Radio 1 comes back as radio 3: its record is the one written, and it
    // starts idle.
    pc.Session();
    pc.Session();
    pc.Wait(9600, 10);
    ASSERT_EQ(pc.fleet.Present(), 3u);
    EXPECT_EQ(pc.Send({'P'}, 19200), Bytes{}) << "no command is heard before a handshake";
    rate = pc.Connect();
    ASSERT_EQ(rate, 19200u);
    EXPECT_EQ(pc.RecordRead(rate), written);
    EXPECT_EQ(pc.fleet.IdentityOf(3), pc.fleet.IdentityOf(1));
    EXPECT_EQ(Bytes(pc.fleet.RecordOf(1).begin(), pc.fleet.RecordOf(1).end()), written)
        << "one physical radio";
    EXPECT_EQ(pc.fleet.RecordOf(2), radio2Before);
    EXPECT_EQ(pc.fleet.SameAsOf(3), 1u);
}

TEST(RadioFleetTest, WritesAndSessionsAreCountedToTheRadioThatWasThere)
{
    // Radio 2 goes the moment its session ends; radio 3 comes at once, so
    // the write must not be taken as radio 3's.
    Pc pc(std::string(kThree) + "radio.2.gap_attempts=0\nradio.3.gap_attempts=0\nradio.3.leave=never\n");
    ASSERT_FALSE(pc.Session().empty());
    unsigned rate = pc.Connect();
    ASSERT_EQ(pc.fleet.Present(), 2u);
    pc.Send({'U', 'R', 'K'}, rate);
    pc.Send({ACK}, rate);
    pc.Send({'U', 'W', 0xCB}, rate, 0);
    pc.Send(Bytes(kRecordSize, 0x22), rate, 0);
    pc.Send({'E'}, rate);
    ASSERT_EQ(pc.fleet.Present(), 3u);

    std::vector<FleetWrite> w = pc.fleet.TakeWrites();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].radio, 2u);
    EXPECT_EQ(pc.fleet.SessionsOf(1), 1u);
    EXPECT_EQ(pc.fleet.SessionsOf(2), 1u);
    EXPECT_EQ(pc.fleet.SessionsOf(3), 0u);
    EXPECT_EQ(pc.fleet.StateOf(3), CRadioFleet::State::Present);
    EXPECT_EQ(pc.fleet.TakeEvents(),
              (std::vector<std::string>{"radio 1 comes", "radio 1 goes after 1 identified sessions",
                                        "radio 2 comes", "radio 2 goes after 1 identified sessions",
                                        "radio 3 comes"}));
}
