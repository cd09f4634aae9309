// The console tool's commands: each from its arguments to its report, over
// the link, the upgrade run (or radio after radio, the batch), the history,
// the support file and the language texts.
#include "cli/ConsoleTool.h"

#include "cli/CliArgs.h"
#include "cli/ConsoleAsker.h"
#include "cli/ConsoleBatch.h"
#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleReport.h"
#include "cli/ConsoleText.h"
#include "cli/RunOutcomes.h"
#include "files/DataFile.h"
#include "files/ReplacingWrite.h"
#include "framework/Hex.h"
#include "framework/SystemText.h"
#include "link/LineTrace.h"
#include "link/PortList.h"
#include "link/PortScan.h"
#include "link/RadioCom.h"
#include "link/StepObserver.h"
#include "text/FillText.h"
#include "text/Json.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/DataFileOptionFiles.h"
#include "upgrade/FileErrorTexts.h"
#include "upgrade/HistoryFolder.h"
#include "upgrade/OptionFileView.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/PortWarningText.h"
#include "upgrade/OptionLogic.h"
#include "upgrade/RadioBatch.h"
#include "upgrade/SupportCollect.h"
#include "upgrade/UpgradeHistory.h"
#include "upgrade/UpgradeRun.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>

namespace {

const char* const kProgram = History::kProgramConsole;

// The run's steps go to the --trace, if any, and tell the interrupt where
// the write frame is: a stop may cut the run thread's read short before it,
// never in it nor in what follows up to the end of programming mode (the
// frame's answer). The read-back of --verify is a connection of its own,
// after that: a radio gone quiet there must not hold a closing console past
// its end either, so its reads may be cut again.
class CRunSteps final : public CStepObserver {
public:
    CRunSteps(CStepObserver* trace, CConsoleInterrupt& interrupt) : m_trace(trace), m_interrupt(interrupt) {}
    void Step(const char* name) override
    {
        if (std::strcmp(name, kWriteStep) == 0)
            m_interrupt.AllowCut(false);
        else if (std::strcmp(name, kVerifyStep) == 0)
            m_interrupt.AllowCut(true);
        if (m_trace)
            m_trace->Step(name);
    }

private:
    CStepObserver* m_trace;
    CConsoleInterrupt& m_interrupt;
};

// The option files a run read, as the run read them: the tool tells
// afterwards why it left each one out, and which one needs a newer version.
class CReadOptionFiles final : public COptionFileAccess {
public:
    explicit CReadOptionFiles(COptionFileAccess& files) : m_files(files) {}
    bool ReadOptionFile(const CString& path, std::size_t limit, std::vector<unsigned char>& bytes) override
    {
        if (!m_files.ReadOptionFile(path, limit, bytes))
            return false;
        // The folder collection reads each header once, in the folder's
        // order; the later steps read the files whole.
        if (limit == OptionFile::kHeaderSize)
            headers.push_back({path, bytes});
        else
            whole.push_back({path, bytes});
        return true;
    }
    void BeginFileStep() override { m_files.BeginFileStep(); }
    void EndFileStep(bool read) override { m_files.EndFileStep(read); }

    struct File {
        CString path;
        std::vector<unsigned char> bytes;
    };
    std::vector<File> headers; // the folder collection's, in its order
    std::vector<File> whole;   // every whole read, in order

private:
    COptionFileAccess& m_files;
};

// What a run reads option files through, with the file errors in the
// language file's words.
struct OptionFileParts {
    explicit OptionFileParts(CLanguageTable& texts) { dataFile.SetErrorTexts(FileErrorTextsFrom(texts)); }
    CDataFile dataFile;
    CDataFileOptionFiles dataFiles{dataFile, nullptr, nullptr};
    CReadOptionFiles files{dataFiles};
};

// Why bytes are no option file, for the tool's lines.
CString ShapeReason(OptionFileShape shape, std::size_t size)
{
    CString reason;
    if (shape == OptionFileShape::TooShort)
        reason.Format("too short (%lu bytes; an option file's header alone is %lu)",
                      static_cast<unsigned long>(size), static_cast<unsigned long>(OptionFile::kHeaderSize));
    else
        reason = "wrong header (no model name where an option file has it)";
    return reason;
}

// The text bytes of a fixed field up to its first zero byte, control bytes
// as '?': a version or model name as a line can show it.
CString FieldText(const unsigned char* field, std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; i < size && field[i] != 0; ++i)
        text += field[i] >= 0x20 && field[i] < 0x7F ? static_cast<char>(field[i]) : '?';
    return CString(text);
}

// The identity block as hex and, where it has printable bytes, as the text a
// technician reads off the radio's label.
CString IdentityWithText(const unsigned char* identity)
{
    const CString hex = HexLower(identity, IdentityBlock::kSize);
    const CString text = PrintableIdentity(identity);
    return text.IsEmpty() ? hex : hex + " (" + text + ")";
}

// A history row's identity column as text; empty when it holds no identity
// block in hex.
CString RowIdentityText(const CString& hex)
{
    unsigned char identity[IdentityBlock::kSize] = {};
    if (hex.GetLength() != static_cast<int>(2 * IdentityBlock::kSize) ||
        !ParseHexBytes(hex, identity, IdentityBlock::kSize))
        return CString();
    return PrintableIdentity(identity);
}

