// The upgrade run's report of its exchange with the transceiver, for whoever
// keeps a record of it (the upgrade history). The run calls it; it never
// changes what the run does. Portable: no windows.h.
#pragma once

#include "framework/CString.h"

#include <vector>

// What an upgrade, identify or restore run tells about its exchange with the transceiver.
class CUpgradeJournal {
public:
    virtual ~CUpgradeJournal() = default;

    // The transceiver's identity block (32 bytes), version text and option
    // record (50 bytes) were read. Starts a new run's report.
    virtual void RecordRead(const unsigned char* identity, const CString& version,
                            const unsigned char* record) = 0;

    // The record is about to be written; `sources` are what it came from
    // (option file paths, or "restore:K"). Called before the first byte of
    // the write frame; an implementation makes its row durable here.
    virtual void BeforeWrite(const unsigned char* record, const std::vector<CString>& sources) = 0;

    // The write ended: accepted, refused (NAK), or failed (link failure or
    // the user cancelled).
    enum class WriteResult { Written, Refused, Failed };
    virtual void WriteEnded(WriteResult result) = 0;

    // The option logic stopped the run after the record was read; nothing is
    // written.
    virtual void NotUpgraded() = 0;

    // identify: the record was read and nothing else follows.
    virtual void Identified() = 0;
};
