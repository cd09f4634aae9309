// Hex digits: written lower case, read back only when whole; byte pairs marked where two runs differ.
#include "framework/Hex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(Hex, IsLowerCaseAndReadsBackOnlyWhenWhole)
{
    const unsigned char bytes[] = {0x00, 0x0f, 0xa5, 0xff};
    EXPECT_EQ(HexLower(bytes, sizeof bytes).str(), "000fa5ff");

    const struct {
        const char* text;
        bool parsed;
    } cases[] = {
        {"000fa5ff", true},   {"000FA5FF", true},  {"000Fa5fF", true},  {"000fa5f", false},
        {"000fa5ff0", false}, {"000fa5fg", false}, {" 00fa5ff", false}, {"000fa5f ", false},
        {"", false},          {"0x0fa5ff", false}, {"+00fa5ff", false},
    };
    for (const auto& c : cases) {
        unsigned char parsed[4] = {1, 2, 3, 4};
        EXPECT_EQ(ParseHexBytes(c.text, parsed, sizeof parsed), c.parsed) << c.text;
        if (c.parsed)
            EXPECT_EQ(std::memcmp(parsed, bytes, sizeof bytes), 0) << c.text;
        else
            EXPECT_EQ(std::memcmp(parsed, "\1\2\3\4", 4), 0) << c.text << ": changed on failure";
    }
}

// Byte pairs for a person: both digits of every byte, one space between
// pairs and none at the ends, brackets only on bytes that differ.
TEST(Hex, MarkedPairsBracketOnlyTheBytesThatDiffer)
{
    const struct {
        const char* name;
        std::vector<unsigned char> before;
        std::vector<unsigned char> after;
        const char* shownBefore;
        const char* shownAfter;
    } cases[] = {
        {"nothing", {}, {}, "", ""},
        {"one byte, same", {0x0a}, {0x0a}, "0a", "0a"},
        {"one byte, nibbles swapped", {0x0a}, {0xa0}, "[0a]", "[a0]"},
        {"the middle of three", {0x00, 0x10, 0xff}, {0x00, 0x01, 0xff}, "00 [10] ff", "00 [01] ff"},
        {"two together", {0x00, 0x10, 0xff}, {0x01, 0x11, 0xff}, "[00] [10] ff", "[01] [11] ff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.before.size(), c.after.size());
        const MarkedHex shown = MarkedHexPairs(c.before.data(), c.after.data(), c.before.size());
        EXPECT_EQ(shown.before.str(), c.shownBefore);
        EXPECT_EQ(shown.after.str(), c.shownAfter);
    }
}
