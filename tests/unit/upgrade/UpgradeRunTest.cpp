// The Upgrade command and the run, in process under Wine, against the link's
// fake transceiver with a scripted user at the message boxes: each outcome's
// messages (body, caption, icon, owner), what was read and written, and the
// dialog unlocked afterwards.
#include "framework/Hex.h"
#include "tests/unit/upgrade/DialogFixture.h"
#include "text/Csv.h"
#include "text/TextNumbers.h"

#include "res/resource.h"
#include "tests/support/FileTestSupport.h"
#include "tests/support/FakeTransceiver.h"
#include "tests/support/SampleTransceiver.h"
#include "tests/support/ScriptedBoxes.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace {

using Bytes = std::vector<unsigned char>;

// The sample transceiver with a record of 0x11 bytes made to fit the sample
// option file.
void SampleTransceiver(FakeTransceiver& fake, const char* model = kSampleModel)
{
    SampleIdentity(fake, model);
    fake.record = Bytes(OptionRecord::kSize, 0x11);
    FitSampleRecord(fake, model);
}

bool Sent(const FakeTransceiver& fake, const Bytes& frame)
{
    const auto frames = fake.WrittenFrames();
    return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

const Bytes kVersionRequest = {0x50};
const Bytes kRecordRequest = {0x55, 0x52, 0xCB};

struct Box {
    int body;
    int caption;
    unsigned type;
};

} // namespace

class UpgradeRun : public DialogFixture {
protected:
    // Runs the Upgrade command; checks the dialog is unlocked afterwards.
    void Upgrade()
    {
        m_dlg.OnUpgrade();
        EXPECT_EQ(GetWindowTextString(), std::string(theLanguage.GetText(TextNo::kAppTitle)));
        for (int id :
             {IDC_MODE_GROUP, IDC_FOLDER_MODE, IDC_FILE_MODE, IDC_BROWSE, IDC_UPGRADE, IDC_PATH_EDIT})
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(m_window, id))) << id;
        EXPECT_EQ(AfxGetApp()->GetWaitCursorCount(), 0);
    }
    std::string GetWindowTextString() const
    {
        char text[256] = {};
        GetWindowTextA(m_window, text, sizeof text);
        return text;
    }
    void ExpectBoxes(const std::vector<Box>& expected)
    {
        ASSERT_EQ(m_boxes.shown.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(m_boxes.shown[i].text, std::string(theLanguage.GetText(expected[i].body)));
            EXPECT_EQ(m_boxes.shown[i].caption, std::string(theLanguage.GetText(expected[i].caption)));
            EXPECT_EQ(m_boxes.shown[i].type, expected[i].type);
            EXPECT_EQ(m_boxes.shown[i].owner, m_window);
        }
    }

    ScriptedBoxes m_boxes;
};

