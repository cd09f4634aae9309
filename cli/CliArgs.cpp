#include "cli/CliArgs.h"

#include "cli/RunOutcomes.h"
#include "framework/Hex.h"
#include "framework/Mbcs.h"
#include "text/FillText.h"
#include "text/LanguageTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <sstream>

namespace {

// Commands as bits, so that an option can name the commands it belongs to.
enum CommandBit : unsigned {
    kPortsBit = 1,
    kIdentifyBit = 2,
    kUpgradeBit = 4,
    kRestoreBit = 8,
    kHistoryBit = 16,
    kSupportBit = 32,
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
    {"history", CliCommand::History, kHistoryBit}, {"support", CliCommand::Support, kSupportBit},
};

constexpr const char* kHelpOption = "--help";
constexpr const char* kVersionOption = "--version";
constexpr const char* kHelpCommand = "help";
constexpr const char* kEndOfOptions = "--";
// As the usage lines name the program.
constexpr const char* kProgramName = "orvelle-cli";

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
    Each,
    BatchCount,
    Report,
    Out,
    Count
};

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

// A usage error's reason: its text number and the values of its places,
// put into words once parsing is over, in the language asked for.
struct Reason {
    int text = 0;
    std::array<CString, 4> values;
};

bool Fail(Reason& error, int text, std::initializer_list<CString> values = {})
{
    error.text = text;
    std::copy(values.begin(), values.end(), error.values.begin());
    return false;
}

CString Number(unsigned number)
{
    return CString(std::to_string(number));
}

// What an option does: a no-value option sets its flag; an option with a
// value takes it into its field, or gives the reason it cannot. Each option's
// row in the table below names its own field, so an option cannot set
// another's.
using TakeValue = bool (*)(const std::string& value, const CString& name, CliArgs& args, Reason& error);

template <CString CliArgs::*field>
bool TakeText(const std::string& value, const CString&, CliArgs& args, Reason&)
{
    args.*field = CString(value);
    return true;
}

bool TakePort(const std::string& value, const CString& name, CliArgs& args, Reason& error)
{
    // The number, or the port's name as Windows shows it, in any case; a
    // device name's colon (COM1:, as the mode command takes it) is no part
    // of it.
    const std::size_t length = value.size() > 1 && value.back() == ':' ? value.size() - 1 : value.size();
    if (const int port = PortName::NumberOfTyped(value.c_str(), length)) {
        args.port = port;
        return true;
    }
    return Fail(error, TextNo::kCliUsageBadPort,
                {name, Number(kCliMinPort), Number(kCliMaxPort), Shown(value)});
}

bool TakeRetries(const std::string& value, const CString& name, CliArgs& args, Reason& error)
{
    if (ParseNumber(value, 0, kCliMaxRetries, args.retries))
        return true;
    return Fail(error, TextNo::kCliUsageBadRetries, {name, Number(kCliMaxRetries), Shown(value)});
}

bool TakeEntry(const std::string& value, const CString& name, CliArgs& args, Reason& error)
{
    if (ParseNumber(value, 1, 0x7FFFFFFF, args.entry))
        return true;
    return Fail(error, TextNo::kCliUsageBadEntry, {name, Shown(value)});
}

bool TakeLast(const std::string& value, const CString& name, CliArgs& args, Reason& error)
{
    if (ParseNumber(value, 1, 0x7FFFFFFF, args.last))
        return true;
    return Fail(error, TextNo::kCliUsageBadLast, {name, Shown(value)});
}

bool TakeCount(const std::string& value, const CString& name, CliArgs& args, Reason& error)
{
    if (ParseNumber(value, 1, 0x7FFFFFFF, args.count))
        return true;
    return Fail(error, TextNo::kCliUsageBadCount, {name, Shown(value)});
}

