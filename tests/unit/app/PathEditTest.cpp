// The path edit: its character filter, length limit, select-all on focus and
// missing context menu; and CDialogText's tables.
#include "ShellTestSupport.h"

#include "app/DialogText.h"
#include "app/FilterEdit.h"
#include "res/resource.h"
#include "text/TextNumbers.h"

namespace {

TEST(FilterEdit, PathFilterLetsThroughBackspaceAndTheCharactersOfAPath)
{
    for (UINT c = 0; c <= 0x1FF; ++c) {
        const bool expected = c == 0x08 || (c >= 0x20 && c <= 0x7A);
        EXPECT_EQ(CFilterEdit::IsCharAllowed(CFilterEdit::kPathFilter, c), expected) << "code " << c;
    }
}

// Types each character as WM_CHAR, the way the keyboard would.
void Type(HWND edit, const std::string& chars)
{
    for (unsigned char c : chars)
        ::SendMessageA(edit, WM_CHAR, c, 1);
}

TEST_F(ShellTest, PathEditTakesAPathAndSilentlyDropsEverythingElse)
{
    struct Case {
        const char* name;
        std::string typed;
        std::string text;
    };
    const Case cases[] = {
        {"ordinary path", "C:\\Option Files\\v1.2\\x_y-z.ENH", "C:\\Option Files\\v1.2\\x_y-z.ENH"},
        {"braces, bar, tilde and DEL", "a~b{c|d}e\x7F", "abcde"},
        {"codes from 0x80 up", "caf\xE9 \x80\xFF!", "caf !"},
        {"Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z and other controls",
         "ab\x03\x16\x18\x1A\x01\x09\x0D"
         "c",
         "abc"},
        {"backspace deletes", "abc\x08", "ab"},
    };
    std::vector<std::string> texts;
    std::vector<size_t> boxes;
    Run([&](CScriptedUpgradeDlg& d) {
        HWND edit = d.GetDlgItem(IDC_PATH_EDIT);
        for (const Case& c : cases) {
            ::SetWindowTextA(edit, "");
            Type(edit, c.typed);
            texts.push_back(WindowText(edit));
        }
        d.EndDialog(IDABORT);
    });
    ASSERT_EQ(texts.size(), std::size(cases));
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(texts[i], cases[i].text) << cases[i].name;
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(ShellTest, PathEditRefusesThe261stCharacterButNotTextSetByTheProgram)
{
    size_t typed = 0, limit = 0;
    Run([&](CScriptedUpgradeDlg& d) {
        HWND edit = d.GetDlgItem(IDC_PATH_EDIT);
        ::SetWindowTextA(edit, "");
        Type(edit, std::string(261, 'a'));
        typed = WindowText(edit).size();
        limit = static_cast<size_t>(::SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
        d.EndDialog(IDABORT);
    });
    EXPECT_EQ(typed, 260u);
    EXPECT_EQ(limit, 260u);
}

void CALLBACK EndAnyMenu(HWND, UINT, UINT_PTR, DWORD)
{
    ::EndMenu();
}

TEST_F(ShellTest, PathEditSelectsAllWhenItGainsTheFocusAndHasNoContextMenu)
{
    DWORD start = 1, end = 0;
    bool menuShown = true;
    Run([&](CScriptedUpgradeDlg& d) {
        HWND edit = d.GetDlgItem(IDC_PATH_EDIT);
        ::SetFocus(d.GetDlgItem(IDC_UPGRADE));
        ::SetWindowTextA(edit, "C:\\Options");
        ::SendMessageA(edit, EM_SETSEL, 3, 3);
        ::SetFocus(edit);
        PumpMessages(); // the selection is posted, after the focus change
        ::SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));

        // The edit's own menu would run a modal loop; a timer would see it.
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &EndAnyMenu);
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        ::SendMessageA(edit, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(edit), MAKELPARAM(10, 10));
        ::GetGUIThreadInfo(::GetCurrentThreadId(), &info);
        menuShown = (info.flags & GUI_INMENUMODE) != 0 || ::FindWindowA("#32768", nullptr) != nullptr;
        ::KillTimer(nullptr, timer);
        d.EndDialog(IDABORT);
    });
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 10u);
    EXPECT_FALSE(menuShown);
}

