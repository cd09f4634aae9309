// The console tool's command line: what each accepted command line asks for,
// the reason each usage error gives, and the help text that lists it all.
#include "cli/CliArgs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// The parsed arguments in short: the command, then every value that is not
// its default.
std::string Describe(const CliArgs& args)
{
    std::string text = CliCommandName(args.command);
    if (args.helpOn != CliCommand::Help)
        text += std::string(" on ") + CliCommandName(args.helpOn);
    if (args.port)
        text += " port=" + std::to_string(args.port);
    if (args.retries != kCliDefaultRetries)
        text += " retries=" + std::to_string(args.retries);
    if (args.json)
        text += " json";
    if (args.probe)
        text += " probe";
    if (!args.folder.IsEmpty())
        text += " folder=" + args.folder.str();
    if (!args.file.IsEmpty())
        text += " file=" + args.file.str();
    if (args.entry)
        text += " entry=" + std::to_string(args.entry);
    if (args.hasRecord)
        text += " record=" + std::to_string(args.record[0]) + ".." + std::to_string(args.record[49]);
    if (args.force)
        text += " force";
    if (args.dryRun)
        text += " dry-run";
    if (args.skipUnchanged)
        text += " skip-unchanged";
    if (args.verify)
        text += " verify";
    if (!args.trace.IsEmpty())
        text += " trace=" + args.trace.str();
    if (args.noHistory)
        text += " no-history";
    if (args.last)
        text += " last=" + std::to_string(args.last);
    if (args.each)
        text += " each";
    if (args.count)
        text += " count=" + std::to_string(args.count);
    if (!args.report.IsEmpty())
        text += " report=" + args.report.str();
    if (!args.out.IsEmpty())
        text += " out=" + args.out.str();
    return text;
}

const std::string kRecord = "00" + std::string(96, '5') + "fF";

} // namespace

