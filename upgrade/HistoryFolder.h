// The upgrade history in a folder on disk: History\upgrades.csv under the
// executable's folder, appended to through the Win32 file API, and the side
// files that keep the rows of runs that found it held by another program
// (see History::kSideFilePrefix). The header itself needs no windows.h;
// HistoryFileApi.h has the table of calls.
#pragma once

#include "upgrade/UpgradeHistory.h"

#include <functional>
#include <string>
#include <vector>

struct HistoryFileApi;

// The system's local time, with its offset from UTC.
HistoryTime LocalHistoryTime();

class CHistoryFolder : public CHistoryStore {
public:
    using Clock = std::function<HistoryTime()>;

    // baseFolder: the executable's folder, with or without its trailing
    // backslash; an empty one (not known) makes every operation fail. The
    // api table must outlive the object; null means the platform's calls.
    explicit CHistoryFolder(const CString& baseFolder, Clock clock = LocalHistoryTime,
                            const HistoryFileApi* api = nullptr);

    // <base>\History and <base>\History\upgrades.csv; empty when the base is.
    CString FolderPath() const;
    CString FilePath() const;
    // <base>\History\<name>, with the History folder made when missing;
    // empty when the base is, or when the folder cannot be made.
    CString PrepareFile(const char* name) const;

    // Creates the History folder when missing and appends the line to
    // upgrades.csv with append-only access, which can never write over what
    // the file holds: the header first into a new or empty file, a CR LF
    // first after a last line without one, then the rows of every side file
    // but this run's own (in name order; one that another run holds just now
    // is left for later) and the line, all in one write, flushed to disk;
    // only then are the folded side files removed. Others may read the file
    // meanwhile. A file another program holds (sharing or lock violation) is
    // tried again for up to History::kBusyWaitMs. False with
    // "<path>: <system's reason>" when any step fails; nothing is shown to
    // the user.
    bool AppendLine(const CString& line, CString& error) override;
    // AppendLine; when upgrades.csv is still held after the wait, the line
    // goes into this run's side file instead (named at its first row), and
    // so does every later line of the run, with a notice naming both files.
    // False when neither could take the line: both reasons in `error`.
    bool KeepLine(const CString& line, CString& error, CString& notice) override;
    HistoryTime Now() override;

    // <base>\History\<side file>, once this run has one; empty before.
    CString SideFilePath() const;

    // Data row k of the history (see FindHistoryRow): upgrades.csv's rows,
    // then each side file's in name order, numbered as if they had been
    // folded already. False with "<path>: <reason>" when a file cannot be
    // read or there is no such row.
    bool ReadRow(int k, HistoryRow& row, CString& error) const;
    // Every data row of the history, numbered as ReadRow counts (see
    // ListHistoryRows); no files is an empty history. False with
    // "<path>: <reason>" when a file cannot be read.
    bool ListRows(std::vector<HistoryListing>& rows, CString& error) const;

private:
    // AppendLine, with the system's error code of its failure.
    bool AppendToFile(const CString& line, CString& error, unsigned long& code) const;
    // Appends to one file, tried again while it is busy until
    // History::kBusyWaitMs after `start` (a tick count); fold: the line goes
    // to upgrades.csv after the side files' rows. *code is the system's
    // error code of the last attempt.
    bool AppendWaiting(const CString& path, const CString& line, bool fold, unsigned long start,
                       CString& error, unsigned long& code) const;
    // One attempt at the append: ERROR_SUCCESS or the system's error code;
    // retryable is false once the attempt may have changed the file.
    unsigned long AppendOnce(const CString& path, const CString& line, bool fold, bool& retryable) const;
    // The side files' names in name order, this run's own left out.
    std::vector<CString> OtherSideFiles() const;
    // A file's bytes, read while others may append. False with
    // "<path>: <reason>"; code is the system's error code.
    bool ReadBytes(const CString& path, std::string& bytes, CString& error, unsigned long& code) const;
    // upgrades.csv's bytes with the side files' rows after them, as a fold
    // would leave it; false as ReadBytes when upgrades.csv cannot be read
    // (and, when missing, there are no side files) or a side file cannot.
    bool ReadAll(std::string& bytes, CString& error, unsigned long& code) const;

    CString m_base;
    Clock m_clock;
    const HistoryFileApi& m_api;
    CString m_sideName; // this run's side file, once it has one
};
