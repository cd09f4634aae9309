// The folder picker over the real shell browser (under Wine, with a display).
// Each test scripts the browser from the picker's own initialisation, so the
// whole round trip runs: callback, taking over the window, the browser's
// buttons, and the conversion of the chosen item. A test whose outcome
// depends on the browser's selection presses its button only once the browser
// has reported that selection (BFFM_SELCHANGED), never after a fixed time.
#include "app/FolderPickerDlg.h"

#include "app/ComApartment.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <string>

namespace {

struct CoTaskMemDeleter {
    void operator()(ITEMIDLIST* item) const { ::CoTaskMemFree(item); }
};
using ItemListPtr = std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter>;

struct FindCloser {
    void operator()(HANDLE find) const { ::FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

class ScriptedPicker : public CFolderPickerDlg {
public:
    ScriptedPicker() : CFolderPickerDlg(nullptr, nullptr, BIF_RETURNONLYFSDIRS) {}

    std::function<void(ScriptedPicker&)> script;
    bool offerContextHelp = false; // give the browser a question-mark button first
    bool failInitialisation = false;

    LONG_PTR exStyleAfterInit = 0;
    bool apartmentWasSta = false;
    int initialisedFlag = -1;

    void Press(int id) { PostMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void KeepContextHelp() { m_bKeepContextHelp = 1; }

    // Presses the button once ready() holds, checked from a timer in the
    // browser's own loop. After kWaitMs without it the browser is cancelled
    // and waitedInVain tells the test so.
    void PressWhen(std::function<bool(ScriptedPicker&)> ready, int id)
    {
        m_ready = std::move(ready);
        m_pressWhenReady = id;
        m_deadline = ::GetTickCount64() + kWaitMs;
        // The timer's id is this picker: the callback needs no global.
        ::SetTimer(m_hWnd, reinterpret_cast<UINT_PTR>(this), kPollMs, &ScriptedPicker::Poll);
    }
    // The browser has reported the folder at path selected, and offers OK.
    bool Selected(const std::string& path) const
    {
        return lastSelection && ::lstrcmpiA(lastSelectionPath.c_str(), path.c_str()) == 0 &&
               ::IsWindowEnabled(::GetDlgItem(m_hWnd, IDOK));
    }
    // The browser has reported this item selected.
    bool Selected(LPCITEMIDLIST item) const
    {
        return lastSelection && ::ILIsEqual(lastSelection.get(), item);
    }
    void PressWhenSelected(const std::string& path, int id)
    {
        PressWhen([path](ScriptedPicker& p) { return p.Selected(path); }, id);
    }

    ItemListPtr lastSelection;     // the item BFFM_SELCHANGED reported last
    std::string lastSelectionPath; // its file-system path, if it has one
    bool waitedInVain = false;

    // A right click this far below the window's top edge: did the browser
    // get to handle it (show a menu)?
    bool ContextMenuReachesBrowser(int below)
    {
        RECT frame = {};
        ::GetWindowRect(m_hWnd, &frame);
        contextMenusPassedOn = 0;
        SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(m_hWnd),
                    MAKELPARAM(frame.left + 40, frame.top + below));
        return contextMenusPassedOn > 0;
    }
    int contextMenusPassedOn = 0;

protected:
    BOOL OnInitDialog() override
    {
        lastSelection.reset(); // this run's reports only
        lastSelectionPath.clear();
        waitedInVain = false;
        if (failInitialisation)
            return FALSE;
        if (offerContextHelp)
            ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE,
                                ::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE) | WS_EX_CONTEXTHELP);
        const BOOL result = CFolderPickerDlg::OnInitDialog();
        exStyleAfterInit = ::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE);
        initialisedFlag = m_bInitialized;
        // S_FALSE: this thread already is a single-threaded apartment.
        const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        apartmentWasSta = hr == S_FALSE;
        if (SUCCEEDED(hr))
            ::CoUninitialize();
        if (script)
            script(*this);
        return result;
    }

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        // Counted, not passed on: a system menu would wait for a click.
        if (message == WM_CONTEXTMENU) {
            ++contextMenusPassedOn;
            return 0;
        }
        return CFolderPickerDlg::DefWindowProc(message, wParam, lParam);
    }

    void OnSelChanged(LPCITEMIDLIST item) override
    {
        CFolderPickerDlg::OnSelChanged(item);
        lastSelection.reset(item ? ::ILClone(item) : nullptr);
        char path[MAX_PATH] = {};
        lastSelectionPath = item && ::SHGetPathFromIDListA(item, path) ? path : "";
    }