TEST(CliArgs, AcceptedCommandLines)
{
    const struct {
        Args args;
        const char* parsed;
    } cases[] = {
        {{"--help"}, "help"},
        {{"--version"}, "version"},
        {{"ports"}, "ports"},
        {{"ports", "--json"}, "ports json"},
        {{"ports", "--probe", "--json"}, "ports json probe"},
        // A port by its number or by the name Windows gives it.
        {{"identify", "--port", "COM23"}, "identify port=23"},
        {{"identify", "--port=com23"}, "identify port=23"},
        {{"identify", "--port", "Com255"}, "identify port=255"},
        {{"identify", "--port", "1"}, "identify port=1"},
        {{"identify", "--port", "255", "--retries", "100", "--json"}, "identify port=255 retries=100 json"},
        // A device name as the mode command takes it.
        {{"identify", "--port", "COM1:"}, "identify port=1"},
        {{"identify", "--port=com12:"}, "identify port=12"},
        // Commands in any case.
        {{"IDENTIFY", "--port", "1"}, "identify port=1"},
        {{"Upgrade", "--port", "1", "--file", "a.ENH"}, "upgrade port=1 file=a.ENH"},
        {{"identify", "--json", "--port=3", "--retries=0"}, "identify port=3 retries=0 json"},
        {{"identify", "--port=3", "--retries=2"}, "identify port=3"},
        {{"identify", "--port", "007"}, "identify port=7"},
        {{"upgrade", "--port", "3", "--folder", "C:\\Data"}, "upgrade port=3 folder=C:\\Data"},
        {{"upgrade", "--file", "C:\\a b.ENH", "--port", "3"}, "upgrade port=3 file=C:\\a b.ENH"},
        {{"upgrade", "--port", "3", "--file=--odd.ENH"}, "upgrade port=3 file=--odd.ENH"},
        {{"upgrade", "--port", "3", "--file=a=b.ENH"}, "upgrade port=3 file=a=b.ENH"},
        {{"upgrade", "--port", "3", "--file", "-"}, "upgrade port=3 file=-"},
        {{"restore", "--port", "2", "--entry", "1"}, "restore port=2 entry=1"},
        {{"restore", "--port", "2", "--entry", "2147483647", "--force"},
         "restore port=2 entry=2147483647 force"},
        {{"restore", "--port", "2", "--record", kRecord}, "restore port=2 record=0..255"},
        {{"restore", "--record=" + kRecord, "--port=2", "--retries=5", "--force", "--json"},
         "restore port=2 retries=5 json record=0..255 force"},
        {{"upgrade", "--port", "3", "--file", "a.ENH", "--dry-run"}, "upgrade port=3 file=a.ENH dry-run"},
        {{"upgrade", "--port", "3", "--folder", "D", "--skip-unchanged", "--verify"},
         "upgrade port=3 folder=D skip-unchanged verify"},
        {{"restore", "--port", "2", "--entry", "1", "--verify"}, "restore port=2 entry=1 verify"},
        {{"ports", "--trace", "-"}, "ports trace=-"},
        {{"identify", "--port", "1", "--trace=C:\t.txt"}, "identify port=1 trace=C:\t.txt"},
        {{"upgrade", "--port", "3", "--file", "a", "--trace", "t", "--dry-run"},
         "upgrade port=3 file=a dry-run trace=t"},
        {{"upgrade", "--port", "3", "--file", "a.ENH", "--no-history"},
         "upgrade port=3 file=a.ENH no-history"},
        {{"history"}, "history"},
        {{"history", "--last", "3", "--json"}, "history json last=3"},
        // Radio after radio, with what a single upgrade takes too.
        {{"upgrade", "--port", "3", "--folder", "D", "--each"}, "upgrade port=3 folder=D each"},
        {{"upgrade", "--each", "--port=COM3", "--file", "a.ENH", "--count", "5", "--report", "r.csv"},
         "upgrade port=3 file=a.ENH each count=5 report=r.csv"},
        {{"upgrade", "--port", "3", "--folder", "D", "--each", "--count=2147483647", "--verify",
          "--skip-unchanged", "--json", "--report=-x.json", "--retries", "2", "--no-history"},
         "upgrade port=3 json folder=D skip-unchanged verify no-history each count=2147483647 "
         "report=-x.json"},
        // The support file, to its default place or to the file named.
        {{"support"}, "support"},
        {{"support", "--out", "C:\\a b\\s.txt"}, "support out=C:\\a b\\s.txt"},
        {{"support", "--out=--s.txt"}, "support out=--s.txt"},
        {{"support", "--out", "s.txt", "--"}, "support out=s.txt"},
        {{"support", "--help"}, "help on support"},
        {{"help", "support"}, "help on support"},
        // Help in every usual form, also after a command and its options.
        {{"-h"}, "help"},
        {{"/?"}, "help"},
        {{"help"}, "help"},
        // Help on one command, asked for in any of the forms.
        {{"help", "upgrade"}, "help on upgrade"},
        {{"--help", "upgrade"}, "help on upgrade"},
        {{"-h", "ports"}, "help on ports"},
        {{"/?", "HISTORY"}, "help on history"},
        {{"ports", "--help"}, "help on ports"},
        {{"upgrade", "--port", "x", "-h"}, "help on upgrade"},
        {{"restore", "/?"}, "help on restore"},
        // "--" ends the options.
        {{"ports", "--"}, "ports"},
        {{"identify", "--port", "1", "--"}, "identify port=1"},
    };
    for (const auto& c : cases) {
        CliArgs args;
        CString error;
        ASSERT_TRUE(ParseCliArgs(c.args, args, error)) << c.parsed << ": " << error.str();
        EXPECT_EQ(Describe(args), c.parsed);
    }
}

TEST(CliArgs, RecordIsDecodedFromEitherCase)
{
    CliArgs args;
    CString error;
    ASSERT_TRUE(ParseCliArgs({"restore", "--port", "1", "--record", kRecord}, args, error));
    EXPECT_EQ(args.record[0], 0x00);
    EXPECT_EQ(args.record[1], 0x55);
    EXPECT_EQ(args.record[48], 0x55);
    EXPECT_EQ(args.record[49], 0xFF);
}

