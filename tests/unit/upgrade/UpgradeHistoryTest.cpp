// The upgrade history's portable part: rows as they are written and read
// back (also from damaged files), and the journal's rows for each way a run
// can go. The CSV fields themselves: tests/unit/text/CsvTest.cpp.
#include "framework/Hex.h"
#include "text/Csv.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"
#include "tests/support/MemoryHistory.h"
#include "tests/support/CsvRecords.h"
#include "tests/support/RunResults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Records = CsvRecords;

std::array<unsigned char, IdentityBlock::kSize> Identity(const char* name, std::size_t nameLength)
{
    std::array<unsigned char, IdentityBlock::kSize> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i)
        identity[i] = static_cast<unsigned char>(0xA0 + i);
    std::memcpy(identity.data() + IdentityBlock::kModelName, name, nameLength);
    return identity;
}

} // namespace

TEST(HistoryRows, HeaderAndRowAreTenCommaSeparatedColumnsEndingInCrLf)
{
    EXPECT_EQ(HistoryHeaderLine().str(),
              "time,program,port,model,identity,version,record_before,record_after,sources,outcome\r\n");

    HistoryRow row;
    row.time = "2024-03-05T07:08:09";
    row.program = History::kProgramConsole;
    row.port = "3";
    row.model = "QM-5200";
    row.identity = "00ff";
    row.version = "1.01,0";
    row.recordBefore = "ab";
    row.sources = "C:\\Data\\a b.ENH|C:\\Data\\\"q\".ENH";
    row.outcome = History::Outcome::kPending;
    EXPECT_EQ(FormatHistoryLine(row).str(), "2024-03-05T07:08:09,orvelle-cli,3,QM-5200,00ff,\"1.01,0\",ab,,"
                                            "\"C:\\Data\\a b.ENH|C:\\Data\\\"\"q\"\".ENH\",pending\r\n");
}

TEST(HistoryRows, EveryFieldComesBackThroughTheReaderUnchanged)
{
    const std::vector<std::string> awkward = {
        "",
        "plain",
        ",",
        "\"",
        "\"\"",
        "a\"b",
        "\"quoted\"",
        " lead and trail ",
        "line\r\nbreak",
        "\n",
        "\r",
        "x\ry\nz",
        std::string("nul\0inside", 10),
        "\x01\x1f\x7f\xff\x81\x5c",
        "1.01\\,\"\r\n,",
    };
    for (const std::string& value : awkward) {
        HistoryRow row;
        row.time = "t";
        row.version = CString(value);
        row.sources = CString(value + "|" + value);
        row.outcome = History::Outcome::kRead;
        const Records records = ReadCsvRecords(FormatHistoryLine(row).str());
        ASSERT_EQ(records.size(), 1u) << value;
        ASSERT_EQ(records[0].size(), History::kColumnCount) << value;
        // As the history reads them: a CR first is kept from a spreadsheet.
        EXPECT_EQ(HistoryFieldFromFile(History::kVersion, records[0][History::kVersion]).str(), value);
        EXPECT_EQ(HistoryFieldFromFile(History::kSources, records[0][History::kSources]).str(),
                  value + "|" + value);
        EXPECT_EQ(records[0][History::kOutcome], "read");
    }
}

