#include "upgrade/RadioBatch.h"

#include "framework/Hex.h"
#include "link/CommApi.h"
#include "link/StepObserver.h"
#include "text/Csv.h"
#include "upgrade/UpgradeHistory.h"

#include <cstring>

// Stands between the run and the program's asker for one run at a time. A
// connection attempt that finds no transceiver, or no port, is the loop
// waiting, not a failure: nobody is asked, and the run ends at once. Once a
// transceiver has answered, its retry questions and the history question are
// the program's; the outcome message and the note go into the radio's row.
class CRadioBatch::CBatchAsker : public CRunAsker, public CStepObserver {
public:
    CBatchAsker(CRunAsker& program, CStepObserver* steps, CBatchObserver& observer, int port)
        : m_program(program), m_steps(steps), m_observer(observer), m_port(port)
    {
    }

    // Before each run.
    void Begin()
    {
        m_answered = false;
        m_noRadio = false;
        m_portMissing = false;
        m_message.Empty();
    }
    // The run found nobody to upgrade: the port is missing, or nothing
    // entered programming mode.
    bool NoRadio() const { return !m_answered && (m_noRadio || m_portMissing); }
    bool PortMissing() const { return m_portMissing; }
    const CString& Message() const { return m_message; }
    // The outcome message of a run that ended before it touched the port
    // (the location is gone), for the program to show.
    void TellProgram(CWnd* owner) const { m_program.TellOutcome(owner, m_kind, m_message, m_caption); }

    LinkAnswer AskRetry(CWnd* owner, LinkStep step, const CString& text, const CString& caption) override
    {
        if (!m_answered && step == LinkStep::Connect) {
            m_noRadio = true;
            return LinkAnswer::Cancel;
        }
        return m_program.AskRetry(owner, step, text, caption);
    }
    void PortNotOpened(CWnd* owner, const CString& text, const CString& caption) override
    {
        if (!m_answered) {
            m_portMissing = true;
            return;
        }
        // The port of a verify's second connection: the radio's failure.
        m_program.PortNotOpened(owner, text, caption);
    }
    void TellOutcome(CWnd*, RunMessageKind kind, const CString& text, const CString& caption) override
    {
        m_kind = kind;
        m_message = text;
        m_caption = caption;
    }
    void TellNote(CWnd*, const CString& text, const CString&) override
    {
        m_message = m_message.IsEmpty() ? text : m_message + "\n" + text;
    }
    bool WriteWithoutHistory(CWnd* owner, const CString& reason, const CString& question,
                             const CString& caption) override
    {
        return m_program.WriteWithoutHistory(owner, reason, question, caption);
    }

    void Step(const char* name) override
    {
        if (!m_answered && std::strcmp(name, kIdentityStep) == 0) {
            m_answered = true;
            m_observer.Status(BatchState::Upgrading, m_port, 0);
        }
        if (m_steps)
            m_steps->Step(name);
    }

private:
    CRunAsker& m_program;
    CStepObserver* m_steps;
    CBatchObserver& m_observer;
    int m_port;
    bool m_answered = false;
    bool m_noRadio = false;
    bool m_portMissing = false;
    RunMessageKind m_kind = RunMessageKind::Error;
    CString m_message;
    CString m_caption;
};

BatchVerdict BatchVerdictOf(const UpgradeResult& result)
{
    switch (result.outcome) {
    case UpgradeOutcome::Written:
    case UpgradeOutcome::WrittenVersionNote:
        return BatchVerdict::Written;
    case UpgradeOutcome::Unchanged:
        return BatchVerdict::Unchanged;
    case UpgradeOutcome::RefusedModel:
        return BatchVerdict::Refused;
    case UpgradeOutcome::OtherTransceiver:
        return BatchVerdict::SkippedAsDone;
    case UpgradeOutcome::Interrupted:
        return BatchVerdict::Stopped;
    default:
        return BatchVerdict::Failed;
    }
}

bool CRadioBatch::StopAsked() const
{
    return m_env.run.stopRequested && m_env.run.stopRequested();
}

