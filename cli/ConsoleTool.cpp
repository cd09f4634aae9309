#include "cli/ConsoleTool.h"

#include "cli/CliArgs.h"
#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleText.h"
#include "files/DataFile.h"
#include "framework/AppMessageBox.h"
#include "framework/SystemText.h"
#include "link/LineTrace.h"
#include "link/PortList.h"
#include "link/PortScan.h"
#include "link/RadioCom.h"
#include "text/FillText.h"
#include "text/Json.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/DataFileOptionFiles.h"
#include "upgrade/FileErrorTexts.h"
#include "upgrade/HistoryFolder.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"
#include "upgrade/UpgradeRun.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>

namespace {

const char* const kProgram = History::kProgramConsole;

// The outcome words of --json that are not an upgrade run's own.
namespace Word {
constexpr const char* kUsage = "usage";
constexpr const char* kLanguageFile = "language-file";
constexpr const char* kFileMissing = "file-missing";
constexpr const char* kListed = "listed";
constexpr const char* kInterrupted = "interrupted";
constexpr const char* kHistoryUnavailable = "history-unavailable";
} // namespace Word

// printf-style text onto the stream as WriteConsoleText writes it.
void Print(const ConsoleApi& api, std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
        WriteConsoleText(stream, text, api);
    }
    va_end(again);
}

// ANSI text (language texts, paths, the transceiver's version) as UTF-8 for
// --json. Text the code page cannot convert goes as it is; the JSON writer
// makes what is not UTF-8 into U+FFFD.
std::string Utf8FromAnsi(const CString& text)
{
    const std::string& ansi = text.str();
    const std::wstring wide = WideFromAnsi(ansi);
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return ansi;
    const int wideSize = static_cast<int>(wide.size());
    const int utf8Size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    if (utf8Size <= 0)
        return ansi;
    std::string utf8(static_cast<std::size_t>(utf8Size), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, &utf8[0], utf8Size, nullptr, nullptr) !=
        utf8Size)
        return ansi;
    return utf8;
}

CString Number(int value)
{
    CString text;
    text.Format("%d", value);
    return text;
}

// The full path of a path given on the command line, as the dialog's paths
// are: the history names the option files whole. One that cannot be made
// whole stays as given, and the location check judges it.
CString FullPath(const CString& path)
{
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return path;
    return CString(full, static_cast<int>(length));
}

// The message-box seam while the tool runs: every box's text on stderr, a
// Retry prompt answered Retry while the run's retries last and no stop is
// asked for, then Cancel; a Yes/No question (writing without a history
// entry) No; every other box OK. Each answer is followed by what the tool
// did, as the box's button would have been.
class CConsoleBoxes;
CConsoleBoxes* g_console = nullptr;

class CConsoleBoxes {
public:
    CConsoleBoxes(std::FILE* err, int retries, const ConsoleApi& api)
        : m_err(err), m_retries(retries), m_api(api)
    {
        g_console = this;
        m_previous = SetAppMessageBoxFn(&CConsoleBoxes::Respond);
    }
    ~CConsoleBoxes()
    {
        SetAppMessageBoxFn(m_previous);
        g_console = nullptr;
    }
    CConsoleBoxes(const CConsoleBoxes&) = delete;
    CConsoleBoxes& operator=(const CConsoleBoxes&) = delete;

    // The text of the last box shown; empty when none was.
    CString LastText() const { return m_last; }
    // The texts of the answers to Retry prompts. Such prompts come only from
    // the link, once the texts are loaded.
    void SetTexts(CLanguageTable* texts) { m_texts = texts; }
    // Asked before a Retry is given; null: never.
    void SetStopRequested(std::function<bool()> stopRequested) { m_stopRequested = std::move(stopRequested); }

private:
    static int Respond(void*, const char* text, const char* caption, unsigned type)
    {
        return g_console->Answer(text ? text : "", caption ? caption : "", type);
    }