private:
    static constexpr UINT kPollMs = 20;
    static constexpr ULONGLONG kWaitMs = 10000;

    static void CALLBACK Poll(HWND window, UINT, UINT_PTR timer, DWORD)
    {
        auto& picker = *reinterpret_cast<ScriptedPicker*>(timer);
        const bool ready = picker.m_ready(picker);
        if (!ready && ::GetTickCount64() < picker.m_deadline)
            return;
        ::KillTimer(window, timer);
        picker.waitedInVain = !ready;
        picker.Press(ready ? picker.m_pressWhenReady : IDCANCEL);
    }

    std::function<bool(ScriptedPicker&)> m_ready;
    int m_pressWhenReady = IDCANCEL;
    ULONGLONG m_deadline = 0;
};

// Lists a folder's entries, as Explorer or a file dialog would.
void ListFolder(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    FindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (find.get() == INVALID_HANDLE_VALUE) {
        find.release(); // nothing to close
        return;
    }
    while (::FindNextFileA(find.get(), &entry)) {
    }
}

std::string TempFolder(const char* name)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + name;
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = TempFolder("orvelle-picker");
        folderA = base + "\\A";
        ::CreateDirectoryA(folderA.c_str(), nullptr);
        // Wine's browser finds a path's folders in its tree by comparing item
        // lists byte for byte, last access times included: a folder changed
        // and not listed since gets a new access time from the browser's own
        // listing, and the selection fails (the browser stays on the
        // Desktop). List every folder on the path once, as the folders a
        // user works with have been.
        for (size_t end = folderA.find('\\'); end != std::string::npos; end = folderA.find('\\', end + 1))
            ListFolder(folderA.substr(0, end));
        ListFolder(folderA);
    }

    std::string base;
    std::string folderA;
};

TEST_F(FolderPickerTest, OkReturnsTheInitialFolderItSelected)
{
    ScriptedPicker picker;
    picker.script = [this](ScriptedPicker& p) { p.PressWhenSelected(folderA, IDOK); };
    const int chosen = picker.Browse("Choose", folderA.c_str(), nullptr);
    ASSERT_FALSE(picker.waitedInVain) << "the browser never selected " << folderA;
    ASSERT_EQ(chosen, 1);
    EXPECT_STRCASEEQ(picker.GetPath().GetString(), folderA.c_str());
    EXPECT_EQ(picker.initialisedFlag, 1);
    EXPECT_EQ(picker.GetSafeHwnd(), nullptr) << "still bound to the browser's window";
}

// Cancel with a folder selected: nothing comes back.
TEST_F(FolderPickerTest, CancelReturnsZero)
{
    ScriptedPicker picker;
    picker.script = [this](ScriptedPicker& p) { p.PressWhenSelected(folderA, IDCANCEL); };
    const int chosen = picker.Browse("Choose", folderA.c_str(), nullptr);
    ASSERT_FALSE(picker.waitedInVain) << "the browser never selected " << folderA;
    EXPECT_EQ(chosen, 0);
    EXPECT_TRUE(picker.GetPath().IsEmpty());
}

// A folder with no file-system path (My Computer) must not come back as a
// path, nor leave the previous choice behind as if it were this one.
TEST_F(FolderPickerTest, ItemWithoutFileSystemPathReturnsZero)
{
    ScriptedPicker picker;
    picker.script = [this](ScriptedPicker& p) { p.PressWhenSelected(folderA, IDOK); };
    const int first = picker.Browse("Choose", folderA.c_str(), nullptr);
    ASSERT_FALSE(picker.waitedInVain) << "the browser never selected " << folderA;
    ASSERT_EQ(first, 1);

    LPITEMIDLIST found = nullptr;
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &found), S_OK);
    const ItemListPtr computer(found);
    picker.script = [&computer](ScriptedPicker& p) {
        p.SetSelection(computer.get());
        p.PressWhen([&computer](ScriptedPicker& q) { return q.Selected(computer.get()); }, IDOK);
    };
    const int second = picker.Browse(nullptr, nullptr, nullptr);
    ASSERT_FALSE(picker.waitedInVain) << "the browser never selected My Computer";
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(picker.GetPath().IsEmpty());
}

