// In-process tests of the application shell under Wine: the main dialog runs
// modally from its real template, a script runs inside its loop, and message
// boxes go to a scripted responder. The development language file lies beside
// the test program, and so do the settings file and the Data folder, as they
// do beside ORVELLE.exe.
#pragma once

#include "app/Globals.h"
#include "app/UpgradeDlg.h"
#include "framework/AppMessageBox.h"
#include "tests/unit/framework/WindowTestSupport.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// One message box the program asked for.
struct BoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    unsigned type;
};

// Records every box and answers from a queue (IDNO when the queue is empty,
// so an unexpected close question never ends a test's dialog).
class ScriptedBoxes {
public:
    ScriptedBoxes() { m_previous = SetAppMessageBoxFn(&Respond); }
    ~ScriptedBoxes() { SetAppMessageBoxFn(m_previous); }

    static std::vector<BoxCall>& Calls()
    {
        static std::vector<BoxCall> calls;
        return calls;
    }
    static std::deque<int>& Answers()
    {
        static std::deque<int> answers;
        return answers;
    }

private:
    static int Respond(void* owner, const char* text, const char* caption, unsigned type)
    {
        Calls().push_back({static_cast<HWND>(owner), text ? text : "", caption ? caption : "", type});
        if (Answers().empty())
            return IDNO;
        const int answer = Answers().front();
        Answers().pop_front();
        return answer;
    }

    AppMessageBoxFn m_previous;
};

// The main dialog with a script that runs once it is up.
class CScriptedUpgradeDlg : public CUpgradeDlg {
public:
    std::function<void(CScriptedUpgradeDlg&)> script;

    // The script may call what the dialog's messages would.
    using CUpgradeDlg::OnBrowse;
    using CUpgradeDlg::OnCancel;
    using CUpgradeDlg::PreTranslateMessage;

protected:
    BOOL OnInitDialog() override
    {
        const BOOL result = CUpgradeDlg::OnInitDialog();
        PostMessage(WM_APP);
        return result;
    }
    LRESULT OnScript(WPARAM, LPARAM)
    {
        if (script)
            script(*this);
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

std::string ExeFolder();    // ends with a backslash
std::string SettingsPath(); // ORVELLE.ini beside the test program
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::string Text(int number); // language text
std::string WindowText(HWND window);
// The label and command of a menu item by position.
std::string MenuText(HMENU menu, int position);

class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs the main dialog with script; the script must end it.
    INT_PTR Run(std::function<void(CScriptedUpgradeDlg&)> script);

    ScriptedBoxes m_boxes;
};
