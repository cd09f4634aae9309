// The upgrade run's report of its exchange with the transceiver, for whoever
// keeps a record of it (the upgrade history). The run calls it at each step,
// handing over its result as far as it got. Its one say in what the run does
// is BeforeWrite's answer. Portable: no windows.h.
#pragma once

class CString;
struct UpgradeResult;

// What an upgrade, identify or restore run tells about its exchange with the transceiver.
class CUpgradeJournal {
public:
    virtual ~CUpgradeJournal() = default;

    // The transceiver's identity block, version text and option record were
    // read (result.recordRead). Starts a new run's report.
    virtual void RecordRead(const UpgradeResult& result) = 0;

    // The record is about to be written: result.recordAfter and its
    // result.sources. Called before the first byte of the write frame; an
    // implementation makes its row durable here. False, with why in
    // `reason`, when the record read could not be kept: the run then asks
    // before it writes, and tells NotUpgraded() when it does not.
    virtual bool BeforeWrite(const UpgradeResult& result, CString& reason) = 0;

    // The write ended: accepted, refused (NAK), or failed (link failure or
    // the user cancelled).
    enum class WriteResult { Written, Refused, Failed };
    virtual void WriteEnded(WriteResult result) = 0;

    // The write failed: its frame went unanswered, and the record read back
    // after it (result.recordReadBack) is neither result.recordAfter nor
    // result.recordBefore. Reported here instead of WriteEnded; one that
    // keeps no records says Failed.
    virtual void WriteFoundOther(const UpgradeResult& result)
    {
        (void)result;
        WriteEnded(WriteResult::Failed);
    }

    // The run stopped after the record was read (the option logic, another
    // transceiver, the user); nothing is written.
    virtual void NotUpgraded() = 0;

    // identify: the record was read and nothing else follows.
    virtual void Identified() = 0;

    // The run stopped before the write by choice (result.outcome Planned for
    // a preview, Unchanged for a merge that changes no byte); nothing is
    // written. result.recordAfter and result.sources: what would have been.
    virtual void NotWritten(const UpgradeResult& result) = 0;

    // A verified write ended: the transceiver accepted the record (the write
    // is reported here instead of WriteEnded), and reading it back found it
    // (result.verified) or did not: result.recordReadBack when
    // result.readBack, nothing when the link failed first.
    virtual void Verified(const UpgradeResult& result) = 0;
};