// An argument as the trace's header shows the command line: quoted where a
// space or nothing would hide where it ends.
std::string QuotedArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    return "\"" + argument + "\"";
}

// upgrade --each as the console shows it: the view's lines, and around each
// radio what the tool does for it (a new --retries budget, the cut allowed
// again after the write, its warnings and the report).
class CBatchConsole final : public CBatchObserver {
public:
    CBatchConsole(CConsoleBatchView& view, CConsoleAsker& asker, CConsoleInterrupt& interrupt)
        : m_view(view), m_asker(asker), m_interrupt(interrupt)
    {
    }
    void Status(BatchState state, int port, int seconds) override
    {
        if (state == BatchState::Upgrading)
            m_asker.BeginRun();
        m_view.Status(state, port, seconds);
    }
    void RadioDone(const BatchRow& row) override
    {
        // Its write frame, if any, is over.
        m_interrupt.AllowCut(true);
        m_view.RadioDone(row);
        if (afterRow)
            afterRow();
    }
    // Called once a radio's row is told.
    std::function<void()> afterRow;

private:
    CConsoleBatchView& m_view;
    CConsoleAsker& m_asker;
    CConsoleInterrupt& m_interrupt;
};

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
    return SystemText(error, SystemTextForms::kReason);
}

// What Windows reports of the port's device, as --json names it; null where
// it reports nothing.
CJsonObject& DeviceStatusJson(CJsonObject& json, DeviceStatus status)
{
    switch (status) {
    case DeviceStatus::Started:
        return json.String("status", "started");
    case DeviceStatus::NotStarted:
        return json.String("status", "not-started");
    case DeviceStatus::Problem:
        return json.String("status", "problem");
    case DeviceStatus::Unknown:
        break;
    }
    return json.Null("status");
}

// A flagged port's problem as --json gives it: its kind, Windows' problem
// number (null for none) and the problem in English words; null when the
// port is not flagged.
CJsonObject& PortProblemJson(CJsonObject& json, const PortWarning& warning)
{
    if (!warning)
        return json.Null("problem");
    CJsonObject problem;
    const bool refused = warning.kind == PortWarningKind::RefusedChip;
    problem.String("kind", refused ? "refused-chip" : "device-problem");
    if (warning.problemCode)
        problem.Number("code", static_cast<long long>(warning.problemCode));
    else
        problem.Null("code");
    problem.String("text", refused ? "the driver refuses the chip" : DeviceProblemWords(warning.problemCode));
    return json.Object("problem", problem);
}

// A probed port's state in texts' words; without texts the built-in
// English, as --json has it.
CString PortStateText(PortState state, DWORD openError, CLanguageTable* texts = nullptr)
{
    const auto words = [texts](int number) {
        return CString(texts ? texts->GetText(number) : CLanguageTable::BuiltInText(number));
    };
    switch (state) {
    case PortState::Usable:
        return words(TextNo::kCliPortUsable);
    case PortState::NotRs232:
        return words(TextNo::kCliPortNotRs232);
    case PortState::NotOpened:
        break;
    }
    return FillText(words(TextNo::kCliPortCannotBeOpened), {PortErrorText(openError, texts)});
}

// The language file's own failure, which no language file can word: what is
// wrong, and how to get the English file the packages ship back.
CString LanguageFileFailure(const CLanguageTable& texts, const CString& folder)
{
    const CString name = texts.GetFileName();
    const CString where =
        folder.IsEmpty() ? CString("the program's folder") : "the program's folder " + folder;
    return name + (*texts.GetPath() ? " in " + where + " is damaged" : " is missing from " + where) +
           ": to get the English texts back, run there: copy ORVELLE-en.lng " + name;
}

class CConsoleTool {
public:
    CConsoleTool(const CliArgs& args, const std::vector<std::string>& arguments,
                 const ConsoleEnvironment& env)
        : m_args(args), m_arguments(arguments), m_env(env),
          m_api(env.console ? *env.console : PlatformConsoleApi()), m_boxes(env.err, m_api),
          m_linkApis(env.link ? *env.link : PlatformPortApis()),
          m_deviceList(env.deviceList ? *env.deviceList : PlatformDeviceListApi())
    {
    }

