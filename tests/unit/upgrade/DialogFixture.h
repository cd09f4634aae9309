// A CUpgradeDlg for in-process tests under Wine: bound to a stand-in window
// that holds the controls the upgrade run looks at (the mode buttons, the
// Upgrade and Browse buttons, the path edit), with texts from the development
// language file and a temporary folder for option files.
#pragma once

#include "app/Globals.h"
#include "app/UpgradeDlg.h"
#include "tests/support/TempFolder.h"
#include "tools/enhtool/EnhFile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

class DialogFixture : public ::testing::Test {
public:
    // Messages the stand-in window received (WM_APP and up), with the wait
    // cursor count at that moment. Each one puts the arrow cursor up.
    struct Seen {
        UINT message;
        int waitCursorCount;
    };
    static std::vector<Seen> s_seen;

    void SetUp() override;
    void TearDown() override;

    // Folder or File mode, as the checked mode button says.
    void SetFolderMode(bool folder);
    // Writes bytes as name in the temporary folder; returns the full path.
    std::string Put(const std::string& name, const std::vector<unsigned char>& bytes);
    std::string MakeFolder(const std::string& name);
    std::string Path(const std::string& name) const { return m_temp / name; }

protected:
    CUpgradeDlg m_dlg;
    HWND m_window = nullptr;
    TempFolder m_temp;
    std::string m_folder = m_temp.Path();
};

// An option file of the sample model with the given entries.
std::vector<unsigned char> SampleFile(std::vector<EnhEntry> entries, const char* minVersion = "V1.00",
                                      unsigned char rule = '1', const char* model = "QX-5100");
