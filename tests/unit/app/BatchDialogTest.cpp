// Radio after radio in process under Wine: the batch dialog from its real
// template over the fake transceiver, whose clock the dialog's pause moves
// on. Radios are plugged in and pulled out as the status line asks for them;
// every row, the status line, the buttons and the saved report are read back
// from the dialog's own windows and files. And the unattended asker's answers.
#include "app/BatchDlg.h"
#include "app/Globals.h"
#include "files/DataFile.h"
#include "res/resource.h"
#include "tests/support/FileTestSupport.h"
#include "tests/support/SampleTransceiver.h"
#include "tests/support/ScriptedBoxes.h"
#include "tests/support/ScriptedDialog.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WindowTestSupport.h"
#include "text/TextNumbers.h"
#include "tools/enhtool/EnhFile.h"
#include "upgrade/DataFileOptionFiles.h"
#include "upgrade/UpgradeHistory.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string Text(int number)
{
    return theLanguage.GetText(number);
}

// Every cell of a report-view list, row by row.
std::vector<std::vector<std::string>> ListCells(HWND list)
{
    const int columns = static_cast<int>(::SendMessageA(
        reinterpret_cast<HWND>(::SendMessageA(list, LVM_GETHEADER, 0, 0)), HDM_GETITEMCOUNT, 0, 0));
    const int rows = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::vector<std::string>> cells(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            char text[256] = {};
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof(text);
            ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            cells[static_cast<std::size_t>(row)].push_back(text);
        }
    }
    return cells;
}

// The second radio: the sample model with another serial number.
constexpr std::size_t kSerialOffset = 24;

// The batch dialog with the fake's clock: each pause moves it on by its
// length and then only dispatches what waits. A radio comes and goes as the
// status asks for it: the first is there at the start; each is pulled once
// the dialog asks for it to be removed; the next is put in as the dialog
// waits; after the last, Stop.
class CTestBatchDlg : public CScriptedDialog<CTestBatchDlg, CBatchDlg> {
public:
    using CScriptedDialog::CScriptedDialog;

    FakeTransceiver* fake = nullptr;
    // Puts radio n (2, 3, ...) on the line.
    std::function<void(int n)> plug;
    int radios = 2;
    std::vector<std::string> statusLines;
    // Read once the batch has stopped.
    bool stopEnabled = true, saveEnabled = false, closeEnabled = false;
    std::vector<std::vector<std::string>> cells;
    std::string stoppedLine;
    std::function<void(CTestBatchDlg&)> afterStop;
    // Started once the batch is told to stop: reads the dialog once the
    // batch has stopped, then closes it.
    static constexpr UINT_PTR kAfterStopTimer = 0x4261;

protected:
    void Pause(int milliseconds) override
    {
        fake->SetNowUs(fake->NowUs() + static_cast<uint64_t>(milliseconds) * 1000);
        CBatchDlg::Pause(0);
    }

    void Status(BatchState state, int port, int seconds) override
    {
        CBatchDlg::Status(state, port, seconds);
        statusLines.push_back(WindowText(GetDlgItem(IDC_BATCH_STATUS)));
        const int done = static_cast<int>(Rows().size());
        if (state == BatchState::RemoveRadio && fake->kind != FakeTransceiver::Kind::None) {
            fake->kind = FakeTransceiver::Kind::None;
            if (done == radios) {
                Press(IDC_BATCH_STOP);
                ::SetTimer(m_hWnd, kAfterStopTimer, 10, nullptr);
            }
        } else if (state == BatchState::WaitingForRadio && fake->kind == FakeTransceiver::Kind::None &&
                   done < radios) {
            plug(done + 1);
        }
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_TIMER && wParam == kAfterStopTimer && !Running()) {
            ::KillTimer(m_hWnd, kAfterStopTimer);
            stopEnabled = ::IsWindowEnabled(GetDlgItem(IDC_BATCH_STOP)) != FALSE;
            saveEnabled = ::IsWindowEnabled(GetDlgItem(IDC_BATCH_SAVE)) != FALSE;
            closeEnabled = ::IsWindowEnabled(GetDlgItem(IDCANCEL)) != FALSE;
            cells = ListCells(GetDlgItem(IDC_BATCH_LIST));
            stoppedLine = WindowText(GetDlgItem(IDC_BATCH_STATUS));
            if (afterStop)
                afterStop(*this);
            Press(IDCANCEL);
            return 0;
        }
        return CScriptedDialog::WindowProc(message, wParam, lParam);
    }
};

class BatchDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The language file is copied beside the test program by the build.
        static const int opened = theLanguage.Open("English");
        ASSERT_EQ(opened, 1);
    }

    void SetUp() override
    {
        SKIP_WITHOUT_DISPLAY();
        SampleIdentity(m_fake);
        FitSampleRecord(m_fake);
        EnhDescription file;
        file.model = kSampleModel;
        file.minVersion = "V1.00";
        file.rule = '1';
        file.entries = {MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0")};
        const std::vector<unsigned char> bytes = BuildEnhFile(file);
        std::ofstream(m_temp / "a.ENH", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Runs the dialog until its script or the test dialog's stop ends it.
    void Run(CTestBatchDlg& dialog) { EXPECT_EQ(dialog.DoModal(), IDCANCEL); }

    BatchRunParts Parts()
    {
        return {theRadio, theLanguage, m_dataFile, m_files, nullptr, m_fake.Clock(), [] {
                    return HistoryTime{2026, 12, 11, 9, 30, 0};
                }};
    }
    BatchMode Mode()
    {
        BatchMode mode;
        mode.port = 1;
        mode.folderMode = true;
        mode.location = m_temp.Path().c_str();
        return mode;
    }

    FakeTransceiver m_fake;
    FakeOnPort m_onRadio{theRadio, m_fake}; // the program's link calls the fake
    ScriptedBoxes m_boxes;
    TempFolder m_temp;
    CDataFile m_dataFile;
    CDataFileOptionFiles m_files{m_dataFile, nullptr, nullptr};
};

TEST_F(BatchDialogTest, TwoRadiosGetTheirRowsWithoutABoxAndTheReportIsSaved)
{
    CTestBatchDlg dialog(nullptr, Parts(), Mode());
    dialog.fake = &m_fake;
    // The second radio takes a garbled identity answer (tried again by
    // itself) and refuses its record: a failure in its row, no box.
    dialog.plug = [this](int) {
        SampleIdentity(m_fake);
        m_fake.identity[kSerialOffset] = '2';
        FitSampleRecord(m_fake);
        m_fake.writeAnswer = 0x15;
        m_fake.Script(FakeTransceiver::Command::Identity,
                      FakeTransceiver::Answer(FakeTransceiver::Fault::Garbage));
    };
    const std::string report = m_temp / "report.csv";
    const std::string unwritable = m_temp / "no such folder\\report.csv";
    bool saved = false, savedUnwritable = true;
    std::size_t boxesBeforeSave = 0;
    dialog.afterStop = [&](CTestBatchDlg& d) {
        boxesBeforeSave = m_boxes.shown.size();
        std::ofstream(report) << "an older report";
        saved = d.SaveReport(report.c_str());
        savedUnwritable = d.SaveReport(unwritable.c_str());
    };
    Run(dialog);

    ASSERT_EQ(dialog.Rows().size(), 2u);
    const std::string identity1 = PrintableIdentity(dialog.Rows()[0].result.identity.data()).str();
    const std::string identity2 = PrintableIdentity(dialog.Rows()[1].result.identity.data()).str();
    EXPECT_NE(identity1, identity2);
    EXPECT_EQ(identity2.substr(0, 7), kSampleModel);
    const std::vector<std::vector<std::string>> expected = {
        {"1", kSampleModel, identity1, "3f ff ff ff ff ff ff [ff]", "3f ff ff ff ff ff ff [f0]",
         Text(TextNo::kBatchWritten) + ": " + Text(TextNo::kRecordWritten)},
        {"2", kSampleModel, identity2, "3f ff ff ff ff ff ff [ff]", "3f ff ff ff ff ff ff [f0]",
         Text(TextNo::kBatchFailed) + ": " + Text(TextNo::kRecordRefused)},
    };
    EXPECT_EQ(dialog.cells, expected);
    EXPECT_EQ(m_fake.recordsWritten.size(), 2u);
    EXPECT_EQ(boxesBeforeSave, 0u);

    // What the status line said, each once in this order (the waits repeat
    // it with the seconds counting up; how long an attempt takes is the
    // link's, so the seconds read as #).
    std::vector<std::string> said;
    for (const std::string& told : dialog.statusLines) {
        const std::string line = std::regex_replace(told, std::regex("\\(\\d+ s\\)"), "(# s)");
        if (said.empty() || said.back() != line)
            said.push_back(line);
    }
    const std::vector<std::string> expectedSaid = {
        "Upgrading radio 1...", "Remove this radio", "Waiting for a radio on COM1 (# s)",
        "Upgrading radio 2...", "Remove this radio",
    };
    EXPECT_EQ(said, expectedSaid);
    EXPECT_EQ(dialog.stoppedLine, "Stopped: 2 radios");
    EXPECT_FALSE(dialog.stopEnabled);
    EXPECT_TRUE(dialog.saveEnabled);
    EXPECT_TRUE(dialog.closeEnabled);

    // The report replaced the older file whole; a folder that is not there
    // keeps nothing and says so in a box.
    EXPECT_TRUE(saved);
    EXPECT_EQ(ReadWholeFile(report), BatchReportCsv(dialog.Rows()).str());
    EXPECT_NE(ReadWholeFile(report).find(",written,"), std::string::npos);
    EXPECT_NE(ReadWholeFile(report).find(",refused,"), std::string::npos);
    EXPECT_FALSE(savedUnwritable);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, Text(TextNo::kCaptionError));
    EXPECT_EQ(m_boxes.shown[0].text.rfind("The report could not be saved:\n", 0), 0u);
    EXPECT_EQ(::GetFileAttributesA((m_temp / "report.csv.part").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(BatchDialogTest, EscAndTheCloseBoxStopARunningBatchAndOnlyThenClose)
{
    struct Way {
        const char* name;
        std::function<void(CTestBatchDlg&)> press;
    };
    const Way ways[] = {
        {"Esc",
         [](CTestBatchDlg& d) { ::PostMessageA(d.GetDlgItem(IDC_BATCH_LIST), WM_KEYDOWN, VK_ESCAPE, 1); }},
        {"close box", [](CTestBatchDlg& d) { d.PostMessage(WM_CLOSE); }},
        {"Stop", [](CTestBatchDlg& d) { d.Press(IDC_BATCH_STOP); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        // Nobody on the line: the batch waits until the way out is taken.
        m_fake.kind = FakeTransceiver::Kind::None;
        CTestBatchDlg dialog(nullptr, Parts(), Mode());
        dialog.fake = &m_fake;
        dialog.radios = 0;
        bool runningAfterPress = false;
        dialog.script = [&](CTestBatchDlg& d) {
            way.press(d);
            ::SetTimer(d.m_hWnd, CTestBatchDlg::kAfterStopTimer, 10, nullptr);
            runningAfterPress = d.Running();
        };
        Run(dialog);
        EXPECT_TRUE(runningAfterPress);
        EXPECT_EQ(dialog.Ending(), BatchEnding::StopAsked);
        EXPECT_TRUE(dialog.Rows().empty());
        EXPECT_EQ(dialog.stoppedLine, "Stopped: 0 radios");
        EXPECT_TRUE(dialog.closeEnabled);
    }
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST(UnattendedAsker, RetriesEachRadioTwiceThenCancelsAndNeverWhenStopped)
{
    bool stopped = false;
    CUnattendedAsker asker([&] { return stopped; });
    const CString text("The transceiver did not answer."), caption("Error");
    const auto ask = [&] { return asker.AskRetry(nullptr, LinkStep::Record, text, caption); };
    EXPECT_EQ(ask(), LinkAnswer::Retry);
    EXPECT_EQ(ask(), LinkAnswer::Retry);
    EXPECT_EQ(ask(), LinkAnswer::Cancel);
    EXPECT_EQ(ask(), LinkAnswer::Cancel);
    asker.NewRadio();
    EXPECT_EQ(ask(), LinkAnswer::Retry);
    stopped = true;
    EXPECT_EQ(ask(), LinkAnswer::Cancel);
    EXPECT_EQ(asker.LastMessage().str(), text.str());

    // The history question is the one box: asked as a single run asks it.
    ScriptedBoxes boxes(IDNO);
    boxes.answers = {IDYES};
    EXPECT_TRUE(asker.WriteWithoutHistory(nullptr, "disk full", "Write without history?", "Warning"));
    EXPECT_FALSE(asker.WriteWithoutHistory(nullptr, "disk full", "Write without history?", "Warning"));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].type, static_cast<unsigned>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    EXPECT_EQ(boxes.shown[0].text, "Write without history?");
    // The outcome and the port's failure only go to the status line.
    asker.TellOutcome(nullptr, RunMessageKind::Error, "refused", "Error");
    asker.PortNotOpened(nullptr, "COM1 cannot be opened", "Error");
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(asker.LastMessage().str(), "COM1 cannot be opened");
}

} // namespace