// The record as typed or copied from the trace: hex digits, either case,
// in pairs that spaces may part ("00 55 ff"), after an optional 0x.
bool TakeRecord(const std::string& value, const CString& name, CliArgs& args, Reason& error)
{
    const std::size_t start = value.compare(0, 2, "0x") == 0 || value.compare(0, 2, "0X") == 0 ? 2 : 0;
    std::string digits;
    bool pairsKept = true; // a space only ever between two whole bytes
    for (std::size_t i = start; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ') {
            pairsKept = pairsKept && digits.size() % 2 == 0;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            const CString digitCount = Number(2 * OptionRecord::kSize);
            // The character named as it can be shown on one line.
            if (c > 0x20 && c < 0x7F) {
                return Fail(
                    error, TextNo::kCliUsageRecordNotHex,
                    {name, digitCount, Shown(value), CString("'") + CString(std::string(1, c)) + "'"});
            }
            CString byte;
            byte.Format("%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            return Fail(error, TextNo::kCliUsageRecordNotHexByte, {name, digitCount, Shown(value), byte});
        }
        digits += c;
    }
    if (pairsKept && ParseHexBytes(digits.c_str(), digits.size(), args.record, OptionRecord::kSize)) {
        args.hasRecord = true;
        return true;
    }
    const CString digitCount = Number(2 * OptionRecord::kSize);
    if (!pairsKept)
        return Fail(error, TextNo::kCliUsageRecordPairs, {name, digitCount, Shown(value)});
    return Fail(error, TextNo::kCliUsageRecordLength,
                {name, digitCount, Number(static_cast<unsigned>(digits.size())), Shown(value)});
}

// One option: exactly one of flag (no value) and take (a value) is set.
struct OptionRow {
    const char* name;
    OptionId id;
    unsigned commands;
    bool CliArgs::*flag;
    TakeValue take;
};

const OptionRow kOptions[] = {
    {"--port", OptionId::Port, kLinkCommands, nullptr, TakePort},
    {"--retries", OptionId::Retries, kLinkCommands, nullptr, TakeRetries},
    {"--json", OptionId::Json, kPortsBit | kLinkCommands | kHistoryBit, &CliArgs::json, nullptr},
    {"--probe", OptionId::Probe, kPortsBit, &CliArgs::probe, nullptr},
    {"--folder", OptionId::Folder, kUpgradeBit, nullptr, TakeText<&CliArgs::folder>},
    {"--file", OptionId::File, kUpgradeBit, nullptr, TakeText<&CliArgs::file>},
    {"--entry", OptionId::Entry, kRestoreBit, nullptr, TakeEntry},
    {"--record", OptionId::Record, kRestoreBit, nullptr, TakeRecord},
    {"--force", OptionId::Force, kRestoreBit, &CliArgs::force, nullptr},
    {"--dry-run", OptionId::DryRun, kUpgradeBit, &CliArgs::dryRun, nullptr},
    {"--skip-unchanged", OptionId::SkipUnchanged, kUpgradeBit, &CliArgs::skipUnchanged, nullptr},
    {"--verify", OptionId::Verify, kUpgradeBit | kRestoreBit, &CliArgs::verify, nullptr},
    {"--trace", OptionId::Trace, kPortsBit | kLinkCommands, nullptr, TakeText<&CliArgs::trace>},
    {"--no-history", OptionId::NoHistory, kLinkCommands, &CliArgs::noHistory, nullptr},
    {"--last", OptionId::Last, kHistoryBit, nullptr, TakeLast},
    {"--each", OptionId::Each, kUpgradeBit, &CliArgs::each, nullptr},
    {"--count", OptionId::BatchCount, kUpgradeBit, nullptr, TakeCount},
    {"--report", OptionId::Report, kUpgradeBit, nullptr, TakeText<&CliArgs::report>},
    {"--out", OptionId::Out, kSupportBit, nullptr, TakeText<&CliArgs::out>},
};