// Every way a run ends, from the option files and the transceiver.
TEST_F(UpgradeRun, Outcomes)
{
    const Bytes kMerged = {0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0};
    struct Case {
        const char* name;
        std::function<void(UpgradeRun&, FakeTransceiver&)> setup;
        std::vector<Box> boxes;
        bool written;        // the record reached the transceiver and was kept
        bool versionRead;    // the version and the record were asked for
        const char* version; // kept in the dialog afterwards
    };
    const EnhEntry fits = MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0");
    const Case cases[] = {
        {"record written",
         [&](UpgradeRun& t, FakeTransceiver&) { t.Put("a.ENH", SampleFile({fits})); },
         {{TextNo::kRecordWritten, TextNo::kCaptionOutcome, MB_ICONINFORMATION}},
         true,
         true,
         "V1.20"},
        {"written with the advisory note",
         [&](UpgradeRun& t, FakeTransceiver&) { t.Put("a.ENH", SampleFile({fits}, "V1.30", '0')); },
         {{TextNo::kRecordWritten, TextNo::kCaptionOutcome, MB_ICONINFORMATION},
          {TextNo::kVersionRecommended, TextNo::kCaptionWarning, MB_ICONEXCLAMATION}},
         true,
         true,
         "V1.20"},
        {"refused by the transceiver, no advisory note",
         [&](UpgradeRun& t, FakeTransceiver& f) {
             t.Put("a.ENH", SampleFile({fits}, "V1.30", '0'));
             f.writeAnswer = 0x15;
         },
         {{TextNo::kRecordRefused, TextNo::kCaptionOutcome, MB_ICONINFORMATION}},
         false,
         true,
         "V1.20"},
        {"strict version",
         [&](UpgradeRun& t, FakeTransceiver&) { t.Put("a.ENH", SampleFile({fits}, "V1.30", '1')); },
         {{TextNo::kVersionRequired, TextNo::kCaptionError, MB_ICONERROR}},
         false,
         true,
         "V1.20"},
        {"refused model",
         [&](UpgradeRun& t, FakeTransceiver& f) {
             SampleTransceiver(f, "QM-3260X");
             t.Put("a.ENH", SampleFile({fits}, "V1.00", '1', "QM-3260X"));
         },
         {{TextNo::kRefusedModel, TextNo::kCaptionError, MB_ICONERROR}},
         false,
         false,
         ""},
        {"no option file for the model",
         [&](UpgradeRun& t, FakeTransceiver&) {
             t.Put("a.ENH", SampleFile({fits}, "V1.00", '1', "QX-5200"));
         },
         {{TextNo::kNoOptionForTransceiver, TextNo::kCaptionError, MB_ICONERROR}},
         false,
         false,
         ""},
        {"no entry for the option code",
         [&](UpgradeRun& t, FakeTransceiver&) {
             t.Put("a.ENH", SampleFile({MakeEnhEntry("00000999", 3, "00")}));
         },
         {{TextNo::kNoOptionForTransceiver, TextNo::kCaptionError, MB_ICONERROR}},
         false,
         true,
         "V1.20"},
        {"option type differs",
         [&](UpgradeRun& t, FakeTransceiver&) {
             t.Put("a.ENH", SampleFile({MakeEnhEntry("00000102", 5, "00")}));
         },
         {{TextNo::kNoOptionForTransceiver, TextNo::kCaptionError, MB_ICONERROR}},
         false,
         true,
         "V1.20"},
        {"a ten-byte version without a zero byte",
         [&](UpgradeRun& t, FakeTransceiver& f) {
             t.Put("a.ENH", SampleFile({fits}));
             f.version = Padded("V1.20-EU-X", kVersionSize);
         },
         {{TextNo::kRecordWritten, TextNo::kCaptionOutcome, MB_ICONINFORMATION}},
         true,
         true,
         "V1.20-EU-X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        FakeTransceiver fake;
        FakeOnPort onRadio(theRadio, fake); // the dialog's link calls the fake
        m_boxes.shown.clear();
        SampleTransceiver(fake);
        m_dlg.m_strVersion = "";
        c.setup(*this, fake);
        const Bytes before = fake.record;

        Upgrade();
        ExpectBoxes(c.boxes);
        EXPECT_EQ(fake.record != before, c.written);
        if (c.written) {
            EXPECT_EQ(Bytes(fake.record.begin(), fake.record.begin() + OptionRecord::kOptionBytes),
                      Bytes(before.begin(), before.begin() + OptionRecord::kOptionBytes));
            EXPECT_EQ(Bytes(fake.record.begin() + OptionRecord::kOptionBytes, fake.record.end()), kMerged);
        }
        EXPECT_EQ(Sent(fake, kVersionRequest), c.versionRead);
        EXPECT_EQ(Sent(fake, kRecordRequest), c.versionRead);
        EXPECT_EQ(m_dlg.m_strVersion, c.version);
        EXPECT_FALSE(fake.InProgrammingMode());
        EXPECT_EQ(fake.OpenHandles(), 0);
    }
}

TEST_F(UpgradeRun, FileModeOutcomes)
{
    FakeTransceiver fake;
    FakeOnPort onRadio(theRadio, fake); // the dialog's link calls the fake
    SampleTransceiver(fake);
    SetFolderMode(false);
    m_dlg.m_strFilePath = Put("other.ENH", SampleFile({}, "V1.00", '1', "QX-5200")).c_str();
    Upgrade();
    ExpectBoxes({{TextNo::kNoOptionForTransceiver, TextNo::kCaptionError, MB_ICONERROR}});

    // A file that exists but cannot be read: its own error box only.
    m_boxes.shown.clear();
    const std::string locked = Put("locked.ENH", SampleFile({MakeEnhEntry("00000102", 3, "00")}));
    m_dlg.m_strFilePath = locked.c_str();
    HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Upgrade();
    CloseHandle(hold);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_NE(m_boxes.shown[0].text.find(locked), std::string::npos);
    EXPECT_TRUE(fake.recordsWritten.empty());
    EXPECT_FALSE(fake.InProgrammingMode());
}

TEST_F(UpgradeRun, AMissingLocationWarnsAndOpensBrowseLater)
{
    FakeTransceiver fake;
    FakeOnPort onRadio(theRadio, fake); // the dialog's link calls the fake
    struct Case {
        const char* name;
        bool folder;
        const char* path;
        int body;
    } cases[] = {
        {"folder without option files", true, "", TextNo::kNoOptionFileInFolder},
        {"empty file path", false, "", TextNo::kNoOptionFile},
        {"missing file", false, "missing.ENH", TextNo::kNoOptionFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_boxes.shown.clear();
        SetFolderMode(c.folder);
        m_dlg.m_strFilePath = *c.path ? Path(c.path).c_str() : "";
        Upgrade();
        ExpectBoxes({{c.body, TextNo::kCaptionWarning, MB_ICONEXCLAMATION}});
        EXPECT_TRUE(fake.opens.empty());
        // Browse comes as a posted command, once the handler has returned.
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, m_window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
        EXPECT_EQ(LOWORD(msg.wParam), IDC_BROWSE);
    }
}

TEST_F(UpgradeRun, LinkFailuresShowOnlyTheSessionsMessage)
{
    FakeTransceiver fake;
    FakeOnPort onRadio(theRadio, fake); // the dialog's link calls the fake
    Put("a.ENH", SampleFile({MakeEnhEntry("00000102", 3, "00")}));
    SampleTransceiver(fake);

    // A port that does not exist: one box with OK only.
    fake.missingPorts = {"COM1", "\\\\.\\COM1"};
    m_dlg.m_nPortNumber = 1;
    Upgrade();
    ExpectBoxes({{TextNo::kPortNotOpened, TextNo::kCaptionError, MB_ICONERROR}});

    // A transceiver that stays silent, and Cancel at the prompt.
    m_boxes.shown.clear();
    fake.missingPorts.clear();
    fake.kind = FakeTransceiver::Kind::None;
    m_boxes.answers = {IDCANCEL};
    Upgrade();
    ExpectBoxes({{TextNo::kLinkFailed, TextNo::kCaptionError, MB_ICONERROR | MB_RETRYCANCEL}});
    EXPECT_EQ(fake.OpenHandles(), 0);
}

// The dialog's runs keep the history beside the program; one held by another
// program changes nothing the user sees.
TEST_F(UpgradeRun, HistoryBesideTheProgram)
{
    const std::string folder = m_dlg.m_DataFile.GetExePath().str() + History::kFolderName;
    const std::string file = folder + "\\" + History::kFileName;
    ASSERT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "the fixture removes it";

    FakeTransceiver fake;
    FakeOnPort onRadio(theRadio, fake); // the dialog's link calls the fake
    SampleTransceiver(fake);
    const Bytes recordBefore = fake.record;
    const std::string optionFile =
        Put("a.ENH", SampleFile({MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0")}));
    m_dlg.m_nPortNumber = 1;
    Upgrade();
    ExpectBoxes({{TextNo::kRecordWritten, TextNo::kCaptionOutcome, MB_ICONINFORMATION}});

    const std::string after = ReadWholeFile(file);
    ASSERT_EQ(after.compare(0, HistoryHeaderLine().str().size(), HistoryHeaderLine().str()), 0);
    CCsvReader reader(after.data() + HistoryHeaderLine().str().size(),
                      after.size() - HistoryHeaderLine().str().size());
    std::vector<std::string> fields;
    for (const char* outcome : {"pending", "written"}) {
        SCOPED_TRACE(outcome);
        ASSERT_TRUE(reader.Next(&fields));
        ASSERT_EQ(fields.size(), History::kColumnCount);
        EXPECT_EQ(fields[History::kProgram], "ORVELLE");
        EXPECT_EQ(fields[History::kPort], "1");
        EXPECT_EQ(fields[History::kModel], "QX-5100");
        EXPECT_EQ(fields[History::kVersion], "V1.20");
        EXPECT_EQ(fields[History::kRecordBefore], HexLower(recordBefore.data(), recordBefore.size()).str());
        EXPECT_EQ(fields[History::kRecordAfter], HexLower(fake.record.data(), fake.record.size()).str());
        EXPECT_EQ(fields[History::kSources], optionFile);
        EXPECT_EQ(fields[History::kOutcome], outcome);
    }
    EXPECT_FALSE(reader.Next(&fields));

    // Held open by another program for longer than a row waits (a
    // spreadsheet keeps it locked while it is open): the run's rows go into
    // a side file of its own, and the user sees the run as ever, no question.
    {
        HANDLE holder = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        m_boxes.shown.clear();
        fake.record = recordBefore;
        Upgrade();
        CloseHandle(holder);
        ExpectBoxes({{TextNo::kRecordWritten, TextNo::kCaptionOutcome, MB_ICONINFORMATION}});
        EXPECT_NE(fake.record, recordBefore);
        EXPECT_EQ(ReadWholeFile(file), after);

        WIN32_FIND_DATAA found = {};
        HANDLE search = FindFirstFileA((folder + "\\upgrades-*.csv").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        const std::string side = folder + "\\" + found.cFileName;
        EXPECT_FALSE(FindNextFileA(search, &found)) << "one side file";
        FindClose(search);
        EXPECT_TRUE(IsHistorySideFileName(found.cFileName)) << found.cFileName;
        const std::string kept = ReadWholeFile(side);
        ASSERT_EQ(kept.compare(0, HistoryHeaderLine().str().size(), HistoryHeaderLine().str()), 0);
        reader = CCsvReader(kept.data() + HistoryHeaderLine().str().size(),
                            kept.size() - HistoryHeaderLine().str().size());
        for (const char* outcome : {"pending", "written"}) {
            ASSERT_TRUE(reader.Next(&fields));
            EXPECT_EQ(fields.at(History::kProgram), "ORVELLE");
            EXPECT_EQ(fields.at(History::kOutcome), outcome);
        }
        EXPECT_FALSE(reader.Next(&fields));
    }
}
