#include "upgrade/HistoryFolder.h"

#include "framework/SystemText.h"

#include "files/FileHandle.h"
#include "framework/Path.h"
#include "upgrade/HistoryFileApi.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

const HistoryFileApi& PlatformHistoryFileApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants.
    static const HistoryFileApi api = {
        &::CreateDirectoryA,
        &::CreateFileA,
        &::GetFileSizeEx,
        &::ReadFile,
        &::WriteFile,
        &::FlushFileBuffers,
        &::GetTickCount,
        &::Sleep,
        &::GetCurrentProcessId,
        &::FindFirstFileA,
        &::FindNextFileA,
        &::FindClose,
        &::SetFileInformationByHandle,
    };
    return api;
}

namespace {

// The system's text with the code itself: the warning is read by people who
// may need to look it up.
bool Fail(const CString& path, DWORD code, CString& error)
{
    error = path + ": " + SystemText(code, SystemTextForms::kWarning);
    return false;
}

bool IsMissing(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// The whole file through an open handle, no larger than a history may be:
// ERROR_SUCCESS or the system's error code (reason says why for a size).
DWORD ReadHandle(const HistoryFileApi& api, HANDLE file, std::string& bytes, CString& reason)
{
    LARGE_INTEGER size = {};
    if (!api.GetFileSizeEx(file, &size))
        return GetLastError();
    if (!CheckHistorySize(static_cast<ULONGLONG>(size.QuadPart), reason))
        return ERROR_FILE_TOO_LARGE;
    std::string read(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < read.size()) {
        DWORD got = 0;
        if (!api.ReadFile(file, &read[filled], static_cast<DWORD>(read.size() - filled), &got, nullptr))
            return GetLastError();
        if (got == 0) // the file became shorter: what arrived is all there is
            break;
        filled += got;
    }
    read.resize(filled);
    bytes = std::move(read);
    return ERROR_SUCCESS;
}

// A search handle of the api's FindFirstFileA, closed on every way out.
class CFindHandle {
public:
    CFindHandle(const HistoryFileApi& api, HANDLE handle) : m_api(api), m_handle(handle) {}
    ~CFindHandle()
    {
        if (IsValid())
            m_api.FindClose(m_handle);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;

    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    const HistoryFileApi& m_api;
    HANDLE m_handle;
};

} // namespace

HistoryTime LocalHistoryTime()
{
    // One instant in UTC and made local: the offset is the one in force
    // then (summer time included), never a second's skew between two reads.
    SYSTEMTIME utc = {};
    GetSystemTime(&utc);
    SYSTEMTIME now = utc;
    HistoryTime time;
    FILETIME utcFile = {};
    FILETIME localFile = {};
    if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &now) && SystemTimeToFileTime(&utc, &utcFile) &&
        SystemTimeToFileTime(&now, &localFile)) {
        const auto ticks = [](const FILETIME& file) {
            return static_cast<long long>((static_cast<unsigned long long>(file.dwHighDateTime) << 32) |
                                          file.dwLowDateTime);
        };
        constexpr long long kTicksPerMinute = 10000000LL * 60;
        time.hasOffset = true;
        time.offsetMinutes = static_cast<int>((ticks(localFile) - ticks(utcFile)) / kTicksPerMinute);
    } else {
        GetLocalTime(&now);
    }
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    return time;
}

CHistoryFolder::CHistoryFolder(const CString& baseFolder, Clock clock, const HistoryFileApi* api)
    : m_base(baseFolder), m_clock(std::move(clock)), m_api(api ? *api : PlatformHistoryFileApi())
{
}

CString CHistoryFolder::FolderPath() const
{
    if (m_base.IsEmpty())
        return CString();
    return JoinPath(m_base, History::kFolderName);
}

CString CHistoryFolder::FilePath() const
{
    const CString folder = FolderPath();
    return folder.IsEmpty() ? folder : JoinPath(folder, History::kFileName);
}

CString CHistoryFolder::PrepareFile(const char* name) const
{
    const CString folder = FolderPath();
    if (folder.IsEmpty())
        return folder;
    if (!m_api.CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return CString();
    return folder + "\\" + name;
}

HistoryTime CHistoryFolder::Now()
{
    return m_clock ? m_clock() : LocalHistoryTime();
}

namespace {

// Another program appending a row, a spreadsheet saving the file or a virus
// scanner reading it holds the file for a moment; every other failure stays
// as it is however long one waits.
bool IsBusy(DWORD code)
{
    // ERROR_OPERATION_ABORTED: the console tool cut the thread's I/O short
    // to stop a blocked read as the console closed; a row is never lost to
    // that.
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_OPERATION_ABORTED;
}

} // namespace

bool CHistoryFolder::AppendLine(const CString& line, CString& error)
{
    unsigned long code = 0;
    return AppendToFile(line, error, code);
}

bool CHistoryFolder::AppendToFile(const CString& line, CString& error, unsigned long& code) const
{
    code = ERROR_PATH_NOT_FOUND;
    if (m_base.IsEmpty()) {
        // Never a History folder in whatever the current directory is.
        error = "the program's folder is not known";
        return false;
    }
    const CString folder = FolderPath();
    if (!m_api.CreateDirectoryA(folder, nullptr)) {
        code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS)
            return Fail(folder, code, error);
    }
    return AppendWaiting(FilePath(), line, true, m_api.GetTickCount(), error, code);
}

