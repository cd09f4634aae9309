#include "app/ComPortDlg.h"

#include "app/Globals.h"
#include "link/PortName.h"
#include "link/PortScan.h"
#include "res/resource.h"
#include "text/TextNumbers.h"
#include "upgrade/PortWarningText.h"

#include <iterator>

namespace {

// A flagged port's warning in the language file's words; empty for none.
CString WarningOf(const SerialPortEntry& port)
{
    return PortWarningText(PortWarningOf(port),
                           [](int number) { return CString(theLanguage.GetText(number)); })
        .warning;
}

// The port buttons in port order, COM1 first.
constexpr int kPortButtons[CComPortDlg::kPortCount] = {
    IDC_COMPORT_COM1,  IDC_COMPORT_COM2,  IDC_COMPORT_COM3,  IDC_COMPORT_COM4,  IDC_COMPORT_COM5,
    IDC_COMPORT_COM6,  IDC_COMPORT_COM7,  IDC_COMPORT_COM8,  IDC_COMPORT_COM9,  IDC_COMPORT_COM10,
    IDC_COMPORT_COM11, IDC_COMPORT_COM12, IDC_COMPORT_COM13, IDC_COMPORT_COM14, IDC_COMPORT_COM15,
    IDC_COMPORT_COM16, IDC_COMPORT_COM17, IDC_COMPORT_COM18, IDC_COMPORT_COM19, IDC_COMPORT_COM20,
};

} // namespace

BEGIN_MESSAGE_MAP(CComPortDlg, CDialog)
ON_WM_HELPINFO()
ON_BN_CLICKED(IDC_COMPORT_COM1, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM2, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM3, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM4, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM5, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM6, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM7, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM8, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM9, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM10, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM11, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM12, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM13, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM14, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM15, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM16, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM17, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM18, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM19, OnPortButton)
ON_BN_CLICKED(IDC_COMPORT_COM20, OnPortButton)
ON_CONTROL(CBN_SELCHANGE, IDC_MORE_PORTS, OnMorePortChosen)
END_MESSAGE_MAP()

CComPortDlg::CComPortDlg(CWnd* parent, const DeviceListApi& deviceList)
    : CDialog(IDD_COMPORT, parent), m_deviceList(deviceList)
{
}

int CComPortDlg::PortButtonId(int port)
{
    return kPortButtons[port - 1];
}

void CComPortDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

BOOL CComPortDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    HICON icon = theApp.LoadIcon(IDR_MAINFRAME);
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);

    SetWindowText(theLanguage.GetText(TextNo::kComPortCaption));
    static const DialogTextEntry kTexts[] = {
        {IDC_COMPORT_GROUP, TextNo::kComPortGroup},
        {IDOK, TextNo::kOkButton},
        {IDCANCEL, TextNo::kCancelButton},
        {IDC_MORE_PORTS_LABEL, TextNo::kMorePortsLabel},
    };
    theDialogText.SetItemTexts(this, kTexts, static_cast<int>(std::size(kTexts)));

    const int saved = theRadio.GetPortNumber();
    ScanPorts();
    FillMorePorts(saved);
    ShowPortName(CheckedButtonPort() ? CheckedButtonPort() : ListedPort());
    return TRUE;
}

void CComPortDlg::ScanPorts()
{
    CWaitCursor wait;
    const int saved = theRadio.GetPortNumber();
    ::ScanPorts(theRadio, [this, saved](int port, PortState state) {
        HWND button = GetDlgItem(PortButtonId(port));
        if (state != PortState::Usable)
            ::EnableWindow(button, FALSE);
        else if (port == saved)
            ::SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
    });
}

void CComPortDlg::FillMorePorts(int saved)
{
    // Listed, not probed: opening an outgoing Bluetooth port blocks for
    // seconds, and a port above COM20 is one the user picks by its name.
    m_present = ListSerialPorts(m_deviceList);
    HWND list = GetDlgItem(IDC_MORE_PORTS);
    for (const SerialPortEntry& port : m_present) {
        if (port.number <= kPortCount) {
            continue;
        }
        // A flagged port stays choosable: its entry carries the warning.
        CString label = PortLabel(port);
        const CString warning = WarningOf(port);
        if (!warning.IsEmpty()) {
            label += " - " + warning;
        }
        const LRESULT item =
            ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.GetString()));
        if (item < 0) {
            continue;
        }
        ::SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(item), port.number);
        // A saved port that is not present now stays unselected; OK keeps it.
        if (port.number == saved) {
            ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        }
    }
}

int CComPortDlg::CheckedButtonPort() const
{
    for (int port = 1; port <= kPortCount; ++port) {
        if (::SendMessageA(GetDlgItem(PortButtonId(port)), BM_GETCHECK, 0, 0) == BST_CHECKED) {
            return port; // one radio group: at most one is checked
        }
    }
    return 0;
}

int CComPortDlg::ListedPort() const
{
    HWND list = GetDlgItem(IDC_MORE_PORTS);
    const LRESULT item = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR) {
        return 0;
    }
    const LRESULT port = ::SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
    return port > kPortCount && port <= PortName::kHighest ? static_cast<int>(port) : 0;
}

void CComPortDlg::ShowPortName(int port)
{
    CString name;
    for (const SerialPortEntry& present : m_present) {
        if (present.number == port) {
            // The warning first: the line ends in an ellipsis where it is
            // too long.
            const CString warning = WarningOf(present);
            name = warning.IsEmpty()                ? present.friendlyName
                   : present.friendlyName.IsEmpty() ? warning
                                                    : warning + ": " + present.friendlyName;
        }
    }
    ::SetWindowTextA(GetDlgItem(IDC_PORT_NAME), name);
}

void CComPortDlg::OnPortButton()
{
    // One choice at a time: a button takes it from the list.
    ::SendMessageA(GetDlgItem(IDC_MORE_PORTS), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    ShowPortName(CheckedButtonPort());
}

void CComPortDlg::OnMorePortChosen()
{
    for (int port = 1; port <= kPortCount; ++port) {
        ::SendMessageA(GetDlgItem(PortButtonId(port)), BM_SETCHECK, BST_UNCHECKED, 0);
    }
    ShowPortName(ListedPort());
}

void CComPortDlg::OnOK()
{
    // Neither a button nor the list: the link keeps its port.
    const int port = CheckedButtonPort() ? CheckedButtonPort() : ListedPort();
    if (port) {
        theRadio.SetPortNumber(static_cast<BYTE>(port));
    }
    CDialog::OnOK();
}
