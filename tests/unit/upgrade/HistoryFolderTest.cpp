// The upgrade history on disk, under Wine in temporary folders: the folder
// and header when new, rows only ever appended after whatever the file holds,
// and every failure (file held open, read-only, missing folder, full disk) a
// false with the reason and no change to the file; the side files of runs
// that found upgrades.csv held past the wait, read as if folded, folded by the
// next run that can open it.
#include "files/FileHandle.h"
#include "framework/Hex.h"
#include "upgrade/HistoryFileApi.h"
#include "upgrade/HistoryFolder.h"
#include "upgrade/OptionFormat.h"

#include "tests/support/FileTestSupport.h"
#include "tests/support/RunResults.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

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
    // record_before is digits only: in the form a spreadsheet keeps as text.
    const std::string row = "2024-02-29T23:59:58,orvelle-cli,4,QM-5200," + hexIdentity +
                            ",\"1.01, \"\"beta\"\"\",\"=\"\"" + hexBefore + "\"\"\"," + hexAfter +
                            ",restore:1,";
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

namespace {

// A spreadsheet with upgrades.csv open: it holds the file, letting readers
// in and no writer, for as long as it is open.
class CSpreadsheet {
public:
    explicit CSpreadsheet(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    bool IsOpen() const { return m_file.IsValid(); }
    void Close() { m_file.Close(); }

private:
    CFileHandle m_file;
};

// The process id each run's store gives its side file.
DWORD& FakeProcessId()
{
    static DWORD id = 0;
    return id;
}
DWORD WINAPI FakeGetCurrentProcessId()
{
    return FakeProcessId();
}

// The virtual clock's calls with the test's process ids; side files named
// "upgrades-<...>" may be refused (a History folder where only upgrades.csv
// may be written, which Wine as root cannot give) and their removal may fail.
struct SideFaults {
    DWORD createError = 0;
    bool removeFails = false;
};
SideFaults& CurrentSide()
{
    static SideFaults faults;
    return faults;
}
HANDLE WINAPI SideCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (CurrentSide().createError && std::string(name).find("\\upgrades-") != std::string::npos) {
        SetLastError(CurrentSide().createError);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}
BOOL WINAPI SideSetFileInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size)
{
    if (CurrentSide().removeFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return SetFileInformationByHandle(file, kind, info, size);
}
HistoryFileApi SideFileApi()
{
    HistoryFileApi api = VirtualClockApi();
    api.GetCurrentProcessId = &FakeGetCurrentProcessId;
    api.CreateFileA = &SideCreateFile;
    api.SetFileInformationByHandle = &SideSetFileInformation;
    return api;
}

// Runs of the journal over the history folder, each with its own store as
// each program run has, its own process id and its own time.
class HistorySideFileTest : public HistoryFolderTest {
protected:
    HistorySideFileTest()
    {
        Clock() = VirtualClock{};
        CurrentSide() = SideFaults{};
        for (std::size_t i = 0; i < sizeof before; ++i) {
            before[i] = static_cast<unsigned char>(0x10 + i);
            after[i] = static_cast<unsigned char>(0xA0 + i);
        }
    }

    struct Run {
        Run(const std::string& base, const HistoryFileApi& api, HistoryTime time)
            : folder(
                  base.c_str(), [time] { return time; }, &api),
              journal(folder, History::kProgramConsole, 3)
        {
        }
        CHistoryFolder folder;
        CHistoryJournal journal;
    };

    std::unique_ptr<Run> StartRun(DWORD processId, int minute)
    {
        FakeProcessId() = processId;
        return std::make_unique<Run>(temp.Path(), api, HistoryTime{2024, 3, 1, 10, minute, 0});
    }
    // A run that identifies the radio: one row.
    void IdentifyRun(DWORD processId, int minute)
    {
        auto run = StartRun(processId, minute);
        run->journal.RecordRead(ResultOf(identity, "1.00", before));
        run->journal.Identified();
    }
    std::vector<std::string> Outcomes() const
    {
        std::vector<HistoryListing> rows;
        CString error;
        EXPECT_TRUE(CHistoryFolder(temp.Path().c_str(), FixedTime, &api).ListRows(rows, error))
            << error.str();
        std::vector<std::string> outcomes;
        for (const HistoryListing& row : rows)
            outcomes.push_back(std::to_string(row.number) + " " + row.row.time.str() + " " +
                               row.row.outcome.str());
        return outcomes;
    }
    std::string SideFile(const char* name) const { return temp / ("History\\" + std::string(name)); }

    const HistoryFileApi api = SideFileApi();
    unsigned char identity[IdentityBlock::kSize] = "QM-5200";
    unsigned char before[OptionRecord::kSize] = {};
    unsigned char after[OptionRecord::kSize] = {};
};

} // namespace

TEST_F(HistorySideFileTest, ARowTheHeldFileCannotTakeGoesToASideFileThatTheNextRunFolds)
{
    IdentifyRun(100, 1);
    const std::string first = ReadWholeFile(HistoryFile());
    const char* sideName = "upgrades-20240301-100200-200.csv";

    CSpreadsheet spreadsheet(HistoryFile());
    ASSERT_TRUE(spreadsheet.IsOpen());
    {
        auto run = StartRun(200, 2);
        run->journal.RecordRead(ResultOf(identity, "1.00", before));
        CString reason;
        Clock().slept = 0;
        EXPECT_TRUE(
            run->journal.BeforeWrite(ResultOf(identity, "1.00", before, after, {"C:\\a.ENH"}), reason))
            << reason.str();
        EXPECT_GE(Clock().slept, History::kBusyWaitMs) << "a moment's hold is still waited for";
        EXPECT_EQ(run->folder.SideFilePath().str(), SideFile(sideName));
        // Let go before the run's last row: it joins its pending row.
        spreadsheet.Close();
        run->journal.WriteEnded(CUpgradeJournal::WriteResult::Written);
        ASSERT_EQ(run->journal.Warnings().size(), 1u);
        EXPECT_EQ(run->journal.Warnings()[0].str(),
                  HistoryFile() + " is open in another program: the row went to " + SideFile(sideName));
    }
    EXPECT_EQ(ReadWholeFile(HistoryFile()), first);
    const std::string sideRows = ReadWholeFile(SideFile(sideName));
    EXPECT_EQ(sideRows.rfind(kHeader, 0), 0u) << sideRows;
    // Numbered as if folded, so that restore --entry 3 stays the same row.
    const std::vector<std::string> numbered = {"1 2024-03-01T10:01:00 read", "2 2024-03-01T10:02:00 pending",
                                               "3 2024-03-01T10:02:00 written"};
    EXPECT_EQ(Outcomes(), numbered);
    HistoryRow row3;
    CString error;
    ASSERT_TRUE(CHistoryFolder(temp.Path().c_str(), FixedTime, &api).ReadRow(3, row3, error)) << error.str();

    // The next run folds the side file in before its own row, and removes it.
    IdentifyRun(300, 3);
    EXPECT_EQ(ReadWholeFile(HistoryFile()), first + sideRows.substr(kHeader.size()) +
                                                "2024-03-01T10:03:00,orvelle-cli,3,QM-5200," +
                                                HexLower(identity, sizeof identity).str() + ",1.00," +
                                                HexLower(before, sizeof before).str() + ",,,read\r\n");
    EXPECT_EQ(ReadWholeFile(SideFile(sideName)), "<missing>");
    std::vector<std::string> folded = numbered;
    folded.push_back("4 2024-03-01T10:03:00 read");
    EXPECT_EQ(Outcomes(), folded);
    HistoryRow again;
    ASSERT_TRUE(CHistoryFolder(temp.Path().c_str(), FixedTime, &api).ReadRow(3, again, error)) << error.str();
    EXPECT_EQ(FormatHistoryLine(again).str(), FormatHistoryLine(row3).str());
}

TEST_F(HistorySideFileTest, SideFilesAreFoldedInTimeOrderAndAUsersFilesAreLeftAlone)
{
    MakeHistoryFolder();
    const auto sideFile = [&](const char* time) {
        return kHeader + "2024-03-01T" + time + ",orvelle-cli,3,,,,,,,read\r\n";
    };
    const struct {
        const char* name;
        std::string content;
        bool folded;
    } files[] = {
        {"upgrades-20240301-100500-7.csv", sideFile("10:05:00"), true},
        {"upgrades-20240301-100400-9.csv", sideFile("10:04:00") + "2024-03-01T10:04:30,x,3,,,,,,,read", true},
        {"upgrades-backup.csv", sideFile("09:00:00"), false},
        {"upgrades-20240301-100400-9.csv.old", sideFile("09:01:00"), false},
        {"upgrades-20240301-1004-9.csv", sideFile("09:02:00"), false},
    };
    for (const auto& f : files)
        ASSERT_TRUE(WriteWholeFile(SideFile(f.name), f.content)) << f.name;

    // No upgrades.csv yet: the side files are the history.
    const std::vector<std::string> numbered = {"1 2024-03-01T10:04:00 read", "2 2024-03-01T10:04:30 read",
                                               "3 2024-03-01T10:05:00 read"};
    EXPECT_EQ(Outcomes(), numbered);
    // Nor when another program made it, empty, as it opened it.
    ASSERT_TRUE(WriteWholeFile(HistoryFile(), ""));
    EXPECT_EQ(Outcomes(), numbered);

    IdentifyRun(300, 6);
    std::vector<std::string> folded = numbered;
    folded.push_back("4 2024-03-01T10:06:00 read");
    EXPECT_EQ(Outcomes(), folded);
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(ReadWholeFile(SideFile(f.name)), f.folded ? "<missing>" : f.content);
    }
}

