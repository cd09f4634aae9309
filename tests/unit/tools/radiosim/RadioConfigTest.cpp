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
