#include "tools/radiosim/RadioConfig.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace radiosim;

TEST(RadioConfigTest, FieldValuesAreTextOrHexPaddedWithZeros)
{
    struct Case {
        const char* value;
        size_t width;
        bool ok;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"AB", 4, true, {'A', 'B', 0, 0}},
        {"\"A  \"", 4, true, {'A', ' ', ' ', 0}},
        {"hex:0aFF", 3, true, {0x0A, 0xFF, 0}},
        {"hex:0a ff 10", 3, true, {0x0A, 0xFF, 0x10}},
        {"ABCDE", 4, false, {}},
        {"hex:0102030405", 4, false, {}},
        {"hex:0g", 4, false, {}},
        {"hex:012", 4, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.width, 0xEE);
        std::string err;
        EXPECT_EQ(ParseField(c.value, out.data(), c.width, err), c.ok) << c.value;
        if (c.ok)
            EXPECT_EQ(out, c.bytes) << c.value;
        else
            EXPECT_FALSE(err.empty()) << c.value;
    }
}

TEST(RadioConfigTest, RecordFieldsLandAtTheirOffsetsWhateverTheOrder)
{
    CConfigBuilder b;
    std::string err;
    ASSERT_TRUE(b.LoadText("# a radio\n"
                           "option_code = hex:a1a2a3a4\n"
                           "model = QM-8100\n"
                           "record = hex:" +
                               std::string(100, 'e') +
                               "\n"
                               "option_bytes=hex:0102030405060708\n"
                               "record_model=QM-8100X\n",
                           err))
        << err;
    RadioConfig c = b.Build();
    EXPECT_EQ(std::memcmp(c.identity.data(), "QM-8100\0\0\0\0\0", 12), 0);
    EXPECT_EQ(std::memcmp(c.shortModel.data(), "QM-8100\0", 8), 0);
    EXPECT_EQ(c.record[9], 0xEE);
    EXPECT_EQ(std::memcmp(c.record.data() + kRecordModelOffset, "QM-8100X\0\0\0\0", 12), 0);
    EXPECT_EQ(std::memcmp(c.record.data() + kRecordCodeOffset, "\xa1\xa2\xa3\xa4", 4), 0);
    EXPECT_EQ(c.record[26], 0xEE);
    EXPECT_EQ(std::memcmp(c.record.data() + kRecordOptionsOffset, "\1\2\3\4\5\6\7\x8", 8), 0);
}

TEST(RadioConfigTest, DefaultRecordCarriesTheModelName)
{
    CConfigBuilder b;
    std::string err;
    ASSERT_TRUE(b.Set("model", "QM-9000", err));
    RadioConfig c = b.Build();
    EXPECT_EQ(std::memcmp(c.record.data() + kRecordModelOffset, c.identity.data(), kModelSize), 0);
}

TEST(RadioConfigTest, BadSettingsAreRefusedWithTheirLine)
{
    const char* bad[] = {"kind=older", "baud=12345", "write=maybe",  "delay_ms=-1",
                         "colour=red", "just text",  "model=hex:zz", "garbage_byte=256"};
    for (const char* text : bad) {
        CConfigBuilder b;
        std::string err;
        EXPECT_FALSE(b.LoadText(std::string("\n") + text, err)) << text;
        EXPECT_NE(err.find("line 2"), std::string::npos) << text << ": " << err;
    }
}

TEST(RadioConfigTest, EveryWriteAnswerIsSetByTheNameTheResultFileShows)
{
    for (WriteAnswer answer : {WriteAnswer::Ack, WriteAnswer::Nak, WriteAnswer::Silent, WriteAnswer::Garbage,
                               WriteAnswer::AckKeep}) {
        CConfigBuilder b;
        std::string err;
        ASSERT_TRUE(b.Set("write", WriteAnswerName(answer), err)) << WriteAnswerName(answer) << ": " << err;
        EXPECT_EQ(b.Build().writeAnswer, answer) << WriteAnswerName(answer);
    }
}