bool CHistoryFolder::KeepLine(const CString& line, CString& error, CString& notice)
{
    notice.Empty();
    error.Empty();
    unsigned long code = 0;
    const bool firstSideRow = m_sideName.IsEmpty();
    if (firstSideRow) {
        if (AppendToFile(line, error, code))
            return true;
        // Only a file held past the wait: any other failure would be the
        // side file's too, or is one the user must hear of as it is.
        if (!IsBusy(code))
            return false;
        m_sideName = HistorySideFileName(Now(), m_api.GetCurrentProcessId());
    }
    // A side file is held only by a run folding it, for a moment: the wait
    // starts afresh. The first row's file is new: one attempt.
    const DWORD now = m_api.GetTickCount();
    const DWORD start = firstSideRow ? now - History::kBusyWaitMs : now;
    const CString side = SideFilePath();
    CString sideError;
    if (!AppendWaiting(side, line, false, start, sideError, code)) {
        error = firstSideRow ? error + "; " + sideError : sideError;
        // Its rows are folded like any other run's, before the next row of
        // this one: they stay in order.
        m_sideName.Empty();
        return false;
    }
    error.Empty();
    notice = FilePath() + " is open in another program: the row went to " + side;
    return true;
}

CString CHistoryFolder::SideFilePath() const
{
    const CString folder = FolderPath();
    return folder.IsEmpty() || m_sideName.IsEmpty() ? CString() : JoinPath(folder, m_sideName);
}

bool CHistoryFolder::AppendWaiting(const CString& path, const CString& line, bool fold, unsigned long start,
                                   CString& error, unsigned long& code) const
{
    // A file that is busy is tried again until History::kBusyWaitMs have
    // passed, so that a row is not lost to another program's moment with it.
    for (;;) {
        bool retryable = false;
        code = AppendOnce(path, line, fold, retryable);
        if (code == ERROR_SUCCESS)
            return true;
        // Unsigned arithmetic: right across the tick count's wrap too.
        if (!retryable || !IsBusy(code) || m_api.GetTickCount() - start >= History::kBusyWaitMs)
            return Fail(path, code, error);
        m_api.Sleep(History::kBusyPauseMs);
    }
}

std::vector<CString> CHistoryFolder::OtherSideFiles() const
{
    std::vector<CString> names;
    const CString folder = FolderPath();
    if (folder.IsEmpty())
        return names;
    WIN32_FIND_DATAA found = {};
    const CString pattern =
        JoinPath(folder, CString(History::kSideFilePrefix) + "*" + History::kSideFileSuffix);
    CFindHandle search(m_api, m_api.FindFirstFileA(pattern, &found));
    if (!search.IsValid())
        return names; // none, or no folder
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            IsHistorySideFileName(found.cFileName) && CString(found.cFileName) != m_sideName)
            names.emplace_back(found.cFileName);
    } while (m_api.FindNextFileA(search.Get(), &found));
    // The names start with the time of their first row.
    std::sort(names.begin(), names.end(),
              [](const CString& a, const CString& b) { return a.str() < b.str(); });
    return names;
}

