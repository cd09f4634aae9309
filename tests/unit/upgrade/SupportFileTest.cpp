// The support file's text from what was read: each part's lines, and the
// line that stands for what is missing or cut, so that a support file never
// hides why a part is empty.
#include "upgrade/SupportFile.h"

#include "upgrade/OptionFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(const std::string& text)
{
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

SupportFileRead Read(const std::string& bytes, std::size_t size = 0)
{
    SupportFileRead file;
    file.path = "C:\\P\\ORVELLE.ini";
    file.read = true;
    file.bytes = bytes;
    file.size = size ? size : bytes.size();
    return file;
}

// An option file for a model, with entries of these option codes (each
// four bytes of the same value).
SupportOptionFile OptionFileOf(const char* model, const std::vector<unsigned char>& codes,
                               std::size_t extra = 0)
{
    SupportOptionFile file;
    file.name = "a.ENH";
    file.read = true;
    file.bytes.assign(OptionFile::kHeaderSize + codes.size() * OptionEntry::kSize + extra, 0);
    for (std::size_t i = 0; model[i] != '\0' && i < kModelNameSize; ++i)
        file.bytes[OptionFile::kModelName + i] = static_cast<unsigned char>(model[i]);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        for (std::size_t k = 0; k < kOptionCodeSize; ++k)
            file.bytes[OptionFile::kHeaderSize + i * OptionEntry::kSize + OptionEntry::kOptionCode + k] =
                codes[i];
    }
    file.size = file.bytes.size();
    return file;
}

HistoryListing Row(int number, bool damaged = false)
{
    HistoryListing listing;
    listing.number = number;
    listing.damaged = damaged;
    listing.row.time = "2026-01-02T03:04:05";
    listing.row.program = History::kProgramConsole;
    listing.row.port = "3";
    listing.row.model = "QM-5200";
    listing.row.outcome = History::Outcome::kWritten;
    return listing;
}

std::vector<HistoryListing> Rows(int count)
{
    std::vector<HistoryListing> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back(Row(i));
    return rows;
}

} // namespace