    int Answer(const char* text, const char* caption, unsigned type)
    {
        m_last = text;
        if (*caption)
            Print(m_api, m_err, "%s: %s\n", caption, text);
        else
            Print(m_api, m_err, "%s\n", text);
        if ((type & MB_TYPEMASK) == MB_YESNO) {
            Print(m_api, m_err, "%s: %s\n", kProgram, Text(TextNo::kCliNoHistoryAnswer).GetString());
            return IDNO;
        }
        if ((type & MB_TYPEMASK) != MB_RETRYCANCEL)
            return IDOK;
        if (m_stopRequested && m_stopRequested()) {
            Print(m_api, m_err, "%s: %s\n", kProgram, Text(TextNo::kCliInterruptedCancelled).GetString());
            return IDCANCEL;
        }
        if (m_used < m_retries) {
            ++m_used;
            const CString line = FillText(Text(TextNo::kCliRetrying), {Number(m_used), Number(m_retries)});
            Print(m_api, m_err, "%s: %s\n", kProgram, line.GetString());
            return IDRETRY;
        }
        const CString line = FillText(Text(TextNo::kCliNoRetriesLeft), {Number(m_retries)});
        Print(m_api, m_err, "%s: %s\n", kProgram, line.GetString());
        return IDCANCEL;
    }

    CString Text(int number) const { return CString(m_texts ? m_texts->GetText(number) : ""); }
    std::FILE* m_err;
    int m_retries;
    const ConsoleApi& m_api;
    CLanguageTable* m_texts = nullptr;
    std::function<bool()> m_stopRequested;
    int m_used = 0;
    CString m_last;
    AppMessageBoxFn m_previous = nullptr;
};

// How a command ended: its exit code and its word in --json.
struct Ending {
    CliExit exit;
    const char* word;
};

Ending EndingOf(UpgradeOutcome outcome)
{
    switch (outcome) {
    case UpgradeOutcome::Written:
    case UpgradeOutcome::WrittenVersionNote: // the note is a warning
        return {kExitDone, "written"};
    case UpgradeOutcome::Refused:
        return {kExitRefused, "refused"};
    case UpgradeOutcome::LocationMissing:
        return {kExitOptionFileMissing, Word::kFileMissing};
    case UpgradeOutcome::PortNotOpened:
        return {kExitPortNotOpened, "port-not-opened"};
    case UpgradeOutcome::LinkFailed:
        break;
    case UpgradeOutcome::RefusedModel:
        return {kExitRefusedModel, "refused-model"};
    case UpgradeOutcome::NoOption:
        return {kExitNoOption, "no-option"};
    case UpgradeOutcome::VersionRequired:
        return {kExitVersionRequired, "version-required"};
    case UpgradeOutcome::FileUnreadable:
        return {kExitOptionFileMissing, "file-unreadable"};
    case UpgradeOutcome::Identified:
        return {kExitDone, "identified"};
    case UpgradeOutcome::OtherTransceiver:
        return {kExitOtherTransceiver, "other-transceiver"};
    case UpgradeOutcome::Planned:
        return {kExitDone, "planned"};
    case UpgradeOutcome::Unchanged:
        return {kExitDone, "unchanged"};
    case UpgradeOutcome::VerifyFailed:
        return {kExitVerifyFailed, "verify-failed"};
    case UpgradeOutcome::Interrupted:
        return {kExitInterrupted, Word::kInterrupted};
    case UpgradeOutcome::HistoryUnavailable:
        return {kExitHistoryUnavailable, Word::kHistoryUnavailable};
    }
    return {kExitLinkFailed, "link-failed"};
}

// ERROR_NO_SUCH_DEVICE, which mingw's headers lack: what a COM port mapped to
// no device gives under Wine.
constexpr DWORD kNoSuchDevice = 433;

