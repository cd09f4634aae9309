#include "files/FileError.h"

#include "framework/Mbcs.h"

#include <windows.h>

#include <iterator>

namespace {

const char* const kDescriptions[kFileErrorCauseCount] = {
    "No error occurred.",
    "An unknown error occurred while accessing %1.",
    "%1 was not found.",
    "%1 contains an invalid path.",
    "%1 could not be opened because there are too many open files.",
    "Access to %1 was denied.",
    "An invalid file handle was associated with %1.",
    "%1 could not be removed because it is the current directory.",
    "%1 could not be created because the directory is full.",
    "Seek failed on %1",
    "A hardware I/O error was reported while accessing %1.",
    "A sharing violation occurred while accessing %1.",
    "A locking violation occurred while accessing %1.",
    "Disk full while accessing %1.",
    "An attempt was made to access %1 past its end.",
};

const char kUnnamedFile[] = "an unnamed file";
const char kErrorCaption[] = "Error";

struct OsErrorCause {
    DWORD osError;
    FileErrorCause cause;
};

// Beyond the codes a failed open commonly gives, related codes join the cause
// whose description tells the user the most.
const OsErrorCause kOsErrorCauses[] = {
    {NO_ERROR, FileErrorCause::None},
    {ERROR_FILE_NOT_FOUND, FileErrorCause::FileNotFound},
    {ERROR_PATH_NOT_FOUND, FileErrorCause::BadPath},
    {ERROR_TOO_MANY_OPEN_FILES, FileErrorCause::TooManyOpenFiles},
    {ERROR_ACCESS_DENIED, FileErrorCause::AccessDenied},
    {ERROR_INVALID_HANDLE, FileErrorCause::InvalidFile},
    {ERROR_INVALID_DRIVE, FileErrorCause::BadPath},
    {ERROR_CURRENT_DIRECTORY, FileErrorCause::RemoveCurrentDir},
    {ERROR_NO_MORE_FILES, FileErrorCause::FileNotFound},
    {ERROR_WRITE_PROTECT, FileErrorCause::AccessDenied},
    {ERROR_BAD_UNIT, FileErrorCause::HardIO},
    {ERROR_NOT_READY, FileErrorCause::HardIO},
    {ERROR_CRC, FileErrorCause::HardIO},
    {ERROR_SEEK, FileErrorCause::BadSeek},
    {ERROR_SECTOR_NOT_FOUND, FileErrorCause::BadSeek},
    {ERROR_WRITE_FAULT, FileErrorCause::HardIO},
    {ERROR_READ_FAULT, FileErrorCause::HardIO},
    {ERROR_GEN_FAILURE, FileErrorCause::HardIO},
    {ERROR_SHARING_VIOLATION, FileErrorCause::SharingViolation},
    {ERROR_LOCK_VIOLATION, FileErrorCause::LockViolation},
    {ERROR_SHARING_BUFFER_EXCEEDED, FileErrorCause::TooManyOpenFiles},
    {ERROR_HANDLE_EOF, FileErrorCause::EndOfFile},
    {ERROR_HANDLE_DISK_FULL, FileErrorCause::DiskFull},
    {ERROR_BAD_NETPATH, FileErrorCause::BadPath},
    {ERROR_NETWORK_ACCESS_DENIED, FileErrorCause::AccessDenied},
    {ERROR_BAD_NET_NAME, FileErrorCause::BadPath},
    {ERROR_FILE_EXISTS, FileErrorCause::AccessDenied},
    {ERROR_DRIVE_LOCKED, FileErrorCause::LockViolation},
    {ERROR_DISK_FULL, FileErrorCause::DiskFull},
    {ERROR_INVALID_NAME, FileErrorCause::BadPath},
    {ERROR_NEGATIVE_SEEK, FileErrorCause::BadSeek},
    {ERROR_SEEK_ON_DEVICE, FileErrorCause::BadSeek},
    {ERROR_BAD_PATHNAME, FileErrorCause::BadPath},
    {ERROR_LOCK_FAILED, FileErrorCause::LockViolation},
    {ERROR_ALREADY_EXISTS, FileErrorCause::AccessDenied},
    {ERROR_FILENAME_EXCED_RANGE, FileErrorCause::BadPath},
    {ERROR_DIRECTORY, FileErrorCause::BadPath},
    {ERROR_OPERATION_ABORTED, FileErrorCause::HardIO},
    {ERROR_IO_DEVICE, FileErrorCause::HardIO},
};

} // namespace

FileErrorCause FileErrorCauseFromOsError(unsigned long osError)
{
    for (const OsErrorCause& entry : kOsErrorCauses) {
        if (entry.osError == osError)
            return entry.cause;
    }
    return FileErrorCause::Generic;
}

CString FileErrorDescription(FileErrorCause cause, const CString& path, int maxLength)
{
    return FileErrorDescription(cause, path, FileErrorTexts(), maxLength);
}

CString FileErrorDescription(FileErrorCause cause, const CString& path, const FileErrorTexts& texts,
                             int maxLength)
{
    int index = static_cast<int>(cause);
    if (index < 0 || index >= kFileErrorCauseCount)
        index = static_cast<int>(FileErrorCause::Generic);

    // Only the template's own "%1" is replaced: a path that happens to hold
    // "%1" stays as it is.
    CString text =
        texts.descriptions[index].IsEmpty() ? CString(kDescriptions[index]) : texts.descriptions[index];
    const int marker = text.Find("%1");
    if (marker >= 0) {
        const CString unnamed = texts.unnamedFile.IsEmpty() ? CString(kUnnamedFile) : texts.unnamedFile;
        text = text.Left(marker) + (path.IsEmpty() ? unnamed : path) + text.Mid(marker + 2);
    }

    if (maxLength < 0)
        maxLength = 0;
    if (text.GetLength() > maxLength) {
        const int end = AnsiPrefixLength(text.GetString(), text.GetLength(), maxLength);
        text = text.Left(end);
    }
    return text;
}

CString FileErrorCaption(const FileErrorTexts& texts)
{
    return texts.caption.IsEmpty() ? CString(kErrorCaption) : texts.caption;
}
