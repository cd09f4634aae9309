// The COM port dialog's scan, OK and Cancel, run in-process over the
// simulated serial device (virtual clock, scripted failures).
#include "app/ComPortDlg.h"
#include "tests/support/ScriptedDialog.h"

#include "app/Globals.h"
#include "res/resource.h"
#include "tests/support/FakeTransceiver.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// The script runs after the scan; without one the dialog is cancelled.
class ScriptedComPortDlg : public CScriptedDialog<ScriptedComPortDlg, CComPortDlg> {
public:
    explicit ScriptedComPortDlg(const DeviceListApi& deviceList) : CScriptedDialog(nullptr, deviceList)
    {
        script = [](ScriptedComPortDlg& d) { d.Press(IDCANCEL); };
    }

    std::set<int> enabled, checked; // ports as the scan left them
    int waitCursorsAfterScan = -1;
    bool portOpenAfterScan = true;
    bool bigIcon = false, smallIcon = false;
    bool helpConsumed = false;

    // The ports above COM20 as the list shows them, its selection, and the
    // device name line, as the scan left them.
    std::vector<std::string> listed;
    std::string selected, nameLine;

    void Check(int port)
    {
        ::CheckRadioButton(m_hWnd, PortButtonId(1), PortButtonId(kPortCount), PortButtonId(port));
    }
    // As the user's click does it: the button checks itself and tells the dialog.
    void Click(int port) { ::SendMessageA(GetDlgItem(PortButtonId(port)), BM_CLICK, 0, 0); }
    // As the user's pick in the drop-down list arrives.
    void Choose(const char* label)
    {
        HWND list = GetDlgItem(IDC_MORE_PORTS);
        const LRESULT item = ::SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(label));
        ASSERT_NE(item, CB_ERR) << label;
        ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MORE_PORTS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    std::set<int> CheckedNow() const
    {
        std::set<int> ports;
        for (int port = 1; port <= kPortCount; ++port) {
            if (IsDlgButtonChecked(PortButtonId(port)) == BST_CHECKED)
                ports.insert(port);
        }
        return ports;
    }
    std::string SelectedNow() const
    {
        HWND list = GetDlgItem(IDC_MORE_PORTS);
        const LRESULT item = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
        if (item == CB_ERR)
            return "";
        char text[256] = {};
        ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text));
        return text;
    }
    std::string NameLineNow() const { return GetDlgItemText(IDC_PORT_NAME).str(); }

protected:
    BOOL OnInitDialog() override
    {
        const BOOL result = CScriptedDialog::OnInitDialog();
        for (int port = 1; port <= kPortCount; ++port) {
            if (::IsWindowEnabled(GetDlgItem(PortButtonId(port))))
                enabled.insert(port);
            if (IsDlgButtonChecked(PortButtonId(port)) == BST_CHECKED)
                checked.insert(port);
        }
        waitCursorsAfterScan = theApp.GetWaitCursorCount();
        HELPINFO help = {sizeof(HELPINFO), HELPINFO_WINDOW, IDOK, GetDlgItem(IDOK), 0, {0, 0}};
        helpConsumed = SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&help)) == TRUE;
        bigIcon = SendMessage(WM_GETICON, ICON_BIG) != 0;
        smallIcon = SendMessage(WM_GETICON, ICON_SMALL) != 0;
        portOpenAfterScan = theRadio.IsPortOpen() != 0;
        HWND list = GetDlgItem(IDC_MORE_PORTS);
        const LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[256] = {};
            ::SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            listed.push_back(text);
        }
        selected = SelectedNow();
        nameLine = NameLineNow();
        return result;
    }
};

class ComPortDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        theApp.m_hInstance = ::GetModuleHandleA(nullptr); // the dialog templates
        theRadio.SetPortOpen(0);
    }

    // Only the listed ports exist.
    void Present(std::set<int> ports)
    {
        for (int port = 1; port <= 32; ++port) {
            if (!ports.count(port))
                device.missingPorts.insert(CSerialPort::DeviceName(static_cast<BYTE>(port)).str());
        }
    }

    std::vector<std::string> OpenedNames() const
    {
        std::vector<std::string> names;
        for (const auto& open : device.opens)
            names.push_back(open.name);
        return names;
    }

    FakeTransceiver device;
    FakeOnPort onRadio{theRadio, device}; // the program's link calls the fake
};

struct ScanCase {
    const char* name;
    std::set<int> present;
    int saved;
    std::function<void(FakeTransceiver&)> fault;
    std::set<int> enabled;
    std::set<int> checked;
};

class ComPortScanTest : public ComPortDlgTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ComPortScanTest, ShowsUsablePortsAndKeepsTheSavedOne)
{
    const ScanCase& c = GetParam();
    Present(c.present);
    if (c.fault)
        c.fault(device);
    theRadio.SetPortNumber(static_cast<BYTE>(c.saved));
    const uint64_t start = device.Now();

