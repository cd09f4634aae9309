// The probe of the COM ports a programming cable may be on, as the COM port
// dialog shows them and the console tool lists them: each port opened in
// turn, checked for a true RS-232 port and closed again.
#pragma once

#include <functional>

class CRadioCom;

namespace PortScan {
constexpr int kFirstPort = 1;
constexpr int kPortCount = 20; // COM1 to COM20
} // namespace PortScan

enum class PortState {
    NotOpened, // missing, or in use by another program
    NotRs232,  // opens, but the driver reports another kind of port
    Usable,
};

// Probes one port through the link: a settling pause, the open, the RS-232
// check and the close. The link's port number is the same afterwards and the
// port closed; after NotOpened, the link's GetOpenError says why.
PortState ProbePort(CRadioCom& link, int port);

// Probes COM1 to COM20 in order through the link and reports each port's
// state. The link's port number is the same afterwards and the port closed.
void ScanPorts(CRadioCom& link, const std::function<void(int port, PortState state)>& found);
