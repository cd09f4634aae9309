// The upgrade history on disk, under Wine in temporary folders: the folder
// and header when new, rows only ever appended after whatever the file holds,
// and every failure (file held open, read-only, missing folder, full disk) a
// false with the reason and no change to the file.
#include "framework/Hex.h"
#include "upgrade/HistoryFileApi.h"
#include "upgrade/HistoryFolder.h"
#include "upgrade/OptionFormat.h"

#include "tests/support/FileTestSupport.h"
#include "tests/support/RunResults.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace {

const std::string kHeader =
    "time,program,port,model,identity,version,record_before,record_after,sources,outcome\r\n";

HistoryTime FixedTime()
{
    return {2024, 2, 29, 23, 59, 58};
}

// The busy wait's clock: Sleep moves it on, nothing really waits.
struct VirtualClock {
    DWORD now = 0;
    DWORD slept = 0;
};
VirtualClock& Clock()
{
    static VirtualClock clock;
    return clock;
}
DWORD WINAPI VirtualTicks()
{
    return Clock().now;
}
void WINAPI VirtualSleep(DWORD ms)
{
    Clock().now += ms;
    Clock().slept += ms;
}

// The platform's calls on the virtual clock.
HistoryFileApi VirtualClockApi()
{
    HistoryFileApi api = PlatformHistoryFileApi();
    api.GetTickCount = &VirtualTicks;
    api.Sleep = &VirtualSleep;
    return api;
}

class HistoryFolderTest : public ::testing::Test {
protected:
    std::string HistoryFolder() const { return temp / "History"; }
    std::string HistoryFile() const { return temp / "History\\upgrades.csv"; }

    // Appends through a fresh store, as each run does.
    bool Append(const std::string& line, CString* error = nullptr, const HistoryFileApi* api = nullptr)
    {
        CHistoryFolder folder(temp.Path().c_str(), FixedTime, api);
        CString reason;
        const bool appended = folder.AppendLine(line.c_str(), reason);
        EXPECT_EQ(appended, reason.IsEmpty()) << reason.str();
        if (error)
            *error = reason;
        return appended;
    }

    void MakeHistoryFolder() { ASSERT_TRUE(CreateDirectoryA(HistoryFolder().c_str(), nullptr)); }

    TempFolder temp;
};

} // namespace

