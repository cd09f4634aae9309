#include "cli/CliArgs.h"

#include "cli/RunOutcomes.h"
#include "framework/Mbcs.h"
#include "upgrade/UpgradeHistory.h"

#include <cstring>

namespace {

// Commands as bits, so that an option can name the commands it belongs to.
enum CommandBit : unsigned {
    kPortsBit = 1,
    kIdentifyBit = 2,
    kUpgradeBit = 4,
    kRestoreBit = 8,
    kHistoryBit = 16,
};
constexpr unsigned kLinkCommands = kIdentifyBit | kUpgradeBit | kRestoreBit;

struct CommandForm {
    const char* name;
    CliCommand command;
    unsigned bit;
};

const CommandForm kCommands[] = {
    {"ports", CliCommand::Ports, kPortsBit},       {"identify", CliCommand::Identify, kIdentifyBit},
    {"upgrade", CliCommand::Upgrade, kUpgradeBit}, {"restore", CliCommand::Restore, kRestoreBit},
    {"history", CliCommand::History, kHistoryBit},
};

constexpr const char* kHelpOption = "--help";
constexpr const char* kVersionOption = "--version";
constexpr const char* kHelpCommand = "help";
constexpr const char* kEndOfOptions = "--";

// --help and the short forms people type out of habit.
bool IsHelpOption(const std::string& argument)
{
    return argument == kHelpOption || argument == "-h" || argument == "/?";
}

enum class OptionId {
    Port,
    Retries,
    Json,
    Probe,
    Folder,
    File,
    Entry,
    Record,
    Force,
    DryRun,
    SkipUnchanged,
    Verify,
    Trace,
    NoHistory,
    Last,
    Count
};

struct OptionSpec {
    const char* name;
    OptionId id;
    bool takesValue;
    unsigned commands;
};

const OptionSpec kOptions[] = {
    {"--port", OptionId::Port, true, kLinkCommands},
    {"--retries", OptionId::Retries, true, kLinkCommands},
    {"--json", OptionId::Json, false, kPortsBit | kLinkCommands | kHistoryBit},
    {"--probe", OptionId::Probe, false, kPortsBit},
    {"--folder", OptionId::Folder, true, kUpgradeBit},
    {"--file", OptionId::File, true, kUpgradeBit},
    {"--entry", OptionId::Entry, true, kRestoreBit},
    {"--record", OptionId::Record, true, kRestoreBit},
    {"--force", OptionId::Force, false, kRestoreBit},
    {"--dry-run", OptionId::DryRun, false, kUpgradeBit},
    {"--skip-unchanged", OptionId::SkipUnchanged, false, kUpgradeBit},
    {"--verify", OptionId::Verify, false, kUpgradeBit | kRestoreBit},
    {"--trace", OptionId::Trace, true, kPortsBit | kLinkCommands},
    {"--no-history", OptionId::NoHistory, false, kLinkCommands},
    {"--last", OptionId::Last, true, kHistoryBit},
};

const OptionSpec* FindOption(const std::string& name)
{
    for (const OptionSpec& option : kOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

const char* OptionName(OptionId id)
{
    for (const OptionSpec& option : kOptions) {
        if (option.id == id)
            return option.name;
    }
    return "";
}

// An argument as an error message shows it: cut short (never inside a
// double-byte character), control bytes as '?', in quotes.
CString Shown(const std::string& argument)
{
    constexpr int kShownLength = 40;
    const char* s = argument.c_str();
    const int length = static_cast<int>(argument.size());
    std::string shown;
    int pos = 0;
    while (pos < length) {
        const int next = pos + AnsiCharLength(s, pos, length);
        if (next > kShownLength)
            break;
        for (int i = pos; i < next; ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
        }
        pos = next;
    }
    return CString("'") + CString(shown) + (pos < length ? "...'" : "'");
}

bool StartsWithDashes(const std::string& argument)
{
    return argument.compare(0, 2, "--") == 0;
}

// Decimal digits only (no sign, no spaces) for a value from min to max.
bool ParseNumber(const std::string& text, int min, int max, int& value)
{
    if (text.empty())
        return false;
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
        if (number > max) // before it can grow any further
            return false;
    }
    if (number < min)
        return false;
    value = static_cast<int>(number);
    return true;
}

// "23" of "COM23" (any case); any other text as it is.
std::string PortNumberText(const std::string& value)
{
    static const char kPrefix[] = "COM";
    const std::size_t length = sizeof(kPrefix) - 1;
    if (value.size() < length)
        return value;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = value[i];
        if ((c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) != kPrefix[i])
            return value;
    }
    return value.substr(length);
}

bool Fail(CString& error, const CString& reason)
{
    error = reason;
    return false;
}

// Takes one option's value into args.
bool ApplyValue(OptionId id, const std::string& value, CliArgs& args, CString& error)
{
    const CString name = OptionName(id);
    CString reason;
    switch (id) {
    case OptionId::Port:
        // The number, or the port's name as Windows shows it, in any case.
        if (ParseNumber(PortNumberText(value), kCliMinPort, kCliMaxPort, args.port))
            return true;
        reason.Format("%s must be a COM port number from %d to %d, not ", name.GetString(), kCliMinPort,
                      kCliMaxPort);
        return Fail(error, reason + Shown(value));
    case OptionId::Retries:
        if (ParseNumber(value, 0, kCliMaxRetries, args.retries))
            return true;
        reason.Format("%s must be a number from 0 to %d, not ", name.GetString(), kCliMaxRetries);
        return Fail(error, reason + Shown(value));
    case OptionId::Folder:
        args.folder = CString(value);
        return true;
    case OptionId::File:
        args.file = CString(value);
        return true;
    case OptionId::Trace:
        args.trace = CString(value);
        return true;
    case OptionId::Entry:
        if (ParseNumber(value, 1, 0x7FFFFFFF, args.entry))
            return true;
        return Fail(error, name + " must be a history row number from 1, not " + Shown(value));
    case OptionId::Last:
        if (ParseNumber(value, 1, 0x7FFFFFFF, args.last))
            return true;
        return Fail(error, name + " must be a number of rows from 1, not " + Shown(value));
    case OptionId::Record:
        if (ParseHexBytes(CString(value), args.record, OptionRecord::kSize)) {
            args.hasRecord = true;
            return true;
        }
        reason.Format("%s must be %u hex digits, not ", name.GetString(),
                      static_cast<unsigned>(2 * OptionRecord::kSize));
        return Fail(error, reason + Shown(value));
    default:
        return Fail(error, name + " takes no value");
    }
}

} // namespace

