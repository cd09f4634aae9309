// The JSON writer: escaping, U+FFFD for what is not UTF-8,
// and the object's members in the order they were first set.
#include "text/Json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Json, StringsAreEscapedToPlainAscii)
{
    const struct {
        std::string text;
        const char* json;
    } cases[] = {
        {"", "\"\""},
        {"QM-5200 1.01", "\"QM-5200 1.01\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\Data\\a.ENH", "\"C:\\\\Data\\\\a.ENH\""},
        {"/", "\"/\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {std::string("\0\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\\u007f\""},
        // Valid UTF-8 of every length.
        {"\xc3\xa9", "\"\\u00e9\""},
        {"\xe3\x83\xa9\xe3\x82\xb8\xe3\x82\xaa", "\"\\u30e9\\u30b8\\u30aa\""},
        {"\xef\xbf\xbd", "\"\\ufffd\""},
        {"\xf0\x9f\x93\xbb", "\"\\ud83d\\udcfb\""},
        {"\xf4\x8f\xbf\xbf", "\"\\udbff\\udfff\""},
        // Not UTF-8: each ill-formed part becomes one U+FFFD.
        {"\xff", "\"\\ufffd\""},
        {"a\x80z", "\"a\\ufffdz\""},
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                       // overlong
        {"\xe0\x80\xaf", "\"\\ufffd\\ufffd\\ufffd\""},            // overlong
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},            // a surrogate
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""}, // above U+10FFFF
        {"\xe3\x83", "\"\\ufffd\""},                              // cut short at the end
        {"\xe3\x83z", "\"\\ufffdz\""},                            // cut short before a character
        {"\xf0\x9f\x93\"", "\"\\ufffd\\\"\""},                    // a quote is never swallowed
        {"\x95\x5c", "\"\\ufffd\\\\\""},                          // an ANSI double-byte pair, unconverted
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonString(c.text), c.json) << c.json;
}

TEST(Json, ObjectKeepsTheOrderMembersWereFirstSetIn)
{
    CJsonObject port;
    port.Number("port", 3).Bool("usable", true);
    CJsonObject answer;
    answer.String("command", "identify")
        .Number("exit", 4)
        .String("outcome", "pending")
        .Null("model")
        .StringList("warnings", {"history not written: a\\b", "\xff"})
        .ObjectList("ports", {port, CJsonObject().Number("port", 4).Bool("usable", false)})
        .Object("inner", CJsonObject())
        .StringList("none", {})
        .Number("exit", 0) // replaced where it stands
        .String("outcome", "read")
        .Number("min", -9223372036854775807LL - 1);
    EXPECT_EQ(answer.Text(), "{\"command\":\"identify\",\"exit\":0,\"outcome\":\"read\",\"model\":null,"
                             "\"warnings\":[\"history not written: a\\\\b\",\"\\ufffd\"],"
                             "\"ports\":[{\"port\":3,\"usable\":true},{\"port\":4,\"usable\":false}],"
                             "\"inner\":{},\"none\":[],\"min\":-9223372036854775808}");
    EXPECT_TRUE(answer.Has("model"));
    EXPECT_FALSE(answer.Has("record_after"));
    EXPECT_EQ(CJsonObject().Text(), "{}");
}
