// Hex digits: written lower case, read back only when whole.
#include "framework/Hex.h"

#include <gtest/gtest.h>

#include <cstring>

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
