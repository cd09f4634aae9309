// CSV fields: the quoting of one field, and the reader that takes records
// back, also from damaged text.
#include "text/Csv.h"
#include "tests/support/CsvRecords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Records = CsvRecords;

} // namespace

TEST(CsvFields, AreQuotedExactlyWhenTheyNeedIt)
{
    const struct {
        const char* field;
        const char* written;
    } cases[] = {
        {"", ""},
        {"QM-5200", "QM-5200"},
        {" spaced ", " spaced "},         // spaces need no quotes
        {"\xe9\x95\xb7", "\xe9\x95\xb7"}, // nor do high bytes
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"line\r\nbreak", "\"line\r\nbreak\""},
        {"lf\n", "\"lf\n\""},
        {"cr\r", "\"cr\r\""},
        {"tab\there", "\"tab\there\""},
        {"bell\x07", "\"bell\x07\""},
        {"del\x7f", "\"del\x7f\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QuoteCsvField(c.field).str(), c.written) << c.field;
}

TEST(CsvReader, ReadsRecordsAsRfc4180AndDamagedTextAsFarAsItGoes)
{
    const struct {
        const char* name;
        std::string text;
        Records records;
    } cases[] = {
        {"empty", "", {}},
        {"one line", "a,b", {{"a", "b"}}},
        {"CR LF end", "a,b\r\nc\r\n", {{"a", "b"}, {"c"}}},
        {"LF end", "a\nb\n", {{"a"}, {"b"}}},
        {"lone CR", "a\rb", {{"a"}, {"b"}}},
        {"blank line is a record", "a\r\n\r\nb\r\n", {{"a"}, {""}, {"b"}}},
        {"empty fields", ",,\r\n", {{"", "", ""}}},
        {"trailing comma at the end", "a,", {{"a", ""}}},
        {"quoted comma", "\"a,b\",c", {{"a,b", "c"}}},
        {"quoted line breaks", "\"a\r\nb\nc\",d\r\ne", {{"a\r\nb\nc", "d"}, {"e"}}},
        {"doubled quotes", "\"say \"\"hi\"\"\"", {{"say \"hi\""}}},
        {"only a doubled quote", "\"\"\"\"", {{"\""}}},
        {"empty quoted", "\"\",x", {{"", "x"}}},
        {"quote inside unquoted field", "ab\"c,d", {{"ab\"c", "d"}}},
        {"text after closing quote", "\"ab\"cd,e", {{"abcd", "e"}}},
        {"unclosed quote runs to the end", "a,\"b,c\r\nd", {{"a", "b,c\r\nd"}}},
        {"lone quote", "\"", {{""}}},
        {"NUL bytes are data", std::string("a\0b,c", 5), {{std::string("a\0b", 3), "c"}}},
        {"high bytes are data", "\x81\x5c,\xff", {{"\x81\x5c", "\xff"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadCsvRecords(c.text), c.records) << c.name;
}

TEST(CsvReader, KeepsOnlyTheFirstFieldsOfAHugeRecordButReadsPastIt)
{
    const std::string text = std::string(10000, ',') + "\r\nnext";
    CCsvReader reader(text.data(), text.size());
    std::vector<std::string> fields;
    ASSERT_TRUE(reader.Next(&fields));
    EXPECT_EQ(fields.size(), CCsvReader::kMaxFields);
    ASSERT_TRUE(reader.Next(&fields));
    EXPECT_EQ(fields, std::vector<std::string>{"next"});
    EXPECT_FALSE(reader.Next(&fields));
    EXPECT_TRUE(fields.empty());
}
