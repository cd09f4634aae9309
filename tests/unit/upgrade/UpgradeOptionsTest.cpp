// CUpgradeDlg's option members over real files in a temporary folder, under
// Wine: the folder collection, both modes, file-error boxes, the reads judged
// by the bytes that arrived, the message pause and the wait cursor.
#include "tests/unit/upgrade/DialogFixture.h"

#include "files/DataFile.h"
#include "res/resource.h"
#include "tests/support/ScriptedBoxes.h"
#include "upgrade/DataFileOptionFiles.h"
#include "upgrade/OptionFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>

namespace {

using Record = std::array<unsigned char, OptionRecord::kSize>;

Record SampleRecord(unsigned char firstOptionByte = 0x3F)
{
    Record r{};
    std::memcpy(&r[OptionRecord::kModelName], "QX-5100", 7);
    const unsigned char code[4] = {0x00, 0x00, 0x01, 0x02};
    std::memcpy(&r[OptionRecord::kOptionCode], code, 4);
    r[OptionRecord::kOptionBytes] = firstOptionByte;
    std::fill(r.begin() + OptionRecord::kOptionBytes + 1, r.end(), 0xFF);
    return r;
}

std::vector<unsigned char> OptionBytes(const Record& r)
{
    return {r.begin() + OptionRecord::kOptionBytes, r.end()};
}

const unsigned char* SampleIdentity()
{
    static unsigned char identity[IdentityBlock::kSize] = {'Q', 'X', '-', '5', '1', '0', '0'};
    return identity;
}

// Holds a file open without sharing, as another program might.
class LockedFile {
public:
    explicit LockedFile(const std::string& path)
        : m_handle(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~LockedFile() { CloseHandle(m_handle); }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

private:
    HANDLE m_handle;
};

} // namespace

class UpgradeOptions : public DialogFixture {};

TEST_F(UpgradeOptions, CollectionTakesTheModelsOptionFilesOnly)
{
    const std::string mine1 = Put("mine1.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0F")}));
    const std::string mine2 = Put("Mine2.enh", SampleFile({}));
    Put("other.ENH", SampleFile({}, "V1.00", '1', "QX-5200"));
    std::vector<unsigned char> shortFile = SampleFile({});
    shortFile.resize(OptionFile::kVersionRule + 1);
    Put("short.ENH", shortFile);
    Put("notes.txt", SampleFile({}));
    MakeFolder("folder.ENH"); // named like an option file; no error box for it

    ScriptedBoxes boxes;
    EXPECT_EQ(m_dlg.CollectOptionFiles(SampleIdentity()), 1);
    const std::set<std::string> got(m_dlg.m_OptionFileList.begin(), m_dlg.m_OptionFileList.end());
    EXPECT_EQ(got, (std::set<std::string>{mine1, mine2}));
    EXPECT_TRUE(boxes.shown.empty());

    // Every collection starts from an empty list.
    unsigned char otherIdentity[IdentityBlock::kSize] = {'Q', 'X', '-', '9', '9', '9', '9'};
    EXPECT_EQ(m_dlg.CollectOptionFiles(otherIdentity), 0);
    EXPECT_TRUE(m_dlg.m_OptionFileList.empty());
}

