// A language file's texts in the ANSI code page in force: each shipped file
// says which code page its bytes are in, and its texts are converted when
// Windows runs with another one, UTF-8 (65001) included, which Wine here
// cannot be switched to: the code page is the conversion's parameter.
#include "text/LanguageTable.h"

#include "text/TextFile.h"
#include "text/TextNumbers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The shipped file as Load reads it (text mode: CR LF as LF).
std::string Shipped(const char* name)
{
    std::vector<char> bytes;
    if (!ReadTextModeFile((std::string(ORVELLE_SOURCE_DIR "/res/") + name).c_str(), bytes))
        return std::string();
    return std::string(bytes.data(), bytes.size() - 1);
}

// The file's bytes without its "*CodePage" row, as files made before it are.
std::string WithoutCodePageRow(std::string bytes)
{
    const std::size_t at = bytes.find("*CodePage,");
    if (at != std::string::npos)
        bytes.erase(at, bytes.find('\n', at) + 1 - at);
    return bytes;
}

constexpr int kAboutCaption = 9; // "Über Orvelle" in German

struct Case {
    const char* file;
    bool withRow;
    unsigned codePage; // the ANSI code page in force
    int number;
    const char* expected;
};

TEST(LanguageCodePage, TextsComeInTheCodePageInForce)
{
    const Case cases[] = {
        {"ORVELLE-de.lng", true, 1252, kAboutCaption,
         "\xdc"
         "ber Orvelle"},
        {"ORVELLE-de.lng", true, 65001, kAboutCaption,
         "\xc3\x9c"
         "ber Orvelle"},
        // Shift-JIS has no capital U with umlaut: a question mark, never a
        // look-alike.
        {"ORVELLE-de.lng", true, 932, kAboutCaption, "?ber Orvelle"},
        {"ORVELLE-ja.lng", true, 932, TextNo::kCaptionError, "\x83\x47\x83\x89\x81\x5b"},
        {"ORVELLE-ja.lng", true, 65001, TextNo::kCaptionError, "\xe3\x82\xa8\xe3\x83\xa9\xe3\x83\xbc"},
        {"ORVELLE-ja.lng", true, 1252, TextNo::kCaptionError, "???"},
        {"ORVELLE.lng", true, 65001, TextNo::kCaptionError, "Error"},
        // A file that says nothing is taken as it is, as before.
        {"ORVELLE-de.lng", false, 65001, kAboutCaption,
         "\xdc"
         "ber Orvelle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.withRow ? "" : " without its row") + " in " +
                     std::to_string(c.codePage));
        const std::string bytes = c.withRow ? Shipped(c.file) : WithoutCodePageRow(Shipped(c.file));
        ASSERT_FALSE(bytes.empty());
        CLanguageTable table;
        ASSERT_EQ(table.ParseInCodePage(bytes.data(), static_cast<int>(bytes.size()), "", c.codePage), 1);
        EXPECT_EQ(std::string(table.GetText(c.number)), c.expected);
    }
}

TEST(LanguageCodePage, ShiftJisTrailBytesAreNoEscapesInUtf8)
{
    // 0x95 0x5C is a kanji whose second byte is a backslash: followed by "n"
    // it must stay the kanji and an "n", not become a line feed.
    std::string file = Shipped("ORVELLE-ja.lng");
    const std::size_t at = file.find("^#10000001,");
    ASSERT_NE(at, std::string::npos);
    const std::size_t text = at + std::strlen("^#10000001,");
    file.replace(text, file.find('\n', text) - text, "\x95\x5cn\\n.");
    CLanguageTable table;
    ASSERT_EQ(table.ParseInCodePage(file.data(), static_cast<int>(file.size()), "", 65001), 1);
    EXPECT_EQ(std::string(table.GetText(TextNo::kLanguageName)), "\xe8\xa1\xa8n\n.");
}

} // namespace