// A spreadsheet that opens upgrades.csv must neither run a field as a
// formula nor turn a hex field into a number; every field still reads back
// exactly, through the file and the history's reader.
TEST(HistoryRows, SpreadsheetSafeFieldsAndTheirRoundTrips)
{
    const struct {
        History::Column column;
        CString HistoryRow::*member;
        std::string value;
        std::string inFile; // the field after CSV unquoting
    } cases[] = {
        {History::kModel, &HistoryRow::model, "=SUM(1)", "'=SUM(1)"},
        {History::kVersion, &HistoryRow::version, "+1", "'+1"},
        {History::kVersion, &HistoryRow::version, "-1", "'-1"},
        {History::kSources, &HistoryRow::sources, "@x", "'@x"},
        {History::kVersion, &HistoryRow::version, "\tx", "'\tx"},
        {History::kSources, &HistoryRow::sources, "\rC:\\a.ENH", "'\rC:\\a.ENH"},
        {History::kModel, &HistoryRow::model, "'x", "''x"},
        {History::kVersion, &HistoryRow::version, "''x", "'''x"},
        {History::kVersion, &HistoryRow::version, "'", "''"},
        {History::kSources, &HistoryRow::sources, "plain", "plain"},
        {History::kVersion, &HistoryRow::version, "1.01=", "1.01="},
        {History::kModel, &HistoryRow::model, "", ""},
        {History::kIdentity, &HistoryRow::identity, "0123456789", "=\"0123456789\""},
        {History::kRecordBefore, &HistoryRow::recordBefore, std::string(100, '0'),
         "=\"" + std::string(100, '0') + "\""},
        {History::kRecordAfter, &HistoryRow::recordAfter, "12e45", "=\"12e45\""},
        {History::kRecordAfter, &HistoryRow::recordAfter, "1e5", "=\"1e5\""},
        {History::kRecordAfter, &HistoryRow::recordAfter, "1E5", "=\"1E5\""},
        {History::kIdentity, &HistoryRow::identity, "1e5e1", "1e5e1"},
        {History::kIdentity, &HistoryRow::identity, "e5", "e5"},
        {History::kIdentity, &HistoryRow::identity, "1e", "1e"},
        {History::kIdentity, &HistoryRow::identity, "00ff", "00ff"},
        {History::kRecordBefore, &HistoryRow::recordBefore, "", ""},
        // Columns without a spreadsheet form are as they were.
        {History::kPort, &HistoryRow::port, "-1", "-1"},
        {History::kProgram, &HistoryRow::program, "=x", "=x"},
        {History::kOutcome, &HistoryRow::outcome, "12345", "12345"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(History::kColumnNames[c.column]) + " " + c.value);
        HistoryRow row;
        row.*c.member = CString(c.value);
        const std::string line = FormatHistoryLine(row).str();
        const Records records = ReadCsvRecords(line);
        ASSERT_EQ(records.size(), 1u);
        ASSERT_EQ(records[0].size(), History::kColumnCount);
        EXPECT_EQ(records[0][c.column], c.inFile);
        EXPECT_EQ(HistoryFieldFromFile(c.column, records[0][c.column]).str(), c.value);

        // The history's reader gives the row back as it was.
        const std::string file = HistoryHeaderLine().str() + line;
        std::vector<HistoryListing> listed;
        CString error;
        ASSERT_TRUE(ListHistoryRows(file.data(), file.size(), listed, error));
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].row.*c.member, CString(c.value));
    }
}

// A record whose hex is all digits is still one a restore can take, and the
// reader takes the plain form that older files hold too.
// The time column says its offset from UTC; files written before it did
// still read, and what is neither form does not.
TEST(HistoryTimes, WrittenWithTheOffsetAndReadBackInBothForms)
{
    const struct {
        const char* name;
        HistoryTime time;
        const char* text;
    } written[] = {
        {"east of UTC", {2026, 12, 11, 9, 30, 5, true, 60}, "2026-12-11T09:30:05+01:00"},
        {"west, with minutes", {2026, 7, 1, 23, 59, 59, true, -(3 * 60 + 30)}, "2026-07-01T23:59:59-03:30"},
        {"UTC", {2026, 1, 2, 3, 4, 5, true, 0}, "2026-01-02T03:04:05+00:00"},
        {"no offset known", {2026, 1, 2, 3, 4, 5}, "2026-01-02T03:04:05"},
    };
    for (const auto& c : written) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatHistoryTime(c.time), c.text);
        HistoryTime read;
        ASSERT_TRUE(ParseHistoryTime(c.text, read));
        EXPECT_EQ(FormatHistoryTime(read), c.text);
        EXPECT_EQ(read.hasOffset, c.time.hasOffset);
        EXPECT_EQ(read.offsetMinutes, c.time.offsetMinutes);
    }
    HistoryTime utc;
    ASSERT_TRUE(ParseHistoryTime("2026-01-02T03:04:05Z", utc));
    EXPECT_TRUE(utc.hasOffset);
    EXPECT_EQ(utc.offsetMinutes, 0);
    for (const char* bad : {"", "2026-01-02", "2026-01-02 03:04:05", "2026-01-02T03:04:05+1",
                            "2026-01-02T03:04:05+01:60", "2026-01-02T03:04:05 +01:00",
                            "2026-01-02T03:04:05+01:00x", "2026-1-02T03:04:05", "2026-01-02T03:04:0x"}) {
        HistoryTime time;
        EXPECT_FALSE(ParseHistoryTime(bad, time)) << bad;
    }
}