TEST_F(HistoryFolderTest, NewFolderAndFileGetTheHeaderThenRowsFollowIt)
{
    ASSERT_EQ(GetFileAttributesA(HistoryFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(Append("row 1\r\n"));
    EXPECT_NE(GetFileAttributesA(HistoryFolder().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    ASSERT_TRUE(Append("row 2\r\n"));
    EXPECT_EQ(ReadWholeFile(HistoryFile()), kHeader + "row 1\r\nrow 2\r\n");
}

TEST_F(HistoryFolderTest, ExistingBytesStayAsTheyAreAndRowsStartALineOfTheirOwn)
{
    const struct {
        const char* name;
        std::string existing;
        std::string appended; // what the row adds
    } cases[] = {
        {"empty file", "", kHeader + "row\r\n"},
        {"our own file", kHeader + "old\r\n", "row\r\n"},
        {"ends in LF", "foreign\n", "row\r\n"},
        {"ends in CR", "foreign\r", "row\r\n"},
        {"no final line break", "foreign,\"open quote", "\r\nrow\r\n"},
        {"header without line break", kHeader.substr(0, kHeader.size() - 2), "\r\nrow\r\n"},
        {"binary", std::string("\0\xff\x1a\"\r\n\0", 7), "\r\nrow\r\n"},
        {"one byte", "x", "\r\nrow\r\n"},
    };
    for (const auto& c : cases) {
        CreateDirectoryA(HistoryFolder().c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(HistoryFile(), c.existing)) << c.name;
        ASSERT_TRUE(Append("row\r\n")) << c.name;
        EXPECT_EQ(ReadWholeFile(HistoryFile()), c.existing + c.appended) << c.name;
    }
}

TEST_F(HistoryFolderTest, AFileHeldOpenByAnotherProgramIsAFailureAndStaysAsItWas)
{
    const std::string existing = kHeader + "old\r\n";
    const struct {
        const char* name;
        DWORD sharing; // of another handle that holds the file open
    } cases[] = {
        {"held open without sharing", 0},
        {"held open by a reader that lets nobody write", FILE_SHARE_READ},
    };
    MakeHistoryFolder();
    // Held for longer than the row waits: the wait on a virtual clock.
    const HistoryFileApi api = VirtualClockApi();
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(HistoryFile(), existing)) << c.name;
        HANDLE holder =
            CreateFileA(HistoryFile().c_str(), GENERIC_READ, c.sharing, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE) << c.name;
        CString error;
        Clock() = VirtualClock{};
        EXPECT_FALSE(Append("row\r\n", &error, &api)) << c.name;
        EXPECT_GE(Clock().slept, History::kBusyWaitMs) << c.name;
        CloseHandle(holder);
        EXPECT_EQ(error.str().rfind(HistoryFile() + ": ", 0), 0u) << c.name << ": " << error.str();
        EXPECT_NE(error.str().find("error 32"), std::string::npos) << c.name << ": " << error.str();
        EXPECT_EQ(ReadWholeFile(HistoryFile()), existing) << c.name;
    }
}

TEST_F(HistoryFolderTest, AReaderThatSharesWritingDoesNotStopTheRow)
{
    MakeHistoryFolder();
    ASSERT_TRUE(WriteWholeFile(HistoryFile(), kHeader));
    HeldOpen reader(HistoryFile());
    ASSERT_TRUE(reader.IsOpen());
    ASSERT_TRUE(Append("row\r\n"));
    EXPECT_EQ(ReadWholeFile(HistoryFile()), kHeader + "row\r\n");
}

TEST_F(HistoryFolderTest, AFolderThatCannotBeMadeIsAFailureNotAFolderElsewhere)
{
    // Its parent is missing: nothing is created on the way.
    {
        CHistoryFolder folder((temp / "missing").c_str(), FixedTime);
        CString error;
        EXPECT_FALSE(folder.AppendLine("row\r\n", error));
        EXPECT_EQ(error.str().rfind(temp / "missing\\History: ", 0), 0u) << error.str();
        EXPECT_EQ(GetFileAttributesA((temp / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // A file has the folder's name.
    {
        ASSERT_TRUE(WriteWholeFile(HistoryFolder(), "not a folder"));
        CString error;
        EXPECT_FALSE(Append("row\r\n", &error));
        EXPECT_EQ(error.str().rfind(HistoryFile() + ": ", 0), 0u) << error.str();
        EXPECT_EQ(ReadWholeFile(HistoryFolder()), "not a folder");
    }
    // The program's folder is not known: never the current directory.
    {
        char current[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, current);
        ASSERT_TRUE(SetCurrentDirectoryA(temp.Path().c_str()));
        CHistoryFolder folder("", FixedTime);
        CString error;
        EXPECT_FALSE(folder.AppendLine("row\r\n", error));
        EXPECT_FALSE(error.IsEmpty());
        HistoryRow row;
        EXPECT_FALSE(folder.ReadRow(1, row, error));
        SetCurrentDirectoryA(current);
        EXPECT_EQ(GetFileAttributesA(HistoryFolder().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    }
}

TEST_F(HistoryFolderTest, PathsWithAndWithoutTheTrailingBackslash)
{
    EXPECT_EQ(CHistoryFolder((temp.Path() + "\\").c_str()).FilePath().str(), HistoryFile());
    EXPECT_EQ(CHistoryFolder(temp.Path().c_str()).FilePath().str(), HistoryFile());
    EXPECT_EQ(CHistoryFolder(temp.Path().c_str()).FolderPath().str(), HistoryFolder());
    EXPECT_EQ(CHistoryFolder("").FilePath().str(), "");
}

namespace {

// The platform's calls, except the ones a case makes fail as Windows would:
// a read-only file or a folder the user may not write to (Wine lets root
// write to both), a disk that fills up, a flush that fails. While a row is written, it also tries to open the
// file as another reader and another writer would.
struct Faults {
    DWORD createFileError = 0;
    DWORD writeError = 0;
    DWORD shortWrite = 0; // bytes to leave out
    DWORD flushError = 0;
    std::string path = {};
    bool readerLetIn = false;
    bool writerLetIn = true;
    // Another program's moment with the file: until the virtual clock
    // reaches busyUntil, the open (or the write) fails with busyError.
    DWORD busyError = 0;
    DWORD busyUntil = 0;
    bool busyOnWrite = false;
    int writes = 0; // WriteFile calls that reached the file
};
Faults& Current()
{
    static Faults faults;
    return faults;
}

HANDLE WINAPI FaultyCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (Current().createFileError) {
        SetLastError(Current().createFileError);
        return INVALID_HANDLE_VALUE;
    }
    if (Current().busyError && !Current().busyOnWrite &&
        static_cast<LONG>(Current().busyUntil - Clock().now) > 0) {
        SetLastError(Current().busyError);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED at)
{
    HANDLE reader = CreateFileA(Current().path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    Current().readerLetIn = reader != INVALID_HANDLE_VALUE;
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);
    HANDLE writer = CreateFileA(Current().path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    Current().writerLetIn = writer != INVALID_HANDLE_VALUE;
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);

    if (Current().writeError) {
        *written = 0;
        SetLastError(Current().writeError);
        return FALSE;
    }
    if (Current().busyError && Current().busyOnWrite &&
        static_cast<LONG>(Current().busyUntil - Clock().now) > 0) {
        *written = 0;
        SetLastError(Current().busyError);
        return FALSE;
    }
    ++Current().writes;
    return WriteFile(file, data, size - Current().shortWrite, written, at);
}

BOOL WINAPI FaultyFlush(HANDLE file)
{
    if (Current().flushError) {
        SetLastError(Current().flushError);
        return FALSE;
    }
    return FlushFileBuffers(file);
}

HistoryFileApi FaultyApi()
{
    HistoryFileApi api = VirtualClockApi();
    api.CreateFileA = &FaultyCreateFile;
    api.WriteFile = &FaultyWriteFile;
    api.FlushFileBuffers = &FaultyFlush;
    return api;
}

} // namespace

TEST_F(HistoryFolderTest, FailuresOnlyWindowsGivesAreReportedToo)
{
    const HistoryFileApi api = FaultyApi();
    const struct {
        const char* name;
        Faults faults;
        const char* reasonPart;
    } cases[] = {
        {"read-only file or folder", {ERROR_ACCESS_DENIED}, "error 5"},
        {"disk full", {0, ERROR_DISK_FULL}, "error 112"},
        {"disk full part way", {0, 0, 3}, "error 39"},
        {"flush failed", {0, 0, 0, ERROR_IO_DEVICE}, "error 1117"},
    };
    for (const auto& c : cases) {
        Current() = c.faults;
        Current().path = HistoryFile();
        CString error;
        EXPECT_FALSE(Append("row\r\n", &error, &api)) << c.name;
        EXPECT_EQ(error.str().rfind(HistoryFile() + ": ", 0), 0u) << c.name << ": " << error.str();
        EXPECT_NE(error.str().find(c.reasonPart), std::string::npos) << c.name << ": " << error.str();
    }

    // A write that failed left nothing; the one cut short left part of the
    // header and row, and the next row (the failed flush's) a line of its own.
    Current() = Faults{};
    Current().path = HistoryFile();
    ASSERT_TRUE(Append("next\r\n", nullptr, &api));
    EXPECT_EQ(ReadWholeFile(HistoryFile()), kHeader + "ro" + "\r\nrow\r\n" + "next\r\n");
    // While a row is written, readers may open the file; writers may not.
    EXPECT_TRUE(Current().readerLetIn);
    EXPECT_FALSE(Current().writerLetIn);
}

TEST_F(HistoryFolderTest, AFileBusyForAMomentIsWaitedForUpToTheLimit)
{
    const HistoryFileApi api = FaultyApi();
    const DWORD kLimit = History::kBusyWaitMs;
    const struct {
        const char* name;
        DWORD start; // the virtual clock's first value
        DWORD error;
        DWORD busyFor;
        bool onWrite;
        bool written;
    } cases[] = {
        {"sharing violation on the open", 0, ERROR_SHARING_VIOLATION, kLimit / 2, false, true},
        {"lock violation on the open", 0, ERROR_LOCK_VIOLATION, kLimit - 100, false, true},
        {"lock violation on the write", 0, ERROR_LOCK_VIOLATION, kLimit / 2, true, true},
        {"across the tick count's wrap", 0xFFFFFF00u, ERROR_SHARING_VIOLATION, kLimit / 2, false, true},
        {"busy for longer than the limit", 0, ERROR_SHARING_VIOLATION, kLimit + 500, false, false},
        {"locked for longer than the limit", 0, ERROR_LOCK_VIOLATION, kLimit + 500, true, false},
        {"not busy but denied: no wait", 0, ERROR_ACCESS_DENIED, kLimit / 2, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(HistoryFile().c_str());
        Clock() = VirtualClock{c.start, 0};
        Current() = Faults{};
        Current().path = HistoryFile();
        Current().busyError = c.error;
        Current().busyUntil = c.start + c.busyFor;
        Current().busyOnWrite = c.onWrite;

        CString error;
        EXPECT_EQ(Append("row\r\n", &error, &api), c.written);
        if (c.written) {
            EXPECT_EQ(ReadWholeFile(HistoryFile()), kHeader + "row\r\n") << "once";
            EXPECT_GE(Clock().slept, c.busyFor);
            EXPECT_LT(Clock().slept, c.busyFor + History::kBusyPauseMs + 1);
            continue;
        }
        const bool busy = c.error != ERROR_ACCESS_DENIED;
        EXPECT_EQ(Clock().slept >= kLimit, busy);
        EXPECT_LT(Clock().slept, kLimit + History::kBusyPauseMs + 1);
        if (!busy) {
            EXPECT_EQ(Clock().slept, 0u);
        }
        EXPECT_NE(error.str().find(c.error == ERROR_LOCK_VIOLATION ? "error 33"
                                   : busy                          ? "error 32"
                                                                   : "error 5"),
                  std::string::npos)
            << error.str();
        EXPECT_EQ(Current().writes, 0);
        EXPECT_EQ(ReadWholeFile(HistoryFile()), c.onWrite ? "" : "<missing>") << "nothing written";
    }
}

TEST_F(HistoryFolderTest, JournalRowsAreReadBackForARestore)
{
    unsigned char identity[IdentityBlock::kSize] = "QM-5200";
    unsigned char before[OptionRecord::kSize] = {0x01, 0x02};
    unsigned char after[OptionRecord::kSize] = {0xA1, 0xB2};
    CHistoryFolder folder(temp.Path().c_str(), FixedTime);
    CHistoryJournal journal(folder, History::kProgramConsole, 4);
    journal.RecordRead(ResultOf(identity, "1.01, \"beta\"", before));
    CString reason;
    EXPECT_TRUE(journal.BeforeWrite(
        ResultOf(identity, "1.01, \"beta\"", before, after, {History::RestoreRowSource(1)}), reason));
    journal.WriteEnded(CUpgradeJournal::WriteResult::Written);
    EXPECT_TRUE(journal.Warnings().empty());

    const std::string hexBefore = HexLower(before, sizeof before).str();
    const std::string hexAfter = HexLower(after, sizeof after).str();
    const std::string hexIdentity = HexLower(identity, sizeof identity).str();
    const std::string row = "2024-02-29T23:59:58,orvelle-cli,4,QM-5200," + hexIdentity +
                            ",\"1.01, \"\"beta\"\"\"," + hexBefore + "," + hexAfter + ",restore:1,";
    EXPECT_EQ(ReadWholeFile(HistoryFile()), kHeader + row + "pending\r\n" + row + "written\r\n");

    HistoryRow read;
    CString error;
    ASSERT_TRUE(folder.ReadRow(2, read, error)) << error.str();
    EXPECT_EQ(read.outcome.str(), "written");
    EXPECT_EQ(read.version.str(), "1.01, \"beta\"");
    EXPECT_EQ(read.recordBefore.str(), hexBefore);
    EXPECT_TRUE(HistoryRowMatches(read, identity));

    EXPECT_FALSE(folder.ReadRow(3, read, error));
    EXPECT_EQ(error.str(), HistoryFile() + ": the history has no row 3 (it has 2)");
}

TEST_F(HistoryFolderTest, ReadingRefusesMissingAndOversizedFiles)
{
    CHistoryFolder folder(temp.Path().c_str(), FixedTime);
    HistoryRow row;
    CString error;
    EXPECT_FALSE(folder.ReadRow(1, row, error));
    EXPECT_EQ(error.str().rfind(HistoryFile() + ": ", 0), 0u) << error.str();

    // Larger than the limit by one byte; the file's length is set, not written.
    MakeHistoryFolder();
    {
        HANDLE file =
            CreateFileA(HistoryFile().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = static_cast<LONGLONG>(History::kMaxFileSize) + 1;
        EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(file));
        CloseHandle(file);
    }
    EXPECT_FALSE(folder.ReadRow(1, row, error));
    EXPECT_EQ(error.str(), HistoryFile() + ": the history is larger than 64 MiB");
}
