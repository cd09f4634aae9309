// What an upgrade, identify or restore run did: how it ended, and every fact
// it learnt or wrote on the way, each filled as far as the run got. The main
// dialog, the console tool and the history all read it. Portable: no
// windows.h.
#pragma once

#include "framework/CString.h"
#include "upgrade/OptionFormat.h"

#include <array>
#include <vector>

// How a run ended, each with the message it showed (language text numbers).
enum class UpgradeOutcome {
    Written,            // the transceiver accepted the record (37)
    WrittenVersionNote, // accepted; a newer transceiver version is recommended (37, then 40)
    Refused,            // the transceiver answered the record with NAK (38)
    LocationMissing,    // the mode's folder holds no option file, or its file is missing (35, 36);
                        // no port was touched
    PortNotOpened,      // the session's message (43)
    LinkFailed,         // a session failed and the user gave up (44)
    RefusedModel,       // a model this program must not upgrade (45)
    NoOption,           // nothing for this transceiver, or File mode: another model (46)
    VersionRequired,    // an option file needs a newer transceiver version (39)
    FileUnreadable,     // File mode: the file utility has shown its own error
    Identified,         // identify: everything read, nothing written; no message
    OtherTransceiver,   // restore: not the transceiver the record is for (recordFit says
                        // when the record names another model or is blank); an upgrade:
                        // a transceiver its mode does not want (one done already);
                        // nothing written, no message (the caller explains whose it is)
    Planned,            // preview: read and merged as for a write, nothing written; no message
    Unchanged,          // the merge changes no byte of the record: nothing written (a preview,
                        // or a run that skips such a write); no message
    VerifyFailed,       // accepted, but the record read back is not the one written, another
                        // transceiver answered (101), or the link failed while reading it back
                        // (the session's message)
    Interrupted,        // the caller asked the run to stop before the write; nothing
                        // written, no message
    HistoryUnavailable, // the history could not keep the record read, and the user
                        // chose not to write without it (110); nothing written
};

// Each outcome's word, in the console tool's --json and the batch report,
// in the order of UpgradeOutcome.
constexpr const char* kOutcomeWords[] = {
    "written",
    "written",
    "refused",
    "file-missing",
    "port-not-opened",
    "link-failed",
    "refused-model",
    "no-option",
    "version-required",
    "file-unreadable",
    "identified",
    "other-transceiver",
    "planned",
    "unchanged",
    "verify-failed",
    "interrupted",
    "history-unavailable",
};
static_assert(sizeof(kOutcomeWords) / sizeof(kOutcomeWords[0]) ==
                  static_cast<unsigned>(UpgradeOutcome::HistoryUnavailable) + 1,
              "one word per outcome");
constexpr const char* OutcomeWord(UpgradeOutcome outcome)
{
    return kOutcomeWords[static_cast<unsigned>(outcome)];
}

// 0 when the run did its job (the transceiver accepted the record, was
// identified, or a preview or skipped write found what would be written), 1
// on every other way out.
int RunResult(UpgradeOutcome outcome);

struct UpgradeResult {
    UpgradeOutcome outcome = UpgradeOutcome::LinkFailed;

    // The identity block, once read.
    bool identityRead = false;
    std::array<unsigned char, IdentityBlock::kSize> identity{};

    // The version text and the option record as the transceiver held it,
    // once both were read.
    bool recordRead = false;
    CString version;
    std::array<unsigned char, OptionRecord::kSize> recordBefore{};

    // Folder runs: the folder's option files for the transceiver's model,
    // once collected.
    bool optionFilesCollected = false;
    std::vector<CString> optionFiles;

    // The record for the transceiver and what it came from (option file
    // paths, or "restore:K"), once known (recordPlanned); writeTried once a
    // write of it was begun. versionNote: the merge came with the advisory
    // note that a newer transceiver version is recommended.
    // Restore: whether the record given fits the transceiver read (its model,
    // not blank); the record given is in recordAfter once this is known.
    RecordFit recordFit = RecordFit::Fits;
    bool recordPlanned = false;
    bool writeTried = false;
    bool versionNote = false;
    std::array<unsigned char, OptionRecord::kSize> recordAfter{};
    std::vector<CString> sources;

    // A verified write: the identity and record the second connection read,
    // once both were read (readBack), and whether they were the written
    // record of the same transceiver. A write frame that failed before its
    // answer and then found a record that is neither the one written nor the
    // one before (LinkFailed): that record in recordReadBack, readBack false.
    bool readBack = false;
    bool verified = false;
    // The caller asked to stop during the read-back: written, but not
    // checked unless the record had come back already (readBack).
    bool verifyStopped = false;
    std::array<unsigned char, IdentityBlock::kSize> identityReadBack{};
    std::array<unsigned char, OptionRecord::kSize> recordReadBack{};
};
