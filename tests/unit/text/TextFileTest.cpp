// Reading the language file as Windows text mode delivers it, on every build,
// and the language file the program ships.
#include "text/LanguageTable.h"
#include "text/TextFile.h"

#include "TextFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using textfixtures::LanguageFile;
using textfixtures::TextCount;
using textfixtures::WriteBytes;

namespace {

std::string Delivered(const std::vector<char>& text)
{
    return std::string(text.data(), text.size() - 1);
}

struct ReadCase {
    std::string bytes;
    std::string expected;
};

TEST(ReadTextModeFile, TranslatesLikeTextMode)
{
    const ReadCase cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\rb", "a\rb"}, // a lone CR stays
        {"a\r\r\nb", "a\r\nb"},
        {"a\r", "a\r"},
        {"\n\r\n", "\n\n"},
        {"ab\x1A\r\ncd", "ab"}, // Ctrl-Z ends the text
        {"\x1A", ""},
        {"", ""},
        {std::string("a\0\r\nb", 5), std::string("a\0\nb", 4)}, // NUL is the parser's business
    };
    TempFolder folder;
    const std::string path = folder.File("t.lng");
    for (const ReadCase& c : cases) {
        WriteBytes(path, c.bytes);
        std::vector<char> text;
        ASSERT_TRUE(ReadTextModeFile(path.c_str(), text));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\0');
        EXPECT_EQ(Delivered(text), c.expected);
    }
}

TEST(ReadTextModeFile, FailsOnWhatIsNoReadableFile)
{
    TempFolder folder;
    std::vector<char> text{'x'};
    EXPECT_FALSE(ReadTextModeFile(folder.File("missing.lng").c_str(), text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(ReadTextModeFile(folder.Path().c_str(), text)); // a folder
    EXPECT_FALSE(ReadTextModeFile("", text));
    EXPECT_FALSE(ReadTextModeFile(nullptr, text));
}

TEST(LanguageTableLoad, CrLfRowsReadLikeLfRows)
{
    LanguageFile f = LanguageFile::Valid();
    f.Set(3, "\"two\r\nlines\"");
    TempFolder folder;
    std::vector<char> lf;
    std::vector<char> crlf;
    WriteBytes(folder.File("lf.lng"), f.Text("\n"));
    WriteBytes(folder.File("crlf.lng"), f.Text("\r\n"));
    ASSERT_TRUE(ReadTextModeFile(folder.File("lf.lng").c_str(), lf));
    ASSERT_TRUE(ReadTextModeFile(folder.File("crlf.lng").c_str(), crlf));

    CLanguageTable a;
    CLanguageTable b;
    ASSERT_EQ(a.Parse(lf.data(), static_cast<int>(lf.size()) - 1, "English"), 1);
    ASSERT_EQ(b.Parse(crlf.data(), static_cast<int>(crlf.size()) - 1, "English"), 1);
    for (int n = 0; n < TextCount(); ++n)
        EXPECT_STREQ(a.GetText(n), b.GetText(n)) << "text " << n;
    EXPECT_STREQ(b.GetText(3), "two\nlines");
}

// Number of "%s" in format, or -1 when it holds any other conversion.
int StringConversions(const std::string& format)
{
    int count = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 >= format.size() || format[i + 1] != 's')
            return -1;
        ++count;
        ++i;
    }
    return count;
}

// Code page 932: a byte that starts a double-byte character (the portable
// build and an English Windows see every byte as a character of its own).
bool IsShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// An escape the table left: a backslash that starts a character.
bool KeepsAnEscape(const std::string& text, bool shiftJis)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\')
            return true;
        if (shiftJis && IsShiftJisLeadByte(static_cast<unsigned char>(text[i])))
            ++i;
    }
    return false;
}

struct ShippedCase {
    const char* file;
    const char* language; // text 0: the name in its *Language row
    bool shiftJis;
};

// The files the program ships, each read as the program reads ORVELLE.lng
// (asking for "English"; a translation has only its own column): it loads,
// every text is written, and the two format texts take exactly their one
// string.
TEST(ShippedLanguageFile, LoadsWithEveryText)
{
    const ShippedCase cases[] = {
        {"ORVELLE.lng", "English", false},
        {"ORVELLE-de.lng", "Deutsch", false},
        {"ORVELLE-ja.lng", "\x93\xFA\x96\x7B\x8C\xEA", true}, // "Japanese" in code page 932
    };
    for (const ShippedCase& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<char> bytes;
        ASSERT_TRUE(ReadTextModeFile((std::string(ORVELLE_SOURCE_DIR "/res/") + c.file).c_str(), bytes));
        CLanguageTable table;
        ASSERT_EQ(table.Parse(bytes.data(), static_cast<int>(bytes.size()) - 1, "English"), 1);
        for (int n = 0; n < table.GetCount(); ++n) {
            const std::string text = table.GetText(n);
            EXPECT_FALSE(text.empty()) << "text " << n;
            EXPECT_EQ(text.find('\r'), std::string::npos) << "text " << n;
            EXPECT_FALSE(KeepsAnEscape(text, c.shiftJis)) << "text " << n << " keeps an escape";
        }
        EXPECT_EQ(StringConversions(table.GetText(11)), 1) << table.GetText(11);
        EXPECT_EQ(StringConversions(table.GetText(12)), 1) << table.GetText(12);
        EXPECT_EQ(std::string(table.GetText(1)), "Orvelle");
        EXPECT_EQ(std::string(table.GetText(0)), c.language);
    }
}

} // namespace
