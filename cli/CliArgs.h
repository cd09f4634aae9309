// The console tool's command line: its commands, options and exit codes, and
// the parser that turns the arguments into what the tool is to do, or into
// the one-line reason of a usage error. Portable: no windows.h.
#pragma once

#include "framework/CString.h"
#include "link/PortName.h"
#include "text/LanguageTable.h"
#include "upgrade/OptionFormat.h"

#include <string>
#include <vector>

enum class CliCommand { Help, Version, Ports, Identify, Upgrade, Restore, History, Support };

// The console tool's exit codes.
enum CliExit : int {
    kExitDone = 0,    // written, identified, restored (also with the version note)
    kExitRefused = 1, // the transceiver refused the record
    kExitUsage = 2,   // nothing was sent to any port
    kExitPortNotOpened = 3,
    kExitLinkFailed = 4, // no answer, or the link failed (after the retries)
    kExitRefusedModel = 5,
    kExitNoOption = 6,          // no option for this transceiver
    kExitVersionRequired = 7,   // a newer transceiver version is required
    kExitOptionFileMissing = 8, // the option file or folder is missing or unreadable, or no option file
    kExitOtherTransceiver = 9,  // restore: not the row's transceiver, or a record for another model or blank
    kExitLanguageFile = 10,     // ORVELLE.lng beside the program is missing or damaged
    kExitInterrupted = 11,      // Ctrl+C, Ctrl+Break or the console closed; not written
    kExitHistoryUnavailable = 12, // the history could not keep the record read (not written), or has none yet
    kExitVerifyFailed = 13,       // --verify: the record read back is not the one written
    kExitSomeFailed = 14,         // upgrade --each: a radio failed or was refused
};

constexpr int kCliMinPort = PortName::kLowest;
constexpr int kCliMaxPort = PortName::kHighest;
constexpr int kCliMaxRetries = 100;
// One bad check byte or a cable still being plugged in should not end a run.
constexpr int kCliDefaultRetries = 2;

struct CliArgs {
    CliCommand command = CliCommand::Help;
    bool json = false;
    bool probe = false;                   // ports: open each port and report its state
    int port = 0;                         // identify, upgrade, restore: kCliMinPort to kCliMaxPort
    int retries = kCliDefaultRetries;     // how many failed steps (or opens of the port) are tried again
    CliCommand helpOn = CliCommand::Help; // help: the command it is on; Help: every command
    // upgrade: exactly one of the two is set.
    CString folder;
    CString file;
    // restore: either a history row (entry >= 1) or a record (hasRecord).
    int entry = 0;
    bool hasRecord = false;
    unsigned char record[OptionRecord::kSize] = {};
    bool force = false;
    // upgrade: --dry-run, --skip-unchanged; upgrade and restore: --verify.
    bool dryRun = false;
    bool skipUnchanged = false;
    bool verify = false;
    // upgrade --each: radio after radio on the port until stopped, or until
    // count rows (0: no limit); report: the file the rows go into (empty:
    // none).
    bool each = false;
    int count = 0;
    CString report;
    // Every command that uses a port: the byte trace's file ("-": stderr);
    // empty: none.
    CString trace;
    bool noHistory = false; // identify, upgrade, restore: no history rows at all
    int last = 0;           // history: the last N rows only (0: all)
    CString out;            // support: the file written; empty: History\support-<date>-<time>.txt
};

// The command's name as typed ("help" and "version" for those two).
const char* CliCommandName(CliCommand command);

// Parses the arguments that follow the program name. -h, --help, /? (alone
// or with a command), help, help <command> and <command> --help (also -h, /?)
// ask for help; "--" ends the options. Commands are matched in any case, and
// an unknown command or option names the nearest known one. False for a
// usage error,
// with its reason (one line, arguments shown cut short and with control bytes
// as '?') in `error`, in the words of texts (null: the built-in English);
// `args` is then unchanged.
bool ParseCliArgs(const std::vector<std::string>& arguments, CliArgs& args, CString& error,
                  CLanguageTable* texts = nullptr);