unsigned long CHistoryFolder::AppendOnce(const CString& path, const CString& line, bool fold,
                                         bool& retryable) const
{
    // Until the row's one write has been made, nothing has changed and the
    // whole attempt can be made again.
    retryable = true;

    // Append access without write access: every write goes to the end of the
    // file, so not even a mistake here could change the rows already there.
    // Read access is for the last byte; readers are let in, writers are not.
    CFileHandle file(m_api.CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return GetLastError();

    LARGE_INTEGER size = {};
    if (!m_api.GetFileSizeEx(file.Get(), &size))
        return GetLastError();
    std::string bytes;
    if (size.QuadPart == 0) {
        bytes = HistoryHeaderLine().str();
    } else {
        // A damaged or foreign file may end mid-line: the row starts a line
        // of its own.
        const ULONGLONG lastOffset = static_cast<ULONGLONG>(size.QuadPart) - 1;
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(lastOffset);
        at.OffsetHigh = static_cast<DWORD>(lastOffset >> 32);
        char last = 0;
        DWORD got = 0;
        if (!m_api.ReadFile(file.Get(), &last, 1, &got, &at))
            return GetLastError();
        if (got != 1)
            return ERROR_HANDLE_EOF;
        if (last != '\n' && last != '\r')
            bytes = History::kLineEnd;
    }

    // The side files, each opened for itself alone, so that no row can be
    // added to one between its read here and its removal below (its run
    // waits, then starts it anew). One held just now is left for a later
    // fold; so is one that cannot be read (a row twice beats a row lost).
    std::vector<CFileHandle> folded;
    if (fold) {
        for (const CString& name : OtherSideFiles()) {
            CFileHandle side(m_api.CreateFileA(JoinPath(FolderPath(), name), GENERIC_READ | DELETE, 0,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            std::string sideBytes;
            CString reason;
            if (!side.IsValid() || ReadHandle(m_api, side.Get(), sideBytes, reason) != ERROR_SUCCESS)
                continue;
            AppendHistoryDataRows(bytes, sideBytes);
            folded.push_back(std::move(side));
        }
    }
    bytes += line.str();

    // One write, so that a row is never split by another program's; the
    // offset asks for the end of the file whatever the handle's position.
    // A write refused as a whole (a locked range) wrote nothing.
    OVERLAPPED end = {};
    end.Offset = end.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!m_api.WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &end)) {
        const DWORD code = GetLastError();
        retryable = written == 0;
        return code;
    }
    retryable = false;
    if (written != bytes.size())
        return ERROR_HANDLE_DISK_FULL;
    // The pending row must be on the disk before the transceiver is written.
    if (!m_api.FlushFileBuffers(file.Get()))
        return GetLastError();
    // The folded rows are on the disk in upgrades.csv: their files go. One
    // that cannot be removed stays, to be folded once more later.
    for (const CFileHandle& side : folded) {
        FILE_DISPOSITION_INFO remove = {};
        remove.DeleteFile = TRUE;
        m_api.SetFileInformationByHandle(side.Get(), FileDispositionInfo, &remove, sizeof remove);
    }
    if (!file.Close())
        return GetLastError();
    return ERROR_SUCCESS;
}

bool CHistoryFolder::ReadBytes(const CString& path, std::string& bytes, CString& error,
                               unsigned long& code) const
{
    // Another program may be appending, or a run folding a side file may
    // remove it: read what is there.
    CFileHandle file(m_api.CreateFileA(path, GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        code = GetLastError();
        return Fail(path, code, error);
    }
    CString reason;
    code = ReadHandle(m_api, file.Get(), bytes, reason);
    if (code == ERROR_SUCCESS)
        return true;
    if (!reason.IsEmpty()) {
        error = path + ": " + reason;
        return false;
    }
    return Fail(path, code, error);
}

bool CHistoryFolder::ReadAll(std::string& bytes, CString& error, unsigned long& code) const
{
    const CString path = FilePath();
    if (path.IsEmpty()) {
        error = "the program's folder is not known";
        code = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string history;
    if (!ReadBytes(path, history, error, code)) {
        if (!IsMissing(code))
            return false;
        // No upgrades.csv: the side files' rows are the history.
        if (OtherSideFiles().empty() && m_sideName.IsEmpty())
            return false;
    }
    std::vector<CString> names = OtherSideFiles();
    if (!m_sideName.IsEmpty())
        names.push_back(m_sideName);
    std::sort(names.begin(), names.end(),
              [](const CString& a, const CString& b) { return a.str() < b.str(); });
    // An empty or missing upgrades.csv (a program that holds it may have
    // made it) has no header yet: a fold would write it first.
    if (history.empty() && !names.empty())
        history = HistoryHeaderLine().str();
    for (const CString& name : names) {
        std::string side;
        CString sideError;
        unsigned long sideCode = 0;
        if (!ReadBytes(JoinPath(FolderPath(), name), side, sideError, sideCode)) {
            if (IsMissing(sideCode))
                continue; // folded meanwhile
            error = sideError;
            code = sideCode;
            return false;
        }
        AppendHistoryDataRows(history, side);
    }
    bytes = std::move(history);
    return true;
}

bool CHistoryFolder::ReadRow(int k, HistoryRow& row, CString& error) const
{
    std::string bytes;
    unsigned long code = 0;
    if (!ReadAll(bytes, error, code))
        return false;
    CString reason;
    if (!FindHistoryRow(bytes.data(), bytes.size(), k, row, reason)) {
        error = FilePath() + ": " + reason;
        return false;
    }
    return true;
}

bool CHistoryFolder::ListRows(std::vector<HistoryListing>& rows, CString& error) const
{
    std::string bytes;
    unsigned long code = 0;
    if (!ReadAll(bytes, error, code)) {
        if (!IsMissing(code) || FilePath().IsEmpty())
            return false;
        rows.clear();
        return true;
    }
    CString reason;
    if (!ListHistoryRows(bytes.data(), bytes.size(), rows, reason)) {
        error = FilePath() + ": " + reason;
        return false;
    }
    return true;
}