// Why a port could not be opened, from the system's error: the two every
// technician meets in plain words, any other as the system puts it. The
// words are those of texts in the lines of the link commands; without texts
// the built-in English ones, as --json (which scripts read) and the port
// listing (which runs without the language file) show them.
CString PortErrorText(DWORD error, CLanguageTable* texts = nullptr)
{
    const auto words = [texts](int number) {
        return CString(texts ? texts->GetText(number) : CLanguageTable::BuiltInText(number));
    };
    switch (error) {
    case ERROR_ACCESS_DENIED: // a COM port is opened without sharing
    case ERROR_SHARING_VIOLATION:
        return words(TextNo::kCliPortInUse);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case kNoSuchDevice:
    case ERROR_DEV_NOT_EXIST:
        return words(TextNo::kCliPortNotPresent);
    default:
        break;
    }
    // Without the system text's closing full stop: a reason follows a colon.
    CString reason = SystemText(error);
    while (!reason.IsEmpty() && (reason.Right(1) == " " || reason.Right(1) == ".")) {
        reason = reason.Left(reason.GetLength() - 1);
    }
    CString code;
    code.Format("error %lu", static_cast<unsigned long>(error));
    return reason.IsEmpty() ? code : reason + " (" + code + ")";
}

CString PortStateText(PortState state, DWORD openError)
{
    switch (state) {
    case PortState::Usable:
        return "usable";
    case PortState::NotRs232:
        return "not an RS-232 port";
    case PortState::NotOpened:
        break;
    }
    return "cannot be opened: " + PortErrorText(openError);
}

// One named fact of the report: a line "name: value" on stdout, or a member
// of the --json object.
struct Fact {
    const char* name;
    CString text;
    bool isNumber = false;
    long long number = 0;
};

class CConsoleTool {
public:
    CConsoleTool(const CliArgs& args, const ConsoleEnvironment& env)
        : m_args(args), m_env(env), m_api(env.console ? *env.console : PlatformConsoleApi()),
          m_boxes(env.err, args.retries, m_api), m_linkApis(env.link ? *env.link : PlatformPortApis()),
          m_deviceList(env.deviceList ? *env.deviceList : PlatformDeviceListApi())
    {
    }

    int Run();

private:
    Ending Ports();
    Ending LinkCommand();
    Ending ListHistory();
    UpgradeResult Upgrade(CUpgradeRun& run);
    UpgradeResult Restore(CUpgradeRun& run, const HistoryRow* row);
    // What the run read and wrote, as the report's facts.
    void AddFacts(const UpgradeResult& result);
    Ending Fail(CliExit exit, const char* word, const CString& reason);
    CString Text(int number) { return CString(m_texts ? m_texts->GetText(number) : ""); }
    void Report(const Ending& ending);

    const CliArgs& m_args;
    const ConsoleEnvironment& m_env;
    const ConsoleApi& m_api;
    CConsoleBoxes m_boxes;
    CLanguageTable* m_texts = nullptr;
    std::vector<Fact> m_facts;
    std::vector<CString> m_warnings;
    CString m_message;
    // The tool's own reason: English for usage errors and a --trace or
    // --entry it cannot use, found before the texts are read; a language
    // text for a refused restore.
    CString m_error;
    CString m_portError; // why the port could not be opened
    std::vector<CJsonObject> m_ports;
    std::vector<CJsonObject> m_rows; // history

    PortApis m_linkApis;               // what the commands' link calls
    const DeviceListApi& m_deviceList; // what the port list reads
    CCommTrace* m_line = nullptr;      // the --trace of the link; null: none
};

Ending CConsoleTool::Fail(CliExit exit, const char* word, const CString& reason)
{
    m_error = reason;
    Print(m_api, m_env.err, "%s: %s\n", kProgram, reason.GetString());
    return {exit, word};
}