    int Run();

private:
    CliEnding Ports();
    CliEnding LinkCommand();
    // upgrade --each over the run's environment.
    CliEnding Batch(const UpgradeEnvironment& run, CConsoleAsker& asker, CConsoleInterrupt& interrupt,
                    const CHistoryJournal& journal);
    // The report file (--report) with the rows so far; a failure is said
    // once per reason and kept as a warning.
    void WriteBatchReport(const CRadioBatch& batch);
    // The journal's warnings not said yet.
    void SayWarnings(const CHistoryJournal& journal);
    // The environment of a run over the link, asking through asker.
    UpgradeEnvironment RunEnvironment(CRadioCom& link, CConsoleAsker& asker, CUpgradeJournal& journal,
                                      CStepObserver& steps, OptionFileParts& parts);
    UpgradeRunMode RunMode() const;
    CliEnding ListHistory();
    CliEnding Support();
    // The command's run over the link, asking through asker.
    UpgradeResult RunCommand(CRadioCom& link, CConsoleAsker& asker, CUpgradeJournal& journal,
                             CStepObserver& steps, const HistoryRow* row);
    UpgradeResult Upgrade(CUpgradeRun& run);
    UpgradeResult Restore(CUpgradeRun& run, const HistoryRow* row);
    // The tool's own lines after a run (an interruption, the history, a
    // refused restore, the port's reason), and how the command ends.
    CliEnding Conclude(const UpgradeResult& result, bool stopAsked, const HistoryRow& row,
                       const CRadioCom& link);
    CliEnding Fail(const CliEnding& ending, const CString& reason);
    // Loads the texts into texts with the language file's box held back:
    // true loaded; false after saying why not, with the way back.
    bool OpenTexts(CLanguageTable& texts);
    // Loads the texts into texts for a command that needs none to be right:
    // &texts loaded, null (English) without them; the box held back.
    CLanguageTable* TryTexts(CLanguageTable& texts);
    // upgrade --file: a folder, or a file that is no option file, ends the
    // command before any port is opened (false with its ending); one that is
    // missing or cannot be read is the run's to tell.
    bool CheckOptionFile(CliEnding& ending);
    // After a single upgrade run: why each option file of the folder was
    // left out, and the file that needs a newer transceiver version.
    void SayFiles(const UpgradeResult& result, const CReadOptionFiles& files);
    // The trace's header: when, which program, the command line, the port.
    void TraceHeader(CLineTrace& trace) const;
    // History\last-run.trace of a command over the link, as ORVELLE.exe
    // keeps its own; one that cannot be written leaves the command as it is.
    void KeepLastRunTrace();
    // The trace's last line, how the command ended; once.
    void EndTrace(const CliEnding& ending);
    // "orvelle-cli: line" on stderr.
    void Say(const CString& line) { Print(m_api, m_env.err, "%s: %s\n", kProgram, line.GetString()); }
    CString Text(int number) { return CString(m_texts ? m_texts->GetText(number) : ""); }

    const CliArgs& m_args;
    const std::vector<std::string>& m_arguments; // as given, for the trace's header
    const ConsoleEnvironment& m_env;
    const ConsoleApi& m_api;
    // From the start: the language file's box, then the file utility's.
    CConsoleBoxes m_boxes;
    CLanguageTable* m_texts = nullptr;
    CConsoleReport m_report;

    PortApis m_linkApis;                 // what the commands' link calls
    const DeviceListApi& m_deviceList;   // what the port list reads
    std::unique_ptr<CLineTrace> m_trace; // --trace and History\last-run.trace; null: none yet
    std::unique_ptr<CCommTrace> m_lineTrace;
    CCommTrace* m_line = nullptr;   // the trace of the link; null: none
    bool m_traceEnded = false;      // its outcome line is written
    std::size_t m_warningsSaid = 0; // of the journal's warnings
    CString m_reportError;          // the report's last failure, said once
};

CliEnding CConsoleTool::Fail(const CliEnding& ending, const CString& reason)
{
    m_report.error = reason;
    Say(reason);
    return ending;
}

int CConsoleTool::Run()
{
    // The trace is in place before any port is touched; one that cannot be
    // written is a usage error, since the caller asked for it.
    if (!m_args.trace.IsEmpty()) {
        CString reason;
        m_trace = CLineTrace::Open(m_args.trace, reason);
        if (!m_trace) {
            const CliEnding ending = Fail(kUsageEnding, "--trace: " + reason);
            m_report.Write(m_args, ending, m_api, m_env.out);
            return ending.exit;
        }
        TraceHeader(*m_trace);
        m_lineTrace = std::make_unique<CCommTrace>(*m_trace, *m_linkApis.clock);
        m_line = m_lineTrace.get();
    }
    const CliEnding ending = m_args.command == CliCommand::Ports     ? Ports()
                             : m_args.command == CliCommand::History ? ListHistory()
                             : m_args.command == CliCommand::Support ? Support()
                                                                     : LinkCommand();
    EndTrace(ending);
    m_line = nullptr;
    m_lineTrace.reset();
    m_trace.reset();
    m_report.Write(m_args, ending, m_api, m_env.out);
    return ending.exit;
}

bool CConsoleTool::OpenTexts(CLanguageTable& texts)
{
    m_boxes.Hold(true);
    const bool opened = m_env.openTexts && m_env.openTexts(texts);
    m_boxes.Hold(false);
    if (opened) {
        m_boxes.SetTexts(&texts);
        return true;
    }
    m_report.message = LanguageFileFailure(texts, m_env.programFolder);
    Say(ConsoleLine(nullptr, RunMessageKind::Error, m_report.message));
    return false;
}

CLanguageTable* CConsoleTool::TryTexts(CLanguageTable& texts)
{
    if (!m_env.openTexts)
        return nullptr;
    m_boxes.Hold(true);
    const bool opened = m_env.openTexts(texts) != 0;
    m_boxes.Hold(false);
    return opened ? &texts : nullptr;
}

void CConsoleTool::TraceHeader(CLineTrace& trace) const
{
    CString line = CString(kProgram) + " " + ORVELLE_VERSION + ", " + FormatHistoryTime(LocalHistoryTime());
    trace.Header(line);
    std::string command = "command line:";
    for (const std::string& argument : m_arguments)
        command += " " + QuotedArgument(argument);
    trace.Header(command.c_str());
    line = m_args.port ? "port: COM" + Number(m_args.port) : CString("port: none");
    trace.Header(line);
}

