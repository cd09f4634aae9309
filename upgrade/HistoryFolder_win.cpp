#include "upgrade/HistoryFolder.h"

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
        &::CreateDirectoryA, &::CreateFileA, &::GetFileSizeEx, &::ReadFile, &::WriteFile, &::FlushFileBuffers,
    };
    return api;
}

namespace {

// The system's text for an error code, with the code itself: the warning is
// read by people who may need to look it up.
CString SystemErrorText(DWORD code)
{
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        --length;
    CString result;
    if (length > 0)
        result.Format("%.*s (error %lu)", static_cast<int>(length), text, static_cast<unsigned long>(code));
    else
        result.Format("system error %lu", static_cast<unsigned long>(code));
    return result;
}

bool Fail(const CString& path, DWORD code, CString& error)
{
    error = path + ": " + SystemErrorText(code);
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

    // Append access without write access: every write goes to the end of the
    // file, so not even a mistake here could change the rows already there.
    // Read access is for the last byte; readers are let in, writers are not.
    const CString path = FilePath();
    CFileHandle file(m_api.CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return Fail(path, GetLastError(), error);

    LARGE_INTEGER size = {};
    if (!m_api.GetFileSizeEx(file.Get(), &size))
        return Fail(path, GetLastError(), error);
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
            return Fail(path, GetLastError(), error);
        if (got != 1)
            return Fail(path, ERROR_HANDLE_EOF, error);
        if (last != '\n' && last != '\r')
            bytes = History::kLineEnd;
    }
    bytes += line.str();

    // One write, so that a row is never split by another program's; the
    // offset asks for the end of the file whatever the handle's position.
    OVERLAPPED end = {};
    end.Offset = end.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!m_api.WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &end))
        return Fail(path, GetLastError(), error);
    if (written != bytes.size())
        return Fail(path, ERROR_HANDLE_DISK_FULL, error);
    // The pending row must be on the disk before the transceiver is written.
    if (!m_api.FlushFileBuffers(file.Get()))
        return Fail(path, GetLastError(), error);
    if (!file.Close())
        return Fail(path, GetLastError(), error);
    return true;
}

bool CHistoryFolder::ReadRow(int k, HistoryRow& row, CString& error) const
{
    const CString path = FilePath();
    if (path.IsEmpty()) {
        error = "the program's folder is not known";
        return false;
    }
    // Another program may be appending: read what is there.
    CFileHandle file(m_api.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return Fail(path, GetLastError(), error);
    LARGE_INTEGER size = {};
    if (!m_api.GetFileSizeEx(file.Get(), &size))
        return Fail(path, GetLastError(), error);

    CString reason;
    if (!CheckHistorySize(static_cast<ULONGLONG>(size.QuadPart), reason)) {
        error = path + ": " + reason;
        return false;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        if (!m_api.ReadFile(file.Get(), &bytes[filled], static_cast<DWORD>(bytes.size() - filled), &got,
                            nullptr))
            return Fail(path, GetLastError(), error);
        if (got == 0) // the file became shorter: what arrived is all there is
            break;
        filled += got;
    }
    if (!FindHistoryRow(bytes.data(), filled, k, row, reason)) {
        error = path + ": " + reason;
        return false;
    }
    return true;
}
