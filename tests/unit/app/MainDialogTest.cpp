// The main dialog: its start-up, texts and menu, the close question on every
// way out, the mode buttons and the path edit, the lock, the location check.
#include "ShellTestSupport.h"

#include "res/resource.h"
#include "text/TextNumbers.h"

namespace {

// Ends the dialog without the close question.
void Quit(CScriptedUpgradeDlg& d)
{
    d.EndDialog(IDABORT);
}

TEST_F(ShellTest, FirstStartShowsEveryLanguageTextAndNoPlaceholder)
{
    std::vector<std::pair<std::string, std::string>> seen; // what, text
    HMENU fileMenu = nullptr, setupMenu = nullptr;
    UINT exitCommand = 0, comPortCommand = 0, previewCommand = 0, aboutCommand = 0;
    Run([&](CScriptedUpgradeDlg& d) {
        seen.push_back({"caption", WindowText(d.m_hWnd)});
        for (int id :
             {IDC_MODE_GROUP, IDC_FOLDER_MODE, IDC_FILE_MODE, IDC_LOCATION_LABEL, IDC_BROWSE, IDC_UPGRADE})
            seen.push_back({"control " + std::to_string(id), WindowText(d.GetDlgItem(id))});
        HMENU bar = d.GetMenu();
        fileMenu = ::GetSubMenu(bar, 0);
        setupMenu = ::GetSubMenu(bar, 1);
        for (int i = 0; i < 3; ++i)
            seen.push_back({"bar " + std::to_string(i), MenuText(bar, i)});
        seen.push_back({"File 0", MenuText(fileMenu, 0)});
        seen.push_back({"Setup 0", MenuText(setupMenu, 0)});
        seen.push_back({"Setup 1", MenuText(setupMenu, 1)});
        exitCommand = ::GetMenuItemID(fileMenu, 0);
        comPortCommand = ::GetMenuItemID(setupMenu, 0);
        previewCommand = ::GetMenuItemID(setupMenu, 1);
        aboutCommand = ::GetMenuItemID(bar, 2);
        fileMenu = fileMenu && ::IsMenu(fileMenu) ? fileMenu : nullptr;
        Quit(d);
    });
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"caption", Text(TextNo::kAppTitle)},
        {"control 1009", Text(TextNo::kModeGroup)},
        {"control 1007", Text(TextNo::kFolderMode)},
        {"control 1008", Text(TextNo::kFileMode)},
        {"control 1000", Text(TextNo::kLocationLabel)},
        {"control 3", Text(TextNo::kBrowseButton)},
        {"control 1006", Text(TextNo::kUpgradeButton)},
        {"bar 0", Text(TextNo::kFileMenu)},
        {"bar 1", Text(TextNo::kSetupMenu)},
        {"bar 2", Text(TextNo::kAboutItem)},
        {"File 0", Text(TextNo::kExitItem)},
        {"Setup 0", Text(TextNo::kComPortItem)},
        {"Setup 1", Text(TextNo::kPreviewItem)},
    };
    EXPECT_EQ(seen, expected);
    for (const auto& [what, text] : seen) {
        EXPECT_FALSE(text.empty()) << what;
        EXPECT_EQ(text.find(" *"), std::string::npos) << what << ": " << text;
    }
    // The drop-downs kept their menus; Exit now carries the cancel command.
    EXPECT_NE(fileMenu, nullptr);
    EXPECT_NE(setupMenu, nullptr);
    EXPECT_EQ(exitCommand, static_cast<UINT>(IDCANCEL));
    EXPECT_EQ(comPortCommand, static_cast<UINT>(ID_SETUP_COMPORT));
    EXPECT_EQ(previewCommand, static_cast<UINT>(ID_SETUP_PREVIEW));
    EXPECT_EQ(aboutCommand, static_cast<UINT>(IDM_ABOUTBOX));
}

