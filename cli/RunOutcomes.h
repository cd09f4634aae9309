// How each command of the console tool ends: one table keyed by the upgrade
// run's outcome gives the exit code, the --json outcome word and the word of
// the history's final row; the tool's own endings (usage error, language
// file, a listing) come beside it. The exit-code lines of --help are made
// from these tables; a batch (upgrade --each) ends by its summary
// (BatchEndingOf). Portable: no windows.h.
#pragma once

#include "cli/CliArgs.h"
#include "upgrade/RadioBatch.h"
#include "upgrade/UpgradeHistory.h"
#include "upgrade/UpgradeResult.h"
#include "text/LanguageTable.h"

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

// How a command ended: its exit code and its word in --json.
struct CliEnding {
    CliExit exit;
    const char* word;
};

// The endings that are not an upgrade run's outcome: a usage error, the
// language file missing or damaged, a listing, the history unreadable, the
// support file saved.
namespace CliWord {
constexpr const char* kUsage = "usage";
constexpr const char* kLanguageFile = "language-file";
constexpr const char* kListed = "listed";
// history: its file could not be read; a run: the record read could not be
// kept before the write.
constexpr const char* kHistoryUnavailable = OutcomeWord(UpgradeOutcome::HistoryUnavailable);
// upgrade --each: every radio written, unchanged or skipped as done; or
// some radio failed or was refused.
constexpr const char* kBatchDone = "done";
constexpr const char* kSomeFailed = "some-failed";
// support: the support file was written.
constexpr const char* kSaved = "saved";
} // namespace CliWord
constexpr CliEnding kUsageEnding = {kExitUsage, CliWord::kUsage};
constexpr CliEnding kLanguageFileEnding = {kExitLanguageFile, CliWord::kLanguageFile};
constexpr CliEnding kListedEnding = {kExitDone, CliWord::kListed}; // ports, history
constexpr CliEnding kHistoryUnreadableEnding = {kExitHistoryUnavailable, CliWord::kHistoryUnavailable};
constexpr CliEnding kBatchDoneEnding = {kExitDone, CliWord::kBatchDone};
constexpr CliEnding kSomeFailedEnding = {kExitSomeFailed, CliWord::kSomeFailed};
constexpr CliEnding kSavedEnding = {kExitDone, CliWord::kSaved};
// The tool's own endings, beside the run's outcomes.
constexpr CliEnding kToolEndings[] = {
    kUsageEnding,     kLanguageFileEnding, kListedEnding, kHistoryUnreadableEnding,
    kBatchDoneEnding, kSomeFailedEnding,   kSavedEnding};

struct OutcomeRow {
    UpgradeOutcome outcome;
    CliEnding ending;
    // The outcome of the final history row of a run that ends so, once it
    // has read the record (before that it appends no row at all); null: a
    // run that ends so never has.
    const char* historyWord;
};

// In the order of UpgradeOutcome.
constexpr OutcomeRow kOutcomeRows[] = {
    {UpgradeOutcome::Written, {kExitDone, OutcomeWord(UpgradeOutcome::Written)}, History::Outcome::kWritten},
    // The note is a warning: the record was written.
    {UpgradeOutcome::WrittenVersionNote,
     {kExitDone, OutcomeWord(UpgradeOutcome::WrittenVersionNote)},
     History::Outcome::kWritten},
    {UpgradeOutcome::Refused,
     {kExitRefused, OutcomeWord(UpgradeOutcome::Refused)},
     History::Outcome::kRefused},
    {UpgradeOutcome::LocationMissing,
     {kExitOptionFileMissing, OutcomeWord(UpgradeOutcome::LocationMissing)},
     nullptr},
    {UpgradeOutcome::PortNotOpened,
     {kExitPortNotOpened, OutcomeWord(UpgradeOutcome::PortNotOpened)},
     nullptr},
    // With the record read, only the write can fail.
    {UpgradeOutcome::LinkFailed,
     {kExitLinkFailed, OutcomeWord(UpgradeOutcome::LinkFailed)},
     History::Outcome::kFailed},
    {UpgradeOutcome::RefusedModel, {kExitRefusedModel, OutcomeWord(UpgradeOutcome::RefusedModel)}, nullptr},
    {UpgradeOutcome::NoOption,
     {kExitNoOption, OutcomeWord(UpgradeOutcome::NoOption)},
     History::Outcome::kNotUpgraded},
    {UpgradeOutcome::VersionRequired,
     {kExitVersionRequired, OutcomeWord(UpgradeOutcome::VersionRequired)},
     History::Outcome::kNotUpgraded},
    {UpgradeOutcome::FileUnreadable,
     {kExitOptionFileMissing, OutcomeWord(UpgradeOutcome::FileUnreadable)},
     History::Outcome::kNotUpgraded},
    {UpgradeOutcome::Identified,
     {kExitDone, OutcomeWord(UpgradeOutcome::Identified)},
     History::Outcome::kRead},
    {UpgradeOutcome::OtherTransceiver,
     {kExitOtherTransceiver, OutcomeWord(UpgradeOutcome::OtherTransceiver)},
     History::Outcome::kNotUpgraded},
    {UpgradeOutcome::Planned, {kExitDone, OutcomeWord(UpgradeOutcome::Planned)}, History::Outcome::kPlanned},
    {UpgradeOutcome::Unchanged,
     {kExitDone, OutcomeWord(UpgradeOutcome::Unchanged)},
     History::Outcome::kUnchanged},
    {UpgradeOutcome::VerifyFailed,
     {kExitVerifyFailed, OutcomeWord(UpgradeOutcome::VerifyFailed)},
     History::Outcome::kVerifyFailed},
    {UpgradeOutcome::Interrupted,
     {kExitInterrupted, OutcomeWord(UpgradeOutcome::Interrupted)},
     History::Outcome::kNotUpgraded},
    {UpgradeOutcome::HistoryUnavailable,
     {kExitHistoryUnavailable, OutcomeWord(UpgradeOutcome::HistoryUnavailable)},
     History::Outcome::kNotUpgraded},
};