TEST(SupportFile, EachPartSaysWhatItHoldsOrWhyNot)
{
    SupportFileRead missing;
    missing.path = "C:\\P\\History\\last-run.trace";
    missing.reason = "not found";
    SupportOptionFile unreadable;
    unreadable.name = "locked.ENH";
    unreadable.size = 600;
    unreadable.reason = "Access is denied (error 5)";
    SupportOptionFile shortFile = OptionFileOf("QM-5200", {});
    shortFile.bytes.resize(OptionFile::kHeaderSize - 1);
    shortFile.size = shortFile.bytes.size();

    const struct {
        const char* name;
        std::function<void(CSupportText&)> add;
        Lines expected; // the part's lines after its heading
    } cases[] = {
        {"a file that is not there",
         [&](CSupportText& t) { t.File(missing); },
         {"file: C:\\P\\History\\last-run.trace", "not shown: not found"}},
        {"an empty file",
         [](CSupportText& t) { t.File(Read("")); },
         {"file: C:\\P\\ORVELLE.ini", "size: 0 bytes", "(empty)"}},
        {"lines ended every way, a NUL, no last line end",
         [](CSupportText& t) { t.File(Read(std::string("[INIT]\r\nMode=1\nA=\0b\rlast", 24))); },
         {"file: C:\\P\\ORVELLE.ini", "size: 24 bytes", "[INIT]", "Mode=1", "A=?b", "last"}},
        {"a file cut to its end",
         [](CSupportText& t) { t.File(Read("end\r\n", 1000)); },
         {"file: C:\\P\\ORVELLE.ini", "size: 1000 bytes", "shown: its last 5 bytes only", "end"}},
        {"no history rows", [](CSupportText& t) { t.HistoryRows({}); }, {"(the history has no rows)"}},
        {"a damaged row among them",
         [](CSupportText& t) {
             t.HistoryRows({Row(1), Row(2, true)});
         },
         {"rows: 2",
          "#,  time,program,port,model,identity,version,record_before,record_after,sources,outcome",
          "1,  2026-01-02T03:04:05,orvelle-cli,3,QM-5200,,,,,,written", "2,  damaged row"}},
        {"an option file not read",
         [&](CSupportText& t) { t.OptionFile(unreadable); },
         {"locked.ENH  600 bytes  not read: Access is denied (error 5)"}},
        {"a file shorter than the header",
         [&](CSupportText& t) { t.OptionFile(shortFile); },
         {"a.ENH  479 bytes  no option file: shorter than its header"}},
        {"a header without entries",
         [](CSupportText& t) { t.OptionFile(OptionFileOf("QM-5200   ", {}, 23)); },
         {"a.ENH  503 bytes  model QM-5200  option codes none"}},
        {"entries' codes",
         [](CSupportText& t) {
             t.OptionFile(OptionFileOf("QM-5200", {0x12, 0xAB}));
         },
         {"a.ENH  528 bytes  model QM-5200  option codes 12121212 abababab"}},
        {"a control byte in the model",
         [](CSupportText& t) { t.OptionFile(OptionFileOf("QM\n5200", {1})); },
         {"a.ENH  504 bytes  model QM?5200  option codes 01010101"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSupportText text;
        text.Part("Part");
        c.add(text);
        Lines expected = {"== Part =="};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(LinesOf(text.Text()), expected);
    }
}

TEST(SupportFile, HistoryShowsTheLastRowsWithTheirNumbers)
{
    for (const int count : {1, 20, 21, 45}) {
        SCOPED_TRACE(count);
        CSupportText text;
        text.HistoryRows(Rows(count));
        const Lines lines = LinesOf(text.Text());
        const int shown = std::min<int>(count, static_cast<int>(Support::kHistoryRows));
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(shown) + 2); // the count and the header
        EXPECT_EQ(lines[0], "rows: " + std::to_string(count));
        EXPECT_EQ(lines[2].substr(0, lines[2].find(',')), std::to_string(count - shown + 1));
        EXPECT_EQ(lines.back().substr(0, lines.back().find(',')), std::to_string(count));
    }
}

TEST(SupportFile, ManyEntriesListTheirFirstCodesAndHowManyMore)
{
    const std::vector<unsigned char> codes(Support::kShownOptionCodes + 4, 0x0F);
    CSupportText text;
    text.OptionFile(OptionFileOf("QM-5200", codes));
    const std::string line = LinesOf(text.Text()).at(0);
    EXPECT_NE(line.find(" (+4 more)"), std::string::npos) << line;
    std::size_t shown = 0;
    for (std::size_t at = line.find("0f0f0f0f"); at != std::string::npos; at = line.find("0f0f0f0f", at + 1))
        ++shown;
    EXPECT_EQ(shown, Support::kShownOptionCodes);
}

TEST(SupportFile, ValuesGoThroughTheConversionToUtf8)
{
    // The portable build keeps bytes; Windows converts from the ANSI code page.
    CSupportText text([](const std::string& ansi) { return "<" + ansi + ">"; });
    text.Part("P");
    text.Fact("path", "C:\\x");
    text.File(Read("a\r\n"));
    EXPECT_EQ(LinesOf(text.Text()),
              (Lines{"== P ==", "path: <C:\\x>", "file: <C:\\P\\ORVELLE.ini>", "size: <3 bytes>", "<a>"}));
}

TEST(SupportFile, DefaultNameCarriesTheTime)
{
    HistoryTime time;
    time.year = 2026;
    time.month = 3;
    time.day = 4;
    time.hour = 5;
    time.minute = 6;
    time.second = 7;
    EXPECT_EQ(SupportFileName(time).str(), "support-20260304-050607.txt");
}