int CConsoleTool::Run()
{
    // The trace is in place before any port is touched; one that cannot be
    // written is a usage error, since the caller asked for it.
    std::unique_ptr<CLineTrace> trace;
    if (!m_args.trace.IsEmpty()) {
        CString reason;
        trace = CLineTrace::Open(m_args.trace, reason);
        if (!trace) {
            const Ending ending = Fail(kExitUsage, Word::kUsage, "--trace: " + reason);
            Report(ending);
            return ending.exit;
        }
    }
    std::unique_ptr<CCommTrace> line;
    if (trace)
        line = std::make_unique<CCommTrace>(*trace);
    m_line = line.get();
    const Ending ending = m_args.command == CliCommand::Ports     ? Ports()
                          : m_args.command == CliCommand::History ? ListHistory()
                                                                  : LinkCommand();
    line.reset();
    Report(ending);
    return ending.exit;
}

Ending CConsoleTool::Ports()
{
    // Listed without opening; --probe opens each port in turn.
    CRadioCom link(m_linkApis);
    link.SetObserver(m_line);
    for (const SerialPortEntry& port : ListSerialPorts(m_deviceList)) {
        CString line = PortLabel(port);
        CJsonObject entry;
        entry.Number("port", port.number).String("name", Utf8FromAnsi(port.friendlyName));
        if (m_args.probe) {
            const PortState state = ProbePort(link, port.number);
            const CString stateText = PortStateText(state, link.GetOpenError());
            line += ": " + stateText;
            entry.String("state", Utf8FromAnsi(stateText)).Bool("usable", state == PortState::Usable);
        } else {
            entry.Null("state").Null("usable");
        }
        if (!m_args.json)
            Print(m_api, m_env.out, "%s\n", line.GetString());
        m_ports.push_back(entry);
    }
    return {kExitDone, Word::kListed};
}

Ending CConsoleTool::ListHistory()
{
    std::vector<HistoryListing> rows;
    CString reason;
    if (!CHistoryFolder(m_env.programFolder).ListRows(rows, reason))
        return Fail(kExitHistoryUnavailable, Word::kHistoryUnavailable, reason);
    // The numbers stay those of the whole file, as restore --entry counts.
    const std::size_t first = m_args.last > 0 && rows.size() > static_cast<std::size_t>(m_args.last)
                                  ? rows.size() - m_args.last
                                  : 0;
    for (std::size_t i = first; i < rows.size(); ++i) {
        const HistoryListing& listed = rows[i];
        const HistoryRow& row = listed.row;
        CJsonObject json;
        json.Number("entry", listed.number);
        if (listed.damaged) {
            json.Bool("damaged", true);
            if (!m_args.json)
                Print(m_api, m_env.out, "%4d  damaged row\n", listed.number);
        } else {
            json.String("time", Utf8FromAnsi(row.time))
                .String("program", Utf8FromAnsi(row.program))
                .String("port", Utf8FromAnsi(row.port))
                .String("model", Utf8FromAnsi(row.model))
                .String("outcome", Utf8FromAnsi(row.outcome))
                .String("sources", Utf8FromAnsi(row.sources));
            if (!m_args.json)
                Print(m_api, m_env.out, "%4d  %s  %-11s  COM%-3s  %-10s  %-12s  %s\n", listed.number,
                      row.time.GetString(), row.program.GetString(), row.port.GetString(),
                      row.model.GetString(), row.outcome.GetString(), row.sources.GetString());
        }
        m_rows.push_back(json);
    }
    if (rows.empty() && !m_args.json)
        Print(m_api, m_env.err, "%s: the history has no rows\n", kProgram);
    return {kExitDone, Word::kListed};
}