const char* CliCommandName(CliCommand command)
{
    for (const CommandForm& form : kCommands) {
        if (form.command == command)
            return form.name;
    }
    return command == CliCommand::Version ? "version" : kHelpCommand;
}

bool ParseCliArgs(const std::vector<std::string>& arguments, CliArgs& args, CString& error)
{
    if (arguments.empty())
        return Fail(error, "no command given (see orvelle-cli --help)");

    CliArgs parsed;
    const auto findCommand = [](const std::string& name) -> const CommandForm* {
        for (const CommandForm& form : kCommands) {
            if (name == form.name)
                return &form;
        }
        return nullptr;
    };
    const std::string& first = arguments[0];
    if (IsHelpOption(first) || first == kVersionOption) {
        if (arguments.size() > 1)
            return Fail(error, CString(first) + " stands alone, not with " + Shown(arguments[1]));
        parsed.command = first == kVersionOption ? CliCommand::Version : CliCommand::Help;
        args = parsed;
        return true;
    }
    if (first == kHelpCommand) {
        // help, or help on one command (the whole text: it is short).
        if (arguments.size() > 2)
            return Fail(error, CString("help takes one command at most, not also ") + Shown(arguments[2]));
        if (arguments.size() == 2 && !findCommand(arguments[1]))
            return Fail(error, "help on an unknown command " + Shown(arguments[1]));
        args = parsed;
        return true;
    }
    const CommandForm* command = findCommand(first);
    if (!command)
        return Fail(error, "unknown command " + Shown(first) + " (see orvelle-cli --help)");
    parsed.command = command->command;

    // <command> --help asks for help whatever else is there, up to "--".
    for (std::size_t i = 1; i < arguments.size() && arguments[i] != kEndOfOptions; ++i) {
        if (IsHelpOption(arguments[i])) {
            args = CliArgs();
            return true;
        }
    }

    bool seen[static_cast<int>(OptionId::Count)] = {};
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == kEndOfOptions) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded) // no command takes operands
            return Fail(error, "unexpected argument " + Shown(argument));
        if (!StartsWithDashes(argument)) {
            return Fail(error,
                        (argument.compare(0, 1, "-") == 0 ? "unknown option " : "unexpected argument ") +
                            Shown(argument));
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const OptionSpec* option = FindOption(name);
        if (!option) {
            if (name == kHelpOption || name == kVersionOption)
                return Fail(error, CString(name) + " stands alone, without a command");
            return Fail(error, "unknown option " + Shown(name));
        }
        if (!(option->commands & command->bit))
            return Fail(error, CString(option->name) + " is not an option of " + command->name);
        bool& given = seen[static_cast<int>(option->id)];
        if (given)
            return Fail(error, CString(option->name) + " is given twice");
        given = true;

        if (!option->takesValue) {
            if (equals != std::string::npos)
                return Fail(error, CString(option->name) + " takes no value");
            switch (option->id) {
            case OptionId::Json:
                parsed.json = true;
                break;
            case OptionId::Probe:
                parsed.probe = true;
                break;
            case OptionId::DryRun:
                parsed.dryRun = true;
                break;
            case OptionId::SkipUnchanged:
                parsed.skipUnchanged = true;
                break;
            case OptionId::Verify:
                parsed.verify = true;
                break;
            case OptionId::NoHistory:
                parsed.noHistory = true;
                break;
            default:
                parsed.force = true;
                break;
            }
            continue;
        }
        // The next argument is the value unless it is an option itself: a
        // forgotten value is then reported, not a swallowed option. A value
        // that starts with "--" can be joined: --file=--odd.ENH.
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size() && !StartsWithDashes(arguments[i + 1])) {
            value = arguments[++i];
        }
        if (value.empty())
            return Fail(error, CString(option->name) + " needs a value");
        if (!ApplyValue(option->id, value, parsed, error))
            return false;
    }

    // What each command needs.
    const auto either = [](OptionId a, OptionId b) {
        return CString(OptionName(a)) + " or " + OptionName(b);
    };
    if ((command->bit & kLinkCommands) && !seen[static_cast<int>(OptionId::Port)])
        return Fail(error, CString(command->name) + " needs " + OptionName(OptionId::Port));
    if (parsed.command == CliCommand::Upgrade) {
        const bool folder = seen[static_cast<int>(OptionId::Folder)];
        if (folder == seen[static_cast<int>(OptionId::File)]) {
            return Fail(error, CString(command->name) + " needs " + either(OptionId::Folder, OptionId::File) +
                                   (folder ? ", not both" : ""));
        }
    }
    // A dry run writes nothing: there is nothing to skip and nothing to read back.
    if (parsed.dryRun && (parsed.skipUnchanged || parsed.verify)) {
        return Fail(error, CString(OptionName(OptionId::DryRun)) + " writes nothing: not with " +
                               OptionName(parsed.verify ? OptionId::Verify : OptionId::SkipUnchanged));
    }
    if (parsed.command == CliCommand::Restore) {
        const bool entry = seen[static_cast<int>(OptionId::Entry)];
        if (entry == seen[static_cast<int>(OptionId::Record)]) {
            return Fail(error, CString(command->name) + " needs " +
                                   either(OptionId::Entry, OptionId::Record) + (entry ? ", not both" : ""));
        }
    }
    args = parsed;
    return true;
}

const std::string kCliHelpText = std::string(kCliHelpTopics) + ExitCodeHelpLines();
