// Loading the language table from the file's bytes: the texts a good file
// gives, every way a file is damaged, and bytes that are not a language file
// at all.
#include "text/LanguageTable.h"
#include "text/TextFile.h"

#include "TextFixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

using textfixtures::LanguageFile;
using textfixtures::TextCount;

namespace {

int Parse(CLanguageTable& table, const std::string& bytes, const char* language = "English")
{
    return table.Parse(bytes.data(), static_cast<int>(bytes.size()), language);
}

struct Expect {
    int number;
    const char* text;
};

struct GoodCase {
    const char* name;
    std::string file;
    const char* language;
    int column;
    std::vector<Expect> texts;
};

std::vector<GoodCase> GoodCases()
{
    std::vector<GoodCase> cases;
    cases.push_back({"valid", LanguageFile::Valid().Text(), "English", 1, {{0, "Text 0"}, {47, "Text 47"}}});
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows[0] = "*Language,Deutsch,English";
        for (int n = 0; n < TextCount(); ++n)
            f.Set(n, "De " + std::to_string(n) + ",En " + std::to_string(n));
        f.Set(3, "De 3"); // lacks the selected column
        cases.push_back({"second column", f.Text(), "English", 2, {{1, "En 1"}, {3, ""}, {47, "En 47"}}});
        cases.push_back({"language not listed", f.Text(), "Francais", 1, {{1, "De 1"}}});
        cases.push_back({"first field is no language", f.Text(), "*Language", 1, {{1, "De 1"}}});
        f.rows[0] = "*Language,Deutsch,\"English\"";
        cases.push_back({"quoted language name", f.Text(), "English", 1, {{1, "De 1"}}});
    }
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows.erase(f.rows.begin());
        f.rows.push_back("*Language,English"); // may stand anywhere
        f.rows.insert(f.rows.begin(), {"Heading row,with,fields", "", "# comment"});
        cases.push_back({"rows around the language row", f.Text(), "English", 1, {{0, "Text 0"}}});
    }
    {
        LanguageFile f = LanguageFile::Valid();
        f.Set(1, "\"Save, then exit\"");
        f.Set(2, "one\\ntwo");
        f.Set(3, "\"one\ntwo\"");
        f.Set(4, "a\\tb\\ac");
        f.Set(5, "\"say \"\"hi\"\"\"");
        f.Set(6, "back\\\\nslash");
        cases.push_back({"quotes and escapes",
                         f.Text(),
                         "English",
                         1,
                         {{1, "Save, then exit"},
                          {2, "one\ntwo"},
                          {3, "one\ntwo"},
                          {4, "a\tb,c"},
                          {5, "say \"hi\""},
                          {6, "back\\\nslash"}}});
    }
    {
        // A key may come twice if its first row is empty; the key whose row
        // is missing keeps an empty text.
        LanguageFile f = LanguageFile::Valid();
        f.Set(5, "");
        f.Set(7, "");
        f.rows[LanguageFile::RowOf(7)] = "^#" + textfixtures::Keys()[5] + ",five";
        cases.push_back({"repeated key, first empty", f.Text(), "English", 1, {{5, "five"}, {7, ""}}});
    }
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows[LanguageFile::RowOf(9)] = "^#10001^#001,Nine"; // every marker goes
        f.rows.push_back("trailing text without a line end");
        cases.push_back({"markers and trailing text", f.Text(), "English", 1, {{9, "Nine"}}});
    }
    {
        // The text ends at its first NUL byte.
        cases.push_back({"NUL after the last row",
                         LanguageFile::Valid().Text() + std::string("\0^#1,x\n", 7),
                         "English",
                         1,
                         {{47, "Text 47"}}});
    }
    return cases;
}

TEST(LanguageTableParse, GoodFilesGiveTheirTexts)
{
    for (const GoodCase& c : GoodCases()) {
        SCOPED_TRACE(c.name);
        CLanguageTable table;
        ASSERT_EQ(Parse(table, c.file, c.language), 1);
        EXPECT_EQ(table.SelectLanguage(c.language), c.column);
        for (const Expect& e : c.texts)
            EXPECT_STREQ(table.GetText(e.number), e.text) << "text " << e.number;
    }
}

struct BadCase {
    const char* name;
    std::string file;
};

