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

// Number of causes, None included: the size of a table by cause.
constexpr int kFileErrorCauseCount = static_cast<int>(FileErrorCause::EndOfFile) + 1;

// The texts of file-error boxes in the program's language. Each program
// gives them once, from texts this folder cannot read; an empty text (and
// no texts at all) keeps the built-in English one.
struct FileErrorTexts {
    CString descriptions[kFileErrorCauseCount]; // by cause, each with one "%1" for the file
    CString unnamedFile;                        // in place of "%1" when no file is named
    CString caption;                            // of every file-error box
};

// Longest description a file-error box shows, in bytes.
constexpr int kFileErrorMaxLength = 255;

// The description of cause with path in place of "%1" ("an unnamed file" when
// path is empty), cut to at most maxLength bytes without splitting a
// double-byte character. Causes outside the table describe as Generic.
CString FileErrorDescription(FileErrorCause cause, const CString& path, int maxLength = kFileErrorMaxLength);
// The same from texts' template of the cause and their name of an unnamed
// file, where these are given.
CString FileErrorDescription(FileErrorCause cause, const CString& path, const FileErrorTexts& texts,
                             int maxLength = kFileErrorMaxLength);
// The caption of a file-error box: texts' own, or "Error".
CString FileErrorCaption(const FileErrorTexts& texts);