// Each no-value option sets its own flag and no other: an option whose flag
// were missing from the table must not quietly set another (--force, say).
TEST(CliArgs, EachFlagSetsItsOwnFieldOnly)
{
    using Flag = bool CliArgs::*;
    const Flag kFlags[] = {&CliArgs::json,      &CliArgs::probe,         &CliArgs::force,
                           &CliArgs::dryRun,    &CliArgs::skipUnchanged, &CliArgs::verify,
                           &CliArgs::noHistory, &CliArgs::hasRecord,     &CliArgs::each};
    const struct {
        Args without; // a command line the flag may join
        const char* flag;
        Flag field;
    } cases[] = {
        {{"ports"}, "--json", &CliArgs::json},
        {{"history"}, "--json", &CliArgs::json},
        {{"ports"}, "--probe", &CliArgs::probe},
        {{"restore", "--port", "1", "--entry", "1"}, "--force", &CliArgs::force},
        {{"upgrade", "--port", "1", "--file", "a.ENH"}, "--dry-run", &CliArgs::dryRun},
        {{"upgrade", "--port", "1", "--file", "a.ENH"}, "--skip-unchanged", &CliArgs::skipUnchanged},
        {{"upgrade", "--port", "1", "--file", "a.ENH"}, "--verify", &CliArgs::verify},
        {{"restore", "--port", "1", "--entry", "1"}, "--verify", &CliArgs::verify},
        {{"identify", "--port", "1"}, "--no-history", &CliArgs::noHistory},
        {{"upgrade", "--port", "1", "--folder", "D"}, "--no-history", &CliArgs::noHistory},
        {{"upgrade", "--port", "1", "--folder", "D", "--verify"}, "--each", &CliArgs::each},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flag) + " with " + c.without[0]);
        CliArgs before, after;
        CString error;
        ASSERT_TRUE(ParseCliArgs(c.without, before, error)) << error.str();
        Args with = c.without;
        with.push_back(c.flag);
        ASSERT_TRUE(ParseCliArgs(with, after, error)) << error.str();
        for (std::size_t i = 0; i < std::size(kFlags); ++i) {
            const Flag field = kFlags[i];
            EXPECT_EQ(after.*field, field == c.field ? true : before.*field) << "flag field " << i;
        }
        EXPECT_EQ(Describe(after), Describe(before) + " " + std::string(c.flag).substr(2));
    }
}