std::vector<BadCase> DamagedFiles()
{
    std::vector<BadCase> cases;
    auto without = [](size_t row) {
        LanguageFile f = LanguageFile::Valid();
        f.rows.erase(f.rows.begin() + static_cast<long>(row));
        return f;
    };
    cases.push_back({"empty", ""});
    cases.push_back({"no language row", without(0).Text()});
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows[0] = " *Language,English";
        cases.push_back({"space before *Language", f.Text()});
        f.rows[0] = "\"*Language\",English";
        cases.push_back({"quoted *Language", f.Text()});
    }
    cases.push_back({"47 rows", without(LanguageFile::RowOf(20)).Text()});
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows.push_back("^#" + textfixtures::Keys()[20] + ",again");
        cases.push_back({"49 rows, a key twice", f.Text()});
    }
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows.push_back("^#10009999,unknown");
        cases.push_back({"unknown key", f.Text()});
    }
    {
        LanguageFile f = LanguageFile::Valid();
        f.rows.push_back("^#,text for an empty key"); // the empty key is text 0's
        cases.push_back({"empty key", f.Text()});
    }
    {
        std::string text = LanguageFile::Valid().Text();
        text.pop_back();
        cases.push_back({"last row without line end", text});
    }
    {
        std::string text = LanguageFile::Valid().Text();
        text[text.size() / 2] = '\0';
        cases.push_back({"NUL inside", text});
    }
    {
        // An odd quote runs on to the next quote, swallowing the rows between.
        LanguageFile f = LanguageFile::Valid();
        f.Set(2, "\"stray");
        f.Set(30, "\"quoted\"");
        cases.push_back({"stray quote", f.Text()});
    }
    return cases;
}

TEST(LanguageTableParse, DamagedFilesAreRefused)
{
    for (const BadCase& c : DamagedFiles()) {
        CLanguageTable table;
        EXPECT_EQ(Parse(table, c.file), 0) << c.name;
    }
}

// Bytes that are no language file: the load may fail, but it never reads
// outside its input (the sanitizer build checks) and ends in good time.
TEST(LanguageTableParse, ArbitraryBytesAreHandled)
{
    std::vector<BadCase> cases;
    cases.push_back({"10 MB without line breaks", std::string(10 << 20, 'x')});
    cases.push_back({"0xFF runs", "*Language,English\n" + std::string(100001, '\xFF') + "\n"});
    cases.push_back({"lone quotes", std::string(5001, '"') + "\n*Language,English\n\"\n\"\"\"\n"});
    cases.push_back({"NUL bytes", std::string("\0\0*Language\n", 13)});
    {
        std::string row = "*Language";
        for (int i = 0; i < 100000; ++i)
            row += ",L" + std::to_string(i);
        cases.push_back({"thousands of fields", row + "\n" + std::string(1 << 20, '\n')});
    }
    {
        std::string noise(1 << 20, '\0');
        unsigned state = 12345;
        for (char& c : noise) {
            state = state * 1103515245u + 12345u;
            c = static_cast<char>(state >> 24);
        }
        cases.push_back({"noise", noise});
    }
    for (const BadCase& c : cases) {
        CLanguageTable table;
        EXPECT_EQ(Parse(table, c.file), 0) << c.name;
        for (int n = -1; n <= TextCount(); ++n)
            (void)table.GetText(n);
    }
    CLanguageTable table;
    EXPECT_EQ(table.Parse(nullptr, 100, "English"), 0);
}

// A 10 MB file that is good apart from its size still loads.
TEST(LanguageTableParse, LargeGoodFileLoads)
{
    LanguageFile f = LanguageFile::Valid();
    std::string wide = "*Language";
    for (int i = 0; i < 50000; ++i)
        wide += ",L" + std::to_string(i);
    f.rows[0] = wide + ",English";
    f.Set(1, std::string(1 << 20, 'a') + ",\"" + std::string(1 << 20, ',') + "\"");
    f.rows.insert(f.rows.begin(), std::string(8 << 20, '\n'));
    CLanguageTable table;
    ASSERT_EQ(Parse(table, f.Text()), 1);
    EXPECT_EQ(table.SelectLanguage("English"), 50001);
    EXPECT_STREQ(table.GetText(1), "");
    EXPECT_EQ(table.SelectLanguage("L0"), 1);
}