TEST_F(ShellTest, FirstStartUsesTheDefaultsAndAConfirmedCloseWritesThemInOrder)
{
    m_boxes.answers = {IDYES};
    std::string edit;
    UINT folderChecked = 0;
    const INT_PTR result = Run([&](CScriptedUpgradeDlg& d) {
        edit = WindowText(d.GetDlgItem(IDC_PATH_EDIT));
        folderChecked = d.IsDlgButtonChecked(IDC_FOLDER_MODE);
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(result, IDCANCEL);
    const std::string dataFolder = ExeFolder() + "Data";
    EXPECT_EQ(edit, dataFolder);
    EXPECT_EQ(folderChecked, static_cast<UINT>(BST_CHECKED));
    EXPECT_NE(::GetFileAttributesA(dataFolder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(theRadio.GetPortNumber(), 1);
    ASSERT_EQ(m_boxes.shown.size(), 1u); // the close question only: no start-up warning
    EXPECT_EQ(ReadFile(SettingsPath()),
              "[INIT]\r\nFolder=" + dataFolder + "\r\nFile=\r\nComPort=1\r\nMode=1\r\n");
}

TEST_F(ShellTest, EveryWayOutAsksTheCloseQuestionAndOnlyYesEndsAndSaves)
{
    struct Way {
        const char* name;
        std::function<void(CScriptedUpgradeDlg&)> ask;
    };
    const Way ways[] = {
        {"Esc",
         [](CScriptedUpgradeDlg& d) {
             ::PostMessageA(d.GetDlgItem(IDC_PATH_EDIT), WM_KEYDOWN, VK_ESCAPE, 1);
         }},
        {"close box", [](CScriptedUpgradeDlg& d) { d.PostMessage(WM_CLOSE); }},
        {"system menu Close", [](CScriptedUpgradeDlg& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"File > Exit",
         [](CScriptedUpgradeDlg& d) { d.PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); }},
        {"command 32772",
         [](CScriptedUpgradeDlg& d) { d.PostMessage(WM_COMMAND, MAKEWPARAM(ID_FILE_EXIT, 0), 0); }},
    };
    for (const Way& way : ways) {
        ::DeleteFileA(SettingsPath().c_str());
        m_boxes.shown.clear();
        // No first: the dialog stays and nothing is written; then Yes.
        m_boxes.answers = {IDNO, IDYES};
        bool settingsAfterNo = true;
        const INT_PTR result = Run([&](CScriptedUpgradeDlg& d) {
            way.ask(d);
            // Until the question has been answered No; then the same way again.
            MSG msg;
            while (m_boxes.shown.empty() && ::GetMessageA(&msg, nullptr, 0, 0)) {
                if (!d.PreTranslateMessage(&msg)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageA(&msg);
                }
            }
            settingsAfterNo = ::GetFileAttributesA(SettingsPath().c_str()) != INVALID_FILE_ATTRIBUTES;
            way.ask(d);
        });
        EXPECT_EQ(result, IDCANCEL) << way.name;
        EXPECT_FALSE(settingsAfterNo) << way.name;
        ASSERT_EQ(m_boxes.shown.size(), 2u) << way.name;
        for (const ScriptedBoxes::Box& box : m_boxes.shown) {
            EXPECT_EQ(box.text, Text(TextNo::kExitQuestion)) << way.name;
            EXPECT_EQ(box.caption, Text(TextNo::kCaptionExit)) << way.name;
            EXPECT_EQ(box.type, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION)) << way.name;
            EXPECT_NE(box.owner, nullptr) << way.name;
        }
        EXPECT_NE(ReadFile(SettingsPath()).find("Mode=1"), std::string::npos) << way.name;
    }
}

TEST_F(ShellTest, EnterNeverClosesTheDialog)
{
    bool stillOpen = false;
    Run([&](CScriptedUpgradeDlg& d) {
        d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ::SendMessageA(d.GetDlgItem(IDC_UPGRADE), WM_KEYDOWN, VK_RETURN, 1);
        PumpMessages();
        stillOpen = ::IsWindow(d.m_hWnd) != FALSE;
        Quit(d);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(ShellTest, TypedPathIsStoredUnderTheOldModeAndShownAgainOnSwitchingBack)
{
    std::string folderAfterSwitch, editInFileMode, editBackInFolderMode;
    int modeAfterSwitch = 0;
    Run([&](CScriptedUpgradeDlg& d) {
        HWND edit = d.GetDlgItem(IDC_PATH_EDIT);
        ::SetFocus(edit);
        ::SetWindowTextA(edit, "C:\\Typed Folder");
        // A click on the other mode button takes the focus first.
        ::SendMessageA(d.GetDlgItem(IDC_FILE_MODE), BM_CLICK, 0, 0);
        PumpMessages();
        folderAfterSwitch = d.m_strFolderPath.str();
        modeAfterSwitch = d.m_nMode;
        editInFileMode = WindowText(edit);
        ::SendMessageA(d.GetDlgItem(IDC_FOLDER_MODE), BM_CLICK, 0, 0);
        PumpMessages();
        editBackInFolderMode = WindowText(edit);
        Quit(d);
    });
    EXPECT_EQ(folderAfterSwitch, "C:\\Typed Folder");
    EXPECT_EQ(modeAfterSwitch, 2);
    EXPECT_EQ(editInFileMode, "");
    EXPECT_EQ(editBackInFolderMode, "C:\\Typed Folder");
}

TEST_F(ShellTest, EnterInThePathEditStoresThePathAndMovesTheFocusOn)
{
    std::string folder;
    HWND focus = nullptr, browse = nullptr;
    bool stillOpen = false;
    Run([&](CScriptedUpgradeDlg& d) {
        HWND edit = d.GetDlgItem(IDC_PATH_EDIT);
        browse = d.GetDlgItem(IDC_BROWSE);
        ::SetForegroundWindow(d.m_hWnd);
        ::SetFocus(edit);
        ::SetWindowTextA(edit, "D:\\Options");
        // Through the modal loop, as a key press would come.
        ::PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);
        const DWORD start = ::GetTickCount();
        while (::GetFocus() == edit && ::GetTickCount() - start < 2000) {
            MSG msg;
            if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!d.PreTranslateMessage(&msg)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageA(&msg);
                }
            } else {
                ::Sleep(5);
            }
        }
        folder = d.m_strFolderPath.str();
        focus = ::GetFocus();
        stillOpen = ::IsWindow(d.m_hWnd) != FALSE;
        Quit(d);
    });
    EXPECT_EQ(folder, "D:\\Options");
    EXPECT_EQ(focus, browse);
    EXPECT_TRUE(stillOpen);
}

TEST_F(ShellTest, F1IsConsumed)
{
    LRESULT result = 0;
    Run([&](CScriptedUpgradeDlg& d) {
        HELPINFO info = {};
        info.cbSize = sizeof(info);
        result = d.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        Quit(d);
    });
    EXPECT_EQ(result, TRUE);
}

TEST_F(ShellTest, EnableControlsLocksAndUnlocksEverythingARunMustNotTouch)
{
    struct State {
        std::vector<BOOL> controls;
        UINT close, exit, comPort, preview;
        std::string caption;
    };
    auto capture = [](CScriptedUpgradeDlg& d) {
        State s;
        for (int id :
             {IDC_MODE_GROUP, IDC_FOLDER_MODE, IDC_FILE_MODE, IDC_BROWSE, IDC_UPGRADE, IDC_PATH_EDIT})
            s.controls.push_back(::IsWindowEnabled(d.GetDlgItem(id)));
        s.close = ::GetMenuState(d.GetSystemMenu(FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED;
        s.exit = ::GetMenuState(::GetSubMenu(d.GetMenu(), 0), 0, MF_BYPOSITION) & MF_GRAYED;
        s.comPort = ::GetMenuState(d.GetMenu(), ID_SETUP_COMPORT, MF_BYCOMMAND) & MF_GRAYED;
        s.preview = ::GetMenuState(d.GetMenu(), ID_SETUP_PREVIEW, MF_BYCOMMAND) & MF_GRAYED;
        s.caption = WindowText(d.m_hWnd);
        return s;
    };
    State locked, unlocked, guarded, afterGuard;
    Run([&](CScriptedUpgradeDlg& d) {
        d.EnableControls(0);
        locked = capture(d);
        d.EnableControls(1);
        unlocked = capture(d);
        {
            CUpgradeDlg::CControlLock lock(d);
            guarded = capture(d);
        }
        afterGuard = capture(d);
        Quit(d);
    });
    EXPECT_EQ(locked.controls, std::vector<BOOL>(6, FALSE));
    EXPECT_EQ(locked.close, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(locked.exit, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(locked.comPort, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(locked.preview, static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(locked.caption, Text(TextNo::kAppTitle) + " - " + Text(TextNo::kBusy));
    EXPECT_EQ(guarded.controls, locked.controls);
    EXPECT_EQ(guarded.caption, locked.caption);

    for (const State* s : {&unlocked, &afterGuard}) {
        EXPECT_EQ(s->controls, std::vector<BOOL>(6, TRUE));
        EXPECT_EQ(s->close, 0u);
        EXPECT_EQ(s->exit, 0u);
        EXPECT_EQ(s->comPort, 0u);
        EXPECT_EQ(s->preview, 0u);
        EXPECT_EQ(s->caption, Text(TextNo::kAppTitle));
    }
}

TEST_F(ShellTest, MinimisedWindowPaintsItsIconAndDragsIt)
{
    HICON dragIcon = nullptr, icon = nullptr, smallIcon = nullptr;
    BOOL iconic = FALSE;
    Run([&](CScriptedUpgradeDlg& d) {
        icon = d.m_hIcon;
        smallIcon = reinterpret_cast<HICON>(d.SendMessage(WM_GETICON, ICON_SMALL, 0));
        ::ShowWindow(d.m_hWnd, SW_MINIMIZE);
        iconic = d.IsIconic();
        ::RedrawWindow(d.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        dragIcon = reinterpret_cast<HICON>(d.SendMessage(WM_QUERYDRAGICON));
        ::ShowWindow(d.m_hWnd, SW_RESTORE);
        Quit(d);
    });
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(smallIcon, icon);
    EXPECT_TRUE(iconic);
    EXPECT_EQ(dragIcon, icon);
}

class LocationTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        m_folder = ExeFolder() + "location-test";
        ::CreateDirectoryA(m_folder.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const std::string& file : m_files)
            ::DeleteFileA(file.c_str());
        ::RemoveDirectoryA(m_folder.c_str());
        ShellTest::TearDown();
    }
    std::string Put(const std::string& name)
    {
        m_files.push_back(m_folder + "\\" + name);
        WriteFile(m_files.back(), "x");
        return m_files.back();
    }

    std::string m_folder;
    std::vector<std::string> m_files;
};

TEST_F(LocationTest, StartUpWarningOnlyForAFolderThatDoesNotExist)
{
    struct Case {
        std::string folder;
        size_t warnings;
    };
    const Case cases[] = {
        {m_folder, 0},               // exists, holds no option file
        {m_folder + "\\missing", 1}, // does not exist
    };
    for (const Case& c : cases) {
        WriteFile(SettingsPath(), "[INIT]\r\nFolder=" + c.folder + "\r\nMode=1\r\n");
        m_boxes.shown.clear();
        Run(Quit);
        ASSERT_EQ(m_boxes.shown.size(), c.warnings) << c.folder;
        if (c.warnings) {
            const ScriptedBoxes::Box& box = m_boxes.shown[0];
            EXPECT_EQ(box.text, Text(TextNo::kNoOptionFileInFolder));
            EXPECT_EQ(box.caption, Text(TextNo::kCaptionWarning));
            EXPECT_EQ(box.type, static_cast<unsigned>(MB_ICONEXCLAMATION));
        }
    }
    // File mode never warns about the folder.
    WriteFile(SettingsPath(), "[INIT]\r\nFolder=" + m_folder + "\\missing\r\nMode=2\r\n");
    m_boxes.shown.clear();
    Run(Quit);
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(LocationTest, CheckLocationNeedsAnOptionFileInFolderModeAndTheFileInFileMode)
{
    const std::string optionFile = m_folder + "\\radio.ENH";
    struct Case {
        const char* name;
        int mode;
        std::string folder, file;
        bool putOptionFile;
        int expected;
    };
    const Case cases[] = {
        {"folder without option files", 1, m_folder, "", false, 0},
        {"folder with an option file", 1, m_folder, "", true, 1},
        {"missing folder", 1, m_folder + "\\missing", "", false, 0},
        {"empty file path", 2, m_folder, "", true, 0},
        {"missing file", 2, m_folder, m_folder + "\\gone.ENH", true, 0},
        {"existing file", 2, m_folder, optionFile, true, 1},
    };
    for (const Case& c : cases) {
        ::DeleteFileA(optionFile.c_str());
        if (c.putOptionFile)
            Put("radio.ENH");
        int result = -1;
        Run([&](CScriptedUpgradeDlg& d) {
            ::SendMessageA(d.GetDlgItem(c.mode == 1 ? IDC_FOLDER_MODE : IDC_FILE_MODE), BM_CLICK, 0, 0);
            d.m_strFolderPath = c.folder.c_str();
            d.m_strFilePath = c.file.c_str();
            result = d.CheckLocation() ? 1 : 0;
            Quit(d);
        });
        EXPECT_EQ(result, c.expected) << c.name;
    }
}

} // namespace
