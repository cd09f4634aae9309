// The console tool's command line: its commands, options and exit codes, and
// the parser that turns the arguments into what the tool is to do, or into
// the one-line reason of a usage error. Portable: no windows.h.
#pragma once

#include "framework/CString.h"
#include "link/PortName.h"
#include "text/ConsoleHelpText.h"
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

// What --help prints after the usage lines in English: the topics, then the
// exit codes with their --json outcome words (cli/RunOutcomes.h).
extern const std::string kCliHelpText;

// The help a command line asks for, in the words of texts (null: the
// built-in English): for CliCommand::Help the usage lines, the topics and
// the exit codes; for a command its usage lines, what it does, its options
// and its exit codes, each cut out of the whole text by its layout, so that
// a translation is cut as the English is.
std::string CliHelpFor(CliCommand command, CLanguageTable* texts = nullptr);