TEST(FindHistoryRow, RecordInItsSpreadsheetFormIsFound)
{
    const std::string digits(2 * OptionRecord::kSize, '7');
    HistoryRow written;
    written.recordBefore = CString(digits);
    const std::string file = HistoryHeaderLine().str() + FormatHistoryLine(written).str() + "t,p,1,m,i,v," +
                             digits + ",,,read\r\n";
    for (int k : {1, 2}) {
        SCOPED_TRACE(k);
        HistoryRow row;
        CString error;
        ASSERT_TRUE(FindHistoryRow(file.data(), file.size(), k, row, error)) << error.str();
        EXPECT_EQ(row.recordBefore.str(), digits);
    }
}

TEST(HistorySideFiles, NamesAreMatchedStrictly)
{
    EXPECT_EQ(HistorySideFileName({2024, 2, 29, 23, 59, 58}, 4321).str(),
              "upgrades-20240229-235958-4321.csv");
    const struct {
        const char* name;
        bool side;
    } cases[] = {
        {"upgrades-20240229-235958-4321.csv", true},
        {"upgrades-20240229-235958-4294967295.csv", true},
        {"upgrades.csv", false},
        {"upgrades-backup.csv", false},
        {"upgrades-20240229-235958.csv", false},
        {"upgrades-20240229-235958-.csv", false},
        {"upgrades-2024022-235958-1.csv", false},
        {"upgrades-20240229-235958-1x.csv", false},
        {"upgrades-20240229-235958-12345678901.csv", false},
        {"upgrades-20240229-235958-1.csv.bak", false},
        {"upgrades-20240229_235958-1.csv", false},
        {"old-upgrades-20240229-235958-1.csv", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsHistorySideFileName(c.name), c.side);
    }
}