TEST(CliArgs, UsageErrorsSayWhatIsWrong)
{
    const std::string huge(100000, '9');
    const struct {
        Args args;
        const char* error; // part of the reason
    } cases[] = {
        // Commands.
        {{}, "no command given"},
        {{""}, "unknown command ''"},
        {{"IDENTIFYX", "--port", "1"}, "unknown command 'IDENTIFYX'"},
        {{"--port", "1", "identify"}, "unknown command '--port'"},
        {{"--help", "ports", "upgrade"}, "--help takes one command at most"},
        {{"--help", "--json"}, "help on an unknown command '--json'"},
        {{"--version", "--json"}, "--version stands alone"},
        {{"-h", "frobnicate"}, "help on an unknown command 'frobnicate'"},
        {{"help", "frobnicate"}, "help on an unknown command 'frobnicate'"},
        {{"help", "ports", "identify"}, "help takes one command at most"},
        {{"identify", "--port", "1", "--version"}, "--version stands alone"},
        {{"ports", "--", "--help"}, "unexpected argument '--help'"},
        {{"identify", "--", "--port", "1"}, "unexpected argument '--port'"},
        // Options and arguments.
        {{"ports", "extra"}, "unexpected argument 'extra'"},
        {{"ports", "-j"}, "unknown option '-j'"},
        {{"ports", "--jsonx"}, "unknown option '--jsonx'"},
        {{"ports", "--json=1"}, "--json takes no value"},
        {{"ports", "--json", "--json"}, "--json is given twice"},
        {{"ports", "--port", "1"}, "--port is not an option of ports"},
        {{"identify", "--port", "1", "--probe"}, "--probe is not an option of identify"},
        {{"ports", "--probe=1"}, "--probe takes no value"},
        {{"identify", "--port", "COM"}, "--port must be a COM port number from 1 to 255, not 'COM'"},
        {{"identify", "--port", "COM0"}, "not 'COM0'"},
        {{"identify", "--port", "COM256"}, "not 'COM256'"},
        {{"identify", "--port", "COM 3"}, "not 'COM 3'"},
        {{"identify", "--port", "LPT1"}, "not 'LPT1'"},
        {{"identify", "--port", "\\\\.\\COM3"}, "not '\\\\.\\COM3'"},
        {{"identify", "--port", "1", "--folder", "x"}, "--folder is not an option of identify"},
        {{"upgrade", "--port", "1", "--file", "x", "--force"}, "--force is not an option of upgrade"},
        {{"restore", "--port", "1", "--entry", "1", "--file", "x"}, "--file is not an option of restore"},
        {{"history", "--port", "1"}, "--port is not an option of history"},
        {{"ports", "--no-history"}, "--no-history is not an option of ports"},
        {{"history", "--last", "0"}, "--last must be a number of rows from 1, not '0'"},
        {{"identify", "--port", "1", "--port", "1"}, "--port is given twice"},
        {{"identify", "--port=1", "--port", "2"}, "--port is given twice"},
        {{"restore", "--port", "1", "--entry", "1", "--force", "--force"}, "--force is given twice"},
        {{"identify", "--port", "1", "--dry-run"}, "--dry-run is not an option of identify"},
        {{"restore", "--port", "1", "--entry", "1", "--skip-unchanged"},
         "--skip-unchanged is not an option of restore"},
        {{"identify", "--port", "1", "--verify"}, "--verify is not an option of identify"},
        {{"upgrade", "--port", "1", "--file", "x", "--dry-run", "--verify"}, "--dry-run writes nothing"},
        {{"upgrade", "--port", "1", "--file", "x", "--skip-unchanged", "--dry-run"},
         "not with --skip-unchanged"},
        {{"upgrade", "--port", "1", "--file", "x", "--verify=yes"}, "--verify takes no value"},
        {{"ports", "--trace"}, "--trace needs a value"},
        {{"ports", "--trace", "a", "--trace", "b"}, "--trace is given twice"},
        // Radio after radio: only an upgrade that writes, and its count and
        // report only with it.
        {{"identify", "--port", "1", "--each"}, "--each is not an option of identify"},
        {{"restore", "--port", "1", "--entry", "1", "--each"}, "--each is not an option of restore"},
        {{"ports", "--each"}, "--each is not an option of ports"},
        {{"upgrade", "--port", "1", "--file", "x", "--each", "--dry-run"}, "--each writes radio after radio"},
        {{"upgrade", "--port", "1", "--file", "x", "--dry-run", "--each"}, "not with --dry-run"},
        {{"upgrade", "--port", "1", "--file", "x", "--count", "3"}, "--count needs --each"},
        {{"upgrade", "--port", "1", "--file", "x", "--report", "r.csv"}, "--report needs --each"},
        {{"upgrade", "--port", "1", "--file", "x", "--each", "--each"}, "--each is given twice"},
        {{"upgrade", "--port", "1", "--file", "x", "--each=1"}, "--each takes no value"},
        {{"upgrade", "--port", "1", "--file", "x", "--each", "--count", "0"},
         "--count must be a number of radios from 1, not '0'"},
        {{"upgrade", "--port", "1", "--file", "x", "--each", "--count", "-2"}, "not '-2'"},
        {{"upgrade", "--port", "1", "--file", "x", "--each", "--count", "2147483648"}, "--count must be"},
        {{"upgrade", "--port", "1", "--file", "x", "--each", "--report"}, "--report needs a value"},
        {{"upgrade", "--port", "1", "--each"}, "upgrade needs --folder or --file"},
        {{"upgrade", "--folder", "x", "--each"}, "upgrade needs --port"},
        // Missing values.
        {{"identify", "--port"}, "--port needs a value"},
        {{"identify", "--port="}, "--port needs a value"},
        {{"identify", "--port", "--json"}, "--port needs a value"},
        {{"identify", "--port", ""}, "--port needs a value"},
        {{"upgrade", "--port", "1", "--file"}, "--file needs a value"},
        {{"upgrade", "--port", "1", "--folder", "--json"}, "--folder needs a value"},
        // Malformed values.
        {{"identify", "--port", "0"}, "--port must be a COM port number from 1 to 255, not '0'"},
        {{"identify", "--port", "256"}, "not '256'"},
        {{"identify", "--port", "-1"}, "not '-1'"},
        {{"identify", "--port", "+3"}, "not '+3'"},
        {{"identify", "--port", " 3"}, "not ' 3'"},
        {{"identify", "--port", "3 "}, "not '3 '"},
        {{"identify", "--port", "0x3"}, "not '0x3'"},
        {{"identify", "--port", "COM3X"}, "not 'COM3X'"},
        {{"identify", "--port", "3.0"}, "not '3.0'"},
        {{"identify", "--port", "4294967299"}, "not '4294967299'"},
        {{"identify", "--port", huge}, "not '9999999999999999999999999999999999999999...'"},
        {{"identify", "--port", "1", "--retries", "101"}, "--retries must be a number from 0 to 100"},
        {{"identify", "--port", "1", "--retries", "-1"}, "--retries must be"},
        {{"restore", "--port", "1", "--entry", "0"}, "--entry must be a history row number from 1, not '0'"},
        {{"restore", "--port", "1", "--entry", "2147483648"}, "--entry must be"},
        {{"restore", "--port", "1", "--entry", "1e3"}, "--entry must be"},
        {{"restore", "--port", "1", "--record", kRecord.substr(1)}, "--record must be 100 hex digits"},
        {{"restore", "--port", "1", "--record", kRecord + "0"}, "--record must be 100 hex digits"},
        {{"restore", "--port", "1", "--record", "g" + kRecord.substr(1)}, "--record must be 100 hex digits"},
        {{"restore", "--port", "1", "--record", "0x" + kRecord.substr(2)}, "--record must be 100 hex digits"},
        // What each command needs.
        {{"identify"}, "identify needs --port"},
        {{"identify", "--json"}, "identify needs --port"},
        {{"upgrade", "--folder", "x"}, "upgrade needs --port"},
        {{"restore", "--entry", "1"}, "restore needs --port"},
        {{"upgrade", "--port", "1"}, "upgrade needs --folder or --file"},
        {{"upgrade", "--port", "1", "--folder", "x", "--file", "y"},
         "upgrade needs --folder or --file, not both"},
        {{"restore", "--port", "1"}, "restore needs --entry or --record"},
        {{"restore", "--port", "1", "--force"}, "restore needs --entry or --record"},
        {{"restore", "--port", "1", "--entry", "1", "--record", kRecord},
         "restore needs --entry or --record, not both"},
        // support takes --out alone, once, with a value.
        {{"support", "--out"}, "--out needs a value"},
        {{"support", "--out", "--json"}, "--out needs a value"},
        {{"support", "--out", "a", "--out=b"}, "--out is given twice"},
        {{"support", "--json"}, "--json is not an option of support"},
        {{"support", "--port", "1"}, "--port is not an option of support"},
        {{"support", "--trace", "t"}, "--trace is not an option of support"},
        {{"support", "--outfile", "a"}, "unknown option '--outfile'"},
        {{"support", "-o", "a"}, "unknown option '-o'"},
        {{"support", "a.txt"}, "unexpected argument 'a.txt'"},
        {{"support", "--", "a.txt"}, "unexpected argument 'a.txt'"},
        {{"history", "--out", "a"}, "--out is not an option of history"},
        {{"upgrade", "--port", "1", "--file", "f", "--out", "a"}, "--out is not an option of upgrade"},
        // What the reason shows of an argument: a short, printable part.
        {{"ports", "bad\r\n\x1b[2J"}, "unexpected argument 'bad???[2J'"},
        {{"ports", huge}, "unexpected argument '9999999999999999999999999999999999999999...'"},
    };
    for (const auto& c : cases) {
        CliArgs args;
        args.port = 42;
        CString error;
        EXPECT_FALSE(ParseCliArgs(c.args, args, error)) << c.error;
        EXPECT_NE(error.str().find(c.error), std::string::npos)
            << "expected: " << c.error << "\ngot: " << error.str();
        EXPECT_LT(error.GetLength(), 200) << c.error;
        EXPECT_EQ(error.str().find_first_of("\r\n"), std::string::npos) << "one line: " << c.error;
        EXPECT_EQ(args.port, 42) << "unchanged on failure: " << c.error;
    }
}

