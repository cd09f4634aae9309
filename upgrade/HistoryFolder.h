// The upgrade history in a folder on disk: History\upgrades.csv under the
// executable's folder, appended to through the Win32 file API. The header
// itself needs no windows.h; HistoryFileApi.h has the table of calls.
#pragma once

#include "upgrade/UpgradeHistory.h"

#include <functional>
#include <string>
#include <vector>

struct HistoryFileApi;

// The system's local time (GetLocalTime).
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

    // Creates the History folder when missing and appends the line with
    // append-only access, which can never write over what the file holds:
    // the header first into a new or empty file, a CR LF first after a last
    // line without one, then everything in one write, flushed to disk. Others
    // may read the file meanwhile. A file another program holds (sharing or
    // lock violation) is tried again for up to History::kBusyWaitMs. False
    // with "<path>: <system's reason>" when any step fails; nothing is shown
    // to the user.
    bool AppendLine(const CString& line, CString& error) override;
    HistoryTime Now() override;

    // Data row k of the file (see FindHistoryRow). False with
    // "<path>: <reason>" when the file cannot be read or has no such row.
    bool ReadRow(int k, HistoryRow& row, CString& error) const;
    // Every data row of the file (see ListHistoryRows); a missing file is an
    // empty history. False with "<path>: <reason>" when it cannot be read.
    bool ListRows(std::vector<HistoryListing>& rows, CString& error) const;

private:
    // One attempt at the append: ERROR_SUCCESS or the system's error code;
    // retryable is false once the attempt may have changed the file.
    unsigned long AppendOnce(const CString& path, const CString& line, bool& retryable) const;
    // The file's bytes, read while others may append. False with
    // "<path>: <reason>"; *code (when given) is the system's error code.
    bool ReadAll(std::string& bytes, CString& error, unsigned long* code = nullptr) const;

    CString m_base;
    Clock m_clock;
    const HistoryFileApi& m_api;
};
