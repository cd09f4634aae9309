// The upgrade history: one CSV row per step of every run that read the
// transceiver's option record, appended to History\upgrades.csv in the
// executable's folder, so that a record can be put back and anyone can tell
// later which radio got which options. This part is portable (rows, reading
// the file back, the journal over a store; the CSV fields themselves are
// text/Csv.h's); the file itself is reached through CHistoryStore (see
// HistoryFolder.h for Windows).
// Portable: no windows.h.
#pragma once

#include "framework/CString.h"
#include "upgrade/UpgradeJournal.h"

#include <cstddef>
#include <string>
#include <vector>

namespace History {

constexpr const char* kFolderName = "History";
constexpr const char* kFileName = "upgrades.csv";
// ORVELLE.exe's byte trace of the serial line during its last run, replaced
// at every run.
constexpr const char* kLastRunTraceName = "last-run.trace";

// The columns in file order; the header row is their names.
enum Column : std::size_t {
    kTime,
    kProgram,
    kPort,
    kModel,
    kIdentity,
    kVersion,
    kRecordBefore,
    kRecordAfter,
    kSources,
    kOutcome,
    kColumnCount
};
extern const char* const kColumnNames[kColumnCount];

constexpr const char* kLineEnd = "\r\n";

// A row that upgrades.csv cannot take because another program holds it (a
// spreadsheet keeps it locked while it is open) goes into a side file of the
// run's own in the History folder, "upgrades-YYYYMMDD-HHMMSS-<pid>.csv", with
// upgrades.csv's header; a later run that can open upgrades.csv folds the
// side files into it in name (= time) order and removes them.
constexpr const char* kSideFilePrefix = "upgrades-";
constexpr const char* kSideFileSuffix = ".csv";

// How long a row waits for a file another program holds for a moment, and
// the pause between its attempts (milliseconds).
constexpr unsigned long kBusyWaitMs = 2000;
constexpr unsigned long kBusyPauseMs = 50;

// A restore reads the whole file: larger files are refused.
constexpr std::size_t kMaxFileSize = std::size_t{64} << 20;

// The `program` column.
constexpr const char* kProgramWindow = "ORVELLE";
constexpr const char* kProgramConsole = "orvelle-cli";

// The `sources` column: option file paths joined by the separator, or the
// row a restore took its record from.
constexpr char kSourceSeparator = '|';
constexpr const char* kRestoreSourcePrefix = "restore:";
CString RestoreRowSource(int row); // "restore:K"
CString RestoreRecordSource();     // "restore:record", for a record given in hex

// The `outcome` column.
namespace Outcome {
constexpr const char* kPending = "pending";
constexpr const char* kWritten = "written";
constexpr const char* kRefused = "refused";
constexpr const char* kFailed = "failed";
constexpr const char* kNotUpgraded = "not-upgraded";
constexpr const char* kRead = "read";
constexpr const char* kPlanned = "planned";
constexpr const char* kUnchanged = "unchanged";
constexpr const char* kVerifyFailed = "verify-failed";
} // namespace Outcome

} // namespace History

// Local wall-clock time, as the `time` column shows it, and how far it is
// from UTC: a history kept on laptops in several time zones, or across a
// change to summer time, still orders and compares.
struct HistoryTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    // Minutes ahead of UTC (east positive); rows written before the offset
    // was kept have none.
    bool hasOffset = false;
    int offsetMinutes = 0;
};

// "YYYY-MM-DDTHH:MM:SS", with the ISO offset "+HH:MM" or "-HH:MM" after it
// when the time has one. Out-of-range parts are shown as they are, never
// wider than their own digits need.
CString FormatHistoryTime(const HistoryTime& time);
// Its offset alone ("+01:00"); empty without one.
CString HistoryTimeOffset(const HistoryTime& time);
// The `time` column read back: both forms FormatHistoryTime writes (an old
// file's rows have no offset), "Z" taken as +00:00. False for anything else.
bool ParseHistoryTime(const CString& text, HistoryTime& time);

// One row as the file holds it: every column as text.
struct HistoryRow {
    CString time;
    CString program;
    CString port;
    CString model;
    CString identity;
    CString version;
    CString recordBefore;
    CString recordAfter;
    CString sources;
    CString outcome;
};

// The `sources` column of a run's sources.
CString JoinHistorySources(const std::vector<CString>& sources);
// The sources of a `sources` column, in order; none for an empty one.
std::vector<CString> SplitHistorySources(const CString& column);

// The header row and a data row, each with its CR LF.
CString HistoryHeaderLine();
CString FormatHistoryLine(const HistoryRow& row);

// One column's field as the file holds it (before CSV quoting), safe from a
// spreadsheet that opens the file: a text column (model, version, sources)
// that starts with = + - @, a tab, a CR or an apostrophe gets a leading
// apostrophe; a hex column (identity, record_before, record_after) that a
// spreadsheet would take for a number (decimal digits only, or digits around
// one e) is written ="<hex>", which it keeps as text. Other fields are
// unchanged. HistoryFieldFromFile undoes it and takes the plain forms too.
CString HistoryFieldToFile(History::Column column, const CString& value);
CString HistoryFieldFromFile(History::Column column, const std::string& field);

