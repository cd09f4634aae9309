// The dialog framework with real windows under Wine: message-map dispatch,
// reflection, creation and initialisation order, data exchange, the modal
// loop with its owner handling and pre-translation.
#include "framework/Dialog.h"
#include "framework/Edit.h"
#include "framework/WinApp.h"

#include "FrameworkTestIds.h"
#include "tests/support/WindowTestSupport.h"

#include <functional>
#include <string>
#include <vector>

namespace {

class CProbeEdit : public CEdit {
public:
    int setFocusReflected = 0;
    std::string charsSeen;

protected:
    // 'x' is swallowed; everything else gets the edit's own processing.
    void OnChar(UINT charCode, UINT repeat, UINT flags)
    {
        charsSeen += static_cast<char>(charCode);
        if (charCode != 'x')
            CEdit::OnChar(charCode, repeat, flags);
    }
    void OnSetFocusReflect() { ++setFocusReflected; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeEdit, CEdit)
ON_WM_CHAR()
ON_CONTROL_REFLECT(EN_SETFOCUS, OnSetFocusReflect)
END_MESSAGE_MAP()

class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(CWnd* parent = nullptr) : CDialog(IDD_TEST_DIALOG, parent) {}

    // Runs inside the modal loop once the dialog is up.
    std::function<void(CProbeDlg&)> script;

    CProbeEdit edit;
    std::vector<std::string> calls;
    int createSeen = 0;
    std::string captionAtInit;
    bool editBoundAtInit = false;
    HWND ownerAtInit = nullptr;
    int f5Seen = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_TEST_EDIT, edit);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        captionAtInit = GetWindowText().str();
        editBoundAtInit = CWnd::FromHandlePermanent(GetDlgItem(IDC_TEST_EDIT)) == &edit;
        ownerAtInit = ::GetWindow(m_hWnd, GW_OWNER);
        PostMessage(WM_APP);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F5) {
            ++f5Seen;
            return TRUE;
        }
        return CDialog::PreTranslateMessage(msg);
    }
    int OnCreate(LPCREATESTRUCTA createStruct)
    {
        ++createSeen;
        if (CDialog::OnCreate(createStruct) == -1)
            return -1;
        SetWindowText("Set at creation");
        return 0;
    }
    void OnButton() { calls.push_back("button"); }
    void OnEditSetFocus() { calls.push_back("parent EN_SETFOCUS"); }
    void OnEditKillFocus() { calls.push_back("EN_KILLFOCUS"); }
    void OnTestCommand() { calls.push_back("command"); }
    BOOL OnHelpInfo(HELPINFO*)
    {
        calls.push_back("help");
        return TRUE;
    }
    LRESULT OnScript(WPARAM, LPARAM)
    {
        if (script)
            script(*this);
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CDialog)
ON_WM_CREATE()
ON_BN_CLICKED(IDC_TEST_BUTTON, OnButton)
ON_EN_SETFOCUS(IDC_TEST_EDIT, OnEditSetFocus)
ON_EN_KILLFOCUS(IDC_TEST_EDIT, OnEditKillFocus)
ON_COMMAND(ID_TEST_COMMAND, OnTestCommand)
ON_WM_HELPINFO()
ON_MESSAGE(WM_APP, OnScript)
END_MESSAGE_MAP()

LRESULT Notify(CWnd& dialog, int id, int code)
{
    return dialog.SendMessage(WM_COMMAND, MAKEWPARAM(id, code),
                              reinterpret_cast<LPARAM>(dialog.GetDlgItem(id)));
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_DISPLAY(); }
};