// The usage lines: printed on stderr when no command is given, and first
// in the help.
constexpr const char kCliUsageText[] =
    "Usage:\n"
    "  orvelle-cli ports [--probe] [--trace FILE] [--json]\n"
    "  orvelle-cli identify --port N [--retries K] [--no-history] [--trace FILE]\n"
    "                       [--json]\n"
    "  orvelle-cli upgrade  --port N (--folder DIR | --file PATH)\n"
    "                       [--dry-run | [--skip-unchanged] [--verify]]\n"
    "                       [--retries K] [--no-history] [--trace FILE] [--json]\n"
    "  orvelle-cli upgrade  --port N (--folder DIR | --file PATH) --each\n"
    "                       [--count N] [--report FILE] [--skip-unchanged]\n"
    "                       [--verify] [--retries K] [--no-history] [--trace FILE]\n"
    "                       [--json]\n"
    "  orvelle-cli restore  --port N (--entry K | --record HEX) [--force]\n"
    "                       [--verify] [--retries K] [--no-history] [--trace FILE]\n"
    "                       [--json]\n"
    "  orvelle-cli history  [--last N] [--json]\n"
    "  orvelle-cli support  [--out FILE]\n"
    "  orvelle-cli --help [COMMAND] | -h | /? | help [COMMAND] | COMMAND --help\n"
    "  orvelle-cli --version\n";