// The side file name of a run whose first side row is stamped `time`, and
// whether a name is one (strictly: a user's upgrades-backup.csv is not).
CString HistorySideFileName(const HistoryTime& time, unsigned long processId);
bool IsHistorySideFileName(const char* name);

// Appends the data rows of a history file's bytes (everything after its
// first record, the header) to `history`, as a fold into upgrades.csv adds
// them: on a line of their own, the last one ended.
void AppendHistoryDataRows(std::string& history, const std::string& file);

// The `model` column for an identity block: its name bytes up to the first
// NUL, without trailing spaces; control bytes show as '?', so that the column
// never carries bytes a reader could take for structure.
CString HistoryModelName(const unsigned char* identity);
// The model a record names (OptionRecord::kModelName), shown as the `model`
// column shows an identity's.
CString RecordModelName(const unsigned char* record);
// The model an option file's header names (OptionFile::kModelName), shown
// the same way (the support file lists it).
CString OptionFileModelName(const unsigned char* header);

// True when the row was read from the transceiver with this identity block:
// the same model and the same identity (hex of either case).
bool HistoryRowMatches(const HistoryRow& row, const unsigned char* identity);

// False with the reason in `error` when a history file of this size is
// larger than History::kMaxFileSize.
bool CheckHistorySize(unsigned long long size, CString& error);

// Data row k of the history file's bytes (k = 1 is the first record after the
// file's first, its header). False with a reason in `error` when the data is
// larger than History::kMaxFileSize, holds no row k, or row k's record_before
// is not 100 hex digits. Columns missing from a short row are empty.
bool FindHistoryRow(const char* data, std::size_t size, int k, HistoryRow& row, CString& error);

// A data row as the history command lists it: its number as FindHistoryRow
// counts, and whether it is damaged (not all columns, or a record_before
// that is not 100 hex digits: nothing a restore could take).
struct HistoryListing {
    int number = 0;
    HistoryRow row;
    bool damaged = false;
};

// Every data row of the history file's bytes, numbered from 1 as
// FindHistoryRow counts them, damaged ones included. False with the reason in
// `error` when the data is larger than History::kMaxFileSize.
bool ListHistoryRows(const char* data, std::size_t size, std::vector<HistoryListing>& rows, CString& error);

// Where the history's rows go, and the clock they are stamped with.
class CHistoryStore {
public:
    virtual ~CHistoryStore() = default;

    // Appends one line (with its CR LF) to the history file and makes it
    // durable before returning. False with "<path>: <reason>" in `error`
    // when it could not.
    virtual bool AppendLine(const CString& line, CString& error) = 0;

    // Keeps one line in the history: AppendLine, unless the store has another
    // place for a line the history file cannot take now; then true with a
    // notice that says why and where the line went. False as AppendLine.
    virtual bool KeepLine(const CString& line, CString& error, CString& notice)
    {
        notice.Empty();
        return AppendLine(line, error);
    }

    virtual HistoryTime Now() = 0;
};

// The journal that writes the history. One final row per run (written,
// refused, failed, verify-failed, not-upgraded, planned, unchanged or read),
// preceded by a pending row when a write is attempted; nothing before the
// record was read. A row that cannot be kept, or is kept outside the history
// file (the store's notice), leaves a warning; the
// pending row's failure is also BeforeWrite's answer, so that the run does
// not write a record kept nowhere without asking.
class CHistoryJournal : public CUpgradeJournal {
public:
    // program: History::kProgramWindow or kProgramConsole; port: the COM
    // port number of the runs it records.
    CHistoryJournal(CHistoryStore& store, const char* program, int port);

    void RecordRead(const UpgradeResult& result) override;
    bool BeforeWrite(const UpgradeResult& result, CString& reason) override;
    void WriteEnded(WriteResult result) override;
    void WriteFoundOther(const UpgradeResult& result) override;
    void NotUpgraded() override;
    void Identified() override;
    // planned or unchanged, with the record that would have been written.
    void NotWritten(const UpgradeResult& result) override;
    // written, or verify-failed with the record read back (empty when none
    // was).
    void Verified(const UpgradeResult& result) override;

    // "history not written: <path>: <reason>", or the store's notice of a
    // row kept elsewhere; each different one once.
    const std::vector<CString>& Warnings() const { return m_warnings; }

private:
    void Warn(const CString& warning);
    // False with the store's reason when the row could not be kept.
    bool Append(const char* outcome, CString& error);
    bool Append(const char* outcome);

    CHistoryStore& m_store;
    CString m_program;
    int m_port;
    HistoryRow m_row;
    bool m_recordRead = false;  // a run is open: its final row is still to come
    bool m_writing = false;     // the pending row was appended (or tried)
    bool m_pendingKept = false; // ... and is on record
    std::vector<CString> m_warnings;
};
