#include "files/DataFile.h"

#include "tests/support/FileTestSupport.h"
#include "tests/support/TempFolder.h"
#include "framework/Wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

class DataFileIoTest : public ::testing::Test {
protected:
    DataFileIoTest() { owner.m_hWnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

    TempFolder folder;
    CWnd owner;
    CDataFile data;
    MessageBoxRecorder boxes;

    static const std::vector<RecordedBox>& Shown() { return MessageBoxRecorder::Boxes(); }
};

std::string Bytes(size_t count)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

struct ReadCase {
    size_t fileSize;
    unsigned long bufferSize;
};

TEST_F(DataFileIoTest, ReadsUpToTheBufferAndReportsTheBytesRead)
{
    const ReadCase cases[] = {{10, 16}, {16, 10}, {0, 8}, {480, 480}, {100000, 100000}};
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileSize << " bytes into " << c.bufferSize);
        const std::string path = folder / "a.ENH";
        const std::string content = Bytes(c.fileSize);
        ASSERT_TRUE(WriteWholeFile(path, content));

        std::vector<char> buffer(c.bufferSize, '\xCC');
        unsigned long bytesRead = 12345;
        EXPECT_EQ(data.DataFileOpen(&owner, buffer.data(), c.bufferSize, path.c_str(), &bytesRead), 1);

        const size_t expected = std::min<size_t>(c.fileSize, c.bufferSize);
        EXPECT_EQ(bytesRead, expected);
        EXPECT_EQ(std::string(buffer.data(), expected), content.substr(0, expected));
        // What the file did not supply stays as it was.
        EXPECT_EQ(std::string(buffer.begin() + expected, buffer.end()),
                  std::string(c.bufferSize - expected, '\xCC'));
    }
    EXPECT_TRUE(Shown().empty());
}

TEST_F(DataFileIoTest, SpecSignatureReadsTheSame)
{
    const std::string path = folder / "b.ENH";
    ASSERT_TRUE(WriteWholeFile(path, "xyz"));
    char buffer[5] = {'-', '-', '-', '-', '-'};
    EXPECT_EQ(data.DataFileOpen(&owner, buffer, sizeof buffer, path.c_str()), 1);
    EXPECT_EQ(std::string(buffer, 5), "xyz--");
}

struct OpenFailureCase {
    const char* name;
    std::string path;
    bool holdOpen;
    std::string text;
};

TEST_F(DataFileIoTest, FailedOpenShowsTheFileErrorBox)
{
    const std::string held = folder / "held.ENH";
    ASSERT_TRUE(WriteWholeFile(held, Bytes(480)));
    const std::string missing = folder / "missing.ENH";
    const std::string noFolder = folder / "nofolder\\x.ENH";

    const OpenFailureCase cases[] = {
        {"missing file", missing, false, missing + " was not found."},
        {"missing folder", noFolder, false, noFolder + " contains an invalid path."},
        {"held open elsewhere", held, true, "A sharing violation occurred while accessing " + held + "."},
    };
    for (const OpenFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        MessageBoxRecorder::Boxes().clear();
        std::unique_ptr<HeldOpen> other;
        if (c.holdOpen) {
            other = std::make_unique<HeldOpen>(c.path);
            ASSERT_TRUE(other->IsOpen());
        }

        char buffer[480];
        unsigned long bytesRead = 99;
        EXPECT_EQ(data.DataFileOpen(&owner, buffer, sizeof buffer, c.path.c_str(), &bytesRead), 0);
        EXPECT_EQ(bytesRead, 0u);

        ASSERT_EQ(Shown().size(), 1u);
        EXPECT_EQ(Shown()[0].owner, owner.m_hWnd);
        EXPECT_EQ(Shown()[0].text, c.text);
        EXPECT_EQ(Shown()[0].caption, "Error");
        EXPECT_EQ(Shown()[0].type, 0x10u);
    }
}

TEST_F(DataFileIoTest, FailedOpenWithoutOwnerHasNoOwner)
{
    char buffer[4];
    EXPECT_EQ(data.DataFileOpen(nullptr, buffer, sizeof buffer, (folder / "none").c_str()), 0);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].owner, nullptr);
}

TEST_F(DataFileIoTest, SaveWritesAndCutsAnExistingFile)
{
    const std::string path = folder / "out.bin";
    ASSERT_TRUE(WriteWholeFile(path, Bytes(1000)));

    std::string content = "new content";
    EXPECT_EQ(
        data.DataFileSave(&owner, content.data(), static_cast<unsigned long>(content.size()), path.c_str()),
        1);
    EXPECT_EQ(ReadWholeFile(path), content);
    EXPECT_TRUE(Shown().empty());
}

TEST_F(DataFileIoTest, SaveToAFileHeldOpenFailsAndLeavesIt)
{
    const std::string path = folder / "held.bin";
    ASSERT_TRUE(WriteWholeFile(path, "old"));
    HeldOpen other(path);
    ASSERT_TRUE(other.IsOpen());

    char content[] = "new";
    EXPECT_EQ(data.DataFileSave(&owner, content, 3, path.c_str()), 0);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].text, "A sharing violation occurred while accessing " + path + ".");
    EXPECT_EQ(Shown()[0].type, 0x10u);
    EXPECT_EQ(ReadWholeFile(path), "old");
}

TEST_F(DataFileIoTest, SaveWithoutDiskFiguresReportsDiskFullForAnUnnamedFile)
{
    // A network path has no drive root in its first three characters, so its
    // disk cannot be measured.
    char content[] = "abc";
    EXPECT_EQ(data.DataFileSave(&owner, content, 3, "\\\\server\\share\\out.bin"), 0);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_EQ(Shown()[0].owner, owner.m_hWnd);
    EXPECT_EQ(Shown()[0].text, "Disk full while accessing an unnamed file.");
    EXPECT_EQ(Shown()[0].caption, "Error");
    EXPECT_EQ(Shown()[0].type, 0x10u);
}

TEST_F(DataFileIoTest, FileSizeIsZeroWhenTheFileCannotBeOpened)
{
    const std::string sized = folder / "sized.ENH";
    const std::string empty = folder / "empty.ENH";
    const std::string held = folder / "held.ENH";
    ASSERT_TRUE(WriteWholeFile(sized, Bytes(1234)));
    ASSERT_TRUE(WriteWholeFile(empty, ""));
    ASSERT_TRUE(WriteWholeFile(held, Bytes(10)));
    HeldOpen other(held);
    ASSERT_TRUE(other.IsOpen());

    EXPECT_EQ(data.GetFileSize(sized.c_str()), 1234u);
    EXPECT_EQ(data.GetFileSize(empty.c_str()), 0u);
    EXPECT_EQ(data.GetFileSize((folder / "missing.ENH").c_str()), 0u);
    EXPECT_EQ(data.GetFileSize(held.c_str()), 0u);
    EXPECT_TRUE(Shown().empty());
}

} // namespace