Ending CConsoleTool::LinkCommand()
{
    // The row is looked for before the texts are loaded and before any port
    // is touched: a restore from no row is a usage error.
    HistoryRow row;
    const bool fromRow = m_args.command == CliCommand::Restore && !m_args.hasRecord;
    if (fromRow) {
        CString reason;
        if (!CHistoryFolder(m_env.programFolder).ReadRow(m_args.entry, row, reason))
            return Fail(kExitUsage, Word::kUsage, "--entry: " + reason);
    }

    CLanguageTable texts;
    if (!m_env.openTexts || !m_env.openTexts(texts)) {
        m_message = m_boxes.LastText();
        return {kExitLanguageFile, Word::kLanguageFile};
    }
    m_texts = &texts;
    m_boxes.SetTexts(&texts);

    CRadioCom link(m_linkApis);
    link.SetObserver(m_line);
    CDataFile dataFile;
    dataFile.SetErrorTexts(FileErrorTextsFrom(texts));
    CDataFileOptionFiles files(dataFile, nullptr, nullptr);
    CHistoryFolder history(m_env.programFolder);
    CHistoryJournal journal(history, kProgram, m_args.port);
    UpgradeRunMode mode;
    mode.preview = m_args.dryRun;
    mode.skipUnchanged = m_args.skipUnchanged;
    mode.verify = m_args.verify;
    // From here on Ctrl+C asks the run to stop between its steps, and a
    // Retry prompt is then answered Cancel.
    CConsoleInterrupt interrupt;
    const auto stopRequested = [&interrupt] { return interrupt.Requested(); };
    m_boxes.SetStopRequested(stopRequested);
    UpgradeEnvironment environment{
        link, texts, nullptr, dataFile, files, m_args.noHistory ? nullptr : &journal, stopRequested};
    environment.steps = m_line;
    CUpgradeRun run(environment, mode);

    UpgradeResult result;
    switch (m_args.command) {
    case CliCommand::Identify:
        result = run.Identify(m_args.port);
        break;
    case CliCommand::Upgrade:
        result = Upgrade(run);
        break;
    default:
        result = Restore(run, fromRow ? &row : nullptr);
        break;
    }
    // The final row is written: a closing console may go.
    interrupt.Finished();
    Ending ending = EndingOf(result.outcome);
    if (interrupt.Requested() && RunResult(result.outcome) != 0 &&
        result.outcome != UpgradeOutcome::Interrupted) {
        // Stopped after the write frame had begun, or the run ended
        // otherwise meanwhile: the transceiver did not take the record.
        Print(m_api, m_env.err, "%s: %s\n", kProgram,
              FillText(Text(TextNo::kCliInterruptedAfter), {CString(ending.word)}).GetString());
        ending = {kExitInterrupted, Word::kInterrupted};
    } else if (result.outcome == UpgradeOutcome::Interrupted) {
        Print(m_api, m_env.err, "%s: %s\n", kProgram,
              Text(TextNo::kCliInterruptedNothingWritten).GetString());
    }
    if (result.outcome == UpgradeOutcome::HistoryUnavailable) {
        Print(m_api, m_env.err, "%s: %s\n", kProgram, Text(TextNo::kCliHistoryNotKept).GetString());
    }
    if (result.outcome == UpgradeOutcome::WrittenVersionNote) {
        // Written: the advisory note that followed is a warning.
        m_message = Text(TextNo::kRecordWritten);
        m_warnings.push_back(Text(TextNo::kVersionRecommended));
    }
    if (result.outcome == UpgradeOutcome::OtherTransceiver) {
        const CString reason = FillText(Text(TextNo::kCliRestoreRefused),
                                        {HistoryModelName(result.identity.data()),
                                         HexLower(result.identity.data(), result.identity.size()),
                                         Number(m_args.entry), row.model, row.identity});
        ending = Fail(ending.exit, ending.word, reason);
    }
    if (m_message.IsEmpty())
        m_message = m_boxes.LastText();
    if (result.outcome == UpgradeOutcome::PortNotOpened) {
        // After the language text, which cannot know it: the system's reason.
        m_portError = PortErrorText(link.GetOpenError());
        const CString reason = PortErrorText(link.GetOpenError(), &texts);
        Print(m_api, m_env.err, "%s: %s\n", kProgram,
              FillText(Text(TextNo::kCliPortNotOpened), {Number(m_args.port), reason}).GetString());
    }
    for (const CString& warning : journal.Warnings()) {
        Print(m_api, m_env.err, "%s: %s\n", kProgram,
              FillText(Text(TextNo::kCliWarning), {warning}).GetString());
        m_warnings.push_back(warning);
    }
    AddFacts(result);
    m_boxes.SetTexts(nullptr);
    m_texts = nullptr;
    return ending;
}