TEST(CliArgs, HelpListsEveryCommandOptionAndExitCode)
{
    const std::string help = std::string(kCliUsageText) + kCliHelpText;
    for (const char* word : {"ports",
                             "identify",
                             "upgrade",
                             "restore",
                             "history",
                             "--port N",
                             "--retries K",
                             "--json",
                             "--folder DIR",
                             "--file PATH",
                             "--entry K",
                             "--record HEX",
                             "--force",
                             "--no-history",
                             "--last N",
                             "--help",
                             "-h",
                             "/?",
                             "--version",
                             "History\\upgrades.csv",
                             "ANSI code page",
                             "console",
                             "--dry-run",
                             "--skip-unchanged",
                             "--verify",
                             "--trace FILE",
                             "planned",
                             "unchanged",
                             "verify-failed",
                             "--each",
                             "--count N",
                             "--report FILE",
                             "some-failed",
                             "skipped as done",
                             "support",
                             "--out FILE",
                             "History\\support-",
                             "saved"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    for (int code = kExitDone; code <= kExitHistoryUnavailable; ++code) {
        const std::string number = (code < 10 ? " " : "") + std::to_string(code);
        EXPECT_NE(help.find("\n  " + number + "  "), std::string::npos) << "exit code " << code;
    }
    EXPECT_NE(help.find("\n  " + std::to_string(kExitVerifyFailed) + "  "), std::string::npos);
    EXPECT_NE(help.find("\n  " + std::to_string(kExitSomeFailed) + "  "), std::string::npos);
    // Every line fits a standard console without wrapping.
    std::size_t start = 0;
    while (start < help.size()) {
        const std::size_t end = help.find('\n', start);
        EXPECT_LE((end == std::string::npos ? help.size() : end) - start, 79u) << help.substr(start, 80);
        start = end == std::string::npos ? help.size() : end + 1;
    }
}

// A record may be pasted as the trace shows it (upper-case pairs parted by
// spaces) or as a hex literal; what is refused says how many digits it had,
// so a digit lost in copying is found at once.
TEST(CliArgs, RecordFormsAsTypedOrCopiedFromTheTrace)
{
    std::string spaced; // "00 55 55 ... FF", as a trace line's bytes
    for (std::size_t i = 0; i < kRecord.size(); i += 2)
        spaced += (i ? " " : "") + kRecord.substr(i, 2);
    const struct {
        const char* name;
        std::string record;
        const char* error; // empty: accepted as kRecord's bytes
    } cases[] = {
        {"plain digits", kRecord, ""},
        {"spaced pairs", spaced, ""},
        {"spaced pairs, spaces doubled and at the ends", " " + spaced + "  ", ""},
        {"a hex literal", "0x" + kRecord, ""},
        {"a hex literal in pairs", "0X" + spaced, ""},
        {"a digit short", kRecord.substr(1), "--record must be 100 hex digits, not 99: '"},
        {"a digit short, spaced", spaced.substr(0, spaced.size() - 1),
         "--record must be 100 hex digits, not 99: '"},
        {"a byte too many", kRecord + "00", "not 102: "},
        {"the literal's prefix counted as digits", "0x" + kRecord.substr(2), "not 98: "},
        {"a pair split by a space", "0 " + kRecord.substr(1), "must be 100 hex digits, in pairs if spaced"},
        {"not hex", kRecord.substr(0, 98) + "zz", "('z' is not a hex digit)"},
        {"a dash between pairs", "00-" + kRecord.substr(2), "('-' is not a hex digit)"},
        {"a line break between pairs", "00\n" + kRecord.substr(2), "(byte 0x0a is not a hex digit)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliArgs args;
        CString error;
        const bool parsed = ParseCliArgs({"restore", "--port", "1", "--record", c.record}, args, error);
        if (!*c.error) {
            ASSERT_TRUE(parsed) << error.str();
            EXPECT_EQ(args.record[0], 0x00);
            EXPECT_EQ(args.record[1], 0x55);
            EXPECT_EQ(args.record[49], 0xFF);
            continue;
        }
        EXPECT_FALSE(parsed);
        EXPECT_FALSE(args.hasRecord);
        EXPECT_NE(error.str().find(c.error), std::string::npos) << error.str();
        EXPECT_EQ(error.str().find_first_of("\r\n"), std::string::npos) << "one line";
    }
}

// A mistyped command or option names the nearest one, and only a near one:
// a suggestion far off would send the technician the wrong way.
TEST(CliArgs, AMistypedNameSuggestsTheNearestOne)
{
    const struct {
        Args args;
        const char* error;     // part of the reason
        const char* suggested; // the name in "did you mean ...?"; empty: none
    } cases[] = {
        {{"upgarde", "--port", "1"}, "unknown command 'upgarde'", "upgrade"},
        {{"UPGRAD"}, "unknown command 'UPGRAD'", "upgrade"},
        {{"idenify"}, "unknown command 'idenify'", "identify"},
        {{"restor"}, "unknown command 'restor'", "restore"},
        {{"port"}, "unknown command 'port'", "ports"},
        {{"histroy"}, "unknown command 'histroy'", "history"},
        {{"help", "upgarde"}, "help on an unknown command 'upgarde'", "upgrade"},
        {{"identify", "--prot", "1"}, "unknown option '--prot'", "--port"},
        {{"ports", "--jsno"}, "unknown option '--jsno'", "--json"},
        {{"upgrade", "--port", "1", "--dryrun"}, "unknown option '--dryrun'", "--dry-run"},
        {{"upgrade", "--port", "1", "--folders", "D"}, "unknown option '--folders'", "--folder"},
        {{"restore", "--port", "1", "--PORT", "2"}, "unknown option '--PORT'", "--port"},
        // Nothing near: no guess, the pointer to the help instead.
        {{"frobnicate"}, "unknown command 'frobnicate' (see orvelle-cli --help)", ""},
        {{"x"}, "unknown command 'x'", ""},
        {{"ports", "--verbose"}, "unknown option '--verbose'", ""},
        {{"ports", "--xy"}, "unknown option '--xy'", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : std::string()));
        CliArgs args;
        CString error;
        EXPECT_FALSE(ParseCliArgs(c.args, args, error));
        EXPECT_NE(error.str().find(c.error), std::string::npos) << error.str();
        const std::size_t at = error.str().find("did you mean ");
        if (*c.suggested)
            EXPECT_EQ(error.str().substr(at == std::string::npos ? 0 : at),
                      "did you mean " + std::string(c.suggested) + "?)")
                << error.str();
        else
            EXPECT_EQ(at, std::string::npos) << error.str();
    }
}

// A command's help is its own: its usage lines, what it does, the options it
// takes (and no other command's) and the exit codes it can end with; the
// whole help stays for --help alone.
TEST(CliArgs, EachCommandsHelpIsItsOwn)
{
    const struct {
        CliCommand command;
        std::vector<std::string> has;
        std::vector<std::string> hasNot;
        std::vector<int> exits;
    } cases[] = {
        {CliCommand::Ports,
         {"  orvelle-cli ports [--probe]", "  ports      Every serial port", "  --probe ", "  --json ",
          "  --trace FILE", "  --help "},
         {"--folder", "--port N ", "  --each ", "orvelle-cli identify", "  upgrade    "},
         {kExitDone, kExitUsage}},
        {CliCommand::Upgrade,
         {"  orvelle-cli upgrade  --port N (--folder DIR | --file PATH)\n", "--each\n",
          "  upgrade    Installs", "  --port N ", "  --retries K ", "  --folder DIR", "  --dry-run ",
          "  --skip-unchanged\n", "  --count N ", "  --report FILE", "  A value may also be joined"},
         {"--probe", "--entry K", "--record HEX", "--last N", "orvelle-cli restore", "  restore    "},
         {kExitDone, kExitRefused, kExitUsage, kExitPortNotOpened, kExitLinkFailed, kExitRefusedModel,
          kExitNoOption, kExitVersionRequired, kExitOptionFileMissing, kExitLanguageFile, kExitInterrupted,
          kExitHistoryUnavailable, kExitVerifyFailed, kExitSomeFailed}},
        {CliCommand::Restore,
         {"  orvelle-cli restore  --port N (--entry K | --record HEX)", "  --entry K", "  --record HEX",
          "  --force ", "  --verify "},
         {"--folder", "--dry-run", "  --each ", "--probe"},
         {kExitDone, kExitRefused, kExitUsage, kExitPortNotOpened, kExitLinkFailed, kExitRefusedModel,
          kExitOtherTransceiver, kExitLanguageFile, kExitInterrupted, kExitHistoryUnavailable,
          kExitVerifyFailed}},
        {CliCommand::History,
         {"  orvelle-cli history  [--last N] [--json]", "  --last N", "  --json "},
         {"--port N ", "--retries", "--trace"},
         {kExitDone, kExitUsage, kExitHistoryUnavailable}},
        {CliCommand::Support,
         {"  orvelle-cli support  [--out FILE]", "  support    Writes the support file", "  --out FILE"},
         {"--port N ", "--json", "--last N", "--trace"},
         {kExitDone, kExitUsage, kExitHistoryUnavailable}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CliCommandName(c.command));
        const std::string help = CliHelpFor(c.command);
        for (const std::string& part : c.has)
            EXPECT_NE(help.find(part), std::string::npos) << part << "\n" << help;
        for (const std::string& part : c.hasNot)
            EXPECT_EQ(help.find(part), std::string::npos) << part << "\n" << help;
        for (int code = kExitDone; code <= kExitSomeFailed; ++code) {
            const bool listed = std::find(c.exits.begin(), c.exits.end(), code) != c.exits.end();
            const std::string number = (code < 10 ? "   " : "  ") + std::to_string(code) + "  ";
            EXPECT_EQ(help.find("\n" + number) != std::string::npos, listed) << "exit code " << code;
        }
        // Shorter than the whole help, and as wide as it at most.
        EXPECT_LT(help.size(), (std::string(kCliUsageText) + kCliHelpText).size() * 2 / 3);
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 79u) << line;
    }
    EXPECT_EQ(CliHelpFor(CliCommand::Help), std::string(kCliUsageText) + kCliHelpText);
}

namespace {

// A shipped language file's texts, its lines as text mode reads them.
bool LoadShipped(CLanguageTable& texts, const char* name)
{
    std::ifstream in(std::string(ORVELLE_SOURCE_DIR "/res/") + name, std::ios::binary);
    std::string bytes;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        bytes += line + "\n";
    }
    return texts.Parse(bytes.data(), static_cast<int>(bytes.size()), "") == 1;
}

bool IsCommand(const std::string& word)
{
    CliArgs args;
    CString error;
    return ParseCliArgs({word, "--help"}, args, error) && args.helpOn != CliCommand::Help;
}

// What a help's cutting rests on, whatever its words: the usage lines'
// commands, the entries named by a command or an option, and the exit codes.
std::vector<std::string> HelpSkeleton(const std::string& help)
{
    std::vector<std::string> skeleton;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        const bool entry = line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ';
        if (first == "orvelle-cli")
            skeleton.push_back(first + " " + second);
        else if (entry && (first[0] == '-' || IsCommand(first)))
            skeleton.push_back(first);
        else if (!first.empty() &&
                 std::all_of(first.begin(), first.end(),
                             [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) &&
                 line.find(first + "  ") < 4)
            skeleton.push_back("exit " + first);
    }
    return skeleton;
}

} // namespace