TEST(RadioConfigTest, BatchSettingsThatCannotBeAreRefusedSayingWhy)
{
    // Each line is refused where it stands (line 2), or the batch as a whole
    // when it is built; either way the message names the setting.
    struct Case {
        const char* text;
        bool refusedOnItsLine;
        const char* mentions;
    } cases[] = {
        {"radio.0.model=QM-1", true, "radio.0.model"},
        {"radio.x.model=QM-1", true, "radio.x.model"},
        {"radio.100.model=QM-1", true, "radio.100.model"},
        {"radio.1.colour=red", true, "radio.1.colour"},
        {"radio.1.link=/tmp/x", true, "radio.1.link"},
        {"radio.1.delay_ms=5", true, "radio.1.delay_ms"},
        {"radio.1.model=QM-123456789012", true, "radio.1.model"},
        {"radio.1.write=maybe", true, "radio.1.write"},
        {"radio.1.leave=sometimes", true, "radio.1.leave"},
        {"radio.1.leave=ms:-5", true, "radio.1.leave"},
        {"radio.1.leave=ms:0", true, "radio.1.leave"},
        {"radio.1.leave=sessions:0", true, "radio.1.leave"},
        {"radio.1.gap_ms=-1", true, "radio.1.gap_ms"},
        {"radio.1.leave_ms=-1", true, "radio.1.leave_ms"},
        {"radio.1.gap_attempts=-2", true, "radio.1.gap_attempts"},
        {"radio.2.same_as=0", true, "radio.2.same_as"},
        {"radio.1.model=QM-1\nradio.3.model=QM-3", false, "radio 2 is missing"},
        {"radio.1.model=QM-1\nradio.2.same_as=2", false, "radio.2.same_as=2"},
        {"radio.1.model=QM-1\nradio.2.same_as=3\nradio.3.model=QM-3", false, "radio.2.same_as=3"},
        {"radio.1.model=QM-1\nradio.2.same_as=1\nradio.2.write=nak", false, "radio.2.write"},
        // Radios take turns: one that never goes would overlap the next.
        {"radio.1.leave=never\nradio.2.model=QM-2", false, "radio.1.leave=never"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CConfigBuilder b;
        std::string err;
        const bool loaded = b.LoadText(std::string("\n") + c.text, err);
        EXPECT_EQ(loaded, !c.refusedOnItsLine);
        if (loaded) {
            std::vector<FleetRadio> fleet;
            EXPECT_FALSE(b.BuildFleet(fleet, err));
        } else {
            EXPECT_NE(err.find("line 2"), std::string::npos) << err;
        }
        EXPECT_NE(err.find(c.mentions), std::string::npos) << err;
    }
}

TEST(RadioConfigTest, BatchRadiosTakeThePlainSettingsUnlessTheySayOtherwise)
{
    CConfigBuilder b;
    std::string err;
    ASSERT_TRUE(b.LoadText("radio.2.model=QM-3390\n"
                           "radio.3.same_as=2\n"
                           "model=QM-8100\n"
                           "baud=38400\n"
                           "write=nak\n"
                           "radio.1.identity_rest=SN-1\n"
                           "radio.2.write=ack\n"
                           "radio.2.leave=sessions:2\n"
                           "radio.2.leave_ms=300\n"
                           "radio.4.same_as=3\n"
                           "radio.4.leave=never\n"
                           "radio.2.gap_ms=700\n",
                           err))
        << err;
    std::vector<FleetRadio> fleet;
    ASSERT_TRUE(b.BuildFleet(fleet, err)) << err;
    ASSERT_EQ(fleet.size(), 4u);

    EXPECT_EQ(std::memcmp(fleet[0].cfg.identity.data(), "QM-8100\0\0\0\0\0SN-1", 16), 0);
    EXPECT_EQ(fleet[0].cfg.baud, 38400u);
    EXPECT_EQ(fleet[0].cfg.writeAnswer, WriteAnswer::Nak);
    EXPECT_EQ(std::memcmp(fleet[1].cfg.identity.data(), "QM-3390\0\0\0\0\0SN00012345", 22), 0);
    EXPECT_EQ(std::memcmp(fleet[1].cfg.record.data() + kRecordModelOffset, "QM-3390", 7), 0);
    EXPECT_EQ(fleet[1].cfg.writeAnswer, WriteAnswer::Ack);
    // A return of a return is the first radio again.
    EXPECT_EQ(fleet[2].sameAs, 2u);
    EXPECT_EQ(fleet[3].sameAs, 2u);
    EXPECT_EQ(fleet[3].cfg.identity, fleet[1].cfg.identity);

    struct Want {
        unsigned gapAttempts, gapMs;
        Leave leave;
        unsigned leaveSessions, leaveMs;
    } want[] = {
        {0, 0, Leave::Sessions, 1, 0},
        {2, 700, Leave::Sessions, 2, 300},
        {2, 0, Leave::Sessions, 1, 0},
        {2, 0, Leave::Never, 1, 0},
    };
    for (size_t i = 0; i < fleet.size(); ++i) {
        SCOPED_TRACE("radio " + std::to_string(i + 1));
        const RadioSchedule& s = fleet[i].schedule;
        EXPECT_EQ(s.gapAttempts, want[i].gapAttempts);
        EXPECT_EQ(s.gapMs, want[i].gapMs);
        EXPECT_EQ(s.leave, want[i].leave);
        EXPECT_EQ(s.leaveSessions, want[i].leaveSessions);
        EXPECT_EQ(s.leaveMs, want[i].leaveMs);
    }
}

TEST(RadioConfigTest, WithoutBatchSettingsTheOneRadioStaysAllRun)
{
    CConfigBuilder b;
    std::string err;
    ASSERT_TRUE(b.LoadText("model=QM-7700\nwrite=ack-keep\n", err)) << err;
    std::vector<FleetRadio> fleet;
    ASSERT_TRUE(b.BuildFleet(fleet, err)) << err;
    ASSERT_EQ(fleet.size(), 1u);
    EXPECT_FALSE(b.IsBatch());
    EXPECT_EQ(fleet[0].schedule.leave, Leave::Never);
    EXPECT_EQ(fleet[0].schedule.gapAttempts, 0u);
    EXPECT_EQ(fleet[0].cfg.identity, b.Build().identity);
    EXPECT_EQ(fleet[0].cfg.writeAnswer, WriteAnswer::AckKeep);
}
