// Browse in File mode: the platform's file-open dialog, driven from a timer
// while it runs its own modal loop. The timer reads and answers the dialog
// only once it shows a folder, its file types and its folder's contents,
// never after a fixed time.
#include "ShellTestSupport.h"

#include "res/resource.h"

#include <commdlg.h>

namespace {

// What the timer saw in the file dialog, and what it should do there.
struct FileDialogScript {
    HWND main = nullptr;
    std::string folder;   // the dialog's current folder
    std::string fileName; // its file-name field
    std::string filter;   // its first file-type entry
    std::string choose;   // a file name to confirm; empty: cancel
    bool seen = false;    // read and answered; false: never ready, cancelled
    ULONGLONG deadline = 0;
};

FileDialogScript* g_script = nullptr;

BOOL CALLBACK FindFileDialog(HWND window, LPARAM found)
{
    char cls[32] = {};
    ::GetClassNameA(window, cls, sizeof(cls));
    if (window != g_script->main && ::IsWindowVisible(window) && std::string(cls) == "#32770") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The dialog is up with what the test reads: its current folder, its file
// types, and the view of that folder's contents.
bool FileDialogReady(HWND dialog)
{
    char folder[MAX_PATH * 2] = {};
    return ::SendMessageA(dialog, CDM_GETFOLDERPATH, sizeof(folder), reinterpret_cast<LPARAM>(folder)) > 1 &&
           ::SendMessageA(::GetDlgItem(dialog, 0x470), CB_GETCOUNT, 0, 0) > 0 && // cmb1
           ::FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr) != nullptr;
}

void CALLBACK DriveFileDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindFileDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog || !FileDialogReady(dialog)) {
        if (::GetTickCount64() >= g_script->deadline) {
            ::KillTimer(nullptr, timer);
            if (dialog)
                ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return;
    }
    ::KillTimer(nullptr, timer);
    g_script->seen = true;
    char text[MAX_PATH * 2] = {};
    ::SendMessageA(dialog, CDM_GETFOLDERPATH, sizeof(text), reinterpret_cast<LPARAM>(text));
    g_script->folder = text;
    g_script->fileName = WindowText(::GetDlgItem(dialog, 0x47c)); // the file-name box (cmb13)
    ::SendMessageA(::GetDlgItem(dialog, 0x470), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text)); // cmb1
    g_script->filter = text;
    if (g_script->choose.empty()) {
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
        ::SetWindowTextA(::GetDlgItem(dialog, 0x47c), g_script->choose.c_str());
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
}

class BrowseTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        m_folder = ExeFolder() + "browse-test";
        ::CreateDirectoryA(m_folder.c_str(), nullptr);
        m_file = m_folder + "\\radio.ENH";
        WriteFile(m_file, "x");
    }
    void TearDown() override
    {
        ::DeleteFileA(m_file.c_str());
        ::RemoveDirectoryA(m_folder.c_str());
        g_script = nullptr;
        ShellTest::TearDown();
    }

    // Browse in File mode with the given paths; returns the paths afterwards.
    std::pair<std::string, std::string> Browse(FileDialogScript& script, const std::string& folder,
                                               const std::string& file, std::string* edit)
    {
        g_script = &script;
        std::pair<std::string, std::string> after;
        Run([&](CScriptedUpgradeDlg& d) {
            script.main = d.m_hWnd;
            ::SendMessageA(d.GetDlgItem(IDC_FILE_MODE), BM_CLICK, 0, 0);
            d.m_strFolderPath = folder.c_str();
            d.m_strFilePath = file.c_str();
            script.deadline = ::GetTickCount64() + 10000;
            ::SetTimer(nullptr, 0, 20, &DriveFileDialog);
            d.OnBrowse();
            after = {d.m_strFolderPath.str(), d.m_strFilePath.str()};
            *edit = WindowText(d.GetDlgItem(IDC_PATH_EDIT));
            d.EndDialog(IDABORT);
        });
        return after;
    }

    std::string m_folder;
    std::string m_file;
};

TEST_F(BrowseTest, WithoutAFileItOpensInTheFolderAndCancelChangesNothing)
{
    FileDialogScript script;
    std::string edit = "unchanged";
    const auto after = Browse(script, m_folder, "", &edit);
    ASSERT_TRUE(script.seen);
    EXPECT_EQ(script.folder, m_folder);
    EXPECT_EQ(script.fileName, "");
    EXPECT_EQ(script.filter, "Upgrade Option File(*.ENH)");
    EXPECT_EQ(after.first, m_folder);
    EXPECT_EQ(after.second, "");
    EXPECT_EQ(edit, ""); // the edit shows the file path, still empty
}

TEST_F(BrowseTest, WithAFileItStartsOnThatFileAndOkTakesTheChosenOne)
{
    FileDialogScript script;
    script.choose = m_file;
    std::string edit;
    const auto after = Browse(script, "C:\\elsewhere", m_file, &edit);
    ASSERT_TRUE(script.seen);
    EXPECT_NE(script.fileName.find("radio.ENH"), std::string::npos) << script.fileName;
    EXPECT_EQ(after.second, m_file);
    EXPECT_EQ(edit, m_file);
}

TEST_F(BrowseTest, AFolderPathOfFullLengthIsHandedOnWhole)
{
    // 260 characters and the backslash did not fit the old 261-byte buffer.
    const std::string longFolder = "C:\\" + std::string(257, 'f');
    FileDialogScript script;
    std::string edit;
    const auto after = Browse(script, longFolder, "", &edit);
    EXPECT_TRUE(script.seen);
    EXPECT_EQ(after.first, longFolder);
    EXPECT_EQ(after.second, "");
}

} // namespace