TEST(HistorySideFiles, DataRowsFollowOnALineOfTheirOwn)
{
    const std::string header = HistoryHeaderLine().str();
    const struct {
        const char* name;
        std::string history;
        std::string side;
        std::string expected;
    } cases[] = {
        {"rows after rows", header + "a\r\n", header + "b\r\nc\r\n", header + "a\r\nb\r\nc\r\n"},
        {"history without its last line break", header + "a", header + "b\r\n", header + "a\r\nb\r\n"},
        {"side file without its last line break", header + "a\r\n", header + "b", header + "a\r\nb\r\n"},
        {"header only", header, header, header},
        {"empty side file", header, "", header},
        {"a quoted line break stays in its row", "", header + "\"x\r\ny\"\r\n", "\"x\r\ny\"\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string history = c.history;
        AppendHistoryDataRows(history, c.side);
        EXPECT_EQ(history, c.expected);
    }
}

TEST(HistoryRows, TimeAndRestoreSourcesAsTheColumnsShowThem)
{
    EXPECT_EQ(FormatHistoryTime({2024, 1, 2, 3, 4, 5}).str(), "2024-01-02T03:04:05");
    EXPECT_EQ(FormatHistoryTime({1999, 12, 31, 23, 59, 59}).str(), "1999-12-31T23:59:59");
    EXPECT_EQ(History::RestoreRowSource(12).str(), "restore:12");
    EXPECT_EQ(History::RestoreRecordSource().str(), "restore:record");
}

TEST(HistoryRows, ModelIsTheNameUpToItsFirstNulWithoutTrailingSpaces)
{
    const struct {
        const char* name; // the identity block's 12 name bytes
        const char* model;
    } cases[] = {
        {"QM-5200\0\0\0\0\0", "QM-5200"},
        {"QM-5200     ", "QM-5200"},
        {"QM-5200  \0\0\0", "QM-5200"},
        {"QM-5200\0  \0\0", "QM-5200"},
        {"QM 52 00 EU ", "QM 52 00 EU"},  // inner spaces stay
        {"QM-5200SX-EU", "QM-5200SX-EU"}, // all twelve bytes, no terminator
        {"\0QM-5200\0\0\0\0", ""},        // bytes after a NUL are not the name
        {"            ", ""},
        {"QM,\"52\"\0\0\0\0\0", "QM,\"52\""}, // quoting is the row's business
        {"QM\r\n52\t\x7f\0\0\0\0", "QM??52??"},
        {"\xb6\xde\xd7-1\0\0\0\0\0\0\0", "\xb6\xde\xd7-1"},
    };
    for (const auto& c : cases) {
        const auto identity = Identity(c.name, kModelNameSize);
        EXPECT_EQ(HistoryModelName(identity.data()).str(), c.model) << c.model;
    }
}

namespace {

const std::string kRecordA(100, 'a');
const std::string kRecordB = std::string(98, '0') + "FF";

std::string Line(const std::string& version, const std::string& before, const std::string& outcome)
{
    return "2024-01-01T00:00:00,ORVELLE,1,QM-5200," + std::string(64, '0') + "," + version + "," + before +
           ",,C:\\x.ENH," + outcome + "\r\n";
}

// A history of six rows, some of them damaged.
std::string MixedHistory()
{
    return HistoryHeaderLine().str() + Line("1.0", kRecordA, "pending") +
           Line("\"multi\r\nline,version\"", kRecordB, "written") + // one row, two lines
           Line("2.0", "not-hex", "read") + "short,row,3,M,id,v," + kRecordA +
           "\r\n" +                         // columns missing at its end
           "\r\n" +                         // a blank line is a row
           Line("3.0", kRecordA, "failed"); // no final line break
}

} // namespace

TEST(FindHistoryRow, RowKIsTheKthRecordAfterTheFirst)
{
    const std::string file = MixedHistory();
    const std::string unterminated = file.substr(0, file.size() - 2);

    const struct {
        int k;
        bool found;
        const char* version;
        const char* outcome;
        const char* error; // part of the reason
    } cases[] = {
        {1, true, "1.0", "pending", ""},
        {2, true, "multi\r\nline,version", "written", ""},
        {3, false, "", "", "row 3 holds no record"},
        {4, true, "v", "", ""},
        {5, false, "", "", "row 5 holds no record"},
        {6, true, "3.0", "failed", ""},
        {7, false, "", "", "no row 7 (it has 6)"},
        {0, false, "", "", "no row 0"},
        {-1, false, "", "", "no row -1"},
        {0x7FFFFFFF, false, "", "", "(it has 6)"},
    };
    for (const std::string& text : {file, unterminated}) {
        for (const auto& c : cases) {
            HistoryRow row;
            row.outcome = "untouched";
            CString error;
            EXPECT_EQ(FindHistoryRow(text.data(), text.size(), c.k, row, error), c.found) << c.k;
            if (c.found) {
                EXPECT_EQ(row.version.str(), c.version) << c.k;
                EXPECT_EQ(row.outcome.str(), c.outcome) << c.k;
                EXPECT_EQ(row.program.str(), c.k == 4 ? "row" : "ORVELLE") << c.k;
            } else {
                EXPECT_NE(error.str().find(c.error), std::string::npos) << c.k << ": " << error.str();
                EXPECT_EQ(row.outcome.str(), "untouched") << c.k;
            }
        }
    }

    HistoryRow row;
    CString error;
    EXPECT_FALSE(FindHistoryRow("", 0, 1, row, error));
    EXPECT_EQ(error.str(), "the history is empty");
    EXPECT_FALSE(FindHistoryRow(file.data(), HistoryHeaderLine().GetLength(), 1, row, error));
    EXPECT_TRUE(CheckHistorySize(History::kMaxFileSize, error));
    EXPECT_FALSE(CheckHistorySize(History::kMaxFileSize + 1, error));
    EXPECT_NE(error.str().find("larger than 64 MiB"), std::string::npos);
}

TEST(FindHistoryRow, RowMatchesTheTransceiverItWasReadFrom)
{
    const auto identity = Identity("QM-5200\0\0\0\0\0", kModelNameSize);
    HistoryRow row;
    row.model = "QM-5200";
    row.identity = HexLower(identity.data(), identity.size());
    EXPECT_TRUE(HistoryRowMatches(row, identity.data()));

    HistoryRow upper = row;
    for (int i = 0; i < upper.identity.GetLength(); ++i)
        upper.identity.SetAt(i,
                             static_cast<char>(std::toupper(static_cast<unsigned char>(upper.identity[i]))));
    EXPECT_TRUE(HistoryRowMatches(upper, identity.data())) << "hex of either case";

    auto other = identity;
    other[IdentityBlock::kSize - 1] ^= 1;
    EXPECT_FALSE(HistoryRowMatches(row, other.data())) << "another serial";
    HistoryRow renamed = row;
    renamed.model = "QM-5300";
    EXPECT_FALSE(HistoryRowMatches(renamed, identity.data())) << "the row's model differs";
    HistoryRow damaged = row;
    damaged.identity = damaged.identity.Left(62);
    EXPECT_FALSE(HistoryRowMatches(damaged, identity.data()));
}

TEST(ListHistoryRows, EveryRowWithTheNumberRestoreGivesItDamagedOnesMarked)
{
    const std::string file = MixedHistory();
    std::vector<HistoryListing> rows;
    CString error;
    ASSERT_TRUE(ListHistoryRows(file.data(), file.size(), rows, error)) << error.str();
    const struct {
        const char* version;
        bool damaged;
    } expected[] = {
        {"1.0", false}, {"multi\r\nline,version", false}, {"2.0", true}, {"v", true}, {"", true},
        {"3.0", false},
    };
    ASSERT_EQ(rows.size(), std::size(expected));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].number, static_cast<int>(i) + 1);
        EXPECT_EQ(rows[i].row.version.str(), expected[i].version);
        EXPECT_EQ(rows[i].damaged, expected[i].damaged);
        // The number is the one restore --entry takes for that row: every
        // row listed whole is found by it.
        HistoryRow found;
        const bool foundRow = FindHistoryRow(file.data(), file.size(), rows[i].number, found, error);
        if (!expected[i].damaged) {
            EXPECT_TRUE(foundRow) << error.str();
        }
        if (foundRow) {
            EXPECT_EQ(found.version, rows[i].row.version);
        }
    }

    for (const std::string& empty : {std::string(), HistoryHeaderLine().str()}) {
        rows.resize(3);
        ASSERT_TRUE(ListHistoryRows(empty.data(), empty.size(), rows, error));
        EXPECT_TRUE(rows.empty());
    }
    EXPECT_FALSE(ListHistoryRows(file.data(), History::kMaxFileSize + 1, rows, error));
    EXPECT_NE(error.str().find("larger than 64 MiB"), std::string::npos);
}