void CConsoleTool::AddFacts(const UpgradeResult& result)
{
    if (result.recordRead) {
        m_facts.push_back({"model", HistoryModelName(result.identity.data())});
        m_facts.push_back({"identity", HexLower(result.identity.data(), result.identity.size())});
        m_facts.push_back({"version", result.version});
        if (m_args.command == CliCommand::Identify) {
            const unsigned char* record = result.recordBefore.data();
            const unsigned type = OptionType(record[OptionRecord::kOptionBytes]);
            CString typeText;
            typeText.Format("%u", type);
            m_facts.push_back({"option_code", HexLower(record + OptionRecord::kOptionCode, kOptionCodeSize)});
            m_facts.push_back({"option_type", typeText, true, type});
            m_facts.push_back(
                {"option_bytes", HexLower(record + OptionRecord::kOptionBytes, kOptionBytesSize)});
        }
        m_facts.push_back(
            {"record_before", HexLower(result.recordBefore.data(), result.recordBefore.size())});
    }
    // The record after: the one sent, or the one a preview would send; a run
    // stopped before its write (interrupted, no history) names none.
    const bool previewed =
        result.outcome == UpgradeOutcome::Planned || result.outcome == UpgradeOutcome::Unchanged;
    if (result.recordPlanned && (result.writeTried || previewed)) {
        m_facts.push_back({"record_after", HexLower(result.recordAfter.data(), result.recordAfter.size())});
        if (!result.writeTried) {
            // What a preview is for: the option bytes now and after.
            m_facts.push_back(
                {"option_bytes",
                 HexLower(result.recordBefore.data() + OptionRecord::kOptionBytes, kOptionBytesSize) +
                     " -> " +
                     HexLower(result.recordAfter.data() + OptionRecord::kOptionBytes, kOptionBytesSize)});
        }
        m_facts.push_back({"sources", JoinHistorySources(result.sources)});
    }
    if (m_args.verify && result.writeTried) {
        if (result.readBack && !result.verified) {
            if (result.identityReadBack != result.identity) {
                m_facts.push_back({"identity_read_back",
                                   HexLower(result.identityReadBack.data(), result.identityReadBack.size())});
            }
            m_facts.push_back(
                {"record_read_back", HexLower(result.recordReadBack.data(), result.recordReadBack.size())});
        }
        if (result.readBack || result.outcome == UpgradeOutcome::VerifyFailed)
            m_facts.push_back({"verified", result.verified ? "yes" : "no"});
    }
}

UpgradeResult CConsoleTool::Upgrade(CUpgradeRun& run)
{
    // Paths made whole as the dialog's are: the history names the option
    // files whole.
    if (!m_args.folder.IsEmpty())
        return run.UpgradeFromFolder(m_args.port, FullPath(m_args.folder));
    return run.UpgradeFromFile(m_args.port, FullPath(m_args.file));
}

UpgradeResult CConsoleTool::Restore(CUpgradeRun& run, const HistoryRow* row)
{
    unsigned char record[OptionRecord::kSize] = {};
    std::vector<CString> sources;
    TransceiverCheck check;
    if (row) {
        ParseHexBytes(row->recordBefore, record, OptionRecord::kSize); // checked when the row was read
        sources.push_back(History::RestoreRowSource(m_args.entry));
        if (!m_args.force)
            check = [row](const unsigned char* identity) { return HistoryRowMatches(*row, identity); };
    } else {
        std::copy(std::begin(m_args.record), std::end(m_args.record), record);
        sources.push_back(History::RestoreRecordSource());
    }
    return run.Restore(m_args.port, record, sources, check);
}