TEST_F(DialogTest, CommandsDispatchByIdAndNotificationCode)
{
    CProbeDlg dialog;
    LRESULT help = 0;
    std::vector<std::string> calls;
    dialog.script = [&](CProbeDlg& d) {
        d.calls.clear(); // the real focus changes are not what this test is about
        Notify(d, IDC_TEST_BUTTON, BN_CLICKED);
        Notify(d, IDC_TEST_BUTTON, BN_DOUBLECLICKED); // not in the map
        d.SendMessage(WM_COMMAND, MAKEWPARAM(ID_TEST_COMMAND, 0), 0);
        d.SendMessage(WM_COMMAND, MAKEWPARAM(ID_TEST_COMMAND + 1, 0), 0); // not in the map
        Notify(d, IDC_TEST_EDIT, EN_KILLFOCUS);
        HELPINFO info = {};
        info.cbSize = sizeof(info);
        help = d.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        calls = d.calls;
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(calls, (std::vector<std::string>{"button", "command", "EN_KILLFOCUS", "help"}));
    EXPECT_EQ(help, TRUE);
}

TEST_F(DialogTest, ReflectedNotificationGoesToTheControlNotTheParent)
{
    CProbeDlg dialog;
    int reflected = 0;
    dialog.script = [&](CProbeDlg& d) {
        const int before = d.edit.setFocusReflected;
        Notify(d, IDC_TEST_EDIT, EN_SETFOCUS);
        reflected = d.edit.setFocusReflected - before;
        d.EndDialog(IDOK);
    };
    dialog.DoModal();
    EXPECT_EQ(reflected, 1);
    for (const std::string& call : dialog.calls)
        EXPECT_NE(call, "parent EN_SETFOCUS");
}

TEST_F(DialogTest, ControlHandlerChoosesBetweenDefaultProcessingAndNone)
{
    CProbeDlg dialog;
    std::string text;
    dialog.script = [&](CProbeDlg& d) {
        for (char c : std::string("axb"))
            d.edit.SendMessage(WM_CHAR, static_cast<WPARAM>(c), 1);
        text = d.edit.GetWindowText().str();
        d.EndDialog(IDOK);
    };
    dialog.DoModal();
    EXPECT_EQ(dialog.edit.charsSeen, "axb");
    EXPECT_EQ(text, "ab");
}

TEST_F(DialogTest, CreationComesBeforeInitialisationAndDataExchangeBindsControls)
{
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg& d) { d.EndDialog(IDOK); };
    dialog.DoModal();
    EXPECT_EQ(dialog.createSeen, 1);
    EXPECT_EQ(dialog.captionAtInit, "Set at creation");
    EXPECT_TRUE(dialog.editBoundAtInit);
}

TEST_F(DialogTest, EveryWayOutGivesItsResultAndUnbindsTheWindows)
{
    struct Case {
        const char* name;
        std::function<void(CProbeDlg&)> end;
        INT_PTR result;
    };
    const Case cases[] = {
        {"OK command", [](CProbeDlg& d) { d.SendMessage(WM_COMMAND, IDOK, 0); }, IDOK},
        {"close box", [](CProbeDlg& d) { d.PostMessage(WM_CLOSE); }, IDCANCEL},
        {"Esc through the dialog manager",
         [](CProbeDlg& d) { ::PostMessageA(d.edit.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 1); }, IDCANCEL},
        {"EndDialog", [](CProbeDlg& d) { d.EndDialog(42); }, 42},
    };
    for (const Case& c : cases) {
        CProbeDlg dialog;
        HWND window = nullptr;
        dialog.script = [&](CProbeDlg& d) {
            window = d.m_hWnd;
            c.end(d);
        };
        EXPECT_EQ(dialog.DoModal(), c.result) << c.name;
        EXPECT_EQ(dialog.m_hWnd, nullptr) << c.name;
        EXPECT_EQ(dialog.edit.m_hWnd, nullptr) << c.name;
        EXPECT_FALSE(::IsWindow(window)) << c.name;
    }
}

TEST_F(DialogTest, PreTranslateMessageComesBeforeTheDialogManager)
{
    CProbeDlg dialog;
    dialog.script = [](CProbeDlg& d) {
        ::PostMessageA(d.edit.m_hWnd, WM_KEYDOWN, VK_F5, 1);
        d.PostMessage(WM_COMMAND, IDOK, 0);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.f5Seen, 1);
}

// A plain top-level window standing in for the application's main window.
class CTopLevel : public CWnd {
public:
    CTopLevel()
    {
        SubclassWindow(::CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                         nullptr, nullptr, nullptr));
    }
    ~CTopLevel() override { DestroyWindow(); }
};

TEST_F(DialogTest, WithoutParentTheMainWindowOwnsTheDialogAndIsDisabledMeanwhile)
{
    CWinApp app;
    CTopLevel main;
    app.m_pMainWnd = &main;

    CProbeDlg dialog;
    BOOL mainEnabledDuring = TRUE;
    dialog.script = [&](CProbeDlg& d) {
        mainEnabledDuring = main.IsWindowEnabled();
        d.EndDialog(IDOK);
    };
    dialog.DoModal();
    EXPECT_EQ(dialog.ownerAtInit, main.m_hWnd);
    EXPECT_FALSE(mainEnabledDuring);
    EXPECT_TRUE(main.IsWindowEnabled());
}