// Each language file's help is cut as the English is: every command's help
// holds the same usage lines, command and option entries and exit codes in
// each language, each line of it from the whole help and none wider than 79
// columns (a double-byte character is two bytes and two columns).
TEST(CliArgs, EachLanguagesHelpIsCutAsTheEnglishIs)
{
    for (const char* file : {"ORVELLE.lng", "ORVELLE-de.lng", "ORVELLE-ja.lng"}) {
        SCOPED_TRACE(file);
        CLanguageTable texts;
        ASSERT_TRUE(LoadShipped(texts, file));
        const std::string whole = CliHelpFor(CliCommand::Help, &texts);
        EXPECT_EQ(HelpSkeleton(whole), HelpSkeleton(CliHelpFor(CliCommand::Help)));
        std::istringstream wholeLines(whole);
        for (std::string line; std::getline(wholeLines, line);)
            EXPECT_LE(line.size(), 79u) << line;
        for (CliCommand command : {CliCommand::Ports, CliCommand::Identify, CliCommand::Upgrade,
                                   CliCommand::Restore, CliCommand::History, CliCommand::Support}) {
            SCOPED_TRACE(CliCommandName(command));
            const std::string help = CliHelpFor(command, &texts);
            EXPECT_EQ(HelpSkeleton(help), HelpSkeleton(CliHelpFor(command)));
            EXPECT_LT(help.size(), whole.size() * 2 / 3);
            std::istringstream lines(help);
            for (std::string line; std::getline(lines, line);)
                EXPECT_NE(whole.find(line), std::string::npos) << line;
        }
    }
}