    ScriptedComPortDlg dialog(device.DeviceList());
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);

    EXPECT_EQ(dialog.enabled, c.enabled);
    EXPECT_EQ(dialog.checked, c.checked);
    // Every port was tried, in order, by the name CreateFile knows it by.
    std::vector<std::string> names;
    for (int port = 1; port <= 20; ++port)
        names.push_back(CSerialPort::DeviceName(static_cast<BYTE>(port)).str());
    std::vector<std::string> tried = OpenedNames();
    EXPECT_EQ(std::set<std::string>(tried.begin(), tried.end()),
              std::set<std::string>(names.begin(), names.end()));
    EXPECT_EQ(tried.front(), "COM1");
    EXPECT_EQ(tried.back(), "\\\\.\\COM20");
    EXPECT_GE(device.Now() - start, 20u * 50u) << "each probe waits 50 ms first";
    // The link ends where it began, with nothing left open.
    EXPECT_EQ(theRadio.GetPortNumber(), c.saved);
    EXPECT_FALSE(dialog.portOpenAfterScan);
    EXPECT_EQ(device.OpenHandles(), 0);
    EXPECT_EQ(dialog.waitCursorsAfterScan, 0);
}

const ScanCase kScanCases[] = {
    {"OnePresentPortIsTheSavedOne", {1, 3}, 3, nullptr, {1, 3}, {3}},
    {"SavedPortNotPresent", {1, 3}, 5, nullptr, {1, 3}, {}},
    {"SavedPortBeyondTheDialog", {1, 3}, 21, nullptr, {1, 3}, {}},
    {"TwoDigitPorts", {12, 20}, 12, nullptr, {12, 20}, {12}},
    {"NoSerialPortsAtAll", {1, 3}, 3, [](FakeTransceiver& d) { d.provSubType = PST_MODEM; }, {}, {}},
    // COM20's open fails after the device was created (its second
    // SetCommTimeouts): disabled, released, and the saved port restored.
    {"LastProbeFailsHalfway",
     {3, 20},
     3,
     [](FakeTransceiver& d) { d.FailCall(FakeTransceiver::Call::SetCommTimeouts, 2); },
     {3},
     {3}},
};

