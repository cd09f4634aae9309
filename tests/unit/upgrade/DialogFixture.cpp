#include "tests/unit/upgrade/DialogFixture.h"

#include "res/resource.h"
#include "upgrade/UpgradeHistory.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

std::vector<DialogFixture::Seen> DialogFixture::s_seen;

namespace {

LRESULT CALLBACK StandInProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_APP && message < 0xC000) {
        CWinApp* app = AfxGetApp();
        DialogFixture::s_seen.push_back({message, app ? app->GetWaitCursorCount() : -1});
        // As a window under the mouse would: its own cursor.
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))); // IDC_ARROW
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void LoadTexts()
{
    static bool loaded = false;
    if (loaded)
        return;
    std::ifstream in(ORVELLE_SOURCE_DIR "/res/ORVELLE.lng", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    // As text mode delivers it: line ends without their carriage returns.
    std::string bytes = text.str();
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
    ASSERT_EQ(theLanguage.Parse(bytes.data(), static_cast<int>(bytes.size()), "English"), 1);
    loaded = true;
}

} // namespace

void DialogFixture::SetUp()
{
    LoadTexts();
    s_seen.clear();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OrvelleUpgradeStandIn";
    RegisterClassA(&wc); // once per process; later calls fail harmlessly
    m_window = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_SYSMENU, 0, 0, 400, 200,
                               nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(m_window, nullptr) << "no display?";
    struct Control {
        const char* cls;
        DWORD style;
        int id;
    } controls[] = {
        {"BUTTON", BS_GROUPBOX, IDC_MODE_GROUP},
        {"BUTTON", BS_AUTORADIOBUTTON | WS_GROUP, IDC_FOLDER_MODE},
        {"BUTTON", BS_AUTORADIOBUTTON, IDC_FILE_MODE},
        {"EDIT", WS_BORDER | WS_GROUP, IDC_PATH_EDIT},
        {"BUTTON", BS_PUSHBUTTON, IDC_BROWSE},
        {"BUTTON", BS_PUSHBUTTON, IDC_UPGRADE},
    };
    for (const Control& c : controls)
        CreateWindowExA(0, c.cls, "", WS_CHILD | WS_VISIBLE | c.style, 0, 0, 50, 20, m_window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), wc.hInstance, nullptr);
    m_dlg.m_hWnd = m_window;
    SetFolderMode(true);

    m_dlg.m_strFolderPath = m_folder.c_str();
}

void DialogFixture::TearDown()
{
    m_dlg.m_hWnd = nullptr;
    if (m_window)
        DestroyWindow(m_window);
    // Nothing of a test may stay queued for the next one.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ;
    // Nor the history its runs kept beside the test program.
    const CString history = m_dlg.m_DataFile.GetExePath() + History::kFolderName;
    DeleteFileA(history + "\\" + History::kFileName);
    DeleteFileA(history + "\\" + History::kLastRunTraceName);
    RemoveDirectoryA(history);
}

void DialogFixture::SetFolderMode(bool folder)
{
    CheckDlgButton(m_window, IDC_FOLDER_MODE, folder ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_window, IDC_FILE_MODE, folder ? BST_UNCHECKED : BST_CHECKED);
    m_dlg.m_nMode = folder ? 1 : 2;
}

std::string DialogFixture::Put(const std::string& name, const std::vector<unsigned char>& bytes)
{
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string DialogFixture::MakeFolder(const std::string& name)
{
    const std::string path = Path(name);
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::vector<unsigned char> SampleFile(std::vector<EnhEntry> entries, const char* minVersion,
                                      unsigned char rule, const char* model)
{
    EnhDescription d;
    d.model = model;
    d.minVersion = minVersion;
    d.rule = rule;
    d.entries = std::move(entries);
    return BuildEnhFile(d);
}
