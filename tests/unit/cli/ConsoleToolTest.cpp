// The console tool in process under Wine, over the link's fake transceiver:
// the Retry budget of --retries spent over the whole run, the --json object
// carrying the transceiver's ANSI text as UTF-8, Ctrl+C and the closing
// console delivered through the control handler at each point of a write
// and while a read of a radio gone quiet really blocks, the history that
// must keep the record before a write, the history listing, text to a
// console as UTF-16, arguments the code page lacks, and upgrade --each:
// radio after radio on the fake's virtual clock, its lines, status, report
// and ending.
#include "cli/ConsoleTool.h"

#include "cli/CliArgs.h"
#include "cli/ConsoleAsker.h"
#include "framework/Hex.h"
#include "link/SerialPort.h"
#include "cli/ConsoleBatch.h"
#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleText.h"
#include "cli/RunOutcomes.h"
#include "files/FileHandle.h"
#include "framework/AppMessageBox.h"
#include "tests/support/FrameBytes.h"
#include "tests/support/HexText.h"
#include "text/Csv.h"
#include "upgrade/UpgradeHistory.h"
#include "tests/support/TempFolder.h"
#include "tests/support/FakeTransceiver.h"
#include "tests/support/SampleTransceiver.h"
#include "text/FillText.h"
#include "text/LanguageTable.h"
#include "tools/enhtool/EnhFile.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/RadioBatch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A shipped language file as text mode reads it; older: without the rows of
// the texts added last (keys 1004xxxx), as a file from before them.
int LoadTextsFrom(CLanguageTable& texts, const char* name, bool older = false)
{
    std::ifstream in(std::string(ORVELLE_SOURCE_DIR "/res/") + name, std::ios::binary);
    std::string bytes;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!(older && line.compare(0, 6, "^#1004") == 0))
            bytes += line + "\n";
    }
    return texts.Parse(bytes.data(), static_cast<int>(bytes.size()), "English");
}

int LoadTexts(CLanguageTable& texts)
{
    return LoadTextsFrom(texts, "ORVELLE.lng");
}