TEST(LanguageTableParse, TheFontRowIsKeptUnchanged)
{
    LanguageFile f = LanguageFile::Valid();
    f.rows.push_back("*Font,\"Arial, 8\"");
    CLanguageTable table;
    ASSERT_EQ(Parse(table, f.Text()), 1);
    EXPECT_EQ(table.GetFontRow().m_text.str(), "*Font,\"Arial, 8\"");
    EXPECT_EQ(table.GetLanguageRow().m_text.str(), "*Language,English");

    ASSERT_EQ(Parse(table, LanguageFile::Valid().Text()), 1);
    EXPECT_TRUE(table.GetFontRow().m_text.IsEmpty());
}

TEST(LanguageTable, FindRowLooksOnlyAtTheGivenLines)
{
    CDelimitedText document;
    document.m_text = "a\nb\n*Language,English\n*Font,x\n";
    CLanguageTable table;
    EXPECT_EQ(table.FindLanguageRow(document, 2), 0);
    EXPECT_EQ(table.FindLanguageRow(document, 3), 1);
    EXPECT_EQ(table.GetLanguageRow().m_text.str(), "*Language,English");
    EXPECT_EQ(table.FindFontRow(document, 3), 0);
    EXPECT_EQ(table.FindFontRow(document, 1000), 1);
}

// A text added since the first language files: an older file without it
// still loads and gives the built-in English text; a file with it gives its
// own, in the selected column, with its escapes turned.
TEST(LanguageTableParse, AddedTextsComeFromTheFileOrInEnglish)
{
    const int label = TextNo::kMorePortsLabel;
    const std::string row = "^#10005103,";
    const struct {
        const char* what;
        std::vector<std::string> extraRows;
        const char* language;
        std::string text;
    } cases[] = {
        {"an older file", {}, "English", "&Other ports:"},
        {"a file with it", {row + "&Weitere Anschl\xFCsse:"}, "English", "&Weitere Anschl\xFCsse:"},
        {"an empty text", {row}, "English", "&Other ports:"},
        {"escapes", {row + "a\\ab\\nc"}, "English", "a,b\nc"},
        {"a second row is ignored", {row + "First", row + "Second"}, "English", "First"},
        {"the second column", {row + "En,Zweite"}, "Zweite", "Zweite"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LanguageFile f = LanguageFile::Valid();
        if (std::string(c.language) != "English")
            f.rows[0] = std::string("*Language,English,") + c.language;
        f.rows.insert(f.rows.end(), c.extraRows.begin(), c.extraRows.end());
        CLanguageTable table;
        EXPECT_STREQ(table.GetText(label), "") << "nothing loaded yet";
        ASSERT_EQ(Parse(table, f.Text(), c.language), 1);
        EXPECT_EQ(std::string(table.GetText(label)), c.text);
        EXPECT_STREQ(table.GetText(47), f.rows[0] == "*Language,English" ? "Text 47" : "");
    }
}

TEST(LanguageTable, GetTextOutsideTheTableIsEmpty)
{
    CLanguageTable table;
    for (int n : {0, 47, -1}) // nothing loaded yet
        EXPECT_STREQ(table.GetText(n), "") << n;
    ASSERT_EQ(Parse(table, LanguageFile::Valid().Text()), 1);
    for (int n : {TextCount(), 1000, -1, -48, INT_MIN, INT_MAX})
        EXPECT_STREQ(table.GetText(n), "") << n;
    EXPECT_STREQ(table.GetText(0), "Text 0");
    EXPECT_EQ(table.GetCount(), TextCount());
}

// A file from before the later texts loads with their English texts; a file
// that has them gives its own (the first row of a key given twice).
TEST(LanguageTable, LaterTextsMissingFromAnOlderFileAreTheirEnglishDefaults)
{
    const int later = TextNo::kWriteWithoutHistory;
    CLanguageTable older;
    ASSERT_EQ(Parse(older, LanguageFile::Valid().Text()), 1);
    EXPECT_NE(std::string(older.GetText(later)).find("history"), std::string::npos) << older.GetText(later);
    EXPECT_NE(std::string(older.GetText(later)).find("%1"), std::string::npos);
    EXPECT_EQ(std::string(older.GetText(later)).find("\\n"), std::string::npos) << "escapes turned";

    LanguageFile newer = LanguageFile::Valid();
    newer.rows.push_back("^#10030008,Eigener Text");
    CLanguageTable table;
    ASSERT_EQ(Parse(table, newer.Text()), 1);
    EXPECT_STREQ(table.GetText(later), "Eigener Text");

    newer.rows.push_back("^#10030008,Noch einer");
    ASSERT_EQ(Parse(table, newer.Text()), 1);
    EXPECT_STREQ(table.GetText(later), "Eigener Text");
}

// The escapes are turned in place, once: a second lookup gives the same.
TEST(LanguageTable, GetTextIsStableAcrossLookups)
{
    LanguageFile f = LanguageFile::Valid();
    f.Set(8, "a\\\\n\\\\t\\\\ab");
    CLanguageTable table;
    ASSERT_EQ(Parse(table, f.Text()), 1);
    const std::string first = table.GetText(8);
    EXPECT_EQ(first, "a\\\n\\\t\\,b");
    EXPECT_EQ(std::string(table.GetText(8)), first);
}

struct KeyCase {
    const char* key;
    int expected;
};

TEST(LanguageTable, KeyIndexFindsTheFirstEntryHoldingTheKey)
{
    const KeyCase cases[] = {
        {"10000001", 0},   {"10000101", 1},   {"10005004", 31}, {"10020005", 47}, {"99999999", -1},
        {"100000011", -1}, {"x10000001", -1}, {"0101", 1}, // a shorter key selects the first entry holding it
        {"", 0},                                           // an empty key selects text 0
        {"10000001\n", 0},
    };
    CLanguageTable table;
    for (const KeyCase& c : cases)
        EXPECT_EQ(table.KeyIndex(c.key), c.expected) << "\"" << c.key << "\"";
}

TEST(LanguageTable, AllocAndFreeTexts)
{
    CLanguageTable table;
    EXPECT_EQ(table.FreeTexts(), 0);
    EXPECT_EQ(table.SelectLanguage("English"), 0); // no texts yet
    EXPECT_EQ(table.AllocTexts(table.GetCount()), 1);
    EXPECT_STREQ(table.GetText(47), "");
    EXPECT_EQ(table.SelectLanguage("English"), 1);
    EXPECT_EQ(table.AllocTexts(2), 1);
    EXPECT_STREQ(table.GetText(5), ""); // beyond the smaller array
    EXPECT_EQ(table.FreeTexts(), 1);
    EXPECT_EQ(table.FreeTexts(), 0);
    EXPECT_EQ(table.AllocTexts(0), 0);
}

} // namespace

