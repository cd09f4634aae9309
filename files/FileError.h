// File-error causes and their descriptions, as the file operations of
// CDataFile report them in message boxes.
#pragma once

#include "framework/CString.h"

// The cause numbers are shown to nobody but stay fixed: tests and callers
// compare them.
enum class FileErrorCause : int {
    None = 0,
    Generic = 1,
    FileNotFound = 2,
    BadPath = 3,
    TooManyOpenFiles = 4,
    AccessDenied = 5,
    InvalidFile = 6,
    RemoveCurrentDir = 7,
    DirectoryFull = 8,
    BadSeek = 9,
    HardIO = 10,
    SharingViolation = 11,
    LockViolation = 12,
    DiskFull = 13,
    EndOfFile = 14,
};

// The cause for a platform error code (GetLastError); codes without a more
// specific cause give Generic.
FileErrorCause FileErrorCauseFromOsError(unsigned long osError);

// Longest description a file-error box shows, in bytes.
constexpr int kFileErrorMaxLength = 255;

// The description of cause with path in place of "%1" ("an unnamed file" when
// path is empty), cut to at most maxLength bytes without splitting a
// double-byte character. Causes outside the table describe as Generic.
CString FileErrorDescription(FileErrorCause cause, const CString& path, int maxLength = kFileErrorMaxLength);