void CConsoleTool::KeepLastRunTrace()
{
    const CString path = CHistoryFolder(m_env.programFolder).PrepareFile(History::kLastRunTraceName);
    if (path.IsEmpty())
        return;
    CString error;
    if (m_trace) {
        m_trace->AlsoTo(path, error);
        return;
    }
    m_trace = CLineTrace::Open(path, error);
    if (!m_trace)
        return;
    TraceHeader(*m_trace);
    m_lineTrace = std::make_unique<CCommTrace>(*m_trace, *m_linkApis.clock);
    m_line = m_lineTrace.get();
}

void CConsoleTool::EndTrace(const CliEnding& ending)
{
    if (!m_line || m_traceEnded)
        return;
    m_traceEnded = true;
    CString line;
    line.Format("outcome %s (exit %d)", ending.word, static_cast<int>(ending.exit));
    m_line->Note(line);
}

bool CConsoleTool::CheckOptionFile(CliEnding& ending)
{
    if (m_args.file.IsEmpty())
        return true;
    const DWORD attributes = GetFileAttributesA(m_args.file);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true; // missing: the run's location check says so
    ending = OutcomeRowOf(UpgradeOutcome::FileUnreadable).ending;
    CString reason;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        reason = "--file " + m_args.file + " is a folder: use --folder";
    } else {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(m_args.file, "rb"), &std::fclose);
        if (!file)
            return true; // unreadable: the run's file error says why
        std::vector<unsigned char> header(OptionFile::kHeaderSize);
        header.resize(std::fread(header.data(), 1, header.size(), file.get()));
        const OptionFileShape shape = JudgeOptionFileShape(COptionFileView(header));
        if (shape == OptionFileShape::OptionFile)
            return true;
        reason = "--file " + m_args.file + " is not an option file: " + ShapeReason(shape, header.size());
    }
    m_report.message = reason;
    Fail(ending, reason);
    return false;
}

CliEnding CConsoleTool::Ports()
{
    // The states in the language file's words, or without it in English:
    // a list of ports needs no texts to be right.
    CLanguageTable texts;
    CLanguageTable* words = m_args.probe ? TryTexts(texts) : nullptr;
    // Listed without opening; --probe opens each port in turn.
    CRadioCom link(m_linkApis);
    link.SetObserver(m_line);
    for (const SerialPortEntry& port : ListSerialPorts(m_deviceList)) {
        CString line = PortLabel(port);
        CJsonObject entry;
        entry.Number("port", port.number).String("name", Utf8FromAnsi(port.friendlyName));
        if (m_args.probe) {
            const PortState state = ProbePort(link, port.number);
            line += ": " + PortStateText(state, link.GetOpenError(), words);
            entry.String("state", Utf8FromAnsi(PortStateText(state, link.GetOpenError())))
                .Bool("usable", state == PortState::Usable);
        } else {
            entry.Null("state").Null("usable");
        }
        // A flagged port can still be used: the warning says what to do.
        const PortWarning warning = PortWarningOf(port);
        if (warning) {
            const PortWarningWords said = PortWarningText(warning, [words](int number) {
                return CString(words ? words->GetText(number) : CLanguageTable::BuiltInText(number));
            });
            line += "\n  " + said.warning + ". " + said.advice;
        }
        if (!m_args.json)
            Print(m_api, m_env.out, "%s\n", line.GetString());
        m_report.ports.push_back(entry);

        CJsonObject device;
        device.Number("port", port.number);
        DeviceStatusJson(device, port.status);
        PortProblemJson(device, warning)
            .String("hardware_id", Utf8FromAnsi(port.hardwareId))
            .String("driver_provider", Utf8FromAnsi(port.driverProvider))
            .String("driver_version", Utf8FromAnsi(port.driverVersion));
        m_report.devices.push_back(device);
    }
    return kListedEnding;
}

