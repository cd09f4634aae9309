// The settings: what start-up makes of each value in the file, what reaches
// the link, and what a confirmed close writes back.
#include "ShellTestSupport.h"

#include "app/SettingsValue.h"
#include "res/resource.h"

#include <climits>

namespace {

TEST(SettingsValue, ReadsLikeAtoiWithoutOverflow)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"12", 12},
        {"  7", 7},
        {"+3", 3},
        {"-4", -4},
        {"21abc", 21},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseSettingsInt(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(ParseSettingsInt(nullptr), 0);
}

struct LoadCase {
    const char* name;
    std::string ini;    // the file's content; empty: no file
    std::string folder; // expected folder path; "<data>" for the default
    std::string file;
    int port;
    int mode;
    int linkPort;
    UINT checkedButton;
    std::string edit; // "<folder>" / "<file>" for the path of the mode
};

std::string Lines(std::initializer_list<std::string> lines)
{
    std::string text = "[INIT]\r\n";
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

TEST_F(ShellTest, StartUpReadsEachSettingByItsRules)
{
    const std::string data = ExeFolder() + "Data";
    const std::string longPath = "C:\\" + std::string(256, 'p'); // 259 characters
    const LoadCase cases[] = {
        {"no file", "", data, "", 1, 1, 1, IDC_FOLDER_MODE, data},
        {"all four", Lines({"Folder=" + data, "File=C:\\x.ENH", "ComPort=3", "Mode=2"}), data, "C:\\x.ENH", 3,
         2, 3, IDC_FILE_MODE, "C:\\x.ENH"},
        {"mode 2 with empty file", Lines({"Mode=2"}), data, "", 1, 2, 1, IDC_FILE_MODE, ""},
        {"mode 3", Lines({"Mode=3"}), data, "", 1, 1, 1, IDC_FOLDER_MODE, data},
        {"mode 0", Lines({"Mode=0"}), data, "", 1, 1, 1, IDC_FOLDER_MODE, data},
        {"mode letter", Lines({"Mode=x"}), data, "", 1, 1, 1, IDC_FOLDER_MODE, data},
        {"mode overflowing", Lines({"Mode=4294967298"}), data, "", 1, 1, 1, IDC_FOLDER_MODE, data},
        {"port 12", Lines({"ComPort=12"}), data, "", 12, 1, 12, IDC_FOLDER_MODE, data},
        {"port 21", Lines({"ComPort=21"}), data, "", 21, 1, 21, IDC_FOLDER_MODE, data},
        {"port 0 leaves the link at 1", Lines({"ComPort=0"}), data, "", 0, 1, 1, IDC_FOLDER_MODE, data},
        {"port not a number", Lines({"ComPort=COM3"}), data, "", 0, 1, 1, IDC_FOLDER_MODE, data},
        {"port 257 gives the link its low 8 bits", Lines({"ComPort=257"}), data, "", 257, 1, 1,
         IDC_FOLDER_MODE, data},
        {"port overflowing", Lines({"ComPort=99999999999"}), data, "", INT_MAX, 1, 255, IDC_FOLDER_MODE,
         data},
        {"garbage", "\x01\xff garbage\r\n[INIT\r\n=\r\nMode\r\n", data, "", 1, 1, 1, IDC_FOLDER_MODE, data},
        {"long folder", Lines({"Folder=" + longPath}), longPath, "", 1, 1, 1, IDC_FOLDER_MODE, longPath},
    };
    for (const LoadCase& c : cases) {
        ::DeleteFileA(SettingsPath().c_str());
        if (!c.ini.empty())
            WriteFile(SettingsPath(), c.ini);
        theRadio.SetPortNumber(1);
        std::string folder, file, edit;
        int port = 0, mode = 0;
        UINT checked = 0;
        Run([&](CScriptedUpgradeDlg& d) {
            folder = d.m_strFolderPath.str();
            file = d.m_strFilePath.str();
            port = d.m_nPortNumber;
            mode = d.m_nMode;
            edit = WindowText(d.GetDlgItem(IDC_PATH_EDIT));
            checked = d.IsDlgButtonChecked(IDC_FOLDER_MODE) ? IDC_FOLDER_MODE
                      : d.IsDlgButtonChecked(IDC_FILE_MODE) ? IDC_FILE_MODE
                                                            : 0;
            d.EndDialog(IDABORT);
        });
        EXPECT_EQ(folder, c.folder) << c.name;
        EXPECT_EQ(file, c.file) << c.name;
        EXPECT_EQ(port, c.port) << c.name;
        EXPECT_EQ(mode, c.mode) << c.name;
        EXPECT_EQ(theRadio.GetPortNumber(), c.linkPort) << c.name;
        EXPECT_EQ(checked, c.checkedButton) << c.name;
        EXPECT_EQ(edit, c.edit) << c.name;
    }
}

TEST_F(ShellTest, ConfirmedCloseWritesBackWhatWasReadAndKeepsOtherLines)
{
    WriteFile(SettingsPath(),
              "; kept\r\n[INIT]\r\nMode=2\r\nComPort=COM3\r\nFolder=C:\\Opt\r\n[OTHER]\r\nA=1\r\n");
    m_boxes.answers = {IDYES};
    Run([](CScriptedUpgradeDlg& d) { d.PostMessage(WM_CLOSE); });
    // A non-numeric port is written back as the 0 it was read as.
    EXPECT_EQ(ReadFile(SettingsPath()),
              "; kept\r\n[INIT]\r\nMode=2\r\nComPort=0\r\nFolder=C:\\Opt\r\nFile=\r\n[OTHER]\r\nA=1\r\n");
}

TEST_F(ShellTest, PathsCutOnReadingSurviveWholeUnlessChanged)
{
    // Longer than the settings file gives (259 characters): the stored paths
    // must not lose their ends just because the program was started and closed.
    const std::string folder260 = "C:\\" + std::string(257, 'f');
    const std::string file300 = "C:\\" + std::string(293, 'n') + ".ENH";
    const std::string original = Lines({"Folder=" + folder260, "File=" + file300, "ComPort=2", "Mode=2"});

    WriteFile(SettingsPath(), original);
    m_boxes.answers = {IDYES};
    Run([](CScriptedUpgradeDlg& d) {
        // Leaving the edit stores what it shows (the cut path): still unchanged.
        ::SetFocus(d.GetDlgItem(IDC_PATH_EDIT));
        ::SetFocus(d.GetDlgItem(IDC_UPGRADE));
        d.m_nPortNumber = 5;
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(ReadFile(SettingsPath()),
              Lines({"Folder=" + folder260, "File=" + file300, "ComPort=5", "Mode=2"}));

    // A path the user changed is written as it now is.
    m_boxes.answers = {IDYES};
    Run([](CScriptedUpgradeDlg& d) {
        d.m_strFilePath = "C:\\new.ENH";
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(ReadFile(SettingsPath()),
              Lines({"Folder=" + folder260, "File=C:\\new.ENH", "ComPort=5", "Mode=2"}));
}

TEST_F(ShellTest, NothingIsWrittenWithoutAConfirmedClose)
{
    const std::string original = Lines({"Folder=C:\\Opt", "Mode=2"});
    WriteFile(SettingsPath(), original);
    m_boxes.answers = {IDNO};
    Run([](CScriptedUpgradeDlg& d) {
        d.m_strFolderPath = "C:\\Changed";
        d.m_nMode = 1;
        d.SendMessage(WM_CLOSE); // answered No
        PumpMessages();
        d.EndDialog(IDABORT);
    });
    EXPECT_EQ(ReadFile(SettingsPath()), original);
}

} // namespace