// A stand-in dialog: a popup with a few children, bound to a CWnd.
class CStandIn : public CWnd {
public:
    CStandIn()
    {
        SubclassWindow(
            ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr));
        for (int id : {101, 102, 103})
            ::CreateWindowExA(0, "STATIC", "old *", WS_CHILD, 0, 0, 10, 10, m_hWnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        ::CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 10, 10, m_hWnd, reinterpret_cast<HMENU>(200),
                          nullptr, nullptr);
    }
    ~CStandIn() override { DestroyWindow(); }
};

TEST_F(ShellTest, SetItemTextsSkipsZeroIdsZeroTextsAndMissingControls)
{
    CStandIn dialog;
    const DialogTextEntry table[] = {{101, 29}, {0, 30}, {102, 0}, {999, 31}, {103, 28}};
    EXPECT_EQ(theDialogText.SetItemTexts(&dialog, table), 1);
    EXPECT_EQ(WindowText(dialog.GetDlgItem(101)), Text(TextNo::kModeGroup));
    EXPECT_EQ(WindowText(dialog.GetDlgItem(102)), "old *");
    EXPECT_EQ(WindowText(dialog.GetDlgItem(103)), Text(TextNo::kLocationLabel));
}

TEST_F(ShellTest, SetMenuTextsRewritesByPositionKeepingDropDowns)
{
    HMENU bar = ::CreateMenu();
    HMENU dropDown = ::CreatePopupMenu();
    ::AppendMenuA(dropDown, MF_STRING, 32772, "E&xit *");
    ::AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(dropDown), "&File *");
    ::AppendMenuA(bar, MF_STRING, 40000, "Old *");
    ::AppendMenuA(bar, MF_STRING, 40001, "Gone *");

    const DialogTextEntry table[] = {{0, 22}, {16, 27}, {0, 0}};
    EXPECT_EQ(theDialogText.SetMenuTexts(bar, table), 1);

    EXPECT_EQ(MenuText(bar, 0), Text(TextNo::kFileMenu));
    EXPECT_EQ(::GetSubMenu(bar, 0), dropDown);
    EXPECT_EQ(MenuText(dropDown, 0), "E&xit *"); // the drop-down's own items are untouched
    EXPECT_EQ(MenuText(bar, 1), Text(TextNo::kAboutItem));
    EXPECT_EQ(::GetMenuItemID(bar, 1), 16u);
    EXPECT_NE(::GetMenuState(bar, 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    ::DestroyMenu(bar);
}

TEST_F(ShellTest, SetupEditSetsKindLimitAndTextOnAFilterEditOnly)
{
    CStandIn dialog;
    HWND editWindow = dialog.GetDlgItem(200);

    // Not bound to a CFilterEdit: left alone.
    EXPECT_EQ(theDialogText.SetupEdit(&dialog, 200, CFilterEdit::kPathFilter, 260, "text"), 1);
    EXPECT_EQ(WindowText(editWindow), "");

    CFilterEdit edit;
    ASSERT_TRUE(edit.SubclassWindow(editWindow));
    EXPECT_EQ(theDialogText.SetupEdit(&dialog, 200, CFilterEdit::kPathFilter, 260, "C:\\x"), 1);
    EXPECT_EQ(edit.GetFilterKind(), CFilterEdit::kPathFilter);
    EXPECT_EQ(::SendMessageA(editWindow, EM_GETLIMITTEXT, 0, 0), 260);
    EXPECT_EQ(WindowText(editWindow), "C:\\x");
    EXPECT_EQ(theDialogText.SetupEdit(&dialog, 999, CFilterEdit::kPathFilter, 260, ""), 1);
}

} // namespace