namespace {

class HistoryJournalTest : public ::testing::Test {
protected:
    HistoryJournalTest()
    {
        for (std::size_t i = 0; i < sizeof before; ++i) {
            before[i] = static_cast<unsigned char>(i);
            after[i] = static_cast<unsigned char>(0xF0 ^ i);
        }
    }

    void Read() { journal.RecordRead(ResultOf(identity.data(), "1.01.0", before)); }
    // BeforeWrite's answer; its reason in *reason.
    bool Write(CString* reason = nullptr)
    {
        CString why;
        const bool kept = journal.BeforeWrite(
            ResultOf(identity.data(), "1.01.0", before, after, {"C:\\Data\\a.ENH", "C:\\Data\\b,c.ENH"}),
            why);
        if (reason)
            *reason = why;
        return kept;
    }

    CMemoryHistory store;
    CHistoryJournal journal{store, History::kProgramWindow, 7};
    std::array<unsigned char, IdentityBlock::kSize> identity = Identity("QM-5200\0\0\0\0\0", kModelNameSize);
    unsigned char before[OptionRecord::kSize];
    unsigned char after[OptionRecord::kSize];
};

} // namespace

TEST_F(HistoryJournalTest, WriteGivesAPendingRowFirstThenItsOutcome)
{
    using Result = CUpgradeJournal::WriteResult;
    const struct {
        Result result;
        const char* outcome;
    } cases[] = {
        {Result::Written, "written"},
        {Result::Refused, "refused"},
        {Result::Failed, "failed"},
    };
    for (const auto& c : cases) {
        store.lines.clear();
        Read();
        Write();
        ASSERT_EQ(store.lines.size(), 1u) << "the pending row is stored before the write begins";
        journal.WriteEnded(c.result);
        ASSERT_EQ(store.lines.size(), 2u);
        EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"pending", c.outcome}));

        const Records rows = {ReadCsvRecords(store.lines[0])[0], ReadCsvRecords(store.lines[1])[0]};
        for (const auto& row : rows) {
            EXPECT_EQ(row[History::kProgram], "ORVELLE");
            EXPECT_EQ(row[History::kPort], "7");
            EXPECT_EQ(row[History::kModel], "QM-5200");
            EXPECT_EQ(row[History::kIdentity], HexLower(identity.data(), identity.size()).str());
            EXPECT_EQ(row[History::kVersion], "1.01.0");
            EXPECT_EQ(row[History::kRecordBefore], HexLower(before, sizeof before).str());
            EXPECT_EQ(row[History::kRecordAfter], HexLower(after, sizeof after).str());
            EXPECT_EQ(row[History::kSources], "C:\\Data\\a.ENH|C:\\Data\\b,c.ENH");
        }
        // Each row has its own time.
        EXPECT_NE(rows[0][History::kTime], rows[1][History::kTime]);
    }
    EXPECT_TRUE(journal.Warnings().empty());
}

