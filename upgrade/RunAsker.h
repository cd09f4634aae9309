// What the upgrade run asks and tells its user, beyond the link's retry and
// port questions: the outcome message (and the note that may follow it), and
// whether to write without a history entry. ORVELLE.exe answers with message
// boxes, orvelle-cli by its options; the run itself shows nothing. Portable:
// no windows.h.
#pragma once

#include "link/LinkAsker.h"

class CString;
class CWnd;

// How a message is to be taken.
enum class RunMessageKind { Error, Warning, Information };

class CRunAsker : public CLinkAsker {
public:
    // The run's outcome message (or, on the way, one that ends it: a missing
    // location, a refused model, a failed verification); text and caption
    // are language texts, owner the window it belongs to (may be null).
    virtual void TellOutcome(CWnd* owner, RunMessageKind kind, const CString& text,
                             const CString& caption) = 0;

    // The advisory note that follows an accepted write's outcome message (a
    // newer transceiver version is recommended). A warning, not the outcome.
    virtual void TellNote(CWnd* owner, const CString& text, const CString& caption) = 0;

    // The history could not keep the record read (reason): write without it?
    // question is the whole question, with the reason and the record in hex.
    // No is the safe answer.
    virtual bool WriteWithoutHistory(CWnd* owner, const CString& reason, const CString& question,
                                     const CString& caption) = 0;
};