constexpr bool OutcomeRowsInOrder()
{
    for (std::size_t i = 0; i < std::size(kOutcomeRows); ++i) {
        if (static_cast<std::size_t>(kOutcomeRows[i].outcome) != i)
            return false;
    }
    return std::size(kOutcomeRows) == static_cast<std::size_t>(UpgradeOutcome::HistoryUnavailable) + 1;
}
static_assert(OutcomeRowsInOrder(), "one row per outcome, in the order of UpgradeOutcome");

constexpr const OutcomeRow& OutcomeRowOf(UpgradeOutcome outcome)
{
    return kOutcomeRows[static_cast<std::size_t>(outcome)];
}

// What each exit code means, in --help: a language text (its English
// built in).
struct ExitCodeMeaning {
    CliExit exit;
    int meaning;
};
constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {kExitDone, TextNo::kCliExitDoneMeaning},
    {kExitRefused, TextNo::kCliExitRefusedMeaning},
    {kExitUsage, TextNo::kCliExitUsageMeaning},
    {kExitPortNotOpened, TextNo::kCliExitPortNotOpenedMeaning},
    {kExitLinkFailed, TextNo::kCliExitLinkFailedMeaning},
    {kExitRefusedModel, TextNo::kCliExitRefusedModelMeaning},
    {kExitNoOption, TextNo::kCliExitNoOptionMeaning},
    {kExitVersionRequired, TextNo::kCliExitVersionRequiredMeaning},
    {kExitOptionFileMissing, TextNo::kCliExitOptionFileMissingMeaning},
    {kExitOtherTransceiver, TextNo::kCliExitOtherTransceiverMeaning},
    {kExitLanguageFile, TextNo::kCliExitLanguageFileMeaning},
    {kExitInterrupted, TextNo::kCliExitInterruptedMeaning},
    {kExitHistoryUnavailable, TextNo::kCliExitHistoryUnavailableMeaning},
    {kExitVerifyFailed, TextNo::kCliExitVerifyFailedMeaning},
    {kExitSomeFailed, TextNo::kCliExitSomeFailedMeaning},
};

// How a batch ends: the history that could not keep a record and a folder
// or file gone end it as they end a single run; otherwise a radio that
// failed or was refused makes it some-failed, a stop with none interrupted.
CliEnding BatchEndingOf(BatchEnding ending, const BatchSummary& summary);

// The --json outcome words an exit code comes with, each once, the run's in
// the order of its outcomes, then the tool's own.
std::vector<std::string> OutcomeWordsOf(CliExit exit);

// The "Exit codes" part of --help: a heading, then per code its number and
// meaning, in the words of texts (null: the built-in English), and below
// them "outcome: " (the --json key) and its --json outcome words. only: the
// codes to list (a command's help); empty: every code.
std::string ExitCodeHelpLines(const std::vector<CliExit>& only = {}, CLanguageTable* texts = nullptr);
