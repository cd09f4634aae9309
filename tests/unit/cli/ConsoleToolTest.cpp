// The console tool in process under Wine, over the link's fake transceiver:
// the Retry budget of --retries spent over the whole run, and the --json
// object carrying the transceiver's ANSI text as UTF-8.
#include "cli/ConsoleTool.h"

#include "cli/CliArgs.h"
#include "link/SerialPort.h"
#include "tests/support/TempFolder.h"
#include "tests/support/FakeTransceiver.h"
#include "text/LanguageTable.h"
#include "upgrade/OptionFormat.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = FakeTransceiver::Bytes;

Bytes Padded(const char* text, std::size_t size)
{
    Bytes b(size, 0);
    std::memcpy(b.data(), text, std::min(std::strlen(text), size));
    return b;
}

int LoadTexts(CLanguageTable& texts)
{
    std::ifstream in(ORVELLE_SOURCE_DIR "/res/ORVELLE.lng", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string bytes = text.str();
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
    return texts.Parse(bytes.data(), static_cast<int>(bytes.size()), "English");
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
    ~ToolRun()
    {
        std::fclose(out);
        std::fclose(err);
    }
    int operator()(const std::vector<std::string>& arguments)
    {
        const ConsoleEnvironment environment = {temp.Path().c_str(), LoadTexts, out, err};
        return RunConsoleTool(arguments, environment);
    }

    TempFolder temp;
    std::FILE* out;
    std::FILE* err;
};

void Transceiver(FakeTransceiver& fake, const char* version = "V1.20")
{
    fake.identity = Padded("QX-5100", IdentityBlock::kSize);
    fake.version = Padded(version, kVersionSize);
    fake.record = Bytes(OptionRecord::kSize, 0x11);
}

const FakeTransceiver::Reply kSilence = FakeTransceiver::Answer(FakeTransceiver::Fault::Silence);

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
        ToolRun run;
        EXPECT_EQ(run({"identify", "--port", "1", "--retries", c.retries}), c.exit);
        const std::string messages = Contents(run.err);
        EXPECT_EQ(Count(messages, texts.GetText(TextNo::kLinkFailed)), c.prompts) << messages;
        EXPECT_FALSE(fake.InProgrammingMode());
        EXPECT_EQ(fake.OpenHandles(), 0);
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
    ToolRun run;
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
    CSerialPort other; // another program holds COM3
    other.SetPortNumber(3);
    ASSERT_EQ(other.SetPortOpen(1), 1);
    fake.opens.clear();

    {
        ToolRun run;
        ASSERT_EQ(run({"ports"}), kExitDone);
        EXPECT_EQ(Contents(run.out),
                  "COM1\nCOM3  Communications Port\nCOM23  USB Serial Port\nCOM24\nCOM31\n");
        EXPECT_TRUE(fake.opens.empty()) << "listing opens nothing";
    }
    {
        ToolRun run;
        ASSERT_EQ(run({"ports", "--json"}), kExitDone);
        const std::string json = Contents(run.out);
        EXPECT_NE(
            json.find("{\"port\":23,\"name\":\"USB Serial Port (COM23)\",\"state\":null,\"usable\":null}"),
            std::string::npos)
            << json;
        EXPECT_TRUE(fake.opens.empty());
    }
    {
        ToolRun run;
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
        ToolRun run;
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
        ToolRun run;
        EXPECT_EQ(run({"identify", "--port", c.port, "--json"}), kExitPortNotOpened);
        const std::string messages = Contents(run.err);
        const std::size_t text = messages.find(texts.GetText(TextNo::kPortNotOpened));
        const std::size_t reason = messages.find(std::string("COM24 cannot be opened: ") + c.reason);
        ASSERT_NE(text, std::string::npos) << messages;
        ASSERT_NE(reason, std::string::npos) << messages;
        EXPECT_LT(text, reason);
        const std::string json = Contents(run.out);
        EXPECT_NE(json.find(std::string("\"port_error\":\"") + c.reason + "\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"port\":24"), std::string::npos) << json;
    }
}