bool SameIgnoringCase(const std::string& a, const char* b)
{
    const std::size_t length = std::strlen(b);
    if (a.size() != length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Edits (a character added, dropped, changed, or two swapped) from typed to
// name, in any case; kFar once it is past any suggestion.
constexpr std::size_t kFar = 3;
std::size_t Distance(const std::string& typed, const std::string& name)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    const std::size_t n = typed.size();
    const std::size_t m = name.size();
    if ((n > m ? n - m : m - n) >= kFar)
        return kFar;
    std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = 0; i <= n; ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = lower(typed[i - 1]) == lower(name[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && lower(typed[i - 1]) == lower(name[j - 2]) &&
                lower(typed[i - 2]) == lower(name[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return std::min(d[n][m], kFar);
}

// The nearest of names within two edits (one for a short word, where two
// would match almost anything), for "did you mean"; null when none is.
template <typename Names> const char* Nearest(const std::string& typed, const Names& names)
{
    const std::size_t reach = typed.size() <= 4 ? 1 : 2;
    const char* best = nullptr;
    std::size_t bestDistance = reach + 1;
    for (const auto& entry : names) {
        const std::size_t distance = Distance(typed, entry.name);
        if (distance < bestDistance) {
            best = entry.name;
            bestDistance = distance;
        }
    }
    return best;
}

const OptionRow* FindOption(const std::string& name)
{
    for (const OptionRow& option : kOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

const char* OptionName(OptionId id)
{
    for (const OptionRow& option : kOptions) {
        if (option.id == id)
            return option.name;
    }
    return "";
}

// A command in any case: technicians type what they read on a label.
const CommandForm* FindCommand(const std::string& name)
{
    for (const CommandForm& form : kCommands) {
        if (SameIgnoringCase(name, form.name))
            return &form;
    }
    return nullptr;
}

// The options given so far, by OptionId.
using OptionsSeen = bool[static_cast<int>(OptionId::Count)];

bool Seen(const OptionsSeen& seen, OptionId id)
{
    return seen[static_cast<int>(id)];
}

// --version (alone); help, -h, --help and /?, alone or with one command.
bool ParseStandAlone(const std::vector<std::string>& arguments, CliArgs& args, Reason& error)
{
    CliArgs parsed;
    const std::string& first = arguments[0];
    if (first == kHelpCommand || IsHelpOption(first)) {
        if (arguments.size() > 2)
            return Fail(error, TextNo::kCliUsageHelpOneCommand, {first, Shown(arguments[2])});
        if (arguments.size() == 2) {
            const CommandForm* command = FindCommand(arguments[1]);
            if (!command) {
                const char* nearest = Nearest(arguments[1], kCommands);
                return nearest
                           ? Fail(error, TextNo::kCliUsageHelpOnUnknownMeant, {Shown(arguments[1]), nearest})
                           : Fail(error, TextNo::kCliUsageHelpOnUnknown, {Shown(arguments[1])});
            }
            parsed.helpOn = command->command;
        }
        args = parsed;
        return true;
    }
    if (arguments.size() > 1)
        return Fail(error, TextNo::kCliUsageStandsAloneWith, {first, Shown(arguments[1])});
    parsed.command = first == kVersionOption ? CliCommand::Version : CliCommand::Help;
    args = parsed;
    return true;
}

// <command> --help asks for help whatever else is there, up to "--".
bool AsksForHelp(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 1; i < arguments.size() && arguments[i] != kEndOfOptions; ++i) {
        if (IsHelpOption(arguments[i]))
            return true;
    }
    return false;
}

// The option in arguments[i] (its value joined to it, or the next argument,
// which i then passes) into args.
bool TakeOption(const OptionRow& option, const std::vector<std::string>& arguments, std::size_t& i,
                CliArgs& args, Reason& error)
{
    const std::string& argument = arguments[i];
    const std::size_t equals = argument.find('=');
    if (option.flag) {
        if (equals != std::string::npos)
            return Fail(error, TextNo::kCliUsageTakesNoValue, {option.name});
        args.*option.flag = true;
        return true;
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
        return Fail(error, TextNo::kCliUsageNeedsValue, {option.name});
    return option.take(value, option.name, args, error);
}

// The arguments after the command: its options, each once, up to "--".
bool ParseOptions(const std::vector<std::string>& arguments, const CommandForm& command, CliArgs& args,
                  OptionsSeen& seen, Reason& error)
{
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == kEndOfOptions) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded) // no command takes operands
            return Fail(error, TextNo::kCliUsageUnexpected, {Shown(argument)});
        if (!StartsWithDashes(argument)) {
            return Fail(error,
                        argument.compare(0, 1, "-") == 0 ? TextNo::kCliUsageUnknownOption
                                                         : TextNo::kCliUsageUnexpected,
                        {Shown(argument)});
        }
        const std::string name = argument.substr(0, argument.find('='));
        const OptionRow* option = FindOption(name);
        if (!option) {
            if (name == kHelpOption || name == kVersionOption)
                return Fail(error, TextNo::kCliUsageStandsAlone, {name});
            const char* nearest = Nearest(name, kOptions);
            return nearest ? Fail(error, TextNo::kCliUsageUnknownOptionMeant, {Shown(name), nearest})
                           : Fail(error, TextNo::kCliUsageUnknownOption, {Shown(name)});
        }
        if (!(option->commands & command.bit))
            return Fail(error, TextNo::kCliUsageNotOptionOf, {option->name, command.name});
        bool& given = seen[static_cast<int>(option->id)];
        if (given)
            return Fail(error, TextNo::kCliUsageGivenTwice, {option->name});
        given = true;
        if (!TakeOption(*option, arguments, i, args, error))
            return false;
    }
    return true;
}

// What each command needs, and the options that exclude each other.
bool CheckNeeds(const CommandForm& command, const CliArgs& args, const OptionsSeen& seen, Reason& error)
{
    // The command needs exactly one of a and b.
    const auto either = [&](OptionId a, OptionId b) {
        const bool hasA = Seen(seen, a);
        if (hasA != Seen(seen, b))
            return true;
        return Fail(error, hasA ? TextNo::kCliUsageNeedsNotBoth : TextNo::kCliUsageNeedsEither,
                    {command.name, OptionName(a), OptionName(b)});
    };
    if ((command.bit & kLinkCommands) && !Seen(seen, OptionId::Port))
        return Fail(error, TextNo::kCliUsageNeeds, {command.name, OptionName(OptionId::Port)});
    if (args.command == CliCommand::Upgrade && !either(OptionId::Folder, OptionId::File))
        return false;
    // A dry run writes nothing: there is nothing to skip and nothing to read back.
    if (args.dryRun && (args.skipUnchanged || args.verify)) {
        return Fail(error, TextNo::kCliUsageDryRunNotWith,
                    {OptionName(OptionId::DryRun),
                     OptionName(args.verify ? OptionId::Verify : OptionId::SkipUnchanged)});
    }
    // A batch writes radio after radio: a dry run of one would be a batch of
    // nothing; its count and report belong to it alone.
    if (args.each && args.dryRun) {
        return Fail(error, TextNo::kCliUsageEachNotWith,
                    {OptionName(OptionId::Each), OptionName(OptionId::DryRun)});
    }
    for (OptionId batchOnly : {OptionId::BatchCount, OptionId::Report}) {
        if (!args.each && Seen(seen, batchOnly))
            return Fail(error, TextNo::kCliUsageNeeds, {OptionName(batchOnly), OptionName(OptionId::Each)});
    }
    if (args.command == CliCommand::Restore && !either(OptionId::Entry, OptionId::Record))
        return false;
    return true;
}

bool Parse(const std::vector<std::string>& arguments, CliArgs& args, Reason& error)
{
    if (arguments.empty())
        return Fail(error, TextNo::kCliUsageNoCommand);
    const std::string& first = arguments[0];
    if (IsHelpOption(first) || first == kVersionOption || first == kHelpCommand)
        return ParseStandAlone(arguments, args, error);
    const CommandForm* command = FindCommand(first);
    if (!command) {
        const char* nearest = Nearest(first, kCommands);
        return nearest ? Fail(error, TextNo::kCliUsageUnknownCommandMeant, {Shown(first), nearest})
                       : Fail(error, TextNo::kCliUsageUnknownCommand, {Shown(first)});
    }
    if (AsksForHelp(arguments)) {
        args = CliArgs();
        args.helpOn = command->command;
        return true;
    }
    CliArgs parsed;
    parsed.command = command->command;
    OptionsSeen seen = {};
    if (!ParseOptions(arguments, *command, parsed, seen, error) || !CheckNeeds(*command, parsed, seen, error))
        return false;
    args = parsed;
    return true;
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

bool ParseCliArgs(const std::vector<std::string>& arguments, CliArgs& args, CString& error,
                  CLanguageTable* texts)
{
    Reason reason;
    if (Parse(arguments, args, reason))
        return true;
    const CString& text =
        CString(texts ? texts->GetText(reason.text) : CLanguageTable::BuiltInText(reason.text));
    const auto& v = reason.values;
    error = FillText(text, {v[0], v[1], v[2], v[3]});
    return false;
}

const std::string kCliHelpText = std::string(kCliHelpTopics) + ExitCodeHelpLines();

namespace {

// The exit codes a command can end with, for its help.
std::vector<CliExit> ExitsOf(CliCommand command)
{
    switch (command) {
    case CliCommand::Ports:
        return {kExitDone, kExitUsage};
    case CliCommand::History:
        return {kExitDone, kExitUsage, kExitHistoryUnavailable};
    case CliCommand::Identify:
        return {kExitDone,         kExitUsage,        kExitPortNotOpened, kExitLinkFailed,
                kExitRefusedModel, kExitLanguageFile, kExitInterrupted,   kExitHistoryUnavailable};
    case CliCommand::Restore:
        return {kExitDone,
                kExitRefused,
                kExitUsage,
                kExitPortNotOpened,
                kExitLinkFailed,
                kExitRefusedModel,
                kExitOtherTransceiver,
                kExitLanguageFile,
                kExitInterrupted,
                kExitHistoryUnavailable,
                kExitVerifyFailed};
    case CliCommand::Upgrade:
        return {kExitDone,          kExitRefused,         kExitUsage,
                kExitPortNotOpened, kExitLinkFailed,      kExitRefusedModel,
                kExitNoOption,      kExitVersionRequired, kExitOptionFileMissing,
                kExitLanguageFile,  kExitInterrupted,     kExitHistoryUnavailable,
                kExitVerifyFailed,  kExitSomeFailed};
    case CliCommand::Support:
        return {kExitDone, kExitUsage, kExitHistoryUnavailable};
    default:
        return {};
    }
}

// The text's lines, each with its line feed.
std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line + "\n");
    return lines;
}

// An entry's first line stands at two spaces; its further lines deeper.
bool StartsEntry(const std::string& line)
{
    return line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ';
}

std::string FirstWord(const std::string& line, std::size_t from)
{
    const std::size_t start = line.find_first_not_of(' ', from);
    if (start == std::string::npos)
        return "";
    return line.substr(start, line.find_first_of(" \n", start) - start);
}

// The help's sections: a heading line, then its entries up to a blank line.
// Found by their place, not by their headings' words, which a language file
// translates.
struct HelpSection {
    std::string heading;
    std::vector<std::string> lines;
};

std::vector<HelpSection> SectionsOf(const std::string& text)
{
    std::vector<HelpSection> sections;
    bool inSection = false;
    for (const std::string& line : LinesOf(text)) {
        if (line == "\n") {
            inSection = false;
        } else if (!inSection) {
            sections.push_back({line, {}});
            inSection = true;
        } else {
            sections.back().lines.push_back(line);
        }
    }
    return sections;
}

// The entries of a section that keep(line) accepts, each with its further
// lines.
template <typename Keep> std::string EntriesOf(const HelpSection& section, Keep keep)
{
    std::string entries;
    bool kept = false;
    for (const std::string& line : section.lines) {
        if (StartsEntry(line))
            kept = keep(line);
        if (kept)
            entries += line;
    }
    return entries;
}

// The usage lines' section, then the topics' first two: the commands and
// the options.
enum HelpSectionIndex : std::size_t { kCommandsSection = 0, kOptionsSection = 1, kTopicSections = 2 };

} // namespace

std::string CliHelpFor(CliCommand command, CLanguageTable* texts)
{
    const auto words = [texts](int number) {
        return std::string(texts ? texts->GetText(number) : CLanguageTable::BuiltInText(number));
    };
    const std::string usage = words(TextNo::kCliHelpUsage);
    const std::string topics = words(TextNo::kCliHelpTopics);
    const CommandForm* form = nullptr;
    for (const CommandForm& each : kCommands) {
        if (each.command == command)
            form = &each;
    }
    if (!form)
        return usage + topics + ExitCodeHelpLines({}, texts);
    const std::vector<HelpSection> usageSections = SectionsOf(usage);
    const std::vector<HelpSection> sections = SectionsOf(topics);
    // A language file whose help lacks the layout: the English one is cut.
    if (usageSections.empty() || sections.size() < kTopicSections)
        return CliHelpFor(command, nullptr);
    const std::string name = form->name;
    const std::string program = kProgramName;
    std::string help = usageSections[0].heading;
    help += EntriesOf(usageSections[0], [&name, &program](const std::string& line) {
        return FirstWord(line, 2) == program && FirstWord(line, line.find(program) + program.size()) == name;
    });
    help += "\n" + sections[kCommandsSection].heading;
    help += EntriesOf(sections[kCommandsSection],
                      [&name](const std::string& line) { return FirstWord(line, 2) == name; });
    help += "\n" + sections[kOptionsSection].heading;
    const unsigned bit = form->bit;
    help += EntriesOf(sections[kOptionsSection], [bit](const std::string& line) {
        if (line[2] != '-')
            return true; // a note on every option
        const std::string option = FirstWord(line, 2);
        if (option == kHelpOption)
            return true;
        const OptionRow* known = FindOption(option);
        return known && (known->commands & bit) != 0;
    });
    help += "\n" + ExitCodeHelpLines(ExitsOf(command), texts);
    return help;
}
