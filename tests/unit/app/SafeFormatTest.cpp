// The About box's formatter must show any language-file format without ever
// reading an argument beyond its one string.
#include "app/SafeFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* format;
    const char* argument;
    const char* expected;
};

class FormatOneStringTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormatOneStringTest, FormatsAsDocumented)
{
    const Case& c = GetParam();
    EXPECT_EQ(std::string(FormatOneString(c.format, c.argument).GetString()), c.expected)
        << "format \"" << c.format << "\"";
}

const Case kCases[] = {
    // The expected use.
    {"Version %s", "1.20", "Version 1.20"},
    {"Release %s (build)", "01/02/2003", "Release 01/02/2003 (build)"},
    {"%s", "x", "x"},
    // Percent signs.
    {"100%% done %s", "a", "100% done a"},
    {"%%s %s", "a", "%s a"},
    {"%%%s%%", "a", "%a%"},
    // Only the first string conversion is filled; the argument's own
    // percent signs are never read as a format.
    {"%s %s %n %x", "V1", "V1 %s %n %x"},
    {"%s", "%s %n %d", "%s %n %d"},
    // Other conversions are copied as written, before or after the string.
    {"%d %s", "a", "%d a"},
    {"%p%n%x%f%c%ls%hs%+s% s%#s%0s%*s%.*s", "a", "%p%n%x%f%c%ls%hs%+s% s%#s%0s%*s%.*s"},
    {"%I64d %s", "a", "%I64d a"},
    // Width, '-' and precision of up to three digits.
    {"[%5s]", "ab", "[   ab]"},
    {"[%-5s]", "ab", "[ab   ]"},
    {"[%1s]", "abc", "[abc]"},
    {"[%.2s]", "abc", "[ab]"},
    {"[%.s]", "abc", "[]"},
    {"[%5.1s]", "abc", "[    a]"},
    {"[%--3s]", "a", "[a  ]"},
    // Larger numbers are not honoured: the conversion is copied, the next
    // plain %s is filled.
    {"[%1000s] %s", "a", "[%1000s] a"},
    {"[%.1000s] %s", "a", "[%.1000s] a"},
    {"[%99999999999999999999s]", "a", "[%99999999999999999999s]"},
    // No string conversion: the text unchanged, the argument not shown.
    {"Version 1.0", "a", "Version 1.0"},
    {"", "a", ""},
    // Broken conversions.
    {"50%", "a", "50%"},
    {"%", "a", "%"},
    {"%-", "a", "%-"},
    {"%5", "a", "%5"},
    {"%.", "a", "%."},
    {"% %s", "a", "% a"},
    {"%l", "a", "%l"},
    {"%\xe9s %s", "a", "%\xe9s a"},
    // A missing argument is an empty one.
    {"<%s>", nullptr, "<>"},
};

INSTANTIATE_TEST_SUITE_P(Table, FormatOneStringTest, ::testing::ValuesIn(kCases));

TEST(FormatOneString, HonoursTheLargestWidth)
{
    EXPECT_EQ(std::string(FormatOneString("[%999s]", "").GetString()), "[" + std::string(999, ' ') + "]");
}

TEST(FormatOneString, NullFormatGivesEmptyText)
{
    EXPECT_TRUE(FormatOneString(nullptr, "a").IsEmpty());
}

} // namespace