TEST_F(HistoryJournalTest, RunsThatWriteNothingGiveOneRowWithoutRecordAfter)
{
    Read();
    journal.NotUpgraded();
    Read();
    journal.Identified();
    EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"not-upgraded", "read"}));
    EXPECT_EQ(store.Column(History::kRecordAfter), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(store.Column(History::kSources), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(store.Column(History::kTime),
              (std::vector<std::string>{"2024-05-06T07:08:00", "2024-05-06T07:08:01"}));
}

TEST_F(HistoryJournalTest, NothingBeforeTheRecordIsReadAndOneFinalRowPerRun)
{
    using Result = CUpgradeJournal::WriteResult;
    // A run that ended before the record was read.
    Write();
    journal.WriteEnded(Result::Failed);
    journal.NotUpgraded();
    journal.Identified();
    EXPECT_TRUE(store.lines.empty());

    // A write's outcome without its pending row, a second final row, a
    // second pending row: none of them.
    Read();
    journal.WriteEnded(Result::Written);
    Write();
    Write();
    journal.NotUpgraded();
    journal.WriteEnded(Result::Written);
    journal.WriteEnded(Result::Failed);
    journal.Identified();
    EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"pending", "written"}));

    // The next run reads again and starts afresh: no record_after carried over.
    Read();
    journal.Identified();
    EXPECT_EQ(store.Column(History::kRecordAfter).back(), "");
}

TEST_F(HistoryJournalTest, StoreFailuresBecomeWarningsAndTheRunsRowsGoOn)
{
    store.failuresLeft = 1;
    Read();
    Write();
    journal.WriteEnded(CUpgradeJournal::WriteResult::Written);
    EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"written"}));
    ASSERT_EQ(journal.Warnings().size(), 1u);
    EXPECT_EQ(journal.Warnings()[0].str(),
              "history not written: C:\\app\\History\\upgrades.csv: Access is denied. (error 5)");

    store.failuresLeft = 2;
    Read();
    Write();
    journal.WriteEnded(CUpgradeJournal::WriteResult::Failed);
    EXPECT_EQ(journal.Warnings().size(), 1u) << "the same warning once";
}