TEST_F(HistorySideFileTest, SideFilesThatCannotBeTakenNowStayForALaterFold)
{
    MakeHistoryFolder();
    const std::string held = "upgrades-20240301-100100-7.csv";
    const std::string kept = kHeader + "2024-03-01T10:01:00,orvelle-cli,3,,,,,,,read\r\n";
    ASSERT_TRUE(WriteWholeFile(SideFile(held.c_str()), kept));

    // Its run is appending to it just now: this fold leaves it.
    {
        HeldOpen writing(SideFile(held.c_str()));
        ASSERT_TRUE(writing.IsOpen());
        IdentifyRun(300, 2);
    }
    EXPECT_EQ(ReadWholeFile(SideFile(held.c_str())), kept);
    EXPECT_EQ(Outcomes(),
              (std::vector<std::string>{"1 2024-03-01T10:02:00 read", "2 2024-03-01T10:01:00 read"}));

    // Folded, but it cannot be removed: it stays, and a row twice is the
    // price (rather than a row lost).
    CurrentSide().removeFails = true;
    IdentifyRun(300, 3);
    EXPECT_EQ(ReadWholeFile(SideFile(held.c_str())), kept);
    CurrentSide().removeFails = false;
    IdentifyRun(300, 4);
    EXPECT_EQ(ReadWholeFile(SideFile(held.c_str())), "<missing>");
    EXPECT_EQ(Outcomes(),
              (std::vector<std::string>{"1 2024-03-01T10:02:00 read", "2 2024-03-01T10:01:00 read",
                                        "3 2024-03-01T10:03:00 read", "4 2024-03-01T10:01:00 read",
                                        "5 2024-03-01T10:04:00 read"}));
}