CliEnding CConsoleTool::ListHistory()
{
    std::vector<HistoryListing> rows;
    CString reason;
    if (!CHistoryFolder(m_env.programFolder).ListRows(rows, reason))
        return Fail(kHistoryUnreadableEnding, reason);
    // Its lines in the language file's words, or without it in English.
    CLanguageTable texts;
    CLanguageTable* words = m_args.json ? nullptr : TryTexts(texts);
    const auto word = [words](int number) {
        return CString(words ? words->GetText(number) : CLanguageTable::BuiltInText(number));
    };
    // The numbers stay those of the whole file, as restore --entry counts.
    const std::size_t first = m_args.last > 0 && rows.size() > static_cast<std::size_t>(m_args.last)
                                  ? rows.size() - m_args.last
                                  : 0;
    // The identity as the radio's label reads: a column as wide as its
    // widest text, none when no row listed has one (rows from a tool that
    // kept no identity block).
    int identityWidth = 0;
    for (std::size_t i = first; i < rows.size(); ++i) {
        if (!rows[i].damaged)
            identityWidth = std::max(identityWidth, RowIdentityText(rows[i].row.identity).GetLength());
    }
    for (std::size_t i = first; i < rows.size(); ++i) {
        const HistoryListing& listed = rows[i];
        const HistoryRow& row = listed.row;
        CJsonObject json;
        json.Number("entry", listed.number);
        if (listed.damaged) {
            json.Bool("damaged", true);
            if (!m_args.json)
                Print(m_api, m_env.out, "%4d  %s\n", listed.number,
                      word(TextNo::kCliHistoryDamagedRow).GetString());
        } else {
            const CString identityText = RowIdentityText(row.identity);
            // The offset from UTC the row was written with; rows from before
            // it was kept have none.
            HistoryTime time;
            const bool timeRead = ParseHistoryTime(row.time, time);
            const CString offset = timeRead ? HistoryTimeOffset(time) : CString();
            json.String("time", Utf8FromAnsi(row.time)).String("program", Utf8FromAnsi(row.program));
            // A number, as every other command's port; a column no port
            // could be read from is null.
            const int port = PortName::NumberOfTyped(row.port.GetString(), row.port.str().size());
            if (port)
                json.Number("port", port);
            else
                json.Null("port");
            json.String("model", Utf8FromAnsi(row.model))
                .String("outcome", Utf8FromAnsi(row.outcome))
                .StringList("sources", Utf8List(SplitHistorySources(row.sources)))
                .String("identity_text", Utf8FromAnsi(identityText));
            if (offset.IsEmpty())
                json.Null("utc_offset");
            else
                json.String("utc_offset", offset.str());
            const CString identityColumn =
                identityWidth > 0 ? CString(identityText.str() +
                                            std::string(identityWidth - identityText.GetLength() + 2, ' '))
                                  : CString();
            if (!m_args.json)
                Print(m_api, m_env.out, "%4d  %s  %-11s  COM%-3s  %-10s  %s%-12s  %s\n", listed.number,
                      row.time.GetString(), row.program.GetString(), row.port.GetString(),
                      row.model.GetString(), identityColumn.GetString(), row.outcome.GetString(),
                      row.sources.GetString());
        }
        m_report.rows.push_back(json);
    }
    if (rows.empty() && !m_args.json)
        Say(word(TextNo::kCliHistoryNoRows));
    return kListedEnding;
}

CliEnding CConsoleTool::Support()
{
    // The texts only to name them: a language file that is missing or
    // damaged is a line of the support file, not the end of the command.
    CLanguageTable texts;
    SupportSources sources;
    sources.programFolder = m_env.programFolder;
    if (m_env.openTexts && m_env.openTexts(texts))
        sources.texts = &texts;
    else
        sources.languageFailure = m_boxes.LastText();
    sources.ports = [this] { return ListSerialPorts(m_deviceList); };
    // A file the caller named that cannot be written is a usage error, as
    // an unusable --trace is; the default one lives in the History folder.
    const bool named = !m_args.out.IsEmpty();
    const CliEnding failed = named ? kUsageEnding : kHistoryUnreadableEnding;
    const CString path =
        named ? FullPath(m_args.out) : DefaultSupportFilePath(m_env.programFolder, LocalHistoryTime());
    if (path.IsEmpty())
        return Fail(failed, CHistoryFolder(m_env.programFolder).FolderPath() + ": the folder cannot be made");
    const DWORD error = WriteSupportFile(path, sources);
    if (error != ERROR_SUCCESS)
        return Fail(failed,
                    (named ? "--out: " : "") + path + ": " + SystemText(error, SystemTextForms::kReason));
    Print(m_api, m_env.out, "%s\n", path.GetString());
    return kSavedEnding;
}