TEST_F(HistoryJournalTest, PreviewAndUnchangedRowsHoldTheRecordThatWouldHaveBeenWritten)
{
    for (UpgradeOutcome outcome : {UpgradeOutcome::Planned, UpgradeOutcome::Unchanged}) {
        Read();
        UpgradeResult result = ResultOf(identity.data(), "1.01.0", before, after, {"C:\\Data\\a.ENH"});
        result.writeTried = false;
        result.outcome = outcome;
        journal.NotWritten(result);
        // The run is over: nothing more of it is a row.
        journal.WriteEnded(CUpgradeJournal::WriteResult::Written);
        journal.Identified();
    }
    EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"planned", "unchanged"}));
    EXPECT_EQ(store.Column(History::kRecordAfter),
              (std::vector<std::string>(2, HexLower(after, sizeof after).str())));
    EXPECT_EQ(store.Column(History::kSources), (std::vector<std::string>(2, "C:\\Data\\a.ENH")));
}

TEST_F(HistoryJournalTest, AVerifiedWriteEndsWithWhatWasReadBack)
{
    unsigned char readBack[OptionRecord::kSize] = {0x42};
    const struct {
        const char* name;
        bool readBack;
        bool verified;
        const char* outcome;
        std::string recordAfter;
    } cases[] = {
        {"found", true, true, "written", HexLower(after, sizeof after).str()},
        {"another record", true, false, "verify-failed", HexLower(readBack, sizeof readBack).str()},
        {"the link failed first", false, false, "verify-failed", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store.lines.clear();
        Read();
        Write();
        UpgradeResult result = ResultOf(identity.data(), "1.01.0", before, after, {"C:\\Data\\a.ENH"});
        result.readBack = c.readBack;
        result.verified = c.verified;
        std::copy(std::begin(readBack), std::end(readBack), result.recordReadBack.begin());
        journal.Verified(result);
        journal.Verified(result); // once per run
        EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"pending", c.outcome}));
        EXPECT_EQ(store.Column(History::kRecordAfter).back(), c.recordAfter);
        EXPECT_EQ(store.Column(History::kRecordBefore).back(), HexLower(before, sizeof before).str());
    }
    // Without its pending row, a verify leaves no row.
    store.lines.clear();
    Read();
    journal.Verified(ResultOf(identity.data(), "1.01.0", before, after));
    EXPECT_TRUE(store.lines.empty());
}

TEST_F(HistoryJournalTest, APendingRowNotKeptIsBeforeWritesAnswerAndARunNotWrittenEndsNotUpgraded)
{
    // Kept: true, and nothing more for a run that then does not write.
    Read();
    EXPECT_TRUE(Write());
    journal.NotUpgraded();
    EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"pending"}));

    // Not kept: false with the store's reason; the run that then does not
    // write ends with not-upgraded, once, as the file may take it now.
    store.lines.clear();
    store.failuresLeft = 1;
    Read();
    CString reason;
    EXPECT_FALSE(Write(&reason));
    EXPECT_EQ(reason.str(), "C:\\app\\History\\upgrades.csv: Access is denied. (error 5)");
    journal.NotUpgraded();
    journal.NotUpgraded();
    journal.WriteEnded(CUpgradeJournal::WriteResult::Written);
    EXPECT_EQ(store.Column(History::kOutcome), (std::vector<std::string>{"not-upgraded"}));
    EXPECT_EQ(store.Column(History::kRecordAfter), (std::vector<std::string>{""}));

    // Nothing to keep before a record was read: nothing stops the write.
    CMemoryHistory empty;
    CHistoryJournal fresh(empty, History::kProgramConsole, 1);
    CString none;
    EXPECT_TRUE(fresh.BeforeWrite(ResultOf(identity.data(), "1", before, after), none));
    EXPECT_TRUE(empty.lines.empty());
}
