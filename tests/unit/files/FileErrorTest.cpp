#include "files/FileError.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

struct CauseCase {
    DWORD osError;
    FileErrorCause cause;
};

// The codes a failed open or transfer gives most often, and a few that must
// not fall to the generic cause.
const CauseCase kCauseCases[] = {
    {NO_ERROR, FileErrorCause::None},
    {ERROR_FILE_NOT_FOUND, FileErrorCause::FileNotFound},
    {ERROR_PATH_NOT_FOUND, FileErrorCause::BadPath},
    {ERROR_TOO_MANY_OPEN_FILES, FileErrorCause::TooManyOpenFiles},
    {ERROR_ACCESS_DENIED, FileErrorCause::AccessDenied},
    {ERROR_SHARING_VIOLATION, FileErrorCause::SharingViolation},
    {ERROR_LOCK_VIOLATION, FileErrorCause::LockViolation},
    {ERROR_HANDLE_DISK_FULL, FileErrorCause::DiskFull},
    {ERROR_DISK_FULL, FileErrorCause::DiskFull},
    {ERROR_HANDLE_EOF, FileErrorCause::EndOfFile},
    {ERROR_INVALID_HANDLE, FileErrorCause::InvalidFile},
    {ERROR_INVALID_NAME, FileErrorCause::BadPath},
    {ERROR_WRITE_PROTECT, FileErrorCause::AccessDenied},
    {ERROR_CRC, FileErrorCause::HardIO},
    {ERROR_SEEK, FileErrorCause::BadSeek},
    {ERROR_CURRENT_DIRECTORY, FileErrorCause::RemoveCurrentDir},
    {ERROR_NOT_ENOUGH_MEMORY, FileErrorCause::Generic},
    {ERROR_INVALID_PARAMETER, FileErrorCause::Generic},
    {0xFFFFFFFFul, FileErrorCause::Generic},
};

TEST(FileErrorCauseTest, MapsPlatformErrors)
{
    for (const CauseCase& c : kCauseCases) {
        EXPECT_EQ(FileErrorCauseFromOsError(c.osError), c.cause) << "platform error " << c.osError;
    }
}

struct DescriptionCase {
    int cause;
    const char* expected;
};

const DescriptionCase kDescriptionCases[] = {
    {0, "No error occurred."},
    {1, "An unknown error occurred while accessing C:\\a\\b.ENH."},
    {2, "C:\\a\\b.ENH was not found."},
    {3, "C:\\a\\b.ENH contains an invalid path."},
    {4, "C:\\a\\b.ENH could not be opened because there are too many open files."},
    {5, "Access to C:\\a\\b.ENH was denied."},
    {6, "An invalid file handle was associated with C:\\a\\b.ENH."},
    {7, "C:\\a\\b.ENH could not be removed because it is the current directory."},
    {8, "C:\\a\\b.ENH could not be created because the directory is full."},
    {9, "Seek failed on C:\\a\\b.ENH"},
    {10, "A hardware I/O error was reported while accessing C:\\a\\b.ENH."},
    {11, "A sharing violation occurred while accessing C:\\a\\b.ENH."},
    {12, "A locking violation occurred while accessing C:\\a\\b.ENH."},
    {13, "Disk full while accessing C:\\a\\b.ENH."},
    {14, "An attempt was made to access C:\\a\\b.ENH past its end."},
    // Outside the table: described as the generic cause.
    {15, "An unknown error occurred while accessing C:\\a\\b.ENH."},
    {-1, "An unknown error occurred while accessing C:\\a\\b.ENH."},
};

TEST(FileErrorDescriptionTest, PutsThePathInEveryDescription)
{
    for (const DescriptionCase& c : kDescriptionCases) {
        EXPECT_STREQ(FileErrorDescription(static_cast<FileErrorCause>(c.cause), "C:\\a\\b.ENH"), c.expected)
            << "cause " << c.cause;
    }
}

TEST(FileErrorDescriptionTest, NamesAnUnnamedFileWithoutAPath)
{
    EXPECT_STREQ(FileErrorDescription(FileErrorCause::DiskFull, ""),
                 "Disk full while accessing an unnamed file.");
}

TEST(FileErrorDescriptionTest, LeavesAPercentOneInThePathAlone)
{
    EXPECT_STREQ(FileErrorDescription(FileErrorCause::FileNotFound, "C:\\%1\\x"), "C:\\%1\\x was not found.");
}

TEST(FileErrorDescriptionTest, CutsLongTextsToTheLimit)
{
    const std::string path = "C:\\" + std::string(300, 'p');
    const std::string full = "Access to " + path + " was denied.";

    const CString cut = FileErrorDescription(FileErrorCause::AccessDenied, path.c_str());
    EXPECT_EQ(cut.str(), full.substr(0, 255));

    const CString shorter = FileErrorDescription(FileErrorCause::AccessDenied, path.c_str(), 254);
    EXPECT_EQ(shorter.str(), full.substr(0, 254));

    // A text of exactly the limit stays whole.
    EXPECT_STREQ(FileErrorDescription(FileErrorCause::AccessDenied, "C:\\x", 26),
                 "Access to C:\\x was denied.");
}

// Given texts: a cause's own template replaces the English one, with the
// path (or the texts' name of an unnamed file) only at the template's own
// "%1"; empty texts keep the English ones; a cause outside the table takes
// the generic template; the cut still applies.
TEST(FileErrorDescriptionTest, GivenTextsReplaceTheEnglishOnes)
{
    FileErrorTexts texts;
    texts.descriptions[static_cast<int>(FileErrorCause::FileNotFound)] = "%1 fehlt (%1).";
    texts.descriptions[static_cast<int>(FileErrorCause::Generic)] = "Fehler bei %1.";
    texts.descriptions[static_cast<int>(FileErrorCause::DiskFull)] = "Voll: %1";
    texts.unnamedFile = "eine unbenannte Datei";
    const struct {
        const char* name;
        FileErrorCause cause;
        const char* path;
        int maxLength;
        const char* expected;
    } cases[] = {
        {"own template, second %1 left", FileErrorCause::FileNotFound, "C:\\a.ENH", 255,
         "C:\\a.ENH fehlt (%1)."},
        {"%1 in the path left", FileErrorCause::DiskFull, "C:\\%1\\%2", 255, "Voll: C:\\%1\\%2"},
        {"own unnamed file", FileErrorCause::DiskFull, "", 255, "Voll: eine unbenannte Datei"},
        {"no own template: English", FileErrorCause::AccessDenied, "C:\\a.ENH", 255,
         "Access to C:\\a.ENH was denied."},
        {"outside the table: own generic", static_cast<FileErrorCause>(99), "C:\\a.ENH", 255,
         "Fehler bei C:\\a.ENH."},
        {"cut", FileErrorCause::DiskFull, "C:\\abc", 9, "Voll: C:\\"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(FileErrorDescription(c.cause, c.path, texts, c.maxLength), c.expected) << c.name;
    }
    EXPECT_STREQ(FileErrorDescription(FileErrorCause::DiskFull, "", FileErrorTexts()),
                 "Disk full while accessing an unnamed file.");
}

TEST(FileErrorDescriptionTest, CaptionIsTheTextsOwnOrError)
{
    FileErrorTexts texts;
    EXPECT_STREQ(FileErrorCaption(texts), "Error");
    texts.caption = "Fehler";
    EXPECT_STREQ(FileErrorCaption(texts), "Fehler");
}

} // namespace