CliEnding CConsoleTool::LinkCommand()
{
    // The row is looked for before the texts are loaded and before any port
    // is touched: a restore from no row is a usage error.
    HistoryRow row;
    const bool fromRow = m_args.command == CliCommand::Restore && !m_args.hasRecord;
    if (fromRow) {
        const CHistoryFolder history(m_env.programFolder);
        std::vector<HistoryListing> rows;
        CString reason;
        // What is wrong with the row in the language file's words (English
        // without it); the rows listed tell which row there is.
        const auto entryFail = [this](const CliEnding& ending, int text,
                                      std::initializer_list<CString> values) {
            CLanguageTable texts;
            const CLanguageTable* words = TryTexts(texts);
            return Fail(ending,
                        FillText(words ? texts.GetText(text) : CLanguageTable::BuiltInText(text), values));
        };
        const bool listed = history.ListRows(rows, reason);
        const std::size_t entry = static_cast<std::size_t>(m_args.entry);
        // No history at all is what the history command says of it, not a
        // wrong --entry.
        if (listed && rows.empty())
            return entryFail(kHistoryUnreadableEnding, TextNo::kCliEntryNoHistory, {history.FilePath()});
        if (listed && entry > rows.size())
            return entryFail(kUsageEnding, TextNo::kCliEntryNoRow,
                             {Number(m_args.entry), Number(static_cast<int>(rows.size()))});
        if (!history.ReadRow(m_args.entry, row, reason)) {
            unsigned char record[OptionRecord::kSize];
            if (listed && !ParseHexBytes(rows[entry - 1].row.recordBefore, record, sizeof record)) {
                return entryFail(kUsageEnding, TextNo::kCliEntryNoRecord,
                                 {Number(m_args.entry), History::kColumnNames[History::kRecordBefore],
                                  Number(static_cast<int>(2 * OptionRecord::kSize))});
            }
            return Fail(kUsageEnding, "--entry: " + reason);
        }
    }
    {
        CliEnding ending = kUsageEnding;
        if (!CheckOptionFile(ending))
            return ending;
    }
    KeepLastRunTrace();

    CLanguageTable texts;
    if (!OpenTexts(texts))
        return kLanguageFileEnding;
    m_texts = &texts;

    CRadioCom link(m_linkApis);
    link.SetObserver(m_line);
    CHistoryFolder history(m_env.programFolder);
    CHistoryJournal journal(history, kProgram, m_args.port);
    // From here on Ctrl+C asks the run to stop between its steps, and a
    // failed step is then not tried again.
    CConsoleInterrupt interrupt(m_api);
    CConsoleAsker asker(
        m_env.err, m_api, texts, m_args.retries, [&interrupt] { return interrupt.Requested(); },
        *m_linkApis.clock);
    CRunSteps steps(m_line, interrupt);
    if (m_args.each) {
        OptionFileParts parts(texts);
        const CliEnding ending =
            Batch(RunEnvironment(link, asker, journal, steps, parts), asker, interrupt, journal);
        m_texts = nullptr;
        m_boxes.SetTexts(nullptr);
        return ending;
    }
    if (m_args.command == CliCommand::Restore)
        asker.SetRestoring();
    UpgradeResult result = RunCommand(link, asker, journal, steps, fromRow ? &row : nullptr);
    // A port that cannot be opened yet (a cable just plugged in) is tried
    // again as a failed step is. Nothing was read: no history row to undo.
    while (result.outcome == UpgradeOutcome::PortNotOpened && !interrupt.Requested() && asker.RetryOpen())
        result = RunCommand(link, asker, journal, steps, fromRow ? &row : nullptr);
    const CliEnding ending = Conclude(result, interrupt.Requested(), row, link);
    // The final row is written, and the trace's lines go out with it, its
    // outcome last: a closing console may go.
    EndTrace(ending);
    if (m_line)
        m_line->Flush();
    interrupt.Finished();

    // The run's own text; when it named none, the file utility's box that
    // ended it (an unreadable option file).
    m_report.message = asker.Message().IsEmpty() ? m_boxes.LastText() : asker.Message();
    if (asker.WrittenUntold()) {
        // A restore puts back a record, not new options; one the radio had
        // already is said to be so.
        m_report.message = Text(result.recordAfter == result.recordBefore ? TextNo::kCliRestoredUnchanged
                                                                          : TextNo::kCliRestored);
        Say(m_report.message);
    }
    // The advisory note first: it belongs to the outcome.
    m_report.warnings = asker.Notes();
    SayWarnings(journal);
    m_report.AddFacts(result, m_args);
    m_texts = nullptr;
    m_boxes.SetTexts(nullptr); // the texts go with this call
    return ending;
}

void CConsoleTool::SayWarnings(const CHistoryJournal& journal)
{
    const std::vector<CString>& warnings = journal.Warnings();
    for (; m_warningsSaid < warnings.size(); ++m_warningsSaid) {
        const CString& warning = warnings[m_warningsSaid];
        Say(FillText(Text(TextNo::kCliWarning), {warning}));
        m_report.warnings.push_back(warning);
    }
}

UpgradeEnvironment CConsoleTool::RunEnvironment(CRadioCom& link, CConsoleAsker& asker,
                                                CUpgradeJournal& journal, CStepObserver& steps,
                                                OptionFileParts& parts)
{
    UpgradeEnvironment environment{link,
                                   *m_texts,
                                   asker,
                                   nullptr,
                                   parts.dataFile,
                                   parts.files,
                                   m_args.noHistory ? nullptr : &journal,
                                   [&asker] { return asker.StopRequested(); }};
    environment.steps = &steps;
    environment.portMovedText = TextNo::kCliPortMoved;
    return environment;
}

UpgradeRunMode CConsoleTool::RunMode() const
{
    UpgradeRunMode mode;
    mode.preview = m_args.dryRun;
    mode.skipUnchanged = m_args.skipUnchanged;
    mode.verify = m_args.verify;
    return mode;
}

CliEnding CConsoleTool::Batch(const UpgradeEnvironment& run, CConsoleAsker& asker,
                              CConsoleInterrupt& interrupt, const CHistoryJournal& journal)
{
    CConsoleBatchView view(m_env.out, m_env.err, m_api, *m_texts, !m_args.json);
    CBatchConsole console(view, asker, interrupt);
    const ClockApi& clock = *m_linkApis.clock;
    std::function<void(int)> pause = m_env.pause;
    if (!pause)
        pause = [&interrupt](int milliseconds) { interrupt.WaitForStop(static_cast<DWORD>(milliseconds)); };
    const BatchEnvironment environment{run, clock, pause, LocalHistoryTime, console};
    BatchMode mode;
    mode.port = m_args.port;
    // Paths made whole as a single run's are.
    mode.folderMode = !m_args.folder.IsEmpty();
    mode.location = FullPath(mode.folderMode ? m_args.folder : m_args.file);
    mode.count = m_args.count;
    mode.run = RunMode();
    CRadioBatch batch(environment, mode);
    console.afterRow = [this, &batch, &journal] {
        SayWarnings(journal);
        WriteBatchReport(batch);
    };
    const BatchEnding end = batch.Run();
    view.EndStatus();
    const CliEnding ending = BatchEndingOf(end, batch.Summary());
    // The last row is written, and the trace's outcome: a closing console
    // may go.
    EndTrace(ending);
    interrupt.Finished();

    // Also a batch that ended before its first radio has its report.
    WriteBatchReport(batch);
    if (!m_args.json)
        Print(m_api, m_env.out, "%s\n", BatchSummaryLine(batch.Summary(), *m_texts).GetString());
    SayWarnings(journal);
    for (const BatchRow& row : batch.Rows())
        m_report.rows.push_back(BatchRowJson(row));
    m_report.summary = BatchSummaryJson(batch.Summary());
    m_report.message = asker.Message().IsEmpty() ? m_boxes.LastText() : asker.Message();
    return ending;
}

