// Radio after radio: one upgrade after another on one port, for a fleet of
// transceivers plugged in one at a time. The loop waits for a transceiver to
// answer, upgrades it with the very run the Upgrade button makes (same
// refusals, option logic, version rule, history rows, verify and skip
// settings), gives it one row, and waits for it to go before it waits for
// the next. Both programs run it; each answers its questions, shows its
// status and rows, and supplies the pause between connection attempts
// (the dialog pumps its messages there, the console tool watches for
// Ctrl+C).
#pragma once

#include "framework/CString.h"
#include "upgrade/UpgradeResult.h"
#include "upgrade/UpgradeRun.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <vector>

struct ClockApi;
struct HistoryTime;

// How a radio of the batch ended, as the summary counts it.
enum class BatchVerdict {
    Written,       // the record was written (and read back, where asked)
    Unchanged,     // it already had every option: nothing to write
    Failed,        // no option, a NAK, a link failure, a failed verify ...
    Refused,       // a model this program must not upgrade
    SkippedAsDone, // its identity block was done earlier in this batch
    Stopped,       // the user stopped the batch during this radio
};

// One radio of the batch.
struct BatchRow {
    int number = 0; // 1, 2, ... in the order the radios came
    CString time;   // when its line was made, as the history writes times
    int port = 0;
    BatchVerdict verdict = BatchVerdict::Failed;
    // The single run's result: identity, version, records, sources,
    // outcome, verified. A radio skipped as done has only its identity.
    UpgradeResult result;
    // The message the run would have shown (the outcome message, and the
    // advisory note after it), for a row that needs to say more than its
    // outcome; empty when it showed none.
    CString message;
};

struct BatchSummary {
    int written = 0;
    int unchanged = 0;
    int failed = 0;
    int refused = 0;
    int skippedAsDone = 0;
    int stopped = 0;
    int Total() const { return written + unchanged + failed + refused + skippedAsDone + stopped; }
};

// How the batch ended.
enum class BatchEnding {
    Counted,            // the number of radios asked for got their rows
    StopAsked,          // the user stopped it
    LocationMissing,    // the folder or file is gone: the run's warning was told
    HistoryUnavailable, // the history could not keep a record read; that radio's row says so
};

// What the loop shows while it runs.
enum class BatchState {
    WaitingForRadio, // no radio answers yet on the port
    PortMissing,     // ... and the port cannot even be opened (a cable pulled)
    Upgrading,       // a radio answered: its run is on
    RemoveRadio,     // its row is made; waiting for it to go
};

class CBatchObserver {
public:
    virtual ~CBatchObserver() = default;
    // The state, and how long (whole seconds) the loop has been in it; told
    // on each change and then about once a second while it waits.
    virtual void Status(BatchState state, int port, int seconds) = 0;
    // A radio's row is complete.
    virtual void RadioDone(const BatchRow& row) = 0;
};

struct BatchEnvironment {
    // The single run's environment. Its asker is the program's: the loop
    // hands it the retry questions of a radio that answered, and the history
    // question; the outcome messages go into the rows instead.
    UpgradeEnvironment run;
    // The loop's sense of time: the performance counter.
    const ClockApi& clock;
    // Waits about this many milliseconds, or less once a stop is asked for;
    // the dialog pumps its messages here, the console tool waits on Ctrl+C.
    std::function<void(int milliseconds)> pause;
    // The time for a row, as the history writes it.
    std::function<HistoryTime()> now;
    CBatchObserver& observer;
};

struct BatchMode {
    int port = 0;
    bool folderMode = true;
    CString location; // the folder or the option file, whole
    // 0: until stopped. Otherwise the loop ends after this many rows (every
    // row counts, a radio skipped as done too).
    int count = 0;
    UpgradeRunMode run; // verify and skip-unchanged; never preview
};

class CRadioBatch {
public:
    // About once a second a connection is tried while the loop waits.
    static constexpr int kAttemptIntervalMs = 1000;
    // A radio has gone once this many connection attempts in a row have
    // gone unanswered (one may just have been slow), or at once when an
    // attempt finds another identity block: swapped between two attempts.
    static constexpr int kGoneAfterMisses = 2;

    CRadioBatch(const BatchEnvironment& environment, const BatchMode& mode) : m_env(environment), m_mode(mode)
    {
    }

    // Runs the batch to its end; the rows were told to the observer as they
    // were made.
    BatchEnding Run();

    const std::vector<BatchRow>& Rows() const { return m_rows; }
    const BatchSummary& Summary() const { return m_summary; }

private:
    class CBatchAsker;

    // True once the user has asked to stop.
    bool StopAsked() const;
    // Milliseconds on the loop's clock.
    std::uint64_t NowMs() const;
    // Waits until a radio answers; false when stopped first.
    // result: the run made on the radio that answered.
    bool NextRadio(UpgradeResult& result, CString& message, BatchEnding& ending);
    // Waits until the radio has gone (or another one answers in its
    // place); false when stopped first.
    bool WaitUntilGone(const UpgradeResult& radio);
    // One upgrade run; every connection attempt is one.
    UpgradeResult RunOnce(CBatchAsker& asker);
    // The row of a finished radio, told to the observer.
    void AddRow(const UpgradeResult& result, const CString& message, BatchVerdict verdict);
    // Pauses until about kAttemptIntervalMs after started, telling the state.
    void PauseUntilNextAttempt(std::uint64_t started, BatchState state, std::uint64_t since);

    BatchEnvironment m_env;
    BatchMode m_mode;
    std::vector<BatchRow> m_rows;
    BatchSummary m_summary;
    // Identity blocks done in this batch.
    std::set<std::array<unsigned char, IdentityBlock::kSize>> m_done;
};

// What the summary counts a finished run as.
BatchVerdict BatchVerdictOf(const UpgradeResult& result);

// A row's outcome word: the run's (as --json has it), or this one for a
// radio skipped as done.
constexpr const char* kSkippedAsDoneWord = "skipped-as-done";
const char* BatchRowOutcomeWord(const BatchRow& row);

// The report's columns, in order. identity_text is PrintableIdentity
// (upgrade/OptionFormat.h);
// verified is yes or no after a read-back, empty without one.
constexpr const char* kBatchReportColumns[] = {
    "number",  "time",          "port",         "model",   "identity", "identity_text",
    "version", "record_before", "record_after", "sources", "outcome",  "verified",
};
constexpr std::size_t kBatchReportColumnCount = sizeof(kBatchReportColumns) / sizeof(kBatchReportColumns[0]);

// A row's report fields, one per column, as plain text (empty where the
// radio told nothing); the CSV and the console tool's --json take them.
std::array<CString, kBatchReportColumnCount> BatchReportValues(const BatchRow& row);

// The batch report as CSV: a header line, then one line per row, quoted as
// the history quotes its fields; CR LF line ends.
CString BatchReportCsv(const std::vector<BatchRow>& rows);
