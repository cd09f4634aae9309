#include "link/PortScan.h"

#include "link/RadioCom.h"

namespace {

// Pause before each open, so a port closed a moment ago can settle.
constexpr WORD kProbePause = 50;

} // namespace

void ScanPorts(CRadioCom& link, const std::function<void(int port, PortState state)>& found)
{
    const BYTE saved = link.GetPortNumber();
    for (int port = PortScan::kFirstPort; port < PortScan::kFirstPort + PortScan::kPortCount; ++port) {
        link.SetPortNumber(static_cast<BYTE>(port));
        link.WaitProc(kProbePause);
        if (link.SetPortOpen(1)) {
            const PortState state = link.IsRs232Port() ? PortState::Usable : PortState::NotRs232;
            link.SetPortOpen(0);
            found(port, state);
        } else {
            // Nothing to close: the link releases a port whose open failed.
            found(port, PortState::NotOpened);
        }
    }
    link.SetPortNumber(saved);
}