TEST_F(UpgradeOptions, AFileThatCannotBeOpenedIsSkippedAfterItsErrorBox)
{
    const std::string locked = Put("locked.ENH", SampleFile({}));
    const std::string mine = Put("mine.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0")}));
    LockedFile lock(locked);

    ScriptedBoxes boxes;
    EXPECT_EQ(m_dlg.CollectOptionFiles(SampleIdentity()), 1);
    EXPECT_EQ(m_dlg.m_OptionFileList, std::vector<CString>{mine.c_str()});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].owner, m_window);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].type, static_cast<unsigned>(MB_ICONERROR));
    EXPECT_NE(boxes.shown[0].text.find(locked), std::string::npos);

    // The Folder steps skip it the same way and go on with the others.
    m_dlg.m_OptionFileList = {locked.c_str(), mine.c_str()};
    m_dlg.m_strVersion = "V1.00";
    Record record = SampleRecord();
    EXPECT_EQ(m_dlg.ApplyOptions(record.data()), kOptionsMerged);
    EXPECT_EQ(OptionBytes(record),
              (std::vector<unsigned char>{0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
    EXPECT_EQ(boxes.shown.size(), 2u); // only the selection step reads the locked file
}

TEST_F(UpgradeOptions, ApplyOptionsFollowsTheFolderButton)
{
    const std::string a = Put("a.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0FFFFFFF00FFFFFF")}));
    const std::string b = Put("b.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0FFFFFFFFF0FFFFF")}));
    m_dlg.m_OptionFileList = {a.c_str(), b.c_str()};
    m_dlg.m_strFilePath = b.c_str();
    m_dlg.m_strVersion = "V1.00";
    ScriptedBoxes boxes;

    Record record = SampleRecord();
    EXPECT_EQ(m_dlg.ApplyOptions(record.data()), kOptionsMerged);
    EXPECT_EQ(OptionBytes(record),
              (std::vector<unsigned char>{0x3F, 0xFF, 0xFF, 0xFF, 0x00, 0x0F, 0xFF, 0xFF}));

    SetFolderMode(false);
    record = SampleRecord();
    EXPECT_EQ(m_dlg.ApplyOptions(record.data()), kOptionsMerged);
    EXPECT_EQ(OptionBytes(record),
              (std::vector<unsigned char>{0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(UpgradeOptions, FileModeResultsOverRealFiles)
{
    std::vector<unsigned char> shortFile = SampleFile({});
    shortFile.resize(200);
    Put("short.ENH", shortFile);
    Put("strict.ENH", SampleFile({MakeEnhEntry("00000102", 3, "00")}, "V1.30", '1'));
    MakeFolder("folder.ENH");
    struct Case {
        const char* name;
        int expected;
        bool errorBox;
    } cases[] = {
        {"missing.ENH", kFileUnreadable, true},
        {"folder.ENH", kFileUnreadable, true},
        {"short.ENH", kOtherModel, false}, // names no model
        {"strict.ENH", kVersionRequired, false},
    };
    SetFolderMode(false);
    m_dlg.m_strVersion = "V1.20";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedBoxes boxes;
        m_dlg.m_strFilePath = Path(c.name).c_str();
        Record record = SampleRecord();
        EXPECT_EQ(m_dlg.ApplyOptions(record.data()), c.expected);
        EXPECT_EQ(record, SampleRecord());
        ASSERT_EQ(boxes.shown.size(), c.errorBox ? 1u : 0u);
        if (c.errorBox) {
            EXPECT_EQ(boxes.shown[0].owner, m_window);
            EXPECT_EQ(boxes.shown[0].caption, "Error");
        }
    }
}

// A file measured at one size and then read at another is judged by what was
// read: the zeroed rest of the buffer never becomes an entry.
TEST_F(UpgradeOptions, AFileIsJudgedByTheBytesThatArrived)
{
    class CShrunkFiles : public CDataFileOptionFiles {
    public:
        using CDataFileOptionFiles::CDataFileOptionFiles;

    protected:
        unsigned long MeasureFile(const CString& path) override
        {
            return CDataFileOptionFiles::MeasureFile(path) + 2 * OptionEntry::kSize;
        }
    };
    const std::string headerOnly = Put("header.ENH", SampleFile({}));
    CDataFile dataFile;
    CShrunkFiles files(dataFile, &m_dlg, nullptr);

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(files.ReadOptionFile(headerOnly.c_str(), COptionFileAccess::kWholeFile, bytes));
    EXPECT_EQ(bytes.size(), OptionFile::kHeaderSize);

    // A record whose code and type are all zero would take an all-zero entry.
    Record record{};
    std::memcpy(&record[OptionRecord::kModelName], "QX-5100", 7);
    std::fill(record.begin() + OptionRecord::kOptionBytes + 1, record.end(), 0xFF);
    const Record before = record;
    COptionLogic logic(files);
    EXPECT_EQ(logic.ApplyFileOptions(headerOnly.c_str(), record.data(), "V1.00"), kNoEntry);
    EXPECT_EQ(record, before);
}

TEST_F(UpgradeOptions, EachFileReadInAFolderStepLetsOneMessageThroughAndKeepsTheWaitCursor)
{
    const std::string a = Put("a.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0F")}));
    const std::string b = Put("b.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0F")}));
    const std::string missing = Path("gone.ENH");
    ScriptedBoxes boxes;
    const HCURSOR waitCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)); // IDC_WAIT

    PostMessageA(m_window, WM_SYSKEYDOWN, VK_MENU, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
    for (UINT m = WM_APP + 1; m <= WM_APP + 4; ++m)
        PostMessageA(m_window, m, 0, 0);

    Record record = SampleRecord();
    std::vector<CString> selection;
    m_dlg.m_OptionFileList = {a.c_str(), missing.c_str(), b.c_str()};
    {
        CWaitCursor wait; // as the Upgrade command holds it
        CDataFileOptionFiles files = m_dlg.OptionFiles(true);
        EXPECT_EQ(COptionLogic(files).SelectEntryFiles(m_dlg.m_OptionFileList, record.data(), selection),
                  kOptionsMerged);
        // The last message handled put the arrow up; the step put the wait cursor back.
        EXPECT_EQ(GetCursor(), waitCursor);
    }

    // Two files were read: two messages; the unreadable one let none
    // through. The Alt key and the quit request are gone, unhandled.
    ASSERT_EQ(s_seen.size(), 2u);
    EXPECT_EQ(s_seen[0].message, WM_APP + 1u);
    EXPECT_EQ(s_seen[1].message, WM_APP + 2u);
    EXPECT_EQ(AfxGetApp()->GetWaitCursorCount(), 0);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_SYSKEYDOWN, WM_SYSKEYDOWN, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageA(&msg, m_window, WM_APP + 3, WM_APP + 3, PM_NOREMOVE));
    EXPECT_EQ(boxes.shown.size(), 1u); // the missing file's error box
}