TEST(LanguageTable, DeclaredCodePageIsTheRowsNumberOrNone)
{
    struct Case {
        const char* file;
        unsigned expected;
    };
    const Case cases[] = {
        {"*Language,Deutsch\r\n*CodePage,1252\r\n^#10000001,Deutsch\r\n", 1252},
        {"*Language,Japanese\n*CodePage,932\n", 932},
        {"*CodePage,65001", 65001},
        {"*Language,English\r\n^#10000001,English\r\n", 0}, // says nothing
        {"*CodePage,\r\n", 0},
        {"*CodePage,12x2\r\n", 0},
        {"*CodePage,99999999\r\n", 0},
        {"*CodePage 1252\r\n", 0},
        {"x*CodePage,1252\r\n", 0},
        {"^#10000001,*CodePage,1252\r\n", 0},
        {"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(CLanguageTable::DeclaredCodePage(c.file, static_cast<int>(std::strlen(c.file))),
                  c.expected);
    }
    // Only among the file's first rows, where the language row stands too.
    std::string late;
    for (int i = 0; i < 40; ++i)
        late += "^#10000001,x\r\n";
    late += "*CodePage,932\r\n";
    EXPECT_EQ(CLanguageTable::DeclaredCodePage(late.data(), static_cast<int>(late.size())), 0u);
    // The shipped files say theirs.
    for (const auto& shipped : {std::make_pair("ORVELLE.lng", 1252u), std::make_pair("ORVELLE-de.lng", 1252u),
                                std::make_pair("ORVELLE-ja.lng", 932u)}) {
        std::vector<char> bytes;
        ASSERT_TRUE(
            ReadTextModeFile((std::string(ORVELLE_SOURCE_DIR "/res/") + shipped.first).c_str(), bytes));
        EXPECT_EQ(CLanguageTable::DeclaredCodePage(bytes.data(), static_cast<int>(bytes.size()) - 1),
                  shipped.second)
            << shipped.first;
    }
}
