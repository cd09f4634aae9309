// In-process tests of the application shell under Wine: the main dialog runs
// modally from its real template, a script runs inside its loop, and message
// boxes go to a scripted responder. The development language file lies beside
// the test program, and so do the settings file and the Data folder, as they
// do beside ORVELLE.exe.
#pragma once

#include "app/Globals.h"
#include "app/UpgradeDlg.h"
#include "tests/support/ScriptedBoxes.h"
#include "tests/support/ScriptedDialog.h"
#include "tests/support/WindowTestSupport.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// The main dialog with a script that runs once it is up.
class CScriptedUpgradeDlg : public CScriptedDialog<CScriptedUpgradeDlg, CUpgradeDlg> {
public:
    // The script may call what the dialog's messages would.
    using CUpgradeDlg::OnBrowse;
    using CUpgradeDlg::OnCancel;
    using CUpgradeDlg::PreTranslateMessage;
};

std::string ExeFolder();    // ends with a backslash
std::string SettingsPath(); // ORVELLE.ini beside the test program
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
std::string Text(int number); // language text
// The label and command of a menu item by position.
std::string MenuText(HMENU menu, int position);

class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Runs the main dialog with script; the script must end it.
    INT_PTR Run(std::function<void(CScriptedUpgradeDlg&)> script);

    // IDNO when nothing is scripted, so an unexpected close question never
    // ends a test's dialog.
    ScriptedBoxes m_boxes{IDNO};
};
