// The COM port dialog's scan, OK and Cancel, run in-process over the
// simulated serial device (virtual clock, scripted failures).
#include "app/ComPortDlg.h"
#include "tests/support/ScriptedDialog.h"

#include "app/Globals.h"
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
    ScriptedComPortDlg()
    {
        script = [](ScriptedComPortDlg& d) { d.Press(IDCANCEL); };
    }

    std::set<int> enabled, checked; // ports as the scan left them
    int waitCursorsAfterScan = -1;
    bool portOpenAfterScan = true;
    bool bigIcon = false, smallIcon = false;
    bool helpConsumed = false;

    void Check(int port)
    {
        ::CheckRadioButton(m_hWnd, PortButtonId(1), PortButtonId(kPortCount), PortButtonId(port));
    }

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

    ScriptedComPortDlg dialog;
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
    ScriptedComPortDlg dialog;
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
    ScriptedComPortDlg dialog;
    dialog.DoModal();
    EXPECT_TRUE(dialog.bigIcon);
    EXPECT_TRUE(dialog.smallIcon);
    EXPECT_TRUE(dialog.helpConsumed);
}

TEST_F(ComPortDlgTest, OkWithNothingCheckedKeepsTheSavedPort)
{
    Present({1, 3});
    theRadio.SetPortNumber(21);
    ScriptedComPortDlg dialog;
    dialog.script = [](ScriptedComPortDlg& d) { d.Press(IDOK); };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(theRadio.GetPortNumber(), 21);
}

TEST_F(ComPortDlgTest, CancelKeepsTheSavedPort)
{
    Present({1, 3});
    theRadio.SetPortNumber(3);
    ScriptedComPortDlg dialog;
    dialog.script = [](ScriptedComPortDlg& d) {
        d.Check(1);
        d.Press(IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(theRadio.GetPortNumber(), 3);
}

} // namespace