std::string Contents(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[512];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    return text;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// One run of the tool with its output in temporary files and its history
// in a temporary folder.
struct ToolRun {
    ToolRun() : out(std::tmpfile()), err(std::tmpfile()) {}
    // Over the fake's link and port list.
    explicit ToolRun(const FakeTransceiver& fake) : ToolRun()
    {
        link = fake.Apis();
        deviceList = &fake.DeviceList();
    }
    ~ToolRun()
    {
        std::fclose(out);
        std::fclose(err);
    }
    int operator()(const std::vector<std::string>& arguments, const ConsoleApi* console = nullptr)
    {
        ConsoleEnvironment environment = {temp.Path().c_str(), openTexts, out, err, console};
        environment.pause = pause;
        if (deviceList) {
            environment.link = &link;
            environment.deviceList = deviceList;
        }
        return RunConsoleTool(arguments, environment);
    }
    std::string HistoryPath() const { return temp / "History\\upgrades.csv"; }
    // The outcome column of each data row; none without a file.
    std::vector<std::string> Outcomes() const
    {
        std::vector<std::string> outcomes;
        std::ifstream in(HistoryPath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string bytes = text.str();
        CCsvReader reader(bytes.data(), bytes.size());
        std::vector<std::string> fields;
        reader.Next(nullptr);
        while (reader.Next(&fields))
            outcomes.push_back(fields.size() > History::kOutcome ? fields[History::kOutcome] : "?");
        return outcomes;
    }

    TempFolder temp;
    std::FILE* out;
    std::FILE* err;
    std::function<int(CLanguageTable&)> openTexts = LoadTexts;
    PortApis link = {};
    const DeviceListApi* deviceList = nullptr; // null: the system's
    std::function<void(int)> pause;            // upgrade --each; null: the tool's own
};

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

bool StartsWith(const Bytes& chunk, const Bytes& frame)
{
    return chunk.size() >= frame.size() && std::equal(frame.begin(), frame.end(), chunk.begin());
}

// A record for the sample transceiver, in hex as --record takes it.
const std::string kRestored = Hex(OfModel(Bytes(OptionRecord::kSize, 0xAA)));

void Transceiver(FakeTransceiver& fake, const char* version = kSampleVersion)
{
    SampleIdentity(fake, kSampleModel, version, IdentityMark::Plain);
    fake.record = OfModel(Bytes(OptionRecord::kSize, 0x11));
}

const FakeTransceiver::Reply kSilence = FakeTransceiver::Answer(FakeTransceiver::Fault::Silence);

// Every connection attempt begins with the old handshake.
const Bytes kOldHandshake = B("FLFM96K");

} // namespace

TEST(ConsoleTool, RetriesAreOneBudgetForTheWholeRun)
{
    CLanguageTable texts;
    ASSERT_EQ(LoadTexts(texts), 1);
    const struct {
        const char* name;
        int recordFailures; // after one failed identity read
        const char* retries;
        int exit;
        std::size_t prompts;
    } cases[] = {
        {"two failures, two retries", 1, "2", kExitDone, 2},
        {"three failures in two sessions, two retries", 2, "2", kExitLinkFailed, 3},
        {"no retries: the first failure is final", 1, "0", kExitLinkFailed, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        fake.Script(FakeTransceiver::Command::Identity, kSilence);
        for (int i = 0; i < c.recordFailures; ++i)
            fake.Script(FakeTransceiver::Command::RecordRead, kSilence);
        ToolRun run(fake);
        EXPECT_EQ(run({"identify", "--port", "1", "--retries", c.retries}), c.exit);
        const std::string messages = Contents(run.err);
        EXPECT_EQ(Count(messages, texts.GetText(TextNo::kCliLinkFailed)), c.prompts) << messages;
        EXPECT_FALSE(fake.InProgrammingMode());
        EXPECT_EQ(fake.OpenHandles(), 0);
    }
}

// The cable pulled during the write frame: the tool's automatic retry comes a
// second later (the cable is put back meanwhile), reads the record back and
// sends the frame again; an adapter back under another number is named with
// the option to run with, and nothing more is written.
TEST(ConsoleTool, APulledCableIsRetriedASecondLaterAndAMovedPortIsNamed)
{
    CLanguageTable texts;
    ASSERT_EQ(LoadTexts(texts), 1);
    const struct {
        const char* name;
        int plugAs; // 0: the same number
        int exit;
        std::vector<std::string> rows;
        std::size_t frames;
    } cases[] = {
        {"back as COM1", 0, kExitDone, {"pending", "written"}, 2},
        {"back as COM6", 6, kExitLinkFailed, {"pending", "failed"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        fake.AddPort(1, "USB Serial Port (COM1)");
        bool pulled = false;
        fake.onWrite = [&](const Bytes& chunk) {
            if (!pulled && StartsWith(chunk, kUwcb)) {
                pulled = true;
                fake.PullCableDuring(FakeTransceiver::Call::WriteFile, ERROR_DEV_NOT_EXIST, 10);
            }
        };
        std::vector<DWORD> sleeps;
        fake.onSleep = [&](DWORD milliseconds) {
            if (pulled && sleeps.empty())
                fake.PlugCable(c.plugAs);
            sleeps.push_back(milliseconds);
        };
        ToolRun run(fake);
        EXPECT_EQ(run({"restore", "--port", "1", "--record", kRestored, "--retries", "3"}), c.exit);
        const std::string messages = Contents(run.err);
        ASSERT_FALSE(sleeps.empty());
        EXPECT_EQ(sleeps.front(), 1000u) << "the retry's pause";
        EXPECT_EQ(run.Outcomes(), c.rows);
        std::size_t frames = 0;
        for (const Bytes& frame : fake.WrittenFrames())
            frames += StartsWith(frame, kUwcb) ? 1 : 0;
        EXPECT_EQ(frames, c.frames);
        const std::string moved = FillText(texts.GetText(TextNo::kCliPortMoved), {"1", "6"}).GetString();
        EXPECT_EQ(Count(messages, moved), c.plugAs ? 1u : 0u) << messages;
        // On another port nothing is opened, so programming mode is not
        // ended there either.
        EXPECT_EQ(fake.InProgrammingMode(), c.plugAs != 0);
        EXPECT_EQ(fake.OpenHandles(), 0);
    }
}

// The tool's own lines come from the language file: the answers to Retry
// prompts, the warning prefix, a refused restore's reason and a port that
// cannot be opened, with its reason; a file from before those rows gives the
// English ones.
TEST(ConsoleTool, OwnLinesSpeakTheLanguageFile)
{
    const struct {
        const char* name;
        const char* file;
        bool older;
        std::vector<std::string> retryLines;
        const char* warning;
        const char* refused;
        const char* portNotOpened;
    } cases[] = {
        {"English",
         "ORVELLE.lng",
         false,
         {"orvelle-cli: retrying (1 of 1)\n", "orvelle-cli: no retries left (--retries 1): giving up\n"},
         "orvelle-cli: warning: ",
         "orvelle-cli: restore refused: the transceiver is QX-5100 ",
         "orvelle-cli: COM24 cannot be opened: not present\n"},
        {"German",
         "ORVELLE-de.lng",
         false,
         {"orvelle-cli: neuer Versuch (1 von 1)\n",
          "orvelle-cli: keine Versuche mehr (--retries 1): aufgegeben\n"},
         "orvelle-cli: Warnung: ",
         "orvelle-cli: Wiederherstellen abgelehnt: Das Funkger\xe4t ist QX-5100 ",
         "orvelle-cli: COM24 kann nicht ge\xf6"
         "ffnet werden: nicht vorhanden\n"},
        {"German from before these rows",
         "ORVELLE-de.lng",
         true,
         {"orvelle-cli: retrying (1 of 1)\n", "orvelle-cli: no retries left (--retries 1): giving up\n"},
         "orvelle-cli: warning: ",
         "orvelle-cli: restore refused: the transceiver is QX-5100 ",
         "orvelle-cli: COM24 cannot be opened: not present\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto openTexts = [&c](CLanguageTable& texts) { return LoadTextsFrom(texts, c.file, c.older); };
        {
            // Two failures, one retry.
            FakeTransceiver fake;
            Transceiver(fake);
            fake.Script(FakeTransceiver::Command::Identity, kSilence);
            fake.Script(FakeTransceiver::Command::RecordRead, kSilence);
            ToolRun run(fake);
            run.openTexts = openTexts;
            EXPECT_EQ(run({"identify", "--port", "1", "--retries", "1"}), kExitLinkFailed);
            const std::string err = Contents(run.err);
            for (const std::string& line : c.retryLines)
                EXPECT_EQ(Count(err, line), 1u) << err;
        }
        {
            // A file where the History folder belongs.
            FakeTransceiver fake;
            Transceiver(fake);
            ToolRun run(fake);
            run.openTexts = openTexts;
            std::ofstream(run.temp / "History") << "not a folder";
            EXPECT_EQ(run({"identify", "--port", "1"}), kExitDone);
            const std::string err = Contents(run.err);
            EXPECT_NE(err.find(c.warning), std::string::npos) << err;
        }
        {
            // Row 1 read from one transceiver, restored to another.
            FakeTransceiver fake;
            Transceiver(fake);
            ToolRun run(fake);
            run.openTexts = openTexts;
            ASSERT_EQ(run({"identify", "--port", "1"}), kExitDone);
            fake.identity.back() = 'Z';
            run({"restore", "--port", "1", "--entry", "1"});
            const std::string err = Contents(run.err);
            EXPECT_NE(err.find(c.refused), std::string::npos) << err;
            EXPECT_NE(err.find(" (--force"), std::string::npos) << err;
        }
        {
            FakeTransceiver fake;
            fake.missingPorts.insert("\\\\.\\COM24");
            ToolRun run(fake);
            run.openTexts = openTexts;
            run({"identify", "--port", "24"});
            const std::string err = Contents(run.err);
            EXPECT_NE(err.find(c.portNotOpened), std::string::npos) << err;
        }
    }
}

TEST(ConsoleTool, JsonCarriesAnsiTextAsUtf8)
{
    // The version's last byte is a letter of the ANSI code page beyond ASCII:
    // unconverted, the JSON writer would take it for broken UTF-8 (U+FFFD).
    wchar_t wide = 0;
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, &wide, 1), 1);
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(wide));

    FakeTransceiver fake;
    Transceiver(fake, "V1.2\xE9");
    ToolRun run(fake);
    ASSERT_EQ(run({"identify", "--port", "1", "--json"}), kExitDone);
    const std::string json = Contents(run.out);
    EXPECT_NE(json.find(std::string("\"version\":\"V1.2") + escaped + "\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"option_type\":1,"), std::string::npos) << json;
}

// The ports Windows lists, by name and without opening any; with --probe each
// opened in turn, and a port that cannot be opened says why.
TEST(ConsoleTool, PortsAreListedAndProbedOnRequest)
{
    FakeTransceiver fake;
    fake.AddPort(1);
    fake.AddPort(3, "Communications Port (COM3)");
    fake.AddPort(23, "USB Serial Port (COM23)");
    fake.AddPort(24);
    fake.AddPort(31);
    fake.missingPorts.insert("\\\\.\\COM24");
    fake.refusedPorts["\\\\.\\COM31"] = ERROR_GEN_FAILURE;
    CSerialPort other(fake.Apis()); // another program holds COM3
    other.SetPortNumber(3);
    ASSERT_EQ(other.SetPortOpen(1), 1);
    fake.opens.clear();

    {
        ToolRun run(fake);
        ASSERT_EQ(run({"ports"}), kExitDone);
        EXPECT_EQ(Contents(run.out),
                  "COM1\nCOM3  Communications Port\nCOM23  USB Serial Port\nCOM24\nCOM31\n");
        EXPECT_TRUE(fake.opens.empty()) << "listing opens nothing";
    }
    {
        ToolRun run(fake);
        ASSERT_EQ(run({"ports", "--json"}), kExitDone);
        const std::string json = Contents(run.out);
        EXPECT_NE(
            json.find("{\"port\":23,\"name\":\"USB Serial Port (COM23)\",\"state\":null,\"usable\":null}"),
            std::string::npos)
            << json;
        EXPECT_TRUE(fake.opens.empty());
    }
    {
        ToolRun run(fake);
        ASSERT_EQ(run({"ports", "--probe"}), kExitDone);
        const std::string out = Contents(run.out);
        EXPECT_NE(out.find("COM1: usable\n"), std::string::npos) << out;
        EXPECT_NE(out.find("COM3  Communications Port: cannot be opened: in use\n"), std::string::npos)
            << out;
        EXPECT_NE(out.find("COM23  USB Serial Port: usable\n"), std::string::npos) << out;
        EXPECT_NE(out.find("COM24: cannot be opened: not present\n"), std::string::npos) << out;
        // Any other error as the system words it, with its number.
        EXPECT_NE(out.find("COM31: cannot be opened: "), std::string::npos) << out;
        EXPECT_NE(out.find("(error 31)\n"), std::string::npos) << out;
        EXPECT_EQ(fake.opens.size(), 5u);
        EXPECT_EQ(fake.OpenHandles(), 1) << "only the other program's";
    }
    {
        ToolRun run(fake);
        ASSERT_EQ(run({"ports", "--probe", "--json"}), kExitDone);
        const std::string json = Contents(run.out);
        EXPECT_NE(json.find("{\"port\":1,\"name\":\"\",\"state\":\"usable\",\"usable\":true}"),
                  std::string::npos)
            << json;
        EXPECT_NE(
            json.find("{\"port\":3,\"name\":\"Communications Port (COM3)\",\"state\":\"cannot be opened: "
                      "in use\",\"usable\":false}"),
            std::string::npos)
            << json;
    }
    other.SetPortOpen(0);
}

// A flagged port is listed with what is wrong and what to do; --json gives
// every port's device (status, problem, hardware id, driver) in "devices".
TEST(ConsoleTool, FlaggedPortsSayWhatIsWrongAndWhatToDo)
{
    const char* const kProblemAdvice = "Unplug the cable and plug it in again; if the problem stays, install "
                                       "the cable's driver again.";
    const char* const kRefusedAdvice =
        "Use another programming cable, or a driver version that supports its chip.";
    FakeTransceiver fake;
    fake.AddPort(1);
    fake.portDevices.clear(); // COM1: no device, as under Wine
    fake.AddPort(4, "USB Serial Port (COM4)");
    fake.portDevices.back().hardwareId = "USB\\VID_1234&PID_5678";
    fake.portDevices.back().driverProvider = "Cable Maker";
    fake.portDevices.back().driverVersion = "2.12.28.0";
    fake.AddPort(5, "USB-Serial Controller - PLEASE CONTACT YOUR SUPPLIER (COM5)");
    fake.portDevices.back().problemCode = 10;
    fake.AddPort(6, "USB Serial Port (COM6)");
    fake.portDevices.back().problemCode = 10;
    fake.AddPort(7);
    fake.portDevices.back().problemCode = 28;

    const struct {
        int port;
        const char* lines;  // as ports prints them
        const char* device; // its member of --json's "devices"
    } cases[] = {
        {1, "COM1\n",
         "{\"port\":1,\"status\":null,\"problem\":null,\"hardware_id\":\"\","
         "\"driver_provider\":\"\",\"driver_version\":\"\"}"},
        {4, "COM4  USB Serial Port\n",
         "{\"port\":4,\"status\":\"started\",\"problem\":null,\"hardware_id\":\"USB\\\\VID_1234&PID_5678\","
         "\"driver_provider\":\"Cable Maker\",\"driver_version\":\"2.12.28.0\"}"},
        {5,
         "COM5  USB-Serial Controller - PLEASE CONTACT YOUR SUPPLIER\n  The cable's driver refuses its "
         "chip. ",
         "{\"port\":5,\"status\":\"problem\",\"problem\":{\"kind\":\"refused-chip\",\"code\":10,"
         "\"text\":\"the driver refuses the chip\"},"},
        {6, "COM6  USB Serial Port\n  Windows reports a problem with this port's device (code 10). ",
         "{\"port\":6,\"status\":\"problem\",\"problem\":{\"kind\":\"device-problem\",\"code\":10,"
         "\"text\":\"cannot start\"},"},
        {7, "COM7\n  Windows reports a problem with this port's device (code 28). ",
         "{\"port\":7,\"status\":\"problem\",\"problem\":{\"kind\":\"device-problem\",\"code\":28,"
         "\"text\":\"driver not installed\"},"},
    };
    ToolRun listing(fake);
    ASSERT_EQ(listing({"ports"}), kExitDone);
    const std::string out = Contents(listing.out);
    ToolRun json(fake);
    ASSERT_EQ(json({"ports", "--json"}), kExitDone);
    const std::string report = Contents(json.out);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_NE(out.find(c.lines), std::string::npos) << out;
        EXPECT_NE(report.find(c.device), std::string::npos) << report;
    }
    EXPECT_EQ(Count(out, kProblemAdvice), 2u) << out;
    EXPECT_EQ(Count(out, kRefusedAdvice), 1u) << out;
    EXPECT_EQ(Count(report, "\"problem\":"), 5u) << "one per port: " << report;
    // A flagged port is still probed like any other.
    ToolRun probe(fake);
    ASSERT_EQ(probe({"ports", "--probe"}), kExitDone);
    EXPECT_NE(Contents(probe.out).find("COM6  USB Serial Port: usable\n  Windows reports a problem"),
              std::string::npos);
    EXPECT_EQ(fake.opens.size(), 5u);
}

// A port that cannot be opened: the language text, then the system's reason,
// which --json carries as port_error.
TEST(ConsoleTool, APortThatCannotBeOpenedSaysWhy)
{
    CLanguageTable texts;
    ASSERT_EQ(LoadTexts(texts), 1);
    const struct {
        const char* port;
        std::function<void(FakeTransceiver&)> arrange;
        const char* reason;
    } cases[] = {
        {"COM24", [](FakeTransceiver& f) { f.missingPorts.insert("\\\\.\\COM24"); }, "not present"},
        {"24", [](FakeTransceiver& f) { f.refusedPorts["\\\\.\\COM24"] = ERROR_ACCESS_DENIED; }, "in use"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        FakeTransceiver fake;
        c.arrange(fake);
        ToolRun run(fake);
        EXPECT_EQ(run({"identify", "--port", c.port, "--json"}), kExitPortNotOpened);
        const std::string messages = Contents(run.err);
        const std::size_t text = messages.find(texts.GetText(TextNo::kCliPortCannotOpen));
        EXPECT_EQ(messages.find("Retry"), std::string::npos) << messages;
        const std::size_t reason = messages.find(std::string("COM24 cannot be opened: ") + c.reason);
        ASSERT_NE(text, std::string::npos) << messages;
        ASSERT_NE(reason, std::string::npos) << messages;
        EXPECT_LT(text, reason);
        const std::string json = Contents(run.out);
        EXPECT_NE(json.find(std::string("\"port_error\":\"") + c.reason + "\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"port\":24"), std::string::npos) << json;
    }
}

TEST(ConsoleTool, CtrlCNeverCutsAFrame)
{
    // The key is pressed as the PC sends the frame that begins with `at`:
    // before the write the run stops at its next step; from the write frame
    // on it takes the answer and ends programming mode first. Against a dead
    // link the failed attempt is not tried again, however many retries remain.
    const struct {
        const char* name;
        DWORD event;
        Bytes at;
        bool after; // the press comes after the write frame's answer: at its end of programming mode
        unsigned char answer;
        int exit;
        std::vector<std::string> rows;
        bool written;
        bool dead = false; // no radio answers; --retries 100
    } cases[] = {
        {"Ctrl+C before the write: as the record is asked for",
         CTRL_C_EVENT,
         kUrcb,
         false,
         0x06,
         kExitInterrupted,
         {"not-upgraded"},
         false},
        {"Ctrl+Break before the write: as the identity is asked for",
         CTRL_BREAK_EVENT,
         kUrk,
         false,
         0x06,
         kExitInterrupted,
         {},
         false},
        {"during the write frame, accepted",
         CTRL_C_EVENT,
         kUwcb,
         false,
         0x06,
         kExitDone,
         {"pending", "written"},
         true},
        {"during the write frame, refused",
         CTRL_C_EVENT,
         kUwcb,
         false,
         0x15,
         kExitInterrupted,
         {"pending", "refused"},
         false},
        {"after the answer", CTRL_C_EVENT, kEnd, true, 0x06, kExitDone, {"pending", "written"}, true},
        {"Ctrl+C while retries remain: a dead link, --retries 100",
         CTRL_C_EVENT,
         kOldHandshake,
         false,
         0x06,
         kExitInterrupted,
         {},
         false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        if (c.dead)
            fake.kind = FakeTransceiver::Kind::None;
        fake.writeAnswer = c.answer;
        const Bytes before = fake.record;
        bool pressed = false;
        BOOL handled = FALSE;
        fake.onWrite = [&](const Bytes& chunk) {
            const bool answered = !fake.recordsWritten.empty();
            if (!pressed && StartsWith(chunk, c.at) && answered == c.after) {
                pressed = true;
                handled = ConsoleControlHandler(c.event);
            }
        };
        ToolRun run(fake);
        std::vector<std::string> arguments = {"restore", "--port", "1", "--record", kRestored, "--json"};
        if (c.dead)
            arguments.insert(arguments.end(), {"--retries", "100"});
        int pauses = 0;
        fake.onSleep = [&](DWORD milliseconds) {
            pauses += milliseconds == CConsoleAsker::kRetryPauseMs ? 1 : 0;
        };
        EXPECT_EQ(run(arguments), c.exit);
        EXPECT_TRUE(pressed);
        EXPECT_TRUE(handled) << "the process goes on";
        const auto attempts = std::count_if(fake.writes.begin(), fake.writes.end(), [](const auto& write) {
            return StartsWith(write.bytes, kOldHandshake);
        });
        EXPECT_EQ(attempts, 1) << "no attempt after the press";
        EXPECT_EQ(pauses, 0) << "no pause before a retry";
        EXPECT_EQ(run.Outcomes(), c.rows);
        EXPECT_EQ(fake.recordsWritten.size(), c.written || c.answer == 0x15 ? 1u : 0u) << "whole frames only";
        EXPECT_EQ(fake.record == before, !c.written);
        EXPECT_FALSE(fake.InProgrammingMode());
        EXPECT_EQ(fake.OpenHandles(), 0);
        const std::string json = Contents(run.out);
        EXPECT_NE(json.find(c.exit == kExitDone ? "\"outcome\":\"written\"" : "\"outcome\":\"interrupted\""),
                  std::string::npos)
            << json;
    }
    // Once the tool has returned, the events are the system's again.
    EXPECT_FALSE(ConsoleControlHandler(CTRL_C_EVENT));
}

// Ctrl+C once the transceiver has accepted the record, during --verify's
// read-back: the write stands (never "interrupted"), only unchecked; a record
// that had come back already is compared all the same.
TEST(ConsoleTool, CtrlCDuringTheReadBackLeavesTheWriteAsItWas)
{
    const struct {
        const char* name;
        Bytes at; // the read-back's request the press comes with
        bool keepsOldRecord;
        int exit;
        const char* outcome;
        std::vector<std::string> rows;
    } cases[] = {
        {"as the identity is asked for again", kUrk, false, kExitDone, "written", {"pending", "written"}},
        {"as the record is asked for again, the radio kept its old one",
         kUrcb,
         true,
         kExitVerifyFailed,
         "verify-failed",
         {"pending", "verify-failed"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        if (c.keepsOldRecord)
            fake.Script(FakeTransceiver::Command::RecordWrite, FakeTransceiver::Raw({0x06}));
        bool pressed = false;
        bool frameSent = false; // what is asked for after it is the read-back's
        fake.onWrite = [&](const Bytes& chunk) {
            frameSent = frameSent || StartsWith(chunk, kUwcb);
            if (!pressed && frameSent && StartsWith(chunk, c.at)) {
                pressed = true;
                ConsoleControlHandler(CTRL_C_EVENT);
            }
        };
        ToolRun run(fake);
        EXPECT_EQ(run({"restore", "--port", "1", "--record", kRestored, "--verify", "--json"}), c.exit);
        EXPECT_TRUE(pressed);
        const std::string json = Contents(run.out);
        EXPECT_NE(json.find(std::string("\"outcome\":\"") + c.outcome + "\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"verified\":false,"), std::string::npos) << json;
        EXPECT_EQ(run.Outcomes(), c.rows);
        EXPECT_FALSE(fake.InProgrammingMode());
    }
}

namespace {

// The handler calls the tool makes through its console table, in order.
using HandlerCall = std::pair<PHANDLER_ROUTINE, BOOL>;
std::vector<HandlerCall> g_handlerCalls;

BOOL WINAPI RecordHandlerCall(PHANDLER_ROUTINE routine, BOOL add)
{
    g_handlerCalls.emplace_back(routine, add);
    return TRUE;
}

} // namespace

// Ctrl+C reaches the tool only through the handler it gives Windows: in place
// (an inherited "ignore Ctrl+C" undone first) while the run talks to the
// radio, and taken away once it is over.
TEST(ConsoleTool, TheHandlerIsGivenToWindowsForTheRunAndTakenBackAfter)
{
    FakeTransceiver fake;
    Transceiver(fake);
    g_handlerCalls.clear();
    std::vector<HandlerCall> duringTheRun;
    bool asked = false;
    fake.onWrite = [&](const Bytes& chunk) {
        if (!asked && StartsWith(chunk, kUrk)) {
            asked = true;
            duringTheRun = g_handlerCalls;
        }
    };
    const ConsoleApi console = {&::GetConsoleMode, &::WriteConsoleW, &RecordHandlerCall,
                                &::CancelSynchronousIo};
    ToolRun run(fake);
    EXPECT_EQ(run({"identify", "--port", "1"}, &console), kExitDone);
    ASSERT_TRUE(asked);
    const HandlerCall clearIgnore = {nullptr, FALSE};
    const HandlerCall install = {&ConsoleControlHandler, TRUE};
    const HandlerCall remove = {&ConsoleControlHandler, FALSE};
    EXPECT_EQ(duringTheRun, (std::vector<HandlerCall>{clearIgnore, install}));
    EXPECT_EQ(g_handlerCalls, (std::vector<HandlerCall>{clearIgnore, install, remove}));
}

namespace {

// The threads whose synchronous I/O the tool cut short, in order.
std::vector<DWORD> g_cutThreads;

BOOL WINAPI RecordCut(HANDLE thread)
{
    g_cutThreads.push_back(GetThreadId(thread));
    return FALSE; // as for a thread in no I/O: ERROR_NOT_FOUND
}

} // namespace

// A stop cuts short the read the run's thread is blocked in (a silent radio
// holds a read for up to ten seconds, longer than a closing console lives),
// but never once the write frame has begun: the frame, its answer and the
// history's final rows go on whole.
TEST(ConsoleTool, AStopCutsTheRunsReadShortOutsideTheWriteFrame)
{
    const struct {
        const char* name;
        Bytes at;
        bool after; // the press comes after the frame's answer
        std::size_t cuts;
    } cases[] = {
        {"as the record is asked for", kUrcb, false, 1},
        {"during the write frame", kUwcb, false, 0},
        {"after the answer", kEnd, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        g_cutThreads.clear();
        bool pressed = false;
        fake.onWrite = [&](const Bytes& chunk) {
            const bool answered = !fake.recordsWritten.empty();
            if (!pressed && StartsWith(chunk, c.at) && answered == c.after) {
                pressed = true;
                ConsoleControlHandler(CTRL_C_EVENT);
            }
        };
        const ConsoleApi console = {&::GetConsoleMode, &::WriteConsoleW, &::SetConsoleCtrlHandler,
                                    &RecordCut};
        ToolRun run(fake);
        run({"restore", "--port", "1", "--record", kRestored}, &console);
        ASSERT_TRUE(pressed);
        EXPECT_EQ(g_cutThreads.size(), c.cuts);
        for (DWORD thread : g_cutThreads)
            EXPECT_EQ(thread, GetCurrentThreadId()) << "the run's thread";
        EXPECT_FALSE(fake.InProgrammingMode());
    }
}

// A console closed during the write frame: Windows calls the handler on a
// thread of its own and ends the process as soon as it returns, so the
// handler holds the close until the run has ended programming mode and
// written its final row, and lets it go then, well before its longest wait.
// The run is held in the write until the closing thread is in the handler:
// the handler cannot be let go while the run is held, so one that returns
// meanwhile, or before the end of programming mode, does not hold the close.
TEST(ConsoleTool, AClosingConsoleIsHeldUntilTheFinalRowIsWritten)
{
    FakeTransceiver fake;
    Transceiver(fake);
    ToolRun run(fake);
    std::thread closing;
    std::atomic<bool> returned{false};
    BOOL handled = FALSE;
    DWORD heldMs = 0;
    bool heldInTheFrame = false;
    bool heldAtTheEnd = false;
    std::vector<std::string> rowsWhenLetGo;
    CFileHandle entering(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    fake.onWrite = [&](const Bytes& chunk) {
        if (!closing.joinable() && StartsWith(chunk, kUwcb)) {
            closing = std::thread([&] {
                SetEvent(entering.Get());
                const DWORD start = GetTickCount();
                handled = ConsoleControlHandler(CTRL_CLOSE_EVENT);
                heldMs = GetTickCount() - start;
                returned = true;
                rowsWhenLetGo = run.Outcomes();
            });
            // Until the closing thread is in the handler, and some time
            // after: it must not return while the run is held here.
            heldInTheFrame = WaitForSingleObject(entering.Get(), 30000) == WAIT_OBJECT_0;
            Sleep(200);
            heldInTheFrame = heldInTheFrame && !returned;
        }
        if (closing.joinable() && StartsWith(chunk, kEnd))
            heldAtTheEnd = !returned;
    };
    EXPECT_EQ(run({"restore", "--port", "1", "--record", kRestored}), kExitDone);
    ASSERT_TRUE(closing.joinable());
    closing.join();
    EXPECT_TRUE(heldInTheFrame) << "the close is held while the frame is on its way";
    EXPECT_TRUE(heldAtTheEnd) << "the close is held at the end of programming mode";
    EXPECT_TRUE(handled);
    EXPECT_LT(heldMs, kConsoleCloseWaitMs / 2) << "let go by the run, not by the wait's end";
    EXPECT_EQ(rowsWhenLetGo, (std::vector<std::string>{"pending", "written"}));
    EXPECT_FALSE(fake.InProgrammingMode());
}

namespace {

// A radio gone quiet in the middle of a read, as Windows has it: the run's
// thread really waits in ReadFile (ten seconds for a silent radio on a
// real port) until CancelSynchronousIo on that thread cuts it short, and
// fails it then with ERROR_OPERATION_ABORTED. Otherwise the fake's own read.
// One at a time; the tables reach it through s_quiet.
class QuietRead {
public:
    explicit QuietRead(const FakeTransceiver& fake)
        : m_serial(fake.Serial()), m_fakeRead(fake.Serial().ReadFile)
    {
        m_serial.ReadFile = &Read;
        s_quiet = this;
    }
    ~QuietRead() { s_quiet = nullptr; }
    QuietRead(const QuietRead&) = delete;
    QuietRead& operator=(const QuietRead&) = delete;

    const SerialApi& Serial() const { return m_serial; }
    // The next read waits until it is cut, or for longer than a closing
    // console is held.
    void Arm() { m_armed = true; }
    // Until the run's thread waits in the read.
    bool WaitUntilBlocked() const { return WaitForSingleObject(m_blocked.Get(), 30000) == WAIT_OBJECT_0; }
    // The threads whose read was cut short.
    std::vector<DWORD> cutThreads;

    static BOOL WINAPI Cancel(HANDLE thread)
    {
        QuietRead& quiet = *s_quiet;
        if (!quiet.m_waiting.exchange(false)) {
            SetLastError(ERROR_NOT_FOUND); // a thread in no I/O
            return FALSE;
        }
        quiet.cutThreads.push_back(GetThreadId(thread));
        SetEvent(quiet.m_cut.Get());
        return TRUE;
    }

private:
    static BOOL WINAPI Read(HANDLE h, LPVOID buffer, DWORD n, LPDWORD read, LPOVERLAPPED overlapped)
    {
        QuietRead& quiet = *s_quiet;
        if (!quiet.m_armed.exchange(false))
            return quiet.m_fakeRead(h, buffer, n, read, overlapped);
        quiet.m_waiting = true;
        SetEvent(quiet.m_blocked.Get());
        const bool cut = WaitForSingleObject(quiet.m_cut.Get(), kConsoleCloseWaitMs + 2000) == WAIT_OBJECT_0;
        if (cut || !quiet.m_waiting.exchange(false)) {
            *read = 0;
            SetLastError(ERROR_OPERATION_ABORTED);
            return FALSE;
        }
        return quiet.m_fakeRead(h, buffer, n, read, overlapped); // the fake's time-out
    }

    static QuietRead* s_quiet;
    SerialApi m_serial;
    decltype(&::ReadFile) m_fakeRead;
    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_waiting{false};
    CFileHandle m_blocked{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    CFileHandle m_cut{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

QuietRead* QuietRead::s_quiet = nullptr;

} // namespace

// A closing console while the run's thread is blocked in a read of a radio
// gone quiet: the read is cut short (Windows ends the process about five
// seconds after the event, the read would wait ten), so the run still ends
// programming mode and writes its final row before the handler lets
// Windows go, well inside the time the handler may hold it.
TEST(ConsoleTool, AClosingConsoleCutsABlockedReadAndTheRunEndsInTime)
{
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        bool afterTheWrite; // the quiet read is the read-back's
        std::vector<std::string> rows;
    } cases[] = {
        {"the record read, nothing kept yet", {"restore", "--port", "1", "--record", kRestored}, false, {}},
        {"the read-back after the write",
         {"restore", "--port", "1", "--verify", "--record", kRestored},
         true,
         {"pending", "written"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        QuietRead quiet(fake);
        fake.onHeard = [&](FakeTransceiver::Command command) {
            if (command == FakeTransceiver::Command::RecordRead &&
                fake.recordsWritten.empty() != c.afterTheWrite) {
                fake.Script(command, kSilence);
                quiet.Arm();
            }
        };
        ToolRun run(fake);
        run.link.serial = &quiet.Serial();
        const ConsoleApi console = {&::GetConsoleMode, &::WriteConsoleW, &::SetConsoleCtrlHandler,
                                    &QuietRead::Cancel};
        std::vector<std::string> rowsWhenLetGo;
        DWORD heldMs = 0;
        bool endedWhenLetGo = false;
        // Windows delivers the event on a thread of its own, and ends the
        // process as soon as the handler returns.
        std::thread closing([&] {
            if (!quiet.WaitUntilBlocked())
                return;
            const DWORD start = GetTickCount();
            ConsoleControlHandler(CTRL_CLOSE_EVENT);
            heldMs = GetTickCount() - start;
            rowsWhenLetGo = run.Outcomes();
            endedWhenLetGo = !fake.InProgrammingMode();
        });
        const int exit = run(c.arguments, &console);
        closing.join();
        fake.onHeard = nullptr;
        EXPECT_EQ(quiet.cutThreads, std::vector<DWORD>{GetCurrentThreadId()}) << "the run's read, once";
        EXPECT_LT(heldMs, kConsoleCloseWaitMs) << "let go by the run, not by the wait's end";
        EXPECT_TRUE(endedWhenLetGo) << "programming mode ended";
        EXPECT_EQ(rowsWhenLetGo, c.rows);
        EXPECT_EQ(run.Outcomes(), c.rows);
        EXPECT_EQ(exit, c.afterTheWrite ? kExitDone : OutcomeRowOf(UpgradeOutcome::Interrupted).ending.exit);
    }
}

TEST(ConsoleTool, ARecordTheHistoryCannotKeepIsNotWrittenUnlessNoHistoryIsGiven)
{
    const struct {
        const char* name;
        bool noHistory;
        int exit;
    } cases[] = {
        {"history unavailable: exit 12, the record read printed, nothing written", false,
         kExitHistoryUnavailable},
        {"--no-history: written, no rows", true, kExitDone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        const Bytes before = fake.record;
        ToolRun run(fake);
        // A file in the History folder's place: no row can be written.
        std::ofstream(run.temp / "History") << "not a folder";
        std::vector<std::string> args = {"restore", "--port", "1", "--record", kRestored};
        if (c.noHistory)
            args.push_back("--no-history");
        EXPECT_EQ(run(args), c.exit);
        const std::string out = Contents(run.out);
        const std::string err = Contents(run.err);
        EXPECT_EQ(!fake.recordsWritten.empty(), c.noHistory);
        EXPECT_FALSE(Contains(fake.Written(), kUwcb) && !c.noHistory) << "no write frame";
        EXPECT_FALSE(fake.InProgrammingMode());
        if (c.noHistory) {
            EXPECT_EQ(err.find("history"), std::string::npos) << err;
            continue;
        }
        EXPECT_EQ(fake.record, before);
        EXPECT_NE(out.find("record_before: " + HexLower(before.data(), before.size()).str() + "\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("outcome: history-unavailable"), std::string::npos) << out;
        EXPECT_NE(err.find("not written: the history could not keep the record read"), std::string::npos)
            << err;
    }
}

// A restore never puts into a radio a record of another model, or a blank
// one, whether it comes from --record or from a history row, and --force
// (meant for another radio of the same model) does not change that.
TEST(ConsoleTool, ARestoreNeverPutsAnotherModelsOrABlankRecordIntoARadio)
{
    const char* const kOther = "QM-6100";
    const struct {
        const char* name;
        Bytes record;
        const char* rowModel; // the record comes from row 1, read from a radio of this model; null: --record
        bool force;
        int exit;
        const char* said; // on stderr when refused
    } cases[] = {
        {"the radio's model", OfModel(Bytes(OptionRecord::kSize, 0xAA)), nullptr, false, kExitDone, nullptr},
        {"another model", OfModel(Bytes(OptionRecord::kSize, 0xAA), kOther), nullptr, false,
         kExitOtherTransceiver, "the record is for QM-6100, but the transceiver is QX-5100 "},
        {"all 00", Bytes(OptionRecord::kSize, 0x00), nullptr, false, kExitOtherTransceiver,
         "the record is blank (every byte 00)"},
        {"all FF", Bytes(OptionRecord::kSize, 0xFF), nullptr, false, kExitOtherTransceiver,
         "the record is blank (every byte ff)"},
        {"a row of the same model, another radio, forced", OfModel(Bytes(OptionRecord::kSize, 0x33)),
         kSampleModel, true, kExitDone, nullptr},
        {"a row of another model", OfModel(Bytes(OptionRecord::kSize, 0x33), kOther), kOther, false,
         kExitOtherTransceiver, "the record is for QM-6100, but the transceiver is QX-5100 "},
        {"a row of another model, forced", OfModel(Bytes(OptionRecord::kSize, 0x33), kOther), kOther, true,
         kExitOtherTransceiver, "the record is for QM-6100, but the transceiver is QX-5100 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        ToolRun run(fake);
        std::vector<std::string> args = {"restore", "--port", "1"};
        if (c.rowModel) {
            // Row 1: the record as read from a radio of the row's model.
            SampleIdentity(fake, c.rowModel, kSampleVersion, IdentityMark::Marked);
            fake.record = c.record;
            ASSERT_EQ(run({"identify", "--port", "1"}), kExitDone);
            args.insert(args.end(), {"--entry", "1"});
        } else {
            args.insert(args.end(), {"--record", Hex(c.record)});
        }
        if (c.force)
            args.push_back("--force");
        Transceiver(fake);
        const Bytes before = fake.record;
        EXPECT_EQ(run(args), c.exit);
        const std::string err = Contents(run.err);
        if (c.said) {
            EXPECT_NE(err.find(c.said), std::string::npos) << err;
            EXPECT_TRUE(fake.recordsWritten.empty()) << "written";
            EXPECT_EQ(fake.record, before);
            EXPECT_EQ(run.Outcomes().back(), "not-upgraded");
        } else {
            EXPECT_EQ(fake.record, c.record) << err;
        }
        EXPECT_FALSE(fake.InProgrammingMode());
    }
}

TEST(ConsoleTool, HistoryListsRowsNumberedAsRestoreCountsThem)
{
    ToolRun run;
    ASSERT_TRUE(CreateDirectoryA((run.temp / "History").c_str(), nullptr));
    const std::string record(2 * OptionRecord::kSize, '0');
    const std::string row = ",orvelle-cli,3,QX-5100,id,V1.20," + record + ",," + "C:\\a.ENH,";
    {
        std::ofstream file(run.HistoryPath(), std::ios::binary);
        file << HistoryHeaderLine().str() << "2026-01-01T00:00:01" << row << "pending\r\n"
             << "damaged,row\r\n"
             << "2026-01-01T00:00:03" << row << "written\r\n";
    }
    EXPECT_EQ(run({"history"}), kExitDone);
    const std::string listing = Contents(run.out);
    EXPECT_NE(
        listing.find("   1  2026-01-01T00:00:01  orvelle-cli  COM3    QX-5100     pending       C:\\a.ENH\n"),
        std::string::npos)
        << listing;
    EXPECT_NE(listing.find("   2  damaged row\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("   3  2026-01-01T00:00:03"), std::string::npos) << listing;

    ToolRun json;
    CreateDirectoryA((json.temp / "History").c_str(), nullptr);
    CopyFileA(run.HistoryPath().c_str(), json.HistoryPath().c_str(), FALSE);
    EXPECT_EQ(json({"history", "--last", "2", "--json"}), kExitDone);
    const std::string object = Contents(json.out);
    EXPECT_NE(
        object.find("\"rows\":[{\"entry\":2,\"damaged\":true},{\"entry\":3,\"time\":\"2026-01-01T00:00:03\""),
        std::string::npos)
        << object;

    ToolRun empty;
    EXPECT_EQ(empty({"history", "--json"}), kExitDone);
    EXPECT_NE(Contents(empty.out).find("\"rows\":[]"), std::string::npos);
}

namespace {

// A console for the tests: every stream is one, and what WriteConsoleW is
// given is kept.
std::wstring& ConsoleScreen()
{
    static std::wstring screen;
    return screen;
}
BOOL WINAPI AlwaysConsole(HANDLE, LPDWORD mode)
{
    *mode = ENABLE_PROCESSED_OUTPUT;
    return TRUE;
}
BOOL WINAPI KeepConsoleText(HANDLE, const VOID* text, DWORD count, LPDWORD written, LPVOID)
{
    ConsoleScreen().append(static_cast<const wchar_t*>(text), count);
    *written = count;
    return TRUE;
}

} // namespace

TEST(ConsoleTool, TextToAConsoleIsUtf16AndToAFileTheAnsiBytes)
{
    // A letter of the ANSI code page beyond ASCII, in the version line.
    wchar_t wide = 0;
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, &wide, 1), 1);
    const ConsoleApi console = {&AlwaysConsole, &KeepConsoleText, &::SetConsoleCtrlHandler,
                                &::CancelSynchronousIo};
    for (const bool isConsole : {true, false}) {
        SCOPED_TRACE(isConsole ? "console" : "file");
        FakeTransceiver fake;
        Transceiver(fake, "V1.2\xE9");
        ConsoleScreen().clear();
        ToolRun run(fake);
        ASSERT_EQ(run({"identify", "--port", "1"}, isConsole ? &console : nullptr), kExitDone);
        const std::string bytes = Contents(run.out);
        if (isConsole) {
            EXPECT_EQ(bytes, "") << "nothing through the C runtime's bytes";
            EXPECT_NE(ConsoleScreen().find(std::wstring(L"version: V1.2") + wide + L"\n"),
                      std::wstring::npos);
        } else {
            EXPECT_NE(bytes.find("version: V1.2\xE9\n"), std::string::npos) << bytes;
            EXPECT_TRUE(ConsoleScreen().empty());
        }
    }
}

TEST(ConsoleTool, HelpInEveryUsualFormAndUsageWithoutArguments)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-h"}, {"--help"}, {"/?"}, {"help"}}) {
        ToolRun run;
        EXPECT_EQ(run(args), kExitDone) << args[0];
        const std::string out = Contents(run.out);
        EXPECT_EQ(out.rfind(kCliUsageText, 0), 0u) << out;
        EXPECT_NE(out.find(kCliHelpText), std::string::npos);
    }
    // On one command, in any form: that command's help, the same each time.
    const struct {
        std::vector<std::string> args;
        CliCommand command;
    } commandHelp[] = {
        {{"help", "upgrade"}, CliCommand::Upgrade},
        {{"--help", "upgrade"}, CliCommand::Upgrade},
        {{"upgrade", "--help"}, CliCommand::Upgrade},
        {{"UPGRADE", "-h"}, CliCommand::Upgrade},
        {{"restore", "--port", "1", "-h"}, CliCommand::Restore},
    };
    for (const auto& c : commandHelp) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        ToolRun run;
        EXPECT_EQ(run(c.args), kExitDone);
        const std::string out = Contents(run.out);
        EXPECT_EQ(out, CliHelpFor(c.command));
        EXPECT_EQ(out.find(kCliHelpText), std::string::npos) << "not the whole help";
    }
    ToolRun run;
    EXPECT_EQ(run({}), kExitUsage);
    EXPECT_EQ(Contents(run.out), "");
    EXPECT_NE(Contents(run.err).find(kCliUsageText), std::string::npos);
}

TEST(ConsoleTool, ArgumentsTheAnsiCodePageCannotHoldAreRefusedNotBentIntoOthers)
{
    // Representable: the bytes the code page has for them.
    std::vector<std::string> arguments;
    std::string error;
    wchar_t eAcute = 0;
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, &eAcute, 1), 1);
    ASSERT_TRUE(
        AnsiArguments({L"upgrade", std::wstring(L"C:\\Caf") + eAcute + L".ENH", L""}, arguments, error))
        << error;
    EXPECT_EQ(arguments, (std::vector<std::string>{"upgrade", "C:\\Caf\xE9.ENH", ""}));

    // Japanese in a code page without it, and letters that best fit would
    // turn into plain ones (A with macron to A): refused, naming which. A
    // system whose code page holds Japanese takes that one.
    const struct {
        std::wstring argument;
        const char* shown;
        bool japanese;
    } cases[] = {
        {L"C:\\Data\\\x65E5\x672C.ENH", "argument 2 'C:\\Data\\??.ENH'", true},
        {L"C:\\\x0100.ENH", "argument 2 'C:\\?.ENH'", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        arguments = {"untouched"};
        if (c.japanese && GetACP() == 932) {
            EXPECT_TRUE(AnsiArguments({L"--file", c.argument}, arguments, error)) << error;
            EXPECT_EQ(arguments, (std::vector<std::string>{"--file", "C:\\Data\\\x93\xFA\x96\x7B.ENH"}));
            continue;
        }
        EXPECT_FALSE(AnsiArguments({L"--file", c.argument}, arguments, error));
        EXPECT_EQ(error.rfind(c.shown, 0), 0u) << error;
        EXPECT_NE(error.find("cannot represent"), std::string::npos) << error;
        EXPECT_EQ(arguments, (std::vector<std::string>{"untouched"}));
    }
}

// The same arguments in each code page Windows may run with, whatever this
// machine's is: Windows-1252, Shift-JIS, and UTF-8 (65001, "Use Unicode UTF-8
// for worldwide language support"), which takes no best-fit flag and no
// default character and so refused every argument before.
TEST(ConsoleText, ArgumentsInEachCodePage)
{
    const std::wstring cafe = L"C:\\Caf\x00E9.ENH";
    const std::wstring japanese = L"C:\\\x65E5\x672C.ENH";
    const std::wstring macron = L"C:\\\x0100.ENH"; // best fit would make it a plain A
    const struct {
        unsigned codePage;
        std::wstring argument;
        bool taken;
        const char* bytes; // taken: the argument's bytes; refused: how the error shows it
    } cases[] = {
        {1252, cafe, true, "C:\\Caf\xE9.ENH"},
        {1252, japanese, false, "argument 2 'C:\\??.ENH'"},
        {1252, macron, false, "argument 2 'C:\\?.ENH'"},
        {932, cafe, false, "argument 2 'C:\\Caf?.ENH'"},
        {932, japanese, true, "C:\\\x93\xFA\x96\x7B.ENH"},
        {932, macron, false, "argument 2 'C:\\?.ENH'"},
        {65001, cafe, true, "C:\\Caf\xC3\xA9.ENH"},
        {65001, japanese, true, "C:\\\xE6\x97\xA5\xE6\x9C\xAC.ENH"},
        {65001, macron, true, "C:\\\xC4\x80.ENH"},
        {65001, std::wstring(L"C:\\") + wchar_t(0xD800) + L".ENH", false,
         "argument 2 ''"}, // a lone surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.bytes);
        std::vector<std::string> arguments = {"untouched"};
        std::string error;
        const bool taken = AnsiArguments({L"--file", c.argument, L""}, arguments, error, c.codePage);
        ASSERT_EQ(taken, c.taken) << error;
        if (taken) {
            EXPECT_EQ(arguments, (std::vector<std::string>{"--file", c.bytes, ""}));
        } else {
            EXPECT_EQ(error.rfind(c.bytes, 0), 0u) << error;
            EXPECT_NE(error.find("(" + std::to_string(c.codePage) + ") cannot represent"), std::string::npos)
                << error;
            EXPECT_EQ(arguments, (std::vector<std::string>{"untouched"}));
        }
    }
}

// The outcome table's history word is the outcome of the final row the
// history holds after a run that ends so; a run the table gives no word
// appends no row. Each run below is seen through --json's outcome word.
TEST(ConsoleTool, TheOutcomeTablesHistoryWordIsTheFinalRowsOutcome)
{
    using Command = FakeTransceiver::Command;
    // The first failure final, as the words are the ones of a run that ends
    // there.
    const std::vector<std::string> restore = {"restore", "--port",    "1", "--record",
                                              kRestored, "--retries", "0", "--json"};
    const struct {
        const char* name;
        std::function<void(FakeTransceiver&)> arrange;
        std::vector<std::string> args;
        const char* word;
        bool recordRead; // before the record is read no run appends a row
    } cases[] = {
        {"identified", nullptr, {"identify", "--port", "1", "--json"}, "identified", true},
        {"written", nullptr, restore, "written", true},
        {"refused", [](FakeTransceiver& f) { f.writeAnswer = 0x15; }, restore, "refused", true},
        {"the write unanswered", [](FakeTransceiver& f) { f.Script(Command::RecordWrite, kSilence); },
         restore, "link-failed", true},
        {"a transceiver that keeps its record",
         [](FakeTransceiver& f) { f.Script(Command::RecordWrite, FakeTransceiver::Raw({0x06})); },
         {"restore", "--port", "1", "--record", kRestored, "--verify", "--json"},
         "verify-failed",
         true},
        {"the identity unanswered",
         [](FakeTransceiver& f) { f.Script(Command::Identity, kSilence); },
         {"identify", "--port", "1", "--retries", "0", "--json"},
         "link-failed",
         false},
        {"no port", [](FakeTransceiver& f) { f.missingPorts.insert("COM1"); }, restore, "port-not-opened",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        if (c.arrange)
            c.arrange(fake);
        ToolRun run(fake);
        run(c.args);
        const std::string json = Contents(run.out);
        ASSERT_NE(json.find(std::string("\"outcome\":\"") + c.word + "\""), std::string::npos) << json;
        const OutcomeRow* row = nullptr;
        for (const OutcomeRow& candidate : kOutcomeRows) {
            if (std::string(candidate.ending.word) == c.word && (!row || candidate.historyWord))
                row = &candidate;
        }
        ASSERT_NE(row, nullptr);
        const std::vector<std::string> rows = run.Outcomes();
        if (!c.recordRead) {
            EXPECT_TRUE(rows.empty());
            continue;
        }
        ASSERT_NE(row->historyWord, nullptr) << "a run that read the record leaves a row";
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back(), row->historyWord);
    }
}

// ---- upgrade --each ---------------------------------------------------------

namespace {

// The sample transceiver with its serial number at the mark's place, its
// record fitting the sample option file.
void BatchRadio(FakeTransceiver& fake, char serial, const char* model = kSampleModel)
{
    SampleIdentity(fake, model, kSampleVersion, IdentityMark::Plain);
    fake.identity[kIdentityMarkOffset] = static_cast<unsigned char>(serial);
    fake.record = OfModel(Bytes(OptionRecord::kSize, 0x11), model);
    FitSampleRecord(fake, model);
}

// An option file for the sample model that adds an option, in the run's folder.
std::string PutSampleOptionFile(const ToolRun& run)
{
    EnhDescription description;
    description.model = kSampleModel;
    description.minVersion = "V1.00";
    description.entries = {MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0")};
    const std::vector<unsigned char> bytes = BuildEnhFile(description);
    const std::string path = run.temp / "sample.ENH";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The fields of a CSV file's data rows, the header dropped.
std::vector<std::vector<std::string>> CsvRows(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string bytes = text.str();
    CCsvReader reader(bytes.data(), bytes.size());
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> fields;
    reader.Next(nullptr);
    while (reader.Next(&fields))
        rows.push_back(fields);
    return rows;
}

std::size_t ReportColumn(const char* name)
{
    const auto* end = std::end(kBatchReportColumns);
    return static_cast<std::size_t>(
        std::find_if(std::begin(kBatchReportColumns), end,
                     [name](const char* c) { return std::strcmp(c, name) == 0; }) -
        std::begin(kBatchReportColumns));
}

} // namespace

// A radio's line shows what the technician checks against the radio's label
// and the order sheet; what a radio did not tell shows as "-".
TEST(ConsoleBatch, ARadiosLineShowsWhatItToldAndWhatItCameTo)
{
    CLanguageTable texts;
    ASSERT_EQ(LoadTexts(texts), 1);
    BatchRow written;
    written.number = 1;
    written.time = "2026-12-10T15:39:41";
    written.port = 3;
    written.verdict = BatchVerdict::Written;
    UpgradeResult& result = written.result;
    result.outcome = UpgradeOutcome::Written;
    result.identityRead = result.recordRead = result.recordPlanned = true;
    // The model, zero bytes, a serial number and a byte no label shows.
    result.identity.fill(0);
    std::memcpy(result.identity.data(), "QX-5100\0\0\0\0\0SN7\x01", 16);
    result.version = "V1.20";
    result.recordBefore.fill(0x11);
    result.recordAfter.fill(0x11);
    result.recordBefore[OptionRecord::kOptionBytes] = 0x3F;
    result.recordAfter[OptionRecord::kOptionBytes] = 0x30;
    result.readBack = result.verified = true;

    BatchRow skipped = written;
    skipped.number = 2;
    skipped.verdict = BatchVerdict::SkippedAsDone;
    skipped.result.outcome = UpgradeOutcome::OtherTransceiver;
    skipped.result.recordRead = skipped.result.recordPlanned = false;
    skipped.result.readBack = skipped.result.verified = false;

    BatchRow failed;
    failed.number = 12;
    failed.port = 255;
    failed.verdict = BatchVerdict::Failed;
    failed.result.outcome = UpgradeOutcome::LinkFailed;

    const struct {
        const char* name;
        const BatchRow& row;
        const char* line;
    } cases[] = {
        {"written and read back", written,
         "1  2026-12-10T15:39:41  COM3  QX-5100  QX-5100     SN7.  version V1.20  options "
         "3f11111111111111 -> 3011111111111111  written  verified: yes"},
        {"skipped as done: only its identity", skipped,
         "2  2026-12-10T15:39:41  COM3  QX-5100  QX-5100     SN7.  version -  options - -> -  "
         "skipped-as-done"},
        {"failed before its identity", failed, "12  -  COM255  -  -  version -  options - -> -  link-failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BatchRowLine(c.row, texts).str(), c.line);
    }
}

// Radio after radio over the fake: the first radio is written, taken off
// (two unanswered attempts), and the second plugged in a few attempts later;
// --count 2 ends the batch with its row. Each radio has its line, the
// report its row and the history the rows of a single run.
TEST(ConsoleBatch, TwoRadiosInARow)
{
    const struct {
        const char* name;
        char serial; // the second radio's
        const char* model;
        std::vector<std::string> outcomes;
        int exit;
        const char* summary;
        std::vector<std::string> history;
    } cases[] = {
        {"another radio",
         'B',
         kSampleModel,
         {"written", "written"},
         kExitDone,
         "2 radios: 2 written, 0 unchanged, 0 failed, 0 refused, 0 skipped as done, 0 stopped",
         {"pending", "written", "pending", "written"}},
        {"the first one again",
         'A',
         kSampleModel,
         {"written", "skipped-as-done"},
         kExitDone,
         "2 radios: 1 written, 0 unchanged, 0 failed, 0 refused, 1 skipped as done, 0 stopped",
         {"pending", "written"}},
        {"a refused model",
         'C',
         kRefusedModels[0],
         {"written", "refused-model"},
         kExitSomeFailed,
         "2 radios: 1 written, 0 unchanged, 0 failed, 1 refused, 0 skipped as done, 0 stopped",
         {"pending", "written"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        BatchRadio(fake, 'A');
        ToolRun run(fake);
        const std::string file = PutSampleOptionFile(run);
        const std::string report = run.temp / "report.csv";
        run.pause = [&](int milliseconds) { fake.SetNow(fake.Now() + static_cast<uint64_t>(milliseconds)); };
        // Taken off as the first attempt after its write begins; the second
        // plugged in as the fourth attempt after that begins (two to see the
        // first gone, one finding nobody).
        int attempts = 0;
        int removedAt = 0;
        fake.onWrite = [&](const Bytes& chunk) {
            if (!StartsWith(chunk, kOldHandshake))
                return;
            ++attempts;
            if (!removedAt && fake.recordsWritten.size() == 1) {
                fake.kind = FakeTransceiver::Kind::None;
                removedAt = attempts;
            } else if (removedAt && attempts == removedAt + 4) {
                BatchRadio(fake, c.serial, c.model);
            }
        };
        EXPECT_EQ(
            run({"upgrade", "--port", "1", "--file", file, "--each", "--count", "2", "--report", report}),
            c.exit);
        const std::vector<std::string> out = Lines(Contents(run.out));
        ASSERT_EQ(out.size(), 4u) << Contents(run.out);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(out[i].rfind(std::to_string(i + 1) + "  ", 0), 0u) << out[i];
            EXPECT_NE(out[i].find("  " + c.outcomes[i]), std::string::npos) << out[i];
        }
        EXPECT_EQ(out[2], c.summary);
        EXPECT_EQ(out[3], std::string("outcome: ") + (c.exit == kExitDone ? "done" : "some-failed"));
        const auto rows = CsvRows(report);
        ASSERT_EQ(rows.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(rows[i][ReportColumn("number")], std::to_string(i + 1));
            EXPECT_EQ(rows[i][ReportColumn("outcome")], c.outcomes[i]);
        }
        EXPECT_EQ(rows[0][ReportColumn("identity_text")],
                  kSampleModel + std::string(kIdentityMarkOffset - std::strlen(kSampleModel), ' ') + "A");
        EXPECT_EQ(run.Outcomes(), c.history);
        EXPECT_EQ(attempts, removedAt + 4) << "no attempt after the last radio's row";
        EXPECT_FALSE(fake.InProgrammingMode());
        EXPECT_EQ(fake.OpenHandles(), 0);
        // Into a file the status is one line per change.
        const std::string err = Contents(run.err);
        EXPECT_EQ(Count(err, "remove the radio from COM1"), 1u) << err;
        EXPECT_EQ(Count(err, "upgrading the radio on COM1\n"), 2u) << err;
    }
}

// Ctrl+C while the batch waits for a radio ends it at once, with the summary;
// a report and the --json object still say what was done.
TEST(ConsoleBatch, CtrlCWhileWaitingEndsTheBatchAtOnce)
{
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "--json" : "lines");
        FakeTransceiver fake;
        fake.kind = FakeTransceiver::Kind::None;
        ToolRun run(fake);
        const std::string file = PutSampleOptionFile(run);
        const std::string report = run.temp / "report.json";
        run.pause = [&](int milliseconds) { fake.SetNow(fake.Now() + static_cast<uint64_t>(milliseconds)); };
        int attempts = 0;
        fake.onWrite = [&](const Bytes& chunk) {
            if (StartsWith(chunk, kOldHandshake) && ++attempts == 3)
                ConsoleControlHandler(CTRL_C_EVENT);
        };
        std::vector<std::string> args = {"upgrade", "--port", "1", "--file", file, "--each"};
        if (json)
            args.insert(args.end(), {"--json", "--report", report});
        EXPECT_EQ(run(args), kExitInterrupted);
        EXPECT_EQ(attempts, 3) << "no attempt after the press";
        const std::string out = Contents(run.out);
        if (json) {
            const std::vector<std::string> lines = Lines(out);
            ASSERT_EQ(lines.size(), 1u) << "one object, nothing else: " << out;
            EXPECT_NE(out.find("\"outcome\":\"interrupted\""), std::string::npos) << out;
            EXPECT_NE(out.find("\"rows\":[]"), std::string::npos) << out;
            EXPECT_NE(out.find("\"summary\":{\"total\":0,"), std::string::npos) << out;
            std::ifstream in(report, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            EXPECT_EQ(text.str().rfind("{\"rows\":[],\"summary\":{\"total\":0,", 0), 0u) << text.str();
        } else {
            EXPECT_EQ(out,
                      "0 radios: 0 written, 0 unchanged, 0 failed, 0 refused, 0 skipped as done, 0 stopped\n"
                      "outcome: interrupted\n");
        }
        const std::string err = Contents(run.err);
        EXPECT_EQ(Count(err, "waiting for a radio on COM1 ("), 1u) << "one line per change: " << err;
        EXPECT_EQ(fake.OpenHandles(), 0);
    }
    EXPECT_FALSE(ConsoleControlHandler(CTRL_C_EVENT)) << "the events are the system's again";
}

// In a console the status is rewritten in place, each second, and cleared
// before anything else is printed.
TEST(ConsoleBatch, InAConsoleTheStatusIsRewrittenInPlace)
{
    const ConsoleApi console = {&AlwaysConsole, &KeepConsoleText, &::SetConsoleCtrlHandler,
                                &::CancelSynchronousIo};
    FakeTransceiver fake;
    fake.kind = FakeTransceiver::Kind::None;
    ConsoleScreen().clear();
    ToolRun run(fake);
    const std::string file = PutSampleOptionFile(run);
    run.pause = [&](int milliseconds) { fake.SetNow(fake.Now() + static_cast<uint64_t>(milliseconds)); };
    int attempts = 0;
    fake.onWrite = [&](const Bytes& chunk) {
        if (StartsWith(chunk, kOldHandshake) && ++attempts == 4)
            ConsoleControlHandler(CTRL_C_EVENT);
    };
    EXPECT_EQ(run({"upgrade", "--port", "1", "--file", file, "--each"}, &console), kExitInterrupted);
    const std::string screen(ConsoleScreen().begin(), ConsoleScreen().end()); // English: ASCII
    EXPECT_EQ(Count(screen, "\rwaiting for a radio on COM1 ("), 4u) << "one per attempt: " << screen;
    EXPECT_EQ(Count(screen, " s)\n"), 1u) << "no line per second, one after the last: " << screen;
    // The summary starts on a line of its own.
    EXPECT_NE(screen.find(" s)\n0 radios: "), std::string::npos) << screen;
}

// A pause between connection attempts ends as soon as Ctrl+C comes.
TEST(ConsoleBatch, APauseEndsAtCtrlC)
{
    CConsoleInterrupt interrupt(PlatformConsoleApi());
    std::thread press([] {
        Sleep(50);
        ConsoleControlHandler(CTRL_C_EVENT);
    });
    const DWORD start = GetTickCount();
    interrupt.WaitForStop(60000);
    const DWORD waited = GetTickCount() - start;
    press.join();
    EXPECT_TRUE(interrupt.Requested());
    EXPECT_LT(waited, 30000u);
    // Once asked for, a pause does not wait at all.
    const DWORD again = GetTickCount();
    interrupt.WaitForStop(60000);
    EXPECT_LT(GetTickCount() - again, 30000u);
}

// A report that cannot be written is said, and the batch goes on; an old
// report is replaced whole, never left half written.
TEST(ConsoleBatch, TheReportIsReplacedWholeOrSaidToHaveFailed)
{
    const struct {
        const char* name;
        bool folderMissing;
    } cases[] = {{"a report in a folder that exists", false}, {"a report in a folder that does not", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        BatchRadio(fake, 'A');
        ToolRun run(fake);
        const std::string file = PutSampleOptionFile(run);
        const std::string report = run.temp / (c.folderMissing ? "missing\\report.csv" : "report.csv");
        if (!c.folderMissing)
            std::ofstream(report, std::ios::binary) << std::string(100000, 'x');
        run.pause = [&](int milliseconds) { fake.SetNow(fake.Now() + static_cast<uint64_t>(milliseconds)); };
        EXPECT_EQ(
            run({"upgrade", "--port", "1", "--file", file, "--each", "--count", "1", "--report", report}),
            kExitDone);
        const std::string err = Contents(run.err);
        EXPECT_EQ(Count(err, "the report could not be written: "), c.folderMissing ? 1u : 0u) << err;
        if (!c.folderMissing) {
            std::ifstream in(report, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            EXPECT_EQ(text.str().rfind("number,time,port,", 0), 0u);
            EXPECT_EQ(text.str().find('x' + std::string("xx")), std::string::npos)
                << "nothing of the old one";
            EXPECT_EQ(CsvRows(report).size(), 1u);
        }
        // No temporary file is left beside it.
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((run.temp / "*.part").c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE);
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
    }
}

// --json is typed for scripts: numbers as numbers (the history's port too),
// verified a boolean, the option bytes an object whatever the command, the
// sources a list; and a usage error with --json prints its object even when
// an argument is what the code page cannot hold.
TEST(ConsoleTool, JsonFieldsAreTyped)
{
    const struct {
        const char* name;
        std::vector<std::string> args; // {file}: the sample option file
        std::vector<std::string> json;
        std::vector<std::string> lines; // on stdout without --json
    } cases[] = {
        {"identify: the bytes now, nothing after",
         {"identify", "--port", "1"},
         {"\"option_type\":3,", "\"option_bytes\":{\"before\":\"", "\",\"after\":null}"},
         {"\noption_bytes: "}},
        {"a dry run",
         {"upgrade", "--port", "1", "--file", "{file}", "--dry-run"},
         {"\"option_bytes\":{\"before\":\"", "\",\"after\":\"", "\"sources\":[\"", "\"outcome\":\"planned\""},
         {"\noption_bytes: ", " -> ", "] -> "}},
        {"a real upgrade, verified: the bytes as a dry run has them",
         {"upgrade", "--port", "1", "--file", "{file}", "--verify"},
         {"\"option_bytes\":{\"before\":\"", "\",\"after\":\"", "\"sources\":[\"", "\"verified\":true",
          "\"port\":1,"},
         {"\noption_bytes: ", "] -> ", "verified: yes\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool json : {true, false}) {
            FakeTransceiver fake;
            BatchRadio(fake, 'A');
            ToolRun run(fake);
            std::vector<std::string> args = c.args;
            for (std::string& arg : args) {
                if (arg == "{file}")
                    arg = PutSampleOptionFile(run);
            }
            if (json)
                args.push_back("--json");
            EXPECT_EQ(run(args), kExitDone) << Contents(run.err);
            const std::string out = Contents(run.out);
            for (const std::string& part : json ? c.json : c.lines)
                EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
        }
    }

    // The history's rows: the port a number, the sources a list.
    ToolRun history;
    ASSERT_TRUE(CreateDirectoryA((history.temp / "History").c_str(), nullptr));
    const std::string record(2 * OptionRecord::kSize, '0');
    {
        std::ofstream file(history.HistoryPath(), std::ios::binary);
        file << HistoryHeaderLine().str() << "2026-01-01T00:00:01,orvelle-cli,3,QX-5100,id,V1.20," << record
             << ",,C:\\a.ENH|C:\\b.ENH,written\r\n"
             << "2026-01-01T00:00:02,ORVELLE,,QX-5100,id,V1.20," << record << ",,,read\r\n";
    }
    EXPECT_EQ(history({"history", "--json"}), kExitDone);
    const std::string rows = Contents(history.out);
    EXPECT_NE(rows.find("\"program\":\"orvelle-cli\",\"port\":3,"), std::string::npos) << rows;
    EXPECT_NE(rows.find("\"sources\":[\"C:\\\\a.ENH\",\"C:\\\\b.ENH\"]"), std::string::npos) << rows;
    EXPECT_NE(rows.find("\"port\":null,"), std::string::npos) << rows;
    EXPECT_NE(rows.find("\"sources\":[]"), std::string::npos) << rows;

    // An argument the code page cannot hold: still the object.
    ToolRun usage;
    ConsoleEnvironment environment = {usage.temp.Path().c_str(), usage.openTexts, usage.out, usage.err};
    EXPECT_EQ(RunConsoleTool({L"upgrade", L"--port", L"1", L"--file", L"C:\\\x65E5.ENH", L"--json"},
                             environment, 1252),
              kExitUsage);
    const std::string object = Contents(usage.out);
    EXPECT_EQ(object.rfind("{\"command\":\"upgrade\",\"exit\":2,\"outcome\":\"usage\",\"port\":null,", 0), 0u)
        << object;
    EXPECT_NE(object.find("cannot represent"), std::string::npos) << object;
    EXPECT_NE(Contents(usage.err).find("orvelle-cli: argument 5 "), std::string::npos);
}

// A restore puts a record back: it says so in its own words, and says
// "unchanged" when the radio already had that record; it never claims new
// options.
TEST(ConsoleTool, ARestoreSaysWhatItCameTo)
{
    CLanguageTable texts;
    ASSERT_EQ(LoadTexts(texts), 1);
    const struct {
        const char* name;
        bool same;
        int said;
    } cases[] = {
        {"another record", false, TextNo::kCliRestored},
        {"the record the radio has", true, TextNo::kCliRestoredUnchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        if (c.same)
            fake.record = OfModel(Bytes(OptionRecord::kSize, 0xAA));
        ToolRun run(fake);
        EXPECT_EQ(run({"restore", "--port", "1", "--record", kRestored, "--json"}), kExitDone);
        const std::string err = Contents(run.err);
        EXPECT_EQ(err, std::string("orvelle-cli: ") + texts.GetText(c.said) + "\n");
        EXPECT_EQ(err.find(texts.GetText(TextNo::kRecordWritten)), std::string::npos) << err;
        EXPECT_NE(Contents(run.out).find(std::string("\"message\":\"") + texts.GetText(c.said) + "\""),
                  std::string::npos);
        EXPECT_EQ(fake.recordsWritten.size(), 1u) << "written all the same: the same frames";
    }
}

// With the German file in place, no line a technician reads is English:
// failures, retries, the port's reason, the probe's states, a refused and
// an unchanged restore. (Fact names and outcome words are for scripts.)
TEST(ConsoleTool, OneLanguageAtATime)
{
    const std::vector<std::string> kEnglish = {
        "error",       "warning",     "retrying",     "retries left",    "giving up", "cannot",
        "usable",      "not present", "written back", "unchanged:",      "click",     "Retry",
        "refused",     "must be",     "unknown",      "did you mean",    "needs",     "not with",
        "the history", "no row",      "no record",    "damaged",         "Usage",     "Commands",
        "Options:",    "Exit codes",  "Writes",       "the transceiver", "radio"};
    // The history's rows: one whole, one damaged (no record to write back).
    const std::string record(2 * OptionRecord::kSize, '0');
    const std::string rows = HistoryHeaderLine().str() +
                             "2026-01-01T00:00:01,orvelle-cli,3,QX-5100,id,V1.20," + record +
                             ",,C:\\a.ENH,written\r\n" + "damaged,row\r\n";
    const auto none = [](FakeTransceiver&) {};
    const struct {
        const char* name;
        std::function<void(FakeTransceiver&)> arrange;
        std::vector<std::string> args;
        std::string history; // History\upgrades.csv; empty: none
    } cases[] = {
        {"a radio that does not answer",
         [](FakeTransceiver& fake) {
             Transceiver(fake);
             for (int i = 0; i < 3; ++i)
                 fake.Script(FakeTransceiver::Command::Identity, kSilence);
         },
         {"identify", "--port", "1"},
         ""},
        {"a port not present",
         [](FakeTransceiver& fake) { fake.missingPorts.insert("\\\\.\\COM24"); },
         {"identify", "--port", "24"},
         ""},
        {"the ports probed",
         [](FakeTransceiver& fake) {
             fake.AddPort(1);
             fake.AddPort(24);
             fake.missingPorts.insert("\\\\.\\COM24");
         },
         {"ports", "--probe"},
         ""},
        {"a blank record refused",
         [](FakeTransceiver& fake) { Transceiver(fake); },
         {"restore", "--port", "1", "--record", std::string(2 * OptionRecord::kSize, 'f')},
         ""},
        {"the same record restored",
         [](FakeTransceiver& fake) {
             Transceiver(fake);
             fake.record = OfModel(Bytes(OptionRecord::kSize, 0xAA));
         },
         {"restore", "--port", "1", "--record", kRestored},
         ""},
        {"a port number out of range", none, {"identify", "--port", "0"}, ""},
        {"a mistyped option", none, {"identify", "--prot", "1"}, ""},
        {"a mistyped command", none, {"idnetify", "--port", "1"}, ""},
        {"a command without its port", none, {"upgrade", "--file", "x.ENH"}, ""},
        {"a dry run that would verify",
         none,
         {"upgrade", "--port", "1", "--file", "x", "--dry-run", "--verify"},
         ""},
        {"a record with a letter in it", none, {"restore", "--port", "1", "--record", "0g"}, ""},
        {"--entry without a history", none, {"restore", "--port", "1", "--entry", "1"}, ""},
        {"--entry past the last row", none, {"restore", "--port", "1", "--entry", "3"}, rows},
        {"--entry of a damaged row", none, {"restore", "--port", "1", "--entry", "2"}, rows},
        {"the history with a damaged row", none, {"history"}, rows},
        {"the history without rows", none, {"history"}, HistoryHeaderLine().str()},
        {"the help", none, {"--help"}, ""},
        {"a command's help", none, {"help", "upgrade"}, ""},
        {"another command's help", none, {"restore", "--help"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        c.arrange(fake);
        ToolRun run(fake);
        if (!c.history.empty()) {
            ASSERT_TRUE(CreateDirectoryA((run.temp / "History").c_str(), nullptr));
            std::ofstream(run.HistoryPath(), std::ios::binary) << c.history;
        }
        run.openTexts = [](CLanguageTable& texts) { return LoadTextsFrom(texts, "ORVELLE-de.lng"); };
        run(c.args);
        const std::string err = Contents(run.err);
        std::string out = Contents(run.out);
        EXPECT_FALSE(err.empty() && out.empty());
        // The help's outcome lines name --json's key and words, which stay.
        for (std::size_t at; (at = out.find("      outcome: ")) != std::string::npos;)
            out.erase(at, out.find('\n', at) + 1 - at);
        for (const std::string& word : kEnglish) {
            EXPECT_EQ(err.find(word), std::string::npos) << word << "\n" << err;
            EXPECT_EQ(out.find(word), std::string::npos) << word << "\n" << out;
        }
    }
}

// A usage error reads the language file only to be said in its words: with
// the English file it is word for word the built-in reason, and without a
// file (whose box is held back) it is English and the only line.
TEST(ConsoleTool, AUsageErrorInTheLanguageFilesWordsOrEnglish)
{
    const std::vector<std::string> args = {"restore", "--port", "1", "--entry", "0"};
    const std::string expected = "orvelle-cli: --entry must be a history row number from 1, not '0'\n";
    const struct {
        const char* name;
        std::function<int(CLanguageTable&)> openTexts;
    } cases[] = {
        {"the English file", LoadTexts},
        {"no file",
         [](CLanguageTable&) {
             AppMessageBox(nullptr, "ORVELLE.lng is missing", "Orvelle", MB_ICONERROR);
             return 0;
         }},
        {"no way to open one", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run;
        run.openTexts = c.openTexts;
        EXPECT_EQ(run(args), kExitUsage);
        EXPECT_EQ(Contents(run.err), expected);
        EXPECT_EQ(Contents(run.out), "");
    }
    ToolRun german;
    german.openTexts = [](CLanguageTable& texts) { return LoadTextsFrom(texts, "ORVELLE-de.lng"); };
    EXPECT_EQ(german(args), kExitUsage);
    EXPECT_EQ(Contents(german.err),
              "orvelle-cli: --entry muss eine Zeilennummer des Verlaufs ab 1 sein, nicht '0'\n");
}

namespace {

// Bytes into a file of the run's folder; its path.
std::string PutFile(const ToolRun& run, const char* name, const Bytes& bytes)
{
    const std::string path = run.temp / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// An option file for the model at this minimum version (required), with the
// sample's entry.
Bytes OptionFileFor(const char* model, const char* minVersion = "V1.00")
{
    EnhDescription description;
    description.model = model;
    description.minVersion = minVersion;
    description.entries = {MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFF0")};
    return BuildEnhFile(description);
}

Bytes Noise(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 151 + 7) % 256);
    return bytes;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

// A --file that is no option file is named with the reason before any port
// is opened, so the radio is never put into programming mode for nothing;
// a missing one stays the run's location warning, and a real one reaches
// the radio.
TEST(ConsoleTool, AFileThatIsNoOptionFileIsNamedBeforeAnyPortIsOpened)
{
    CLanguageTable texts;
    ASSERT_EQ(LoadTexts(texts), 1);
    const std::string text = "notes\r\nmore notes\r\n";
    const struct {
        const char* name;
        Bytes bytes;  // the file's content
        bool folder;  // a folder by the file's name instead
        bool missing; // no file at all
        bool each;    // upgrade --each
        int exit;
        std::string said; // on stderr, after the file's path; empty: the run's own
        bool portOpened;
    } cases[] = {
        {"random bytes", Noise(1000), false, false, false, kExitOptionFileMissing,
         " is not an option file: wrong header", false},
        {"a text file", Bytes(text.begin(), text.end()), false, false, false, kExitOptionFileMissing,
         " is not an option file: too short (19 bytes", false},
        {"0 bytes", Bytes(), false, false, false, kExitOptionFileMissing,
         " is not an option file: too short (0 bytes", false},
        {"a folder", Bytes(), true, false, false, kExitOptionFileMissing, " is a folder: use --folder",
         false},
        {"random bytes, radio after radio", Noise(1000), false, false, true, kExitOptionFileMissing,
         " is not an option file: wrong header", false},
        {"missing", Bytes(), false, true, false, kExitOptionFileMissing, "", false},
        {"an option file for another model", OptionFileFor("QM-6100"), false, false, false, kExitNoOption, "",
         true},
        {"the sample option file", OptionFileFor(kSampleModel), false, false, false, kExitDone, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        FitSampleRecord(fake);
        ToolRun run(fake);
        std::string path = run.temp / "x.ENH";
        if (c.folder)
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
        else if (!c.missing)
            path = PutFile(run, "x.ENH", c.bytes);
        std::vector<std::string> args = {"upgrade", "--port", "1", "--file", path, "--json"};
        if (c.each)
            args.insert(args.end(), {"--each", "--count", "1"});
        EXPECT_EQ(run(args), c.exit);
        const std::string err = Contents(run.err);
        const std::string out = Contents(run.out);
        EXPECT_EQ(fake.opens.empty(), !c.portOpened) << err;
        if (!c.said.empty()) {
            EXPECT_NE(err.find("orvelle-cli: --file " + path + c.said), std::string::npos) << err;
            EXPECT_NE(out.find("\"outcome\":\"file-unreadable\""), std::string::npos) << out;
            EXPECT_NE(out.find("x.ENH"), std::string::npos) << "the message names the file: " << out;
            EXPECT_TRUE(run.Outcomes().empty());
        }
        if (c.missing) {
            // The run's own warning, on one console line.
            const std::string warning = texts.GetText(TextNo::kNoOptionFile);
            EXPECT_NE(err.find(warning.substr(0, warning.find('\n'))), std::string::npos) << err;
        }
    }
}

// What the run read is named: the files of a folder it left out and why,
// the file that needs a newer version with both versions, and the model of
// a refused radio.
TEST(ConsoleTool, TheFilesLeftOutAndTheVersionNeededAreNamed)
{
    const struct {
        const char* name;
        const char* radioModel;
        bool folder;
        int exit;
        std::vector<std::string> said; // on stderr, each once
        const char* out;               // on stdout
    } cases[] = {
        {"folder: the version needed",
         kSampleModel,
         true,
         kExitVersionRequired,
         {"left out {junk.ENH}: not an option file: wrong header",
          "left out {other.ENH}: made for QM-6100, the transceiver is QX-5100",
          "left out {short.ENH}: not an option file: too short (100 bytes",
          "{sample.ENH} needs transceiver version V1.30 or newer; the transceiver has V1.20"},
         nullptr},
        {"file: the version needed",
         kSampleModel,
         false,
         kExitVersionRequired,
         {"{sample.ENH} needs transceiver version V1.30 or newer; the transceiver has V1.20"},
         nullptr},
        {"a refused model", "QM-3390X", true, kExitRefusedModel, {}, "model: QM-3390X\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        SampleIdentity(fake, c.radioModel, kSampleVersion, IdentityMark::Plain);
        FitSampleRecord(fake, c.radioModel);
        ToolRun run(fake);
        ASSERT_TRUE(CreateDirectoryA((run.temp / "Data").c_str(), nullptr));
        const std::string sample = PutFile(run, "Data\\sample.ENH", OptionFileFor(c.radioModel, "V1.30"));
        PutFile(run, "Data\\other.ENH", OptionFileFor("QM-6100"));
        PutFile(run, "Data\\junk.ENH", Noise(700));
        PutFile(run, "Data\\short.ENH", Noise(100));
        EXPECT_EQ(run({"upgrade", "--port", "1", c.folder ? "--folder" : "--file",
                       c.folder ? run.temp / "Data" : sample}),
                  c.exit);
        const std::string err = Contents(run.err);
        for (std::string line : c.said) {
            // {name}: the file's whole path.
            for (std::size_t at; (at = line.find('{')) != std::string::npos;) {
                const std::size_t end = line.find('}');
                line.replace(at, end - at + 1, run.temp / ("Data\\" + line.substr(at + 1, end - at - 1)));
            }
            EXPECT_EQ(Count(err, "orvelle-cli: " + line), 1u) << line << "\n" << err;
        }
        EXPECT_EQ(Count(err, "left out "), c.folder && c.exit != kExitRefusedModel ? 3u : 0u) << err;
        if (c.out) {
            EXPECT_NE(Contents(run.out).find(c.out), std::string::npos) << Contents(run.out);
        }
    }
}

// The radio's identity is also shown as the text on its label: in identify,
// in a refused restore and as a column of the history listing.
TEST(ConsoleTool, TheIdentityIsShownAsTextBesideItsHex)
{
    FakeTransceiver fake;
    Transceiver(fake);
    const Bytes serial = Padded("SN00012345", 20);
    std::copy(serial.begin(), serial.end(), fake.identity.begin() + 12);
    ToolRun run(fake);
    ASSERT_EQ(run({"identify", "--port", "1"}), kExitDone);
    EXPECT_NE(Contents(run.out).find("\nidentity_text: QX-5100     SN00012345\n"), std::string::npos)
        << Contents(run.out);

    fake.identity[12] = 'X'; // another radio of the model
    EXPECT_EQ(run({"restore", "--port", "1", "--entry", "1"}), kExitOtherTransceiver);
    const std::string err = Contents(run.err);
    EXPECT_NE(err.find(" (QX-5100     XN00012345), but row 1 was read from QX-5100 "), std::string::npos)
        << err;
    EXPECT_NE(err.find(" (QX-5100     SN00012345); nothing was written"), std::string::npos) << err;

    ToolRun listing;
    ASSERT_TRUE(CreateDirectoryA((listing.temp / "History").c_str(), nullptr));
    CopyFileA(run.HistoryPath().c_str(), listing.HistoryPath().c_str(), FALSE);
    {
        // A row from a tool that kept no identity block, beside them.
        std::ofstream file(listing.HistoryPath(), std::ios::binary | std::ios::app);
        file << "2026-01-01T00:00:01,orvelle-cli,3,QX-5100,id,V1.20," << std::string(100, '0')
             << ",,,read\r\n";
    }
    EXPECT_EQ(listing({"history"}), kExitDone);
    const std::vector<std::string> lines = Lines(Contents(listing.out));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("  COM1    QX-5100     QX-5100     SN00012345  read  "), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[2].find("  COM3    QX-5100   " + std::string(2 + 22 + 2, ' ') + "read  "),
              std::string::npos)
        << lines[2];
    EXPECT_EQ(listing({"history", "--json"}), kExitDone);
    EXPECT_NE(Contents(listing.out).find("\"identity_text\":\"QX-5100     SN00012345\""), std::string::npos);
}

// restore --entry on a machine without a history says so as the history
// command's ending does, touches no port and makes no History folder.
TEST(ConsoleTool, RestoreFromARowWithoutAHistorySaysNoHistoryYet)
{
    FakeTransceiver fake;
    Transceiver(fake);
    ToolRun run(fake);
    EXPECT_EQ(run({"restore", "--port", "1", "--entry", "1", "--json"}), kExitHistoryUnavailable);
    const std::string err = Contents(run.err);
    EXPECT_NE(err.find("orvelle-cli: --entry: no history yet"), std::string::npos) << err;
    EXPECT_NE(Contents(run.out).find("\"outcome\":\"history-unavailable\""), std::string::npos);
    EXPECT_TRUE(fake.opens.empty());
    EXPECT_EQ(GetFileAttributesA((run.temp / "History").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A trace a support desk is sent says what ran, when and on which port, and
// how it ended; the tool keeps its last run's in History\last-run.trace as
// ORVELLE.exe does, with or without --trace.
TEST(ConsoleTool, ATraceHasAHeaderAndEndsWithTheOutcome)
{
    const struct {
        const char* name;
        std::vector<std::string> args; // after the command's port
        bool trace;                    // --trace FILE
        bool missingPort;
        const char* last; // the trace's last line's end
        bool lastRun;     // History\last-run.trace kept
    } cases[] = {
        {"identify with --trace", {"identify"}, true, false, " outcome identified (exit 0)", true},
        {"identify without", {"identify"}, false, false, " outcome identified (exit 0)", true},
        {"a port not there", {"identify"}, true, true, " outcome port-not-opened (exit 3)", true},
        {"no option file: no port, no last run",
         {"upgrade", "--file", "junk.ENH"},
         true,
         false,
         " outcome file-unreadable (exit 8)",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTransceiver fake;
        Transceiver(fake);
        if (c.missingPort)
            fake.missingPorts.insert("\\\\.\\COM24");
        const std::string port = c.missingPort ? "24" : "1";
        ToolRun run(fake);
        std::vector<std::string> args = {c.args[0], "--port", port};
        for (std::size_t i = 1; i < c.args.size(); ++i)
            args.push_back(c.args[i] == "junk.ENH" ? PutFile(run, "junk.ENH", Noise(600)) : c.args[i]);
        const std::string tracePath = run.temp / "my trace.txt";
        if (c.trace)
            args.insert(args.end(), {"--trace", tracePath});
        run(args);
        std::vector<std::string> files;
        if (c.trace)
            files.push_back(tracePath);
        const std::string lastRun = run.temp / "History\\last-run.trace";
        EXPECT_EQ(GetFileAttributesA(lastRun.c_str()) != INVALID_FILE_ATTRIBUTES, c.lastRun);
        if (c.lastRun)
            files.push_back(lastRun);
        for (const std::string& file : files) {
            SCOPED_TRACE(file);
            const std::vector<std::string> lines = Lines(FileText(file));
            ASSERT_GE(lines.size(), 4u);
            EXPECT_EQ(lines[0].rfind("# orvelle-cli " ORVELLE_VERSION ", 20", 0), 0u) << lines[0];
            EXPECT_EQ(lines[1].rfind("# command line: " + c.args[0] + " --port " + port, 0), 0u) << lines[1];
            if (c.trace) {
                EXPECT_NE(lines[1].find(" --trace \"" + tracePath + "\""), std::string::npos) << lines[1];
            }
            EXPECT_EQ(lines[2], "# port: COM" + port);
            const std::string& last = lines.back();
            ASSERT_GE(last.size(), std::strlen(c.last));
            EXPECT_EQ(last.substr(last.size() - std::strlen(c.last)), c.last);
        }
    }
}