TEST_F(DialogTest, NestedDialogIsOwnedByTheOuterOneWhenThatIsTheMainWindow)
{
    CWinApp app;
    CProbeDlg outer;
    app.m_pMainWnd = &outer;
    CProbeDlg inner;
    BOOL outerEnabledDuringInner = TRUE;
    BOOL outerEnabledAfterInner = FALSE;
    inner.script = [&](CProbeDlg& d) {
        outerEnabledDuringInner = outer.IsWindowEnabled();
        d.EndDialog(IDOK);
    };
    HWND outerWindow = nullptr;
    outer.script = [&](CProbeDlg& d) {
        outerWindow = d.m_hWnd;
        inner.DoModal();
        outerEnabledAfterInner = outer.IsWindowEnabled();
        d.EndDialog(IDCANCEL);
    };
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
    EXPECT_EQ(outer.ownerAtInit, nullptr);
    EXPECT_EQ(inner.ownerAtInit, outerWindow);
    EXPECT_FALSE(outerEnabledDuringInner);
    EXPECT_TRUE(outerEnabledAfterInner);
}

// Arms the creation hook directly, as a dialog does.
class CHookArmer : public CWnd {
public:
    using CWnd::HookWindowCreate;
};

// Stands in for an input method: the first time the thread creates a window,
// an IME window is created first, from inside that creation.
struct InputMethod {
    static InputMethod* active;
    const char* className;
    HHOOK hook = nullptr;
    HWND window = nullptr;
    bool creating = false;

    explicit InputMethod(const char* imeClass) : className(imeClass)
    {
        active = this;
        hook = ::SetWindowsHookExA(WH_CBT, &InputMethod::Proc, nullptr, ::GetCurrentThreadId());
    }
    ~InputMethod()
    {
        ::UnhookWindowsHookEx(hook);
        if (window)
            ::DestroyWindow(window);
        active = nullptr;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam)
    {
        InputMethod& self = *active;
        if (code == HCBT_CREATEWND && !self.window && !self.creating) {
            self.creating = true;
            self.window = ::CreateWindowExA(0, self.className, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                            ::GetModuleHandleA(nullptr), nullptr);
            self.creating = false;
        }
        return ::CallNextHookEx(self.hook, code, wParam, lParam);
    }
};
InputMethod* InputMethod::active = nullptr;

TEST_F(DialogTest, InputMethodWindowsCreatedFirstAreNotTakenForTheDialog)
{
    WNDCLASSA imeClass = {};
    imeClass.style = CS_IME;
    imeClass.lpfnWndProc = ::DefWindowProcA;
    imeClass.hInstance = ::GetModuleHandleA(nullptr);
    imeClass.lpszClassName = "OrvelleTestInputMethod";
    ASSERT_NE(::RegisterClassA(&imeClass), 0);

    for (const char* className : {imeClass.lpszClassName, "IME"}) {
        SCOPED_TRACE(className);
        CProbeDlg dialog;
        HWND window = nullptr;
        dialog.script = [&](CProbeDlg& d) {
            window = d.m_hWnd;
            d.EndDialog(IDOK);
        };
        // The hook is armed before the input method's own hook goes in, so
        // the input method sees the dialog's creation first.
        CHookArmer::HookWindowCreate(&dialog);
        InputMethod ime(className);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        ASSERT_NE(ime.window, nullptr) << "no window of the input method's class";
        EXPECT_NE(window, ime.window);
        EXPECT_EQ(CWnd::FromHandlePermanent(ime.window), nullptr);
        EXPECT_EQ(dialog.createSeen, 1);
        EXPECT_EQ(dialog.captionAtInit, "Set at creation");
    }
    ::UnregisterClassA(imeClass.lpszClassName, imeClass.hInstance);
}

TEST_F(DialogTest, SubclassingIsUndoneByUnsubclass)
{
    HWND window =
        ::CreateWindowExA(0, "EDIT", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const LONG_PTR ownProc = ::GetWindowLongPtrA(window, GWLP_WNDPROC);
    {
        CEdit edit;
        ASSERT_TRUE(edit.SubclassWindow(window));
        EXPECT_EQ(CWnd::FromHandlePermanent(window), &edit);
        CEdit other;
        EXPECT_FALSE(other.SubclassWindow(window)); // one object per window
        EXPECT_EQ(edit.UnsubclassWindow(), window);
        EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
        EXPECT_EQ(::GetWindowLongPtrA(window, GWLP_WNDPROC), ownProc);
        ASSERT_TRUE(edit.SubclassWindow(window));
    } // the destructor unbinds too
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
    EXPECT_EQ(::GetWindowLongPtrA(window, GWLP_WNDPROC), ownProc);
    ::DestroyWindow(window);
}

} // namespace
