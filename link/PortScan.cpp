#include "link/PortScan.h"

#include "link/RadioCom.h"

namespace {

// Pause before each open, so a port closed a moment ago can settle.
constexpr WORD kProbePause = 50;

} // namespace

PortState ProbePort(CRadioCom& link, int port)
{
    const BYTE saved = link.GetPortNumber();
    link.SetPortNumber(static_cast<BYTE>(port));
    link.WaitProc(kProbePause);
    PortState state = PortState::NotOpened;
    if (link.SetPortOpen(1)) {
        state = link.IsRs232Port() ? PortState::Usable : PortState::NotRs232;
        link.SetPortOpen(0);
    }
    // Nothing to close after a failed open: the link releases such a port.
    link.SetPortNumber(saved);
    return state;
}

void ScanPorts(CRadioCom& link, const std::function<void(int port, PortState state)>& found)
{
    for (int port = PortScan::kFirstPort; port < PortScan::kFirstPort + PortScan::kPortCount; ++port) {
        found(port, ProbePort(link, port));
    }
}