INSTANTIATE_TEST_SUITE_P(Scan, ComPortScanTest, ::testing::ValuesIn(kScanCases),
                         [](const ::testing::TestParamInfo<ScanCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ComPortDlgTest, OkTakesTheCheckedPort)
{
    Present({1, 3});
    theRadio.SetPortNumber(3);
    ScriptedComPortDlg dialog(device.DeviceList());
    dialog.script = [](ScriptedComPortDlg& d) {
        d.Check(1);
        d.Press(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(theRadio.GetPortNumber(), 1);
    EXPECT_EQ(device.OpenHandles(), 0);
}

TEST_F(ComPortDlgTest, SetsTheProgramIconAndConsumesF1)
{
    Present({1, 3});
    ScriptedComPortDlg dialog(device.DeviceList());
    dialog.DoModal();
    EXPECT_TRUE(dialog.bigIcon);
    EXPECT_TRUE(dialog.smallIcon);
    EXPECT_TRUE(dialog.helpConsumed);
}

TEST_F(ComPortDlgTest, OkWithNothingCheckedKeepsTheSavedPort)
{
    Present({1, 3});
    theRadio.SetPortNumber(21);
    ScriptedComPortDlg dialog(device.DeviceList());
    dialog.script = [](ScriptedComPortDlg& d) { d.Press(IDOK); };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(theRadio.GetPortNumber(), 21);
}

TEST_F(ComPortDlgTest, CancelKeepsTheSavedPort)
{
    Present({1, 3});
    theRadio.SetPortNumber(3);
    ScriptedComPortDlg dialog(device.DeviceList());
    dialog.script = [](ScriptedComPortDlg& d) {
        d.Check(1);
        d.Press(IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(theRadio.GetPortNumber(), 3);
}

// ---- The ports above COM20 ------------------------------------------------------

// The machine of these tests: COM1 and COM3 usable, and ports above COM20
// that Windows lists, some with device names.
class MorePortsTest : public ComPortDlgTest {
protected:
    void SetUp() override
    {
        ComPortDlgTest::SetUp();
        Present({1, 3});
        device.AddPort(1);
        device.AddPort(3, "Communications Port (COM3)");
        device.AddPort(40);
        device.AddPort(23, "USB Serial Port (COM23)");
        device.AddPort(255, "Standard Serial over Bluetooth link (COM255)");
    }
};

TEST_F(MorePortsTest, ListedInOrderWithTheirNamesAndNeverOpened)
{
    theRadio.SetPortNumber(3);
    ScriptedComPortDlg dialog(device.DeviceList());
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.listed, (std::vector<std::string>{"COM23  USB Serial Port", "COM40",
                                                       "COM255  Standard Serial over Bluetooth link"}));
    EXPECT_EQ(dialog.checked, std::set<int>{3});
    EXPECT_EQ(dialog.selected, "");
    EXPECT_EQ(dialog.nameLine, "Communications Port (COM3)");
    // Only the twenty buttons' ports were opened.
    for (const std::string& name : OpenedNames()) {
        EXPECT_NE(name, "\\\\.\\COM23");
        EXPECT_NE(name, "\\\\.\\COM40");
        EXPECT_NE(name, "\\\\.\\COM255");
    }
    EXPECT_EQ(OpenedNames().size(), 20u);
    EXPECT_EQ(device.OpenKeys(), 0);
}

// A saved port above COM20 opens chosen in the list when present; when it is
// not, nothing is chosen and OK keeps it.
TEST_F(MorePortsTest, ASavedPortAboveTwentyIsChosenInTheList)
{
    const struct {
        int saved;
        const char* selected;
        const char* nameLine;
    } cases[] = {
        {23, "COM23  USB Serial Port", "USB Serial Port (COM23)"},
        {40, "COM40", ""},
        {30, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved);
        theRadio.SetPortNumber(static_cast<BYTE>(c.saved));
        ScriptedComPortDlg dialog(device.DeviceList());
        dialog.script = [](ScriptedComPortDlg& d) { d.Press(IDOK); };
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(dialog.selected, c.selected);
        EXPECT_EQ(dialog.checked, std::set<int>{});
        EXPECT_EQ(dialog.nameLine, c.nameLine);
        EXPECT_EQ(theRadio.GetPortNumber(), c.saved);
    }
}

// One choice at a time: a list entry unchecks the buttons, a button clears
// the list; the name line follows; OK takes what is chosen last.
TEST_F(MorePortsTest, TheListAndTheButtonsTakeTheChoiceFromEachOther)
{
    theRadio.SetPortNumber(3);
    ScriptedComPortDlg dialog(device.DeviceList());
    dialog.script = [](ScriptedComPortDlg& d) {
        d.Choose("COM23  USB Serial Port");
        EXPECT_EQ(d.CheckedNow(), std::set<int>{});
        EXPECT_EQ(d.NameLineNow(), "USB Serial Port (COM23)");

        d.Click(1);
        EXPECT_EQ(d.CheckedNow(), std::set<int>{1});
        EXPECT_EQ(d.SelectedNow(), "");
        EXPECT_EQ(d.NameLineNow(), "") << "COM1 has no device name";

        d.Click(3);
        EXPECT_EQ(d.NameLineNow(), "Communications Port (COM3)");

        d.Choose("COM255  Standard Serial over Bluetooth link");
        EXPECT_EQ(d.CheckedNow(), std::set<int>{});
        d.Press(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(theRadio.GetPortNumber(), 255);
    EXPECT_EQ(device.OpenHandles(), 0);
}

// Ports Windows reports a problem with, or whose driver refuses the chip:
// the list and the name line carry the warning, and they can still be
// chosen.
TEST_F(ComPortDlgTest, FlaggedPortsCarryTheirWarningAndCanBeChosen)
{
    // The warnings are language texts; the build copies the file beside the
    // test program.
    ASSERT_EQ(theLanguage.Open("English"), 1);
    Present({1, 3});
    device.AddPort(3, "Communications Port (COM3)");
    device.portDevices.back().problemCode = 10;
    device.AddPort(23, "USB Serial Port (COM23)");
    device.AddPort(24, "USB-Serial Controller - PLEASE CONTACT YOUR SUPPLIER (COM24)");
    device.AddPort(25);
    device.portDevices.back().problemCode = 28;
    theRadio.SetPortNumber(3);

    ScriptedComPortDlg dialog(device.DeviceList());
    dialog.script = [](ScriptedComPortDlg& d) {
        const struct {
            const char* entry;
            const char* nameLine;
        } cases[] = {
            {"COM24  USB-Serial Controller - PLEASE CONTACT YOUR SUPPLIER - The cable's driver refuses its "
             "chip",
             "The cable's driver refuses its chip: USB-Serial Controller - PLEASE CONTACT YOUR SUPPLIER "
             "(COM24)"},
            {"COM25 - Windows reports a problem with this port's device (code 28)",
             "Windows reports a problem with this port's device (code 28)"},
            {"COM23  USB Serial Port", "USB Serial Port (COM23)"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.entry);
            d.Choose(c.entry);
            EXPECT_EQ(d.SelectedNow(), c.entry);
            EXPECT_EQ(d.NameLineNow(), c.nameLine);
        }
        d.Choose(cases[0].entry);
        d.Press(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    // COM3's button is checked (the probe opens it); its line warns.
    EXPECT_EQ(dialog.checked, std::set<int>{3});
    EXPECT_EQ(dialog.nameLine,
              "Windows reports a problem with this port's device (code 10): Communications Port (COM3)");
    EXPECT_EQ(dialog.listed.size(), 3u);
    EXPECT_EQ(theRadio.GetPortNumber(), 24) << "a flagged port can be chosen";
    EXPECT_EQ(device.OpenKeys(), 0);
}

} // namespace
