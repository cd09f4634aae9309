// The list of the machine's serial ports over a virtual registry and device
// tree: which names count, their order, friendly names matched by port name,
// each device's hardware id, driver and status, and that nothing is opened
// and every key and set is let go.
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
        // Windows names a device's port by its PortName value; the friendly
        // name is only text, and need not end in its own port.
        {"a device is matched by its PortName, not by its name's ending",
         [](FakeTransceiver& f) {
             f.serialComm.emplace_back("\\Device\\Serial0", "COM3");
             f.serialComm.emplace_back("\\Device\\Serial1", "COM7");
             f.serialComm.emplace_back("\\Device\\Serial2", "COM8");
             f.portDevices.push_back({"COM7", "USB Serial Port (COM3)"});
             f.portDevices.push_back({"COM8", "Virtual Port"});
         },
         {{3, ""}, {7, "USB Serial Port (COM3)"}, {8, "Virtual Port"}}},
        {"a SERIALCOMM value that is not a string names no port",
         [](FakeTransceiver& f) {
             f.serialComm.emplace_back("\\Device\\Number", "COM9"); // its four bytes spell a name
             f.serialCommForms["\\Device\\Number"].type = REG_DWORD;
             f.AddPort(2);
         },
         {{2, ""}}},
        {"a port name whose length counts its zero",
         [](FakeTransceiver& f) {
             f.serialComm.emplace_back("\\Device\\Zero", "COM4");
             f.serialCommForms["\\Device\\Zero"].countsZero = true;
         },
         {{4, ""}}},
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

// What the device of each port tells beyond its name: hardware id, driver
// and status, and so whether the port is flagged.
TEST(PortList, ReadsEachDevicesHardwareIdDriverAndStatus)
{
    const std::string longProvider = "Provider of a long name " + std::string(200, 'p');
    const struct {
        const char* what;
        FakeTransceiver::PortDevice device; // of COM5; portName "": no device
        std::string hardwareId, driverProvider, driverVersion;
        ULONG problemCode;
        DeviceStatus status;
        PortWarningKind warning;
    } cases[] = {
        {"a started device",
         {"COM5", "USB Serial Port (COM5)", "USB\\VID_1234&PID_5678&REV_0100", "Cable Maker", "2.12.28.0"},
         "USB\\VID_1234&PID_5678&REV_0100",
         "Cable Maker",
         "2.12.28.0",
         0,
         DeviceStatus::Started,
         PortWarningKind::None},
        {"a device that cannot start",
         {"COM5", "USB Serial Port (COM5)", "USB\\VID_1234&PID_5678", "Cable Maker", "1.0", 10},
         "USB\\VID_1234&PID_5678",
         "Cable Maker",
         "1.0",
         10,
         DeviceStatus::Problem,
         PortWarningKind::DeviceProblem},
        {"a device whose driver is not installed",
         {"COM5", "", "USB\\VID_1234&PID_5678", "", "", 28},
         "USB\\VID_1234&PID_5678",
         "",
         "",
         28,
         DeviceStatus::Problem,
         PortWarningKind::DeviceProblem},
        {"a chip the driver refuses by its name",
         {"COM5", "USB-Serial Controller - PLEASE CONTACT YOUR SUPPLIER (COM5)", "USB\\VID_1234&PID_5678",
          "Cable Maker", "3.8.0.0", 10},
         "USB\\VID_1234&PID_5678",
         "Cable Maker",
         "3.8.0.0",
         10,
         DeviceStatus::Problem,
         PortWarningKind::RefusedChip},
        {"a refused chip that still starts",
         {"COM5", "Serial Port (chip phased out)", "", "", "", 0},
         "",
         "",
         "",
         0,
         DeviceStatus::Started,
         PortWarningKind::RefusedChip},
        {"a status that cannot be read",
         {"COM5", "", "ACPI\\PNP0501", "", "", 0, false},
         "ACPI\\PNP0501",
         "",
         "",
         0,
         DeviceStatus::Unknown,
         PortWarningKind::None},
        {"a driver text longer than the first buffer comes whole",
         {"COM5", "", "", longProvider, "1.0"},
         "",
         longProvider,
         "1.0",
         0,
         DeviceStatus::Started,
         PortWarningKind::None},
        {"no device: nothing known", {"", ""}, "", "", "", 0, DeviceStatus::Unknown, PortWarningKind::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTransceiver machine;
        machine.AddPort(5);
        machine.portDevices.clear();
        machine.AddPort(1); // a device before it: each is read as its own
        if (!c.device.portName.empty())
            machine.portDevices.push_back(c.device);
        const std::vector<SerialPortEntry> ports = ListSerialPorts(machine.DeviceList());
        ASSERT_EQ(ports.size(), 2u);
        const SerialPortEntry& port = ports[1];
        EXPECT_EQ(port.number, 5);
        EXPECT_EQ(port.friendlyName.str(), c.device.friendlyName);
        EXPECT_EQ(port.hardwareId.str(), c.hardwareId);
        EXPECT_EQ(port.driverProvider.str(), c.driverProvider);
        EXPECT_EQ(port.driverVersion.str(), c.driverVersion);
        EXPECT_EQ(port.problemCode, c.problemCode);
        EXPECT_EQ(port.status, c.status);
        EXPECT_EQ(PortWarningOf(port).kind, c.warning);
        // COM1's device has nothing of COM5's.
        EXPECT_EQ(ports[0].status, DeviceStatus::Started);
        EXPECT_TRUE(ports[0].hardwareId.IsEmpty());
        EXPECT_EQ(PortWarningOf(ports[0]).kind, PortWarningKind::None);
        EXPECT_TRUE(machine.opens.empty());
        EXPECT_EQ(machine.OpenKeys(), 0);
    }
}

} // namespace
