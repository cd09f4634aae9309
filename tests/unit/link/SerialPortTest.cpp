// CSerialPort against the simulated device: opening and its failures, line
// settings, time-outs, purge-before-write, reads, the RS-232 check and waits.
#include "link/LinkProtocol.h"
#include "link/SerialPort.h"
#include "tests/support/FakeTransceiver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using Call = FakeTransceiver::Call;
using Bytes = FakeTransceiver::Bytes;

namespace {

class SerialPortTest : public ::testing::Test {
protected:
    FakeTransceiver fake; // before the port: the port closes through it
    CSerialPort port{fake.Apis()};

    void Open()
    {
        ASSERT_EQ(port.SetPortOpen(1), 1) << fake.Trace();
        fake.writes.clear();
        fake.timeouts.clear();
        fake.lines.clear();
        fake.purges.clear();
        fake.builtStrings.clear();
        fake.queueSizes.clear();
    }
};

TEST_F(SerialPortTest, OpensWithItsDefaultsAndLeavesRtsOff)
{
    EXPECT_EQ(port.IsPortOpen(), 0);
    ASSERT_EQ(port.SetPortOpen(1), 1) << fake.Trace();
    EXPECT_EQ(port.IsPortOpen(), 1);

    ASSERT_EQ(fake.opens.size(), 1u);
    const FakeTransceiver::Open& open = fake.opens[0];
    EXPECT_EQ(open.name, "COM1");
    EXPECT_EQ(open.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(open.share, 0u);
    EXPECT_EQ(open.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(open.flags, 0u); // synchronous I/O

    // Each queue size setter applies both sizes.
    EXPECT_EQ(fake.queueSizes, (std::vector<std::pair<DWORD, DWORD>>{{512, 512}, {512, 512}}));
    EXPECT_EQ(fake.builtStrings, std::vector<std::string>{"9600,N,8,2"});
    ASSERT_EQ(fake.lines.size(), 1u);
    const FakeTransceiver::Line& line = fake.lines[0];
    EXPECT_EQ(line.baud, 9600u);
    EXPECT_EQ(line.parity, NOPARITY);
    EXPECT_EQ(line.byteSize, 8);
    EXPECT_EQ(line.stopBits, TWOSTOPBITS);
    EXPECT_EQ(line.dtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(line.rtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));

    ASSERT_EQ(fake.timeouts.size(), 1u);
    const COMMTIMEOUTS& t = fake.timeouts[0];
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
    // The write time-outs stay as the device had them.
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 3u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 777u);

    EXPECT_TRUE(fake.dtr);
    EXPECT_FALSE(fake.rts);
    EXPECT_FALSE(fake.rtsEverRaised) << fake.Trace();
}

TEST_F(SerialPortTest, DeviceNamesUseTheLongFormFromPortTen)
{
    const struct {
        BYTE number;
        const char* name;
    } cases[] = {
        {1, "COM1"}, {9, "COM9"}, {10, "\\\\.\\COM10"}, {12, "\\\\.\\COM12"}, {255, "\\\\.\\COM255"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        port.SetPortNumber(c.number);
        ASSERT_EQ(port.SetPortOpen(1), 1);
        EXPECT_EQ(fake.opens.back().name, c.name);
        ASSERT_EQ(port.SetPortOpen(0), 1);
    }
}

// Every step of the open that can fail leaves nothing held and the port
// closed, so a second open of the same device is not refused.
TEST_F(SerialPortTest, AFailedOpenLeavesThePortClosedAndTheDeviceFree)
{
    const struct {
        const char* step;
        Call call;
        int nth;
    } cases[] = {
        {"CreateFileA", Call::CreateFile, 1},
        {"input queue size", Call::SetupComm, 1},
        {"output queue size", Call::SetupComm, 2},
        {"GetCommState", Call::GetCommState, 1},
        {"BuildCommDCBA", Call::BuildCommDCB, 1},
        {"SetCommState", Call::SetCommState, 1},
        {"RTS off after the settings", Call::EscapeCommFunction, 1},
        {"GetCommTimeouts", Call::GetCommTimeouts, 1},
        {"SetCommTimeouts", Call::SetCommTimeouts, 1},
        {"RTS off, last step", Call::EscapeCommFunction, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        fake.FailCall(c.call, c.nth);
        const int closesBefore = fake.closes;
        EXPECT_EQ(port.SetPortOpen(1), 0);
        EXPECT_EQ(port.IsPortOpen(), 0);
        EXPECT_EQ(fake.OpenHandles(), 0);
        // Already closed: nothing more to close.
        EXPECT_EQ(port.SetPortOpen(0), 1);
        EXPECT_EQ(fake.closes - closesBefore, c.call == Call::CreateFile ? 0 : 1);
        EXPECT_EQ(fake.badCloses, 0);
        EXPECT_FALSE(fake.rtsEverRaised);

        ASSERT_EQ(port.SetPortOpen(1), 1) << fake.Trace();
        ASSERT_EQ(port.SetPortOpen(0), 1);
    }
}

TEST_F(SerialPortTest, OpeningAnOpenPortChangesNothing)
{
    Open();
    const size_t calls = fake.trace.size();
    EXPECT_EQ(port.SetPortOpen(1), 1);
    EXPECT_EQ(fake.trace.size(), calls);
    EXPECT_EQ(fake.opens.size(), 1u);
}

TEST_F(SerialPortTest, PortNumberOnAClosedPortIsOnlyStored)
{
    EXPECT_EQ(port.SetPortNumber(7), 1);
    EXPECT_EQ(port.SetPortNumber(0), 1); // 0 keeps the number
    EXPECT_EQ(port.GetPortNumber(), 7);
    EXPECT_TRUE(fake.trace.empty());
}

TEST_F(SerialPortTest, PortNumberOnAnOpenPortReopens)
{
    port.SetPortNumber(3);
    Open();
    EXPECT_EQ(port.SetPortNumber(0), 1);
    EXPECT_EQ(fake.opens.back().name, "COM3");
    EXPECT_EQ(fake.opens.size(), 2u);
    EXPECT_EQ(fake.closes, 1);

    EXPECT_EQ(port.SetPortNumber(10), 1);
    EXPECT_EQ(fake.opens.back().name, "\\\\.\\COM10");
    EXPECT_EQ(fake.OpenHandles(), 1);
    EXPECT_EQ(port.IsPortOpen(), 1);

    // The new port is missing: 0, and nothing is left held.
    fake.missingPorts.insert("\\\\.\\COM11");
    EXPECT_EQ(port.SetPortNumber(11), 0);
    EXPECT_EQ(port.GetPortNumber(), 11);
    EXPECT_EQ(port.IsPortOpen(), 0);
    EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(SerialPortTest, SettingsAreStoredWithoutSpacesAndAppliedWhileOpen)
{
    EXPECT_EQ(port.SetSettings(" 19200 , N, 8 ,2 "), 1);
    EXPECT_EQ(port.GetSettings(), "19200,N,8,2");
    EXPECT_TRUE(fake.trace.empty()); // closed: stored only

    ASSERT_EQ(port.SetPortOpen(1), 1);
    EXPECT_EQ(fake.Bauds(), std::vector<DWORD>{19200});

    EXPECT_EQ(port.SetSettings("4800,N,8,2"), 1);
    EXPECT_EQ(fake.Bauds(), (std::vector<DWORD>{19200, 4800}));
    EXPECT_EQ(fake.LineBaud(), 4800u);
    EXPECT_FALSE(fake.rtsEverRaised);

    // A string the platform cannot parse is kept but fails to apply.
    EXPECT_EQ(port.SetSettings("fast"), 0);
    EXPECT_EQ(port.GetSettings(), "fast");
    EXPECT_EQ(fake.LineBaud(), 4800u);
}

TEST_F(SerialPortTest, SettingsAndTimeOutOutliveAClose)
{
    EXPECT_EQ(port.SetReadTimeout(10000), 1);
    Open();
    ASSERT_EQ(port.SetSettings("57600,N,8,2"), 1);
    ASSERT_EQ(port.SetPortOpen(0), 1);
    ASSERT_EQ(port.SetPortOpen(1), 1);
    EXPECT_EQ(fake.Bauds().back(), 57600u);
    EXPECT_EQ(fake.ReadTimeouts().back(), 10000u);
}

TEST_F(SerialPortTest, ReadTimeOutIsAppliedWhileOpen)
{
    Open();
    EXPECT_EQ(port.SetReadTimeout(164), 1);
    EXPECT_EQ(fake.ReadTimeouts(), std::vector<DWORD>{164});
    fake.FailCall(Call::SetCommTimeouts);
    EXPECT_EQ(port.SetReadTimeout(100), 0);
    EXPECT_EQ(port.GetReadTimeout(), 100);
}

TEST_F(SerialPortTest, WritesDiscardInputThatCameBefore)
{
    Open();
    fake.Send({0x11, 0x22});
    ASSERT_EQ(port.WriteString("AB"), 1);
    fake.Send({0x33});
    unsigned char got = 0;
    ASSERT_EQ(port.ReadData(&got, 1), 1);
    EXPECT_EQ(got, 0x33);
    // Only the receive side is purged.
    EXPECT_EQ(fake.purges, std::vector<DWORD>{PURGE_RXCLEAR});
    EXPECT_EQ(fake.WrittenFrames(), std::vector<Bytes>{Bytes({'A', 'B'})}); // no terminating zero
}

TEST_F(SerialPortTest, AWriteSucceedsOnlyWhenEveryByteWent)
{
    const unsigned char data[3] = {1, 2, 3};
    const struct {
        const char* what;
        std::function<int(CSerialPort&)> write;
    } writes[] = {
        {"WriteData", [&](CSerialPort& p) { return p.WriteData(data, 3); }},
        {"WriteString", [](CSerialPort& p) { return p.WriteString("PROGRAM"); }},
        {"WriteByte", [](CSerialPort& p) { return p.WriteByte(0x45); }},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.what);
        EXPECT_EQ(w.write(port), 0) << "closed port";
        Open();
        EXPECT_EQ(w.write(port), 1);
        fake.shortWrites = true;
        EXPECT_EQ(w.write(port), 0) << "short write";
        fake.shortWrites = false;
        fake.FailCall(Call::WriteFile);
        EXPECT_EQ(w.write(port), 0) << "WriteFile failed";
        ASSERT_EQ(port.SetPortOpen(0), 1);
    }
}

TEST_F(SerialPortTest, AReadTakesExactlyTheCountOrWaitsTheWholeTimeOut)
{
    Open();
    unsigned char buffer[8] = {};
    fake.Send({1, 2, 3, 4, 5, 6, 7, 8}, 30);
    uint64_t t0 = fake.Now();
    EXPECT_EQ(port.ReadData(buffer, 8), 1);
    EXPECT_EQ(fake.Now() - t0, 30u); // returns as the last byte arrives
    EXPECT_EQ(buffer[7], 8);

    fake.Send({1, 2, 3, 4, 5, 6, 7});
    t0 = fake.Now();
    EXPECT_EQ(port.ReadData(buffer, 8), 0);
    EXPECT_EQ(fake.Now() - t0, 1000u);
    EXPECT_EQ(fake.PendingInput(), 0u); // what came is consumed

    // A byte that arrives after the time-out is not part of this read.
    fake.Send({9}, 1001);
    t0 = fake.Now();
    EXPECT_EQ(port.ReadData(buffer, 1), 0);
    EXPECT_EQ(fake.Now() - t0, 1000u);
}

TEST_F(SerialPortTest, ReadsRunInTheRealTimeClassAndRestoreIt)
{
    Open();
    fake.priorityClass = HIGH_PRIORITY_CLASS;
    unsigned char b = 0;
    port.ReadData(&b, 1);
    ASSERT_EQ(fake.reads.size(), 1u);
    EXPECT_EQ(fake.reads[0].priorityClass, static_cast<DWORD>(REALTIME_PRIORITY_CLASS));
    EXPECT_EQ(fake.priorityClass, static_cast<DWORD>(HIGH_PRIORITY_CLASS));

    // When the class cannot be noted it could not be put back: not raised.
    fake.FailCall(Call::GetPriorityClass);
    port.ReadData(&b, 1);
    EXPECT_EQ(fake.reads[1].priorityClass, static_cast<DWORD>(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(fake.priorityClass, static_cast<DWORD>(HIGH_PRIORITY_CLASS));
}

TEST_F(SerialPortTest, ReadsFailOnAClosedPortOrAFailedReadFile)
{
    unsigned char b = 0;
    EXPECT_EQ(port.ReadData(&b, 1), 0);
    EXPECT_TRUE(fake.reads.empty());
    Open();
    fake.Send({0x06});
    fake.FailCall(Call::ReadFile);
    EXPECT_EQ(port.ReadData(&b, 1), 0);
    EXPECT_EQ(fake.priorityClass, static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

// A read or write call that fails on a removed device closes the port,
// whatever error its driver chose, so the next open finds the device anew;
// the dead handle is let go once, and a cable put back opens again. A read
// that only times out leaves the port open.
TEST(SerialPortCablePulled, AFailedReadOrWriteClosesThePortWhateverTheError)
{
    const DWORD kNoSuchDevice = 433; // ERROR_NO_SUCH_DEVICE; mingw-w64's headers lack it
    const struct {
        Call call;
        DWORD error;
    } cases[] = {
        {Call::WriteFile, kNoSuchDevice},        {Call::WriteFile, ERROR_DEV_NOT_EXIST},
        {Call::WriteFile, ERROR_INVALID_HANDLE}, {Call::WriteFile, ERROR_ACCESS_DENIED},
        {Call::ReadFile, kNoSuchDevice},         {Call::ReadFile, ERROR_DEV_NOT_EXIST},
        {Call::ReadFile, ERROR_INVALID_HANDLE},  {Call::ReadFile, ERROR_GEN_FAILURE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.call == Call::WriteFile ? "WriteFile" : "ReadFile") + ", error " +
                     std::to_string(c.error));
        FakeTransceiver fake;
        CSerialPort port(fake.Apis());
        ASSERT_EQ(port.SetPortOpen(1), 1);
        unsigned char byte = 0;
        EXPECT_EQ(port.ReadData(&byte, 1), 0) << "a time-out";
        EXPECT_EQ(port.IsPortOpen(), 1);

        fake.PullCableDuring(c.call, c.error, 1);
        const int done = c.call == Call::WriteFile ? port.WriteData(&byte, 2) : port.ReadData(&byte, 1);
        EXPECT_EQ(done, 0);
        EXPECT_EQ(port.IsPortOpen(), 0);
        EXPECT_EQ(fake.OpenHandles(), 0);
        EXPECT_EQ(fake.closes, 1);
        EXPECT_EQ(fake.badCloses, 0);

        fake.PlugCable();
        EXPECT_EQ(port.SetPortOpen(1), 1);
        EXPECT_EQ(port.WriteByte(0x45), 1);
    }
}

TEST_F(SerialPortTest, Rs232CheckAnswersFromTheProviderSubtypeAfterItsWaits)
{
    const struct {
        const char* what;
        DWORD subtype;
        int failingQuery; // 0: none
        int answer;
        uint64_t waited;
    } cases[] = {
        {"RS-232 port", PST_RS232, 0, 1, 50},
        {"modem", PST_MODEM, 0, 0, 50},
        {"first query fails", PST_RS232, 1, 0, 30},
        {"second query fails", PST_RS232, 2, 0, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        fake.provSubType = c.subtype;
        fake.providerBytes = 40;
        fake.propertyBlockSizes.clear();
        if (c.failingQuery) {
            fake.FailCall(Call::GetCommProperties, c.failingQuery);
        }
        const uint64_t t0 = fake.Now();
        EXPECT_EQ(port.IsRs232Port(), c.answer);
        EXPECT_EQ(fake.Now() - t0, c.waited);
        if (c.failingQuery != 1) {
            // The second query gets a block as large as the provider asked.
            ASSERT_EQ(fake.propertyBlockSizes.size(), 2u);
            EXPECT_GE(fake.propertyBlockSizes[1], sizeof(COMMPROP) + 40);
        }
        ASSERT_EQ(port.SetPortOpen(0), 1);
    }
    EXPECT_EQ(port.IsRs232Port(), 0); // closed
}

TEST_F(SerialPortTest, DelayWaitsExactlyAndSurvivesTheTickCounterWrapping)
{
    for (uint64_t start : {uint64_t{5000}, uint64_t{0xFFFFFFF0}}) {
        SCOPED_TRACE(start);
        fake.SetNow(start);
        port.Delay(100);
        EXPECT_EQ(fake.Now() - start, 100u);
        port.Delay(0);
        EXPECT_EQ(fake.Now() - start, 100u);
    }
}

// A port that aborts on line errors (set so behind the program's back, or by
// a driver that keeps doing it) takes nothing until the error is
// acknowledged: the read or write that met it fails, the next one works.
TEST_F(SerialPortTest, ALineErrorIsAcknowledgedAfterTheReadOrWriteItSpoilt)
{
    const FakeTransceiver::PortState aborting = {
        "aborts on error", false, true, false, false, 0, 0, 0, false, 0, 0};
    const struct {
        const char* what;
        std::function<int(CSerialPort&)> spoilt;
    } cases[] = {
        {"read",
         [](CSerialPort& p) {
             unsigned char b = 0;
             return p.ReadData(&b, 1);
         }},
        {"write", [](CSerialPort& p) { return p.WriteByte(0x45); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        fake.Inherit(aborting);
        fake.Noise(0);
        EXPECT_EQ(c.spoilt(port), 0);
        EXPECT_EQ(fake.LineErrors(), 0u) << fake.Trace();

        ASSERT_EQ(port.WriteByte(0x50), 1) << fake.Trace();
        fake.Send({0x33}, 5);
        unsigned char got = 0;
        ASSERT_EQ(port.ReadData(&got, 1), 1) << fake.Trace();
        EXPECT_EQ(got, 0x33);
        ASSERT_EQ(port.SetPortOpen(0), 1);
    }
}

// The longest frame leaves at the slowest rate whatever write limit the port
// had: a limit that would cut it is replaced, one that lets it through is kept,
// and no limit at all becomes one, so no write can hang the program.
TEST(SerialPortWriteLimit, TheLongestFrameGetsThroughAtTheSlowestRate)
{
    const struct {
        const char* what;
        DWORD multiplier, constant;
        bool kept;
    } cases[] = {
        {"none", 0, 0, false},
        {"50 ms", 0, 50, false},
        {"1 ms a byte and 100 ms", 1, 100, false},
        {"3 ms a byte and 777 ms", 3, 777, true},
        {"one second", 0, 1000, true},
    };
    const Bytes frame(LinkProtocol::kLongestFrame, 0x5A);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTransceiver fake;
        fake.SetWriteTimeouts(c.multiplier, c.constant);
        CSerialPort port(fake.Apis());
        port.SetSettings("1200,N,8,2");
        ASSERT_EQ(port.SetPortOpen(1), 1);
        EXPECT_EQ(port.WriteData(frame.data(), static_cast<WORD>(frame.size())), 1) << fake.Trace();
        EXPECT_EQ(fake.Written(), frame);

        ASSERT_FALSE(fake.timeouts.empty());
        const COMMTIMEOUTS& t = fake.timeouts.back();
        EXPECT_NE(t.WriteTotalTimeoutMultiplier + t.WriteTotalTimeoutConstant, 0u);
        if (c.kept) {
            EXPECT_EQ(t.WriteTotalTimeoutMultiplier, c.multiplier);
            EXPECT_EQ(t.WriteTotalTimeoutConstant, c.constant);
        }
    }
}

TEST(SerialPortLifetime, DestroyingAnOpenPortClosesTheDevice)
{
    FakeTransceiver fake;
    {
        CSerialPort port(fake.Apis());
        ASSERT_EQ(port.SetPortOpen(1), 1);
        EXPECT_EQ(fake.OpenHandles(), 1);
    }
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_EQ(fake.badCloses, 0);
}

} // namespace

TEST(SerialPortTables, AnOpenPortKeepsTheTablesItsHandleCameFrom)
{
    // A handle of one device's driver closed through another's would leak
    // it there and hit an unknown handle here.
    FakeTransceiver fake;
    CSerialPort port(PlatformPortApis());
    EXPECT_TRUE(port.SetApis(fake.Apis())) << "a closed port takes any tables";
    ASSERT_EQ(port.SetPortOpen(1), 1);
    EXPECT_FALSE(port.SetApis(PlatformPortApis()));
    EXPECT_EQ(port.GetApis().serial, &fake.Serial());
    EXPECT_EQ(port.SetPortOpen(0), 1);
    EXPECT_EQ(fake.OpenHandles(), 0);
    EXPECT_EQ(fake.badCloses, 0);
    EXPECT_TRUE(port.SetApis(PlatformPortApis()));
}
