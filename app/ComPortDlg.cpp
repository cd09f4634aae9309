#include "app/ComPortDlg.h"

#include "app/Globals.h"
#include "link/PortScan.h"
#include "res/resource.h"
#include "text/TextNumbers.h"

#include <iterator>

namespace {

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
END_MESSAGE_MAP()

CComPortDlg::CComPortDlg(CWnd* parent) : CDialog(IDD_COMPORT, parent)
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
    };
    theDialogText.SetItemTexts(this, kTexts, static_cast<int>(std::size(kTexts)));

    ScanPorts();
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

void CComPortDlg::OnOK()
{
    for (int port = 1; port <= kPortCount; ++port) {
        if (::SendMessageA(GetDlgItem(PortButtonId(port)), BM_GETCHECK, 0, 0) == BST_CHECKED) {
            theRadio.SetPortNumber(static_cast<BYTE>(port));
            break; // one radio group: at most one is checked
        }
    }
    CDialog::OnOK();
}