// What --help prints after the usage lines, up to the exit codes.
constexpr const char kCliHelpTopics[] =
    "\n"
    "Commands:\n"
    "  ports      Every serial port Windows lists, COM1 to COM255, with its\n"
    "             device name, without opening any. With --probe each is opened\n"
    "             too, and its state shown: usable, not an RS-232 port, or why it\n"
    "             cannot be opened. A port whose device has a problem, or whose\n"
    "             driver refuses the cable's chip, is followed by a warning and\n"
    "             what to do.\n"
    "  identify   Reads the transceiver's identity, version and option record and\n"
    "             prints model, identity, version, option code, option type and\n"
    "             option bytes. Writes nothing to the transceiver.\n"
    "  upgrade    Installs options as the Upgrade button does: from the option\n"
    "             files of a folder (--folder) or from one option file (--file).\n"
    "             With --each, radio after radio: it waits for a radio on the\n"
    "             port, upgrades it, prints its line, waits for it to be\n"
    "             removed, and so on until Ctrl+C or --count radios; a radio\n"
    "             done earlier in the batch is skipped as done.\n"
    "  restore    Writes back the record a transceiver had before the run of\n"
    "             history row K (--entry), or the record given (--record). Writes\n"
    "             nothing when the row was read from another transceiver, unless\n"
    "             --force is given, and never a record of another model than\n"
    "             the transceiver's, nor a blank one (all 00 or all FF).\n"
    "  history    Lists the history's rows numbered as --entry counts them:\n"
    "             number, time, program, port, model, identity as text,\n"
    "             outcome, sources. A damaged row is listed as damaged.\n"
    "  support    Writes the support file and prints its path: one UTF-8 text\n"
    "             with the program's version and build, Windows' version and\n"
    "             code pages, the language file, ORVELLE.ini, the serial ports\n"
    "             with their drivers, the option location and its option files,\n"
    "             the history's last 20 rows and the last run's byte trace.\n"
    "             Send it with every support case.\n"
    "\n"
    "Options:\n"
    "  --port N       COM port, 1 to 255: its number or its name (23, COM23,\n"
    "                 COM23:).\n"
    "  --retries K    Tries a failed step again K times, 0 to 100, a second\n"
    "                 apart; also a port that cannot be opened yet (a cable just\n"
    "                 plugged in). Default 2; 0: the first failure is final.\n"
    "  --probe        ports: opens each port to tell its state.\n"
    "  --json         Prints one JSON object on stdout at the end (--each: with\n"
    "                 the rows and the summary, and no lines before it).\n"
    "  --folder DIR   The folder of option files (.ENH).\n"
    "  --file PATH    The option file.\n"
    "  --entry K      Data row K of the history, 1 being the first after the header.\n"
    "  --record HEX   The 50-byte option record as 100 hex digits, or as the trace\n"
    "                 shows it: in spaced pairs, after an optional 0x.\n"
    "  --force        Restores even to another transceiver than the row's, of\n"
    "                 the same model.\n"
    "  --dry-run      Reads and merges as an upgrade does, then writes nothing:\n"
    "                 prints the record that would be written and the option\n"
    "                 bytes before and after (outcome planned, or unchanged when\n"
    "                 the record would stay as it is).\n"
    "  --skip-unchanged\n"
    "                 Writes nothing when the merge changes no byte of the record\n"
    "                 (outcome unchanged).\n"
    "  --verify       After the transceiver has accepted the record, connects again,\n"
    "                 reads the record back and compares it with the one written\n"
    "                 (verified: yes, or outcome verify-failed).\n"
    "  --each         upgrade: radio after radio (see upgrade above). One line\n"
    "                 per radio on stdout (number, time, port, model, identity,\n"
    "                 version, option bytes before -> after, outcome, verified),\n"
    "                 then the summary; what it waits for on stderr.\n"
    "  --count N      --each: ends after N radios (a radio skipped as done\n"
    "                 counts too).\n"
    "  --report FILE  --each: writes the radios' rows to FILE as CSV (with\n"
    "                 --json as the JSON object), replacing it whole after each\n"
    "                 radio.\n"
    "  --trace FILE   Writes every byte sent and received, and what happened to\n"
    "                 the port, to FILE (replaced; - for stderr), with the\n"
    "                 milliseconds since the start, after a header (time,\n"
    "                 version, command line, port) and up to the outcome.\n"
    "                 identify, upgrade and restore also keep it in\n"
    "                 History\\last-run.trace.\n"
    "  --no-history   Keeps no history rows, and writes without them.\n"
    "  --last N       history: only the last N rows.\n"
    "  --out FILE     support: the file written (replaced); default\n"
    "                 History\\support-<date>-<time>.txt beside the program.\n"
    "  --help         Shows this text; with a command, that command's help.\n"
    "  --version      Shows the program's version.\n"
    "  A value may also be joined to its option: --port=3. Each option may be\n"
    "  given once. \"--\" ends the options.\n"
    "\n"
    "History:\n"
    "  Every run that reads the option record appends its rows to\n"
    "  History\\upgrades.csv beside the program, waiting a moment for a file\n"
    "  another program holds. Before a write the record read must be on\n"
    "  record: when it cannot be, nothing is written (exit 12) and the record\n"
    "  is printed as record_before. Any other row that cannot be written is a\n"
    "  warning.\n"
    "\n"
    "Ctrl+C, Ctrl+Break, closing the console:\n"
    "  Never cut a frame. Before the write the run stops at its next step\n"
    "  (programming mode ended, nothing written); once the write frame has\n"
    "  begun it takes the answer and ends programming mode first. Then exit 11,\n"
    "  or 0 when the transceiver had accepted the record.\n"
    "\n"
    "Text:\n"
    "  In a console, text is shown as Unicode. Redirected to a file or pipe,\n"
    "  it is written in the ANSI code page of the system; --json is ASCII with\n"
    "  \\u escapes either way. Arguments the ANSI code page cannot hold (a\n"
    "  path with other characters) are a usage error.\n"
    "\n";

// What --help prints after the usage lines: the topics, then the exit codes
// with their --json outcome words (cli/RunOutcomes.h).
extern const std::string kCliHelpText;

// The help a command line asks for: for CliCommand::Help the usage lines and
// kCliHelpText; for a command its usage lines, what it does, its options
// and its exit codes, each taken from the whole text.
std::string CliHelpFor(CliCommand command);