void CConsoleTool::Report(const Ending& ending)
{
    if (!m_args.json) {
        for (const Fact& fact : m_facts)
            Print(m_api, m_env.out, "%s: %s\n", fact.name, fact.text.GetString());
        if (m_args.command != CliCommand::Ports && m_args.command != CliCommand::History)
            Print(m_api, m_env.out, "outcome: %s\n", ending.word);
        std::fflush(m_env.out);
        return;
    }
    CJsonObject json;
    json.String("command", CliCommandName(m_args.command));
    json.Number("exit", ending.exit);
    json.String("outcome", ending.word);
    if (m_args.port)
        json.Number("port", m_args.port);
    else
        json.Null("port");
    json.String("message", Utf8FromAnsi(m_message));
    for (const Fact& fact : m_facts) {
        if (fact.isNumber)
            json.Number(fact.name, fact.number);
        else
            json.String(fact.name, Utf8FromAnsi(fact.text));
    }
    if (m_args.command == CliCommand::Ports)
        json.ObjectList("ports", m_ports);
    if (m_args.command == CliCommand::History)
        json.ObjectList("rows", m_rows);
    std::vector<std::string> warnings;
    for (const CString& warning : m_warnings)
        warnings.push_back(Utf8FromAnsi(warning));
    json.StringList("warnings", warnings);
    if (!m_error.IsEmpty())
        json.String("error", Utf8FromAnsi(m_error));
    if (!m_portError.IsEmpty())
        json.String("port_error", Utf8FromAnsi(m_portError));
    Print(m_api, m_env.out, "%s\n", json.Text().c_str());
    std::fflush(m_env.out);
}

// The command a usage error's --json object names: the first argument when
// it is one.
const char* CommandWord(const std::vector<std::string>& arguments)
{
    for (CliCommand command : {CliCommand::Ports, CliCommand::Identify, CliCommand::Upgrade,
                               CliCommand::Restore, CliCommand::History}) {
        if (!arguments.empty() && arguments[0] == CliCommandName(command))
            return CliCommandName(command);
    }
    return "";
}

} // namespace

int RunConsoleTool(const std::vector<std::string>& arguments, const ConsoleEnvironment& environment)
{
    const ConsoleApi& api = environment.console ? *environment.console : PlatformConsoleApi();
    CliArgs args;
    CString error;
    // Usage errors stay English: they are found before any language file is
    // read, and the arguments may be what names none.
    if (!ParseCliArgs(arguments, args, error)) {
        Print(api, environment.err, "%s: %s\n", kProgram, error.GetString());
        if (arguments.empty())
            Print(api, environment.err, "%s", kCliUsageText);
        // A caller that asked for JSON gets it, whatever else was wrong.
        if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end()) {
            CJsonObject json;
            json.String("command", CommandWord(arguments))
                .Number("exit", kExitUsage)
                .String("outcome", Word::kUsage)
                .Null("port")
                .String("message", "")
                .StringList("warnings", {})
                .String("error", Utf8FromAnsi(error));
            Print(api, environment.out, "%s\n", json.Text().c_str());
        }
        std::fflush(environment.out);
        return kExitUsage;
    }
    switch (args.command) {
    case CliCommand::Help:
        Print(api, environment.out, "%s%s", kCliUsageText, kCliHelpText);
        std::fflush(environment.out);
        return kExitDone;
    case CliCommand::Version:
        Print(api, environment.out, "%s %s\n", kProgram, ORVELLE_VERSION);
        std::fflush(environment.out);
        return kExitDone;
    default:
        return CConsoleTool(args, environment).Run();
    }
}
