// The upgrade run: from the location check and opening the port to the
// outcome message, over the link, the language texts, the asker that answers
// for the user and the option files that the caller hands in. The main dialog
// and the console tool run the same steps through it, each with its own
// asker, and read what happened from the result it returns.
#pragma once

#include "framework/CString.h"
#include "text/TextNumbers.h"
#include "upgrade/RunAsker.h"
#include "upgrade/UpgradeResult.h"

#include <functional>
#include <vector>

class CDataFile;
class CLanguageTable;
class COptionFileAccess;
class CRadioCom;
class CRunAsker;
class CStepObserver;
class CUpgradeJournal;
class CWnd;

// Whether a restore may write to the transceiver with this identity block.
using TransceiverCheck = std::function<bool(const unsigned char* identity)>;

// Everything a run uses that is not its own.
struct UpgradeEnvironment {
    CRadioCom& link;
    CLanguageTable& texts;
    // Asked whenever the run or the link's sessions need the user; the link
    // holds it while a run lasts.
    CRunAsker& asker;
    // The window every question and message belongs to, handed to the asker
    // and the link's sessions; may be null. The run never looks inside it.
    CWnd* owner;
    CDataFile& dataFile;      // the location check and the folder's enumeration
    COptionFileAccess& files; // option-file reads
    CUpgradeJournal* journal; // told about the exchange; may be null
    // Asked between the run's steps (before connecting, after each read,
    // before the write) whether to stop there, as if the user had
    // cancelled; never while a frame is on its way, and no more once the
    // write frame has begun. May be null: never.
    std::function<bool()> stopRequested = nullptr;
    // Told each step as it begins (the line trace); may be null.
    CStepObserver* steps = nullptr;
    // The message when a removed adapter came back under another port
    // number (%1 the port used, %2 the new one): the dialog's says which
    // port to choose; the console tool's names its option.
    int portMovedText = TextNo::kPortMoved;
};

// What a run does beyond the Upgrade button's steps; the default is exactly
// the button's run.
struct UpgradeRunMode {
    // Upgrade: every step up to the write, then programming mode is ended
    // without a write frame: Planned, or Unchanged when the merge changes no
    // byte. No outcome message: the caller shows what would be written.
    bool preview = false;
    // Upgrade: a merge that changes no byte is not written (Unchanged, no
    // message).
    bool skipUnchanged = false;
    // Upgrade and restore: once the transceiver has accepted the record and
    // left programming mode, a second connection reads its identity and
    // record back; the outcome message follows only when both are what was
    // written to (VerifyFailed otherwise).
    bool verify = false;
    // Upgrade: a transceiver this check turns down by its identity block
    // (one done already in a batch) gets nothing: once the identity is
    // read, programming mode is ended (OtherTransceiver, no message, no
    // history row). Null: any.
    TransceiverCheck wanted = nullptr;
};

class CUpgradeRun {
public:
    explicit CUpgradeRun(const UpgradeEnvironment& environment, const UpgradeRunMode& mode = {})
        : m_env(environment), m_mode(mode)
    {
    }

    // The two upgrade runs. The location comes first: a folder without an
    // option file, a missing file or a pattern in place of a file shows the
    // mode's warning and ends the run (LocationMissing) before any port is
    // touched.
    UpgradeResult UpgradeFromFolder(int portNumber, const CString& folder);
    UpgradeResult UpgradeFromFile(int portNumber, const CString& file);

    // Programming mode, identity, version, record, end. Writes nothing; any
    // model is read, also one that must not be upgraded. Identified, or the
    // session's outcome and message.
    UpgradeResult Identify(int portNumber);

    // One connection attempt that asks nobody: opens the port, tries once
    // to put a transceiver into programming mode, reads its identity block
    // into result (identityRead) and ends programming mode again. True when
    // a transceiver answered; the port is closed after.
    bool Answers(int portNumber, UpgradeResult& result);

    // Writes record (50 bytes) back to the transceiver, sources naming where
    // it came from. The identity, version and current record are read first:
    // a refused model is refused as by an upgrade; a record for another model
    // or a blank one (result.recordFit), and a transceiver that check turns
    // down (null: any), get nothing (OtherTransceiver). Then the
    // write and its outcome as in an upgrade (Written, Refused, LinkFailed).
    UpgradeResult Restore(int portNumber, const unsigned char* record, const std::vector<CString>& sources,
                          const TransceiverCheck& check);

private:
    // The steps of both upgrade runs; folder or file says which.
    UpgradeResult Run(int portNumber, const CString* folder, const CString* file);
    // A closed port opened, the transceiver in programming mode. False after
    // the session's message, with the outcome set.
    bool Connect(int portNumber, UpgradeResult& result);
    // Connect, then the identity block; a model this program must not
    // upgrade is refused (its message shown, the connection ended). False
    // with the outcome set.
    bool ConnectAndIdentify(int portNumber, UpgradeResult& result);
    // Each reads one answer into the result. False after the session's
    // message; the connection has ended.
    bool ReadIdentity(UpgradeResult& result);
    bool ReadVersion(UpgradeResult& result);
    bool ReadRecord(UpgradeResult& result);
    // After the identity: the version text and the option record read, and
    // the journal told. False after the session's message.
    bool ReadVersionAndRecord(UpgradeResult& result);
    // Ends a connected transceiver's programming mode.
    void EndConnection();
    // Ends a connected transceiver's programming mode, then the message.
    void Stop(UpgradeResult& result, UpgradeOutcome outcome, int body);
    // True (the run ended as Interrupted, a connected transceiver out of
    // programming mode, a record read told to the journal) when the caller
    // asked to stop.
    bool Interrupted(UpgradeResult& result, bool connected);
    // Before the write: true when the journal kept the record read, or the
    // user chose to write without it; false with the run ended.
    bool RecordKept(UpgradeResult& result);
    // Writes result.recordAfter (the journal hears of it before the first
    // byte goes out) and shows the outcome; result.versionNote adds the
    // advisory message. A frame that failed before its answer is followed
    // by a read-back: a third record found there (result.recordReadBack)
    // ends the run as LinkFailed, both records told to the journal.
    void Write(int portNumber, UpgradeResult& result);
    // After an accepted write, with programming mode ended: the second
    // connection's identity and record into result, result.verified when
    // they are the written record of the same transceiver. Otherwise its
    // message, or the failed session's.
    void ReadBack(int portNumber, UpgradeResult& result);
    // The outcome message of an accepted write, and the advisory note.
    void ShowWritten(UpgradeResult& result);
    // The outcome message; body and caption are language text numbers.
    void Tell(RunMessageKind kind, int body, int caption);
    CString Text(int number);

    UpgradeEnvironment m_env;
    UpgradeRunMode m_mode;
};