void CConsoleTool::WriteBatchReport(const CRadioBatch& batch)
{
    if (m_args.report.IsEmpty())
        return;
    const std::string bytes =
        m_args.json ? BatchReportJson(batch.Rows(), batch.Summary()) : BatchReportCsv(batch.Rows()).str();
    const DWORD error = WriteFileReplacing(m_args.report, bytes);
    const CString reason = error == ERROR_SUCCESS
                               ? CString()
                               : m_args.report + ": " + SystemText(error, SystemTextForms::kWarning);
    if (error == ERROR_SUCCESS) {
        m_reportError.Empty();
        return;
    }
    if (reason == m_reportError)
        return;
    m_reportError = reason;
    Say(FillText(Text(TextNo::kCliBatchReportFailed), {reason}));
    m_report.warnings.push_back(reason);
}

UpgradeResult CConsoleTool::RunCommand(CRadioCom& link, CConsoleAsker& asker, CUpgradeJournal& journal,
                                       CStepObserver& steps, const HistoryRow* row)
{
    OptionFileParts parts(*m_texts);
    CUpgradeRun run(RunEnvironment(link, asker, journal, steps, parts), RunMode());
    switch (m_args.command) {
    case CliCommand::Identify:
        return run.Identify(m_args.port);
    case CliCommand::Upgrade: {
        const UpgradeResult result = Upgrade(run);
        SayFiles(result, parts.files);
        return result;
    }
    default:
        return Restore(run, row);
    }
}

void CConsoleTool::SayFiles(const UpgradeResult& result, const CReadOptionFiles& files)
{
    if (!result.identityRead)
        return;
    const unsigned char* model = result.identity.data() + IdentityBlock::kModelName;
    for (const CReadOptionFiles::File& file : files.headers) {
        const COptionFileView view(file.bytes);
        const OptionFileShape shape = JudgeOptionFileShape(view);
        if (shape != OptionFileShape::OptionFile) {
            Say("left out " + file.path + ": not an option file: " + ShapeReason(shape, file.bytes.size()));
        } else if (!view.IsForModel(model)) {
            Say("left out " + file.path + ": made for " +
                FieldText(view.Header() + OptionFile::kModelName, kModelNameSize) + ", the transceiver is " +
                HistoryModelName(result.identity.data()));
        }
    }
    if (result.outcome != UpgradeOutcome::VersionRequired)
        return;
    // The file the version test turned down: the first whole read whose
    // header requires more than the transceiver has.
    for (const CReadOptionFiles::File& file : files.whole) {
        const COptionFileView view(file.bytes);
        if (!view.HasHeader() || VersionTest(view.Header(), result.version) != kVersionRequired)
            continue;
        // In a folder only the files selected for the record had the test.
        if (!m_args.folder.IsEmpty() && !SelectsRecord(view, result.recordBefore.data()))
            continue;
        Say(file.path + " needs transceiver version " +
            FieldText(view.Header() + OptionFile::kMinVersion, OptionFile::kMinVersionSize) +
            " or newer; the transceiver has " + result.version);
        return;
    }
}

