// The COM port dialog: probes COM1..COM20 through the transceiver link,
// disables the ports that cannot be used, checks the one in use, and on OK
// makes the checked port the link's port number.
#pragma once

#include "framework/Dialog.h"
#include "link/PortScan.h"

class CComPortDlg : public CDialog {
public:
    explicit CComPortDlg(CWnd* parent = nullptr);

    static constexpr int kPortCount = PortScan::kPortCount;
    // The radio button of a port (1..kPortCount).
    static int PortButtonId(int port);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    BOOL OnHelpInfo(HELPINFO*) { return TRUE; }

    DECLARE_MESSAGE_MAP()

private:
    void ScanPorts();
};
