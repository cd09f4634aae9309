// The list of the machine's serial ports over a virtual registry and device
// tree: which names count, their order, friendly names matched by port name,
// and that nothing is opened and every key and set is let go.
#include "link/PortList.h"
#include "tests/support/FakeTransceiver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Entry = std::pair<int, std::string>; // port number, friendly name

std::vector<Entry> Listed(const FakeTransceiver& machine)
{
    std::vector<Entry> out;
    for (const SerialPortEntry& port : ListSerialPorts(machine.DeviceList())) {
        out.emplace_back(port.number, port.friendlyName.str());
    }
    return out;
}

TEST(PortNumberOfName, OnlyComOneToTwoFiftyFiveCount)
{
    const struct {
        const char* name;
        int number;
    } cases[] = {
        {"COM1", 1},     {"com23", 23},
        {"Com255", 255}, {"COM256", 0},
        {"COM0", 0},     {"COM023", 0},
        {"COM", 0},      {"COM1 ", 0},
        {"COM2X", 0},    {"LPT1", 0},
        {"CNCA0", 0},    {"", 0},
        {nullptr, 0},    {"COM99999999999999999999", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        EXPECT_EQ(PortNumberOfName(c.name), c.number);
    }
}

TEST(PortLabel, NumberAndDeviceWithoutTheRepeatedPortName)
{
    const struct {
        int number;
        const char* friendlyName;
        const char* label;
    } cases[] = {
        {23, "USB Serial Port (COM23)", "COM23  USB Serial Port"},
        {5, "Prolific USB-to-Serial Comm Port (COM5)", "COM5  Prolific USB-to-Serial Comm Port"},
        {7, "", "COM7"},
        {8, "Virtual Port", "COM8  Virtual Port"},
        {9, "Virtual Port (COM10)", "COM9  Virtual Port (COM10)"}, // another port's name stays
        {11, "Port (com11)", "COM11  Port"},
        {12, " (COM12)", "COM12   (COM12)"}, // nothing would be left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SerialPortEntry port;
        port.number = static_cast<BYTE>(c.number);
        port.friendlyName = c.friendlyName;
        EXPECT_EQ(PortLabel(port).str(), c.label);
    }
}

TEST(PortList, ListsThePresentPortsInOrderWithTheirFriendlyNames)
{
    const std::string longName =
        "Virtual serial port of a very long name " + std::string(300, 'x') + " (COM40)";
    const struct {
        const char* what;
        std::function<void(FakeTransceiver&)> machine;
        std::vector<Entry> listed;
    } cases[] = {
        {"no serial ports at all", [](FakeTransceiver&) {}, {}},
        {"ports in registry order, named where a device names them",
         [](FakeTransceiver& f) {
             f.AddPort(23, "USB Serial Port (COM23)");
             f.AddPort(5, "Prolific USB-to-Serial Comm Port (COM5)");
             f.AddPort(1);
         },
         {{1, ""}, {5, "Prolific USB-to-Serial Comm Port (COM5)"}, {23, "USB Serial Port (COM23)"}}},
        {"names that are not COM1 to COM255 are left out",
         [](FakeTransceiver& f) {
             for (const char* name : {"CNCA0", "COM0", "COM256", "COM023", "LPT1", "COM3X"}) {
                 f.serialComm.emplace_back("\\Device\\Other", name);
             }
             f.AddPort(255);
         },
         {{255, ""}}},
        {"a port listed twice appears once",
         [](FakeTransceiver& f) {
             f.AddPort(3, "Communications Port (COM3)");
             f.serialComm.emplace_back("\\Device\\Alias", "COM3");
         },
         {{3, "Communications Port (COM3)"}}},
        {"a value too long for a port name is skipped, the rest still read",
         [](FakeTransceiver& f) {
             f.serialComm.emplace_back("\\Device\\Odd", std::string(2000, 'C'));
             f.AddPort(7);
         },
         {{7, ""}}},
        {"a friendly name longer than the first buffer comes whole",
         [&](FakeTransceiver& f) { f.AddPort(40, longName); },
         {{40, longName}}},
        {"devices of ports not present and printer ports name nothing",
         [](FakeTransceiver& f) {
             f.AddPort(2);
             f.portDevices.push_back({"COM9", "Gone Port (COM9)"});
             f.portDevices.push_back({"LPT1", "Printer Port (LPT1)"});
         },
         {{2, ""}}},
        {"no device tree: ports without names",
         [](FakeTransceiver& f) {
             f.AddPort(4, "Communications Port (COM4)");
             f.FailAlways(FakeTransceiver::Call::SetupDiGetClassDevs);
         },
         {{4, ""}}},
        {"the port map cannot be read",
         [](FakeTransceiver& f) {
             f.AddPort(4, "Communications Port (COM4)");
             f.FailAlways(FakeTransceiver::Call::RegOpenKey);
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTransceiver machine;
        c.machine(machine);
        EXPECT_EQ(Listed(machine), c.listed);
        EXPECT_TRUE(machine.opens.empty()) << "no port is opened to list it";
        EXPECT_EQ(machine.OpenKeys(), 0);
    }
}

} // namespace