std::uint64_t CRadioBatch::NowMs() const
{
    LARGE_INTEGER count = {};
    LARGE_INTEGER frequency = {};
    if (!m_env.clock.QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !m_env.clock.QueryPerformanceCounter(&count))
        return 0;
    const auto ticks = static_cast<std::uint64_t>(count.QuadPart);
    const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
    return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

void CRadioBatch::PauseUntilNextAttempt(std::uint64_t started, BatchState state, std::uint64_t since)
{
    int toldSeconds = -1;
    // An attempt that took longer than the interval still gets a pause of
    // none at all: the dialog's window answers between any two attempts.
    bool paused = false;
    for (;;) {
        const std::uint64_t now = NowMs();
        const int seconds = static_cast<int>((now - since) / 1000);
        if (seconds != toldSeconds) {
            m_env.observer.Status(state, m_mode.port, seconds);
            toldSeconds = seconds;
        }
        if (StopAsked())
            return;
        if (now >= started + kAttemptIntervalMs) {
            if (!paused)
                m_env.pause(0);
            return;
        }
        paused = true;
        // Never longer than to the next whole second, so the status keeps up.
        const std::uint64_t nextSecond = since + (static_cast<std::uint64_t>(seconds) + 1) * 1000;
        const std::uint64_t until = std::min(started + kAttemptIntervalMs, nextSecond);
        m_env.pause(static_cast<int>(until - now));
    }
}

UpgradeResult CRadioBatch::RunOnce(CBatchAsker& asker)
{
    // The program's environment with the loop's asker and step observer
    // in its place (the environment holds references: made anew).
    const UpgradeEnvironment& program = m_env.run;
    const UpgradeEnvironment environment{
        program.link,    program.texts,         asker,  program.owner,        program.dataFile, program.files,
        program.journal, program.stopRequested, &asker, program.portMovedText};
    UpgradeRunMode mode = m_mode.run;
    mode.preview = false;
    mode.wanted = [this](const unsigned char* identity) {
        std::array<unsigned char, IdentityBlock::kSize> block{};
        std::copy(identity, identity + IdentityBlock::kSize, block.begin());
        return m_done.count(block) == 0;
    };
    CUpgradeRun run(environment, mode);
    return m_mode.folderMode ? run.UpgradeFromFolder(m_mode.port, m_mode.location)
                             : run.UpgradeFromFile(m_mode.port, m_mode.location);
}

bool CRadioBatch::NextRadio(UpgradeResult& result, CString& message, BatchEnding& ending)
{
    CBatchAsker asker(m_env.run.asker, m_env.run.steps, m_env.observer, m_mode.port);
    BatchState state = BatchState::WaitingForRadio;
    std::uint64_t since = NowMs();
    for (;;) {
        if (StopAsked()) {
            ending = BatchEnding::StopAsked;
            return false;
        }
        const std::uint64_t started = NowMs();
        asker.Begin();
        result = RunOnce(asker);
        message = asker.Message();
        if (result.outcome == UpgradeOutcome::LocationMissing) {
            asker.TellProgram(m_env.run.owner);
            ending = BatchEnding::LocationMissing;
            return false;
        }
        if (result.outcome == UpgradeOutcome::Interrupted && !result.identityRead) {
            ending = BatchEnding::StopAsked;
            return false;
        }
        if (!asker.NoRadio())
            return true;
        const BatchState now = asker.PortMissing() ? BatchState::PortMissing : BatchState::WaitingForRadio;
        if (now != state) {
            state = now;
            since = NowMs();
        }
        PauseUntilNextAttempt(started, state, since);
    }
}

bool CRadioBatch::WaitUntilGone(const UpgradeResult& radio)
{
    CUpgradeRun run(m_env.run);
    const std::uint64_t since = NowMs();
    int misses = 0;
    for (;;) {
        if (StopAsked())
            return false;
        const std::uint64_t started = NowMs();
        UpgradeResult answer;
        misses = run.Answers(m_mode.port, answer) ? 0 : misses + 1;
        if (misses >= kGoneAfterMisses)
            return true;
        // Another radio in its place: swapped faster than two attempts.
        if (answer.identityRead && radio.identityRead && answer.identity != radio.identity)
            return true;
        PauseUntilNextAttempt(started, BatchState::RemoveRadio, since);
    }
}

void CRadioBatch::AddRow(const UpgradeResult& result, const CString& message, BatchVerdict verdict)
{
    BatchRow row;
    row.number = static_cast<int>(m_rows.size()) + 1;
    if (m_env.now)
        row.time = FormatHistoryTime(m_env.now());
    row.port = m_mode.port;
    row.verdict = verdict;
    row.result = result;
    row.message = message;
    switch (verdict) {
    case BatchVerdict::Written:
        ++m_summary.written;
        break;
    case BatchVerdict::Unchanged:
        ++m_summary.unchanged;
        break;
    case BatchVerdict::Failed:
        ++m_summary.failed;
        break;
    case BatchVerdict::Refused:
        ++m_summary.refused;
        break;
    case BatchVerdict::SkippedAsDone:
        ++m_summary.skippedAsDone;
        break;
    case BatchVerdict::Stopped:
        ++m_summary.stopped;
        break;
    }
    if ((verdict == BatchVerdict::Written || verdict == BatchVerdict::Unchanged) && result.identityRead)
        m_done.insert(result.identity);
    m_rows.push_back(row);
    m_env.observer.RadioDone(m_rows.back());
}

BatchEnding CRadioBatch::Run()
{
    for (;;) {
        if (m_mode.count > 0 && static_cast<int>(m_rows.size()) >= m_mode.count)
            return BatchEnding::Counted;
        UpgradeResult result;
        CString message;
        BatchEnding ending = BatchEnding::StopAsked;
        if (!NextRadio(result, message, ending))
            return ending;
        const BatchVerdict verdict = BatchVerdictOf(result);
        AddRow(result, message, verdict);
        if (result.outcome == UpgradeOutcome::HistoryUnavailable)
            return BatchEnding::HistoryUnavailable;
        if (verdict == BatchVerdict::Stopped || StopAsked())
            return BatchEnding::StopAsked;
        // The last radio's row ends the batch: nobody waits for it to go.
        if (m_mode.count > 0 && static_cast<int>(m_rows.size()) >= m_mode.count)
            return BatchEnding::Counted;
        if (!WaitUntilGone(result))
            return BatchEnding::StopAsked;
    }
}

const char* BatchRowOutcomeWord(const BatchRow& row)
{
    return row.verdict == BatchVerdict::SkippedAsDone ? kSkippedAsDoneWord : OutcomeWord(row.result.outcome);
}

std::array<CString, kBatchReportColumnCount> BatchReportValues(const BatchRow& row)
{
    const UpgradeResult& result = row.result;
    CString number, port;
    number.Format("%d", row.number);
    port.Format("%d", row.port);
    const bool identity = result.identityRead;
    const bool planned = result.recordPlanned && row.verdict != BatchVerdict::SkippedAsDone;
    return {
        number,
        row.time,
        port,
        identity ? HistoryModelName(result.identity.data()) : CString(),
        identity ? HexLower(result.identity.data(), result.identity.size()) : CString(),
        identity ? PrintableIdentity(result.identity.data()) : CString(),
        result.recordRead ? result.version : CString(),
        result.recordRead ? HexLower(result.recordBefore.data(), result.recordBefore.size()) : CString(),
        planned ? HexLower(result.recordAfter.data(), result.recordAfter.size()) : CString(),
        planned ? JoinHistorySources(result.sources) : CString(),
        BatchRowOutcomeWord(row),
        result.readBack ? (result.verified ? "yes" : "no") : "",
    };
}

CString BatchReportCsv(const std::vector<BatchRow>& rows)
{
    using History::Column;
    // The history's own guard against a spreadsheet for the columns both
    // have (the identity text as a model name is); the others are numbers
    // and words of this program's.
    constexpr int kPlain = -1;
    constexpr int kGuards[] = {
        kPlain,
        kPlain,
        kPlain,
        History::kModel,
        History::kIdentity,
        History::kModel,
        History::kVersion,
        History::kRecordBefore,
        History::kRecordAfter,
        History::kSources,
        kPlain,
        kPlain,
    };
    static_assert(sizeof(kGuards) / sizeof(kGuards[0]) == kBatchReportColumnCount, "one guard per column");
    CString text;
    for (std::size_t i = 0; i < kBatchReportColumnCount; ++i)
        text += CString(kBatchReportColumns[i]) + (i + 1 < kBatchReportColumnCount ? "," : "");
    text += History::kLineEnd;
    for (const BatchRow& row : rows) {
        const auto values = BatchReportValues(row);
        for (std::size_t i = 0; i < kBatchReportColumnCount; ++i) {
            const CString value = kGuards[i] == kPlain
                                      ? values[i]
                                      : HistoryFieldToFile(static_cast<Column>(kGuards[i]), values[i]);
            text += QuoteCsvField(value) + (i + 1 < kBatchReportColumnCount ? "," : "");
        }
        text += History::kLineEnd;
    }
    return text;
}