TEST_F(HistorySideFileTest, ASideFileThatCannotBeWrittenEitherIsTheOldFailure)
{
    IdentifyRun(100, 1);
    const std::string first = ReadWholeFile(HistoryFile());
    CSpreadsheet spreadsheet(HistoryFile());
    ASSERT_TRUE(spreadsheet.IsOpen());
    CurrentSide().createError = ERROR_ACCESS_DENIED;

    auto run = StartRun(200, 2);
    run->journal.RecordRead(ResultOf(identity, "1.00", before));
    CString reason;
    EXPECT_FALSE(run->journal.BeforeWrite(ResultOf(identity, "1.00", before, after), reason));
    const std::string side = SideFile("upgrades-20240301-100200-200.csv");
    EXPECT_EQ(reason.str().rfind(HistoryFile() + ": ", 0), 0u) << reason.str();
    EXPECT_NE(reason.str().find("error 32"), std::string::npos) << reason.str();
    EXPECT_NE(reason.str().find("; " + side + ": "), std::string::npos) << reason.str();
    EXPECT_NE(reason.str().find("error 5"), std::string::npos) << reason.str();
    EXPECT_EQ(run->folder.SideFilePath().str(), "");
    run->journal.NotUpgraded();
    ASSERT_EQ(run->journal.Warnings().size(), 1u);
    EXPECT_EQ(run->journal.Warnings()[0].str(), "history not written: " + reason.str());
    spreadsheet.Close();
    EXPECT_EQ(ReadWholeFile(HistoryFile()), first);
    EXPECT_EQ(ReadWholeFile(side), "<missing>");
}