TEST_F(FolderPickerTest, FailedInitialisationClosesTheBrowser)
{
    ScriptedPicker picker;
    picker.failInitialisation = true;
    EXPECT_EQ(picker.Browse("Choose", folderA.c_str(), nullptr), 0);
}

TEST_F(FolderPickerTest, RemovesTheContextHelpButton)
{
    ScriptedPicker picker;
    picker.offerContextHelp = true;
    picker.script = [](ScriptedPicker& p) { p.Press(IDCANCEL); };
    picker.Browse("Choose", folderA.c_str(), nullptr);
    EXPECT_EQ(picker.exStyleAfterInit & WS_EX_CONTEXTHELP, 0);
}

// No context menu in the client area; the caption keeps its system menu.
TEST_F(FolderPickerTest, DropsTheClientAreaContextMenu)
{
    const int caption = ::GetSystemMetrics(SM_CYCAPTION);
    struct Case {
        bool keepContextHelp;
        int below; // distance of the click from the window's top edge
        bool reachesBrowser;
    };
    const Case cases[] = {
        {false, caption / 2, true},   {false, caption - 1, true}, {false, caption, false},
        {false, caption + 60, false}, {true, caption + 60, true},
    };
    for (const Case& c : cases) {
        ScriptedPicker picker;
        if (c.keepContextHelp)
            picker.KeepContextHelp();
        bool reached = !c.reachesBrowser;
        picker.script = [&](ScriptedPicker& p) {
            reached = p.ContextMenuReachesBrowser(c.below);
            p.Press(IDCANCEL);
        };
        picker.Browse("Choose", folderA.c_str(), nullptr);
        EXPECT_EQ(reached, c.reachesBrowser)
            << "keep help " << c.keepContextHelp << ", " << c.below << " below the top";
    }
}

// The browser runs in a single-threaded apartment, and the picker leaves the
// thread as it found it. Wine's browser also initialises OLE by itself, so
// the apartment helper has a test of its own below.
TEST_F(FolderPickerTest, RunsTheBrowserInABalancedSingleThreadedApartment)
{
    ScriptedPicker picker;
    picker.script = [](ScriptedPicker& p) { p.Press(IDCANCEL); };
    picker.Browse("Choose", folderA.c_str(), nullptr);
    EXPECT_TRUE(picker.apartmentWasSta);
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(hr, S_OK) << "the picker left COM initialised on this thread";
    if (SUCCEEDED(hr))
        ::CoUninitialize();
}

TEST(ComApartment, IsSingleThreadedAndBalanced)
{
    {
        CComApartment apartment;
        EXPECT_TRUE(apartment.IsInitialized());
        // A thread that is a single-threaded apartment refuses to become a
        // multi-threaded one.
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    }
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(hr, S_OK) << "the apartment was left initialised";
    if (SUCCEEDED(hr))
        ::CoUninitialize();
}

// The picker reaches the callback and its window through full pointers: one
// that lives above 4 GiB must work on the 64-bit build.
TEST_F(FolderPickerTest, WorksFromAboveFourGigabytes)
{
    if (sizeof(void*) < 8)
        GTEST_SKIP() << "64-bit build only";
    void* memory = nullptr;
    for (unsigned long long address = 0x300000000ull; !memory && address < 0x7f0000000000ull; address <<= 1)
        memory = ::VirtualAlloc(reinterpret_cast<void*>(address), sizeof(ScriptedPicker),
                                MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(memory, nullptr);
    ASSERT_GT(reinterpret_cast<unsigned long long>(memory), 0xFFFFFFFFull);

    auto* picker = new (memory) ScriptedPicker;
    picker->script = [this](ScriptedPicker& p) { p.PressWhenSelected(folderA, IDOK); };
    EXPECT_EQ(picker->Browse("Choose", folderA.c_str(), nullptr), 1);
    EXPECT_FALSE(picker->waitedInVain) << "the browser never selected " << folderA;
    EXPECT_STRCASEEQ(picker->GetPath().GetString(), folderA.c_str());
    picker->~ScriptedPicker();
    ::VirtualFree(memory, 0, MEM_RELEASE);
}

} // namespace
