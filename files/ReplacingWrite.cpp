#include "files/ReplacingWrite.h"

#include "files/FileHandle.h"

namespace {

// Beside the file, so the move that replaces it stays on one volume.
constexpr char kPartSuffix[] = ".part";

DWORD WriteNew(const CString& path, const std::string& bytes)
{
    // Nobody else writes or removes it while it is made.
    CFileHandle file(
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return ::GetLastError();
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return ::GetLastError();
    if (written != bytes.size())
        return ERROR_HANDLE_DISK_FULL;
    // On the disk before it replaces the old file, which a crash must not
    // leave empty.
    if (!::FlushFileBuffers(file.Get()))
        return ::GetLastError();
    if (!file.Close())
        return ::GetLastError();
    return ERROR_SUCCESS;
}

} // namespace

DWORD WriteFileReplacing(const CString& path, const std::string& bytes)
{
    const CString part = path + kPartSuffix;
    DWORD error = WriteNew(part, bytes);
    if (error == ERROR_SUCCESS &&
        !::MoveFileExA(part, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error != ERROR_SUCCESS)
        ::DeleteFileA(part);
    return error;
}
