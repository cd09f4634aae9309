// The COM port dialog: probes COM1..COM20 through the transceiver link,
// disables the ports that cannot be used, checks the one in use, and offers
// the machine's ports above COM20 in a drop-down list without opening them.
// A line shows the chosen port's device name. A port Windows reports a
// problem with, or whose driver refuses its chip, carries the warning in the
// list and on that line, and can still be chosen. On OK the chosen port becomes
// the link's port number. The list is read through the device-list table the
// dialog is given (the system's unless a test gives its own).
#pragma once

#include "framework/Dialog.h"
#include "link/PortList.h"
#include "link/PortScan.h"

#include <vector>

class CComPortDlg : public CDialog {
public:
    // The table must outlive the dialog.
    explicit CComPortDlg(CWnd* parent = nullptr, const DeviceListApi& deviceList = PlatformDeviceListApi());

    static constexpr int kPortCount = PortScan::kPortCount;
    // The radio button of a port (1..kPortCount).
    static int PortButtonId(int port);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    BOOL OnHelpInfo(HELPINFO*) { return TRUE; }
    void OnPortButton();
    void OnMorePortChosen();

    DECLARE_MESSAGE_MAP()

private:
    void ScanPorts();
    void FillMorePorts(int saved);
    // The port a button or the list shows chosen; 0 for none.
    int CheckedButtonPort() const;
    int ListedPort() const;
    void ShowPortName(int port);

    const DeviceListApi& m_deviceList;
    std::vector<SerialPortEntry> m_present; // every port Windows lists
};
