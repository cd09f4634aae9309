#include "files/DataFile.h"

#include "tests/support/FileTestSupport.h"
#include "tests/support/TempFolder.h"
#include "files/FindHandle.h"
#include "files/ModulePath.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class PathTest : public ::testing::Test {
protected:
    TempFolder folder;
    CDataFile data;

    // Every name the enumeration of pattern delivers, closing the search.
    std::multiset<std::string> Enumerate(const std::string& pattern, long* callsReturningOne = nullptr)
    {
        std::multiset<std::string> names;
        CString text(pattern.c_str());
        _finddata_t entry;
        CFindHandle search;
        long ones = 0;
        while (data.ExistOptionFileToModel(&text, &entry, search.Address())) {
            names.insert(entry.name);
            ++ones;
        }
        // Asked again after the end, it still has nothing.
        EXPECT_EQ(data.ExistOptionFileToModel(&text, &entry, search.Address()), 0);
        if (callsReturningOne)
            *callsReturningOne = ones;
        return names;
    }
};

TEST_F(PathTest, ExistPathTestsEntriesAndPatterns)
{
    ASSERT_TRUE(CreateDirectoryA((folder / "opts").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder / "empty").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(folder / "opts\\a.ENH", "x"));
    ASSERT_TRUE(WriteWholeFile(folder / "opts\\readme.txt", "x"));
    ASSERT_TRUE(WriteWholeFile(folder / "empty\\readme.txt", "x"));

    const struct {
        std::string path;
        int expected;
    } cases[] = {
        {folder / "opts\\*.ENH", 1},
        {folder / "empty\\*.ENH", 0},
        {folder / "missing\\*.ENH", 0},
        {folder / "opts", 1},
        {folder / "opts\\a.ENH", 1},
        {folder / "opts\\b.ENH", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(data.ExistPath(c.path.c_str()), c.expected) << c.path;
}

TEST_F(PathTest, EnumerationDeliversEachMatchThenNothing)
{
    for (const char* name : {"one.ENH", "two.ENH", "three.ENH", "other.txt"})
        ASSERT_TRUE(WriteWholeFile(folder / name, "x"));

    long ones = 0;
    const auto names = Enumerate(folder / "*.ENH", &ones);
    EXPECT_EQ(ones, 3);
    EXPECT_EQ(names, (std::multiset<std::string>{"one.ENH", "three.ENH", "two.ENH"}));
}

TEST_F(PathTest, EnumerationOfNothing)
{
    _finddata_t entry;
    intptr_t handle = kNoFindHandle;

    CString empty;
    EXPECT_EQ(data.ExistOptionFileToModel(&empty, &entry, &handle), 0);
    EXPECT_EQ(handle, kNoFindHandle);

    CString noMatch((folder / "*.ENH").c_str());
    EXPECT_EQ(data.ExistOptionFileToModel(&noMatch, &entry, &handle), 0);
    EXPECT_EQ(handle, kNoFindHandle);

    EXPECT_EQ(data.ExistOptionFileToModel(nullptr, &entry, &handle), 0);
    EXPECT_EQ(data.ExistOptionFileToModel(&noMatch, nullptr, &handle), 0);
    EXPECT_EQ(data.ExistOptionFileToModel(&noMatch, &entry, nullptr), 0);
}

TEST_F(PathTest, EnumerationOverAThousandFiles)
{
    std::multiset<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "opt" + std::to_string(i) + ".ENH";
        ASSERT_TRUE(WriteWholeFile(folder / name, "")) << name;
        expected.insert(name);
    }
    EXPECT_EQ(Enumerate(folder / "*.ENH"), expected);
}

TEST_F(PathTest, FindHandleClosesOnlyAnOpenSearch)
{
    ASSERT_TRUE(WriteWholeFile(folder / "a.ENH", "x"));
    CFindHandle none;
    EXPECT_FALSE(none.IsOpen());
    none.Close(); // nothing to close: must not reach _findclose with -1

    _finddata_t entry;
    CFindHandle search(_findfirst((folder / "*.ENH").c_str(), &entry));
    ASSERT_TRUE(search.IsOpen());
    CFindHandle moved(std::move(search));
    EXPECT_FALSE(search.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_EQ(moved.Get(), kNoFindHandle);
}

TEST_F(PathTest, ExePathIsTheProgramsFolderWithABackslash)
{
    const CString exe = data.GetExePath();
    ASSERT_FALSE(exe.IsEmpty());
    EXPECT_EQ(exe.Right(1), "\\");

    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    const std::string modulePath = module;
    EXPECT_EQ(modulePath.substr(0, exe.GetLength()), exe.str());
    EXPECT_EQ(modulePath.find('\\', exe.GetLength()), std::string::npos);
}

TEST(ModulePathTest, RefusesWhatDidNotFitTheBuffer)
{
    const struct {
        const char* buffer;
        unsigned long length;
        unsigned long capacity;
        const char* expected;
    } cases[] = {
        {"C:\\Tools\\app.exe", 16, 260, "C:\\Tools\\"},
        {"C:\\app.exe", 10, 260, "C:\\"},
        {"C:\\Tools\\app.exe", 16, 17, "C:\\Tools\\"},
        // Filled to the last byte: the path was cut (and may lack its NUL).
        {"C:\\Tools\\app.exe", 16, 16, ""},
        {"C:\\Tools\\app", 12, 12, ""},
        {"", 0, 260, ""},
        {"app.exe", 7, 260, ""},
        {nullptr, 5, 260, ""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(ExeFolderFromModulePath(c.buffer, c.length, c.capacity), c.expected)
            << (c.buffer ? c.buffer : "(null)") << " " << c.length << "/" << c.capacity;
    }
}

TEST_F(PathTest, DefaultDataFolderIsCreatedBesideTheProgram)
{
    const std::string name = "files-test-data-" + std::to_string(GetCurrentProcessId());
    data.Initialize(name.c_str());
    const std::string expected = data.GetExePath().str() + name;
    RemoveDirectoryA(expected.c_str());

    EXPECT_EQ(data.GetDefDirPath().str(), expected);
    const DWORD attributes = GetFileAttributesA(expected.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    // Asked again, the existing folder is kept.
    ASSERT_TRUE(WriteWholeFile(expected + "\\keep.ENH", "x"));
    EXPECT_EQ(data.GetDefDirPath().str(), expected);
    EXPECT_EQ(ReadWholeFile(expected + "\\keep.ENH"), "x");

    DeleteFileA((expected + "\\keep.ENH").c_str());
    RemoveDirectoryA(expected.c_str());
}

TEST_F(PathTest, DiskSpaceAndSectorSize)
{
    const std::string file = folder / "out.bin";
    const int sector = data.GetSectorSize(file.c_str());
    ASSERT_GT(sector, 0);

    EXPECT_EQ(data.CheckDiskSpace(file.c_str(), 0), 1);
    EXPECT_EQ(data.CheckDiskSpace(file.c_str(), 1000), 1);
    // Network paths have no drive root in their first three characters.
    EXPECT_EQ(data.GetSectorSize("\\\\server\\share\\x"), -1);
    EXPECT_EQ(data.CheckDiskSpace("\\\\server\\share\\out.bin", 0), 0);
    // No folder at all: nothing to measure.
    EXPECT_EQ(data.CheckDiskSpace("out.bin", 0), 0);
}

TEST_F(PathTest, FileCopyReplacesAnExistingTarget)
{
    ASSERT_TRUE(CreateDirectoryA((folder / "a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder / "b").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(folder / "a\\x.ENH", "new"));
    ASSERT_TRUE(WriteWholeFile(folder / "b\\x.ENH", "old and longer"));

    EXPECT_NE(data.FileCopy((folder / "a\\x.ENH").c_str(), (folder / "b").c_str()), 0);
    EXPECT_EQ(ReadWholeFile(folder / "b\\x.ENH"), "new");

    EXPECT_EQ(data.FileCopy((folder / "a\\missing.ENH").c_str(), (folder / "b").c_str()), 0);
    EXPECT_EQ(data.FileCopy((folder / "a\\x.ENH").c_str(), (folder / "nofolder").c_str()), 0);
}

} // namespace