CliEnding CConsoleTool::Conclude(const UpgradeResult& result, bool stopAsked, const HistoryRow& row,
                                 const CRadioCom& link)
{
    CliEnding ending = OutcomeRowOf(result.outcome).ending;
    if (stopAsked && RunResult(result.outcome) != 0 && result.outcome != UpgradeOutcome::Interrupted &&
        result.outcome != UpgradeOutcome::VerifyFailed) {
        // Stopped after the write frame had begun, or the run ended
        // otherwise meanwhile: the transceiver did not take the record. (A
        // record read back as another one was taken: that stays its own
        // ending.)
        Say(FillText(Text(TextNo::kCliInterruptedAfter), {CString(ending.word)}));
        ending = OutcomeRowOf(UpgradeOutcome::Interrupted).ending;
    } else if (result.outcome == UpgradeOutcome::Interrupted) {
        Say(Text(TextNo::kCliInterruptedNothingWritten));
    }
    if (result.outcome == UpgradeOutcome::HistoryUnavailable)
        Say(Text(TextNo::kCliHistoryNotKept));
    if (result.outcome == UpgradeOutcome::OtherTransceiver) {
        const CString model = HistoryModelName(result.identity.data());
        const CString identity = IdentityWithText(result.identity.data());
        CString reason;
        switch (result.recordFit) {
        case RecordFit::OtherModel:
            reason = FillText(Text(TextNo::kCliRestoreOtherModel),
                              {RecordModelName(result.recordAfter.data()), model, identity});
            break;
        case RecordFit::Blank:
            reason = FillText(Text(TextNo::kCliRestoreBlank), {HexLower(result.recordAfter.data(), 1)});
            break;
        case RecordFit::Fits:
            reason = FillText(Text(TextNo::kCliRestoreRefused),
                              {model, identity, Number(m_args.entry), row.model,
                               RowIdentityText(row.identity).IsEmpty()
                                   ? row.identity
                                   : row.identity + " (" + RowIdentityText(row.identity) + ")"});
            break;
        }
        ending = Fail(ending, reason);
    }
    if (result.outcome == UpgradeOutcome::PortNotOpened) {
        // After the language text, which cannot know it: the system's reason.
        m_report.portError = PortErrorText(link.GetOpenError());
        const CString reason = PortErrorText(link.GetOpenError(), m_texts);
        Say(FillText(Text(TextNo::kCliPortNotOpened), {Number(m_args.port), reason}));
    }
    return ending;
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

// The command a usage error's --json object names: the first argument when
// it is one, in any case.
const char* CommandWord(const std::vector<std::string>& arguments)
{
    for (CliCommand command : {CliCommand::Ports, CliCommand::Identify, CliCommand::Upgrade,
                               CliCommand::Restore, CliCommand::History, CliCommand::Support}) {
        if (!arguments.empty() && lstrcmpiA(arguments[0].c_str(), CliCommandName(command)) == 0)
            return CliCommandName(command);
    }
    return "";
}

} // namespace

namespace {

// The language texts for what is said before a command runs (the help, a
// usage error): &texts loaded, null (English) without them. The box of a
// missing file is held back: the help or the usage error is what is said.
CLanguageTable* TryTexts(const ConsoleEnvironment& environment, const ConsoleApi& api, CLanguageTable& texts)
{
    CConsoleBoxes boxes(environment.err, api);
    boxes.Hold(true);
    return environment.openTexts && environment.openTexts(texts) ? &texts : nullptr;
}

// A usage error on stderr (the usage lines after it when there are no
// arguments, in the words of texts; null: English), and its --json object
// on stdout when the arguments ask for JSON: whatever else was wrong, a
// caller that asked for it gets it.
int UsageError(const std::vector<std::string>& arguments, const CString& error,
               const ConsoleEnvironment& environment, CLanguageTable* texts = nullptr)
{
    const ConsoleApi& api = environment.console ? *environment.console : PlatformConsoleApi();
    Print(api, environment.err, "%s: %s\n", kProgram, error.GetString());
    if (arguments.empty()) {
        Print(api, environment.err, "%s",
              texts ? texts->GetText(TextNo::kCliHelpUsage)
                    : CLanguageTable::BuiltInText(TextNo::kCliHelpUsage));
    }
    if (std::find(arguments.begin(), arguments.end(), "--json") != arguments.end()) {
        CJsonObject json;
        json.String("command", CommandWord(arguments))
            .Number("exit", kUsageEnding.exit)
            .String("outcome", kUsageEnding.word)
            .Null("port")
            .String("message", "")
            .StringList("warnings", {})
            .String("error", Utf8FromAnsi(error));
        Print(api, environment.out, "%s\n", json.Text().c_str());
    }
    std::fflush(environment.out);
    return kExitUsage;
}

} // namespace

int RunConsoleTool(const std::vector<std::wstring>& arguments, const ConsoleEnvironment& environment,
                   unsigned codePage)
{
    std::vector<std::string> ansi;
    std::string error;
    if (AnsiArguments(arguments, ansi, error, codePage))
        return RunConsoleTool(ansi, environment);
    // What the error's JSON needs of them (the command, --json) is ASCII.
    std::vector<std::string> ascii;
    for (const std::wstring& argument : arguments) {
        std::string text;
        for (wchar_t c : argument)
            text += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
        ascii.push_back(text);
    }
    return UsageError(ascii, CString(error), environment);
}

int RunConsoleTool(const std::vector<std::string>& arguments, const ConsoleEnvironment& environment)
{
    const ConsoleApi& api = environment.console ? *environment.console : PlatformConsoleApi();
    CliArgs args;
    CString error;
    if (!ParseCliArgs(arguments, args, error)) {
        // The reason in the language file's words once it is found wrong;
        // without the file in English.
        CLanguageTable texts;
        CLanguageTable* words = TryTexts(environment, api, texts);
        if (words)
            ParseCliArgs(arguments, args, error, words);
        return UsageError(arguments, error, environment, words);
    }
    switch (args.command) {
    case CliCommand::Help: {
        CLanguageTable texts;
        Print(api, environment.out, "%s", CliHelpFor(args.helpOn, TryTexts(environment, api, texts)).c_str());
        std::fflush(environment.out);
        return kExitDone;
    }
    case CliCommand::Version:
        Print(api, environment.out, "%s %s\n", kProgram, ORVELLE_VERSION);
        std::fflush(environment.out);
        return kExitDone;
    default:
        return CConsoleTool(args, arguments, environment).Run();
    }
}
