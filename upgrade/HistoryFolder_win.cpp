#include "upgrade/HistoryFolder.h"

#include "framework/SystemText.h"

#include "files/FileHandle.h"
#include "framework/Path.h"
#include "upgrade/HistoryFileApi.h"

#include <windows.h>

#include <string>
#include <utility>

const HistoryFileApi& PlatformHistoryFileApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants.
    static const HistoryFileApi api = {
        &::CreateDirectoryA, &::CreateFileA,      &::GetFileSizeEx, &::ReadFile,
        &::WriteFile,        &::FlushFileBuffers, &::GetTickCount,  &::Sleep,
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

} // namespace

HistoryTime LocalHistoryTime()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
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
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

} // namespace

bool CHistoryFolder::AppendLine(const CString& line, CString& error)
{
    if (m_base.IsEmpty()) {
        // Never a History folder in whatever the current directory is.
        error = "the program's folder is not known";
        return false;
    }
    const CString folder = FolderPath();
    if (!m_api.CreateDirectoryA(folder, nullptr)) {
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS)
            return Fail(folder, code, error);
    }

    // A file that is busy is tried again until History::kBusyWaitMs have
    // passed, so that a row is not lost to another program's moment with it.
    const CString path = FilePath();
    const DWORD start = m_api.GetTickCount();
    for (;;) {
        bool retryable = false;
        const DWORD code = AppendOnce(path, line, retryable);
        if (code == ERROR_SUCCESS)
            return true;
        // Unsigned arithmetic: right across the tick count's wrap too.
        if (!retryable || !IsBusy(code) || m_api.GetTickCount() - start >= History::kBusyWaitMs)
            return Fail(path, code, error);
        m_api.Sleep(History::kBusyPauseMs);
    }
}

unsigned long CHistoryFolder::AppendOnce(const CString& path, const CString& line, bool& retryable) const
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
    if (!file.Close())
        return GetLastError();
    return ERROR_SUCCESS;
}

bool CHistoryFolder::ReadAll(std::string& bytes, CString& error, unsigned long* code) const
{
    const auto failed = [&](const CString& path, DWORD system) {
        if (code)
            *code = system;
        return Fail(path, system, error);
    };
    const CString path = FilePath();
    if (path.IsEmpty()) {
        error = "the program's folder is not known";
        return false;
    }
    // Another program may be appending: read what is there.
    CFileHandle file(m_api.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return failed(path, GetLastError());
    LARGE_INTEGER size = {};
    if (!m_api.GetFileSizeEx(file.Get(), &size))
        return failed(path, GetLastError());

    CString reason;
    if (!CheckHistorySize(static_cast<ULONGLONG>(size.QuadPart), reason)) {
        error = path + ": " + reason;
        return false;
    }
    std::string read(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < read.size()) {
        DWORD got = 0;
        if (!m_api.ReadFile(file.Get(), &read[filled], static_cast<DWORD>(read.size() - filled), &got,
                            nullptr))
            return failed(path, GetLastError());
        if (got == 0) // the file became shorter: what arrived is all there is
            break;
        filled += got;
    }
    read.resize(filled);
    bytes = std::move(read);
    return true;
}

bool CHistoryFolder::ReadRow(int k, HistoryRow& row, CString& error) const
{
    std::string bytes;
    if (!ReadAll(bytes, error))
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
    if (!ReadAll(bytes, error, &code)) {
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
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
