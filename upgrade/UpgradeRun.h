// The upgrade run: from opening the port to the outcome message, over the
// link, the language texts, the owner of every message box and the option
// files that the caller hands in. The main dialog and the console tool run
// the same steps through it.
#pragma once

#include "framework/CString.h"

#include <functional>
#include <vector>

class CDataFile;
class CLanguageTable;
class COptionFileAccess;
class CRadioCom;
class CUpgradeJournal;
class CWnd;

// How a run ended, each with the message it showed (language text numbers).
enum class UpgradeOutcome {
    Written,            // the transceiver accepted the record (37)
    WrittenVersionNote, // accepted; a newer transceiver version is recommended (37, then 40)
    Refused,            // the transceiver answered the record with NAK (38)
    PortNotOpened,      // the session's message (43)
    LinkFailed,         // a session failed and the user gave up (44)
    RefusedModel,       // a model this program must not upgrade (45)
    NoOption,           // nothing for this transceiver, or File mode: another model (46)
    VersionRequired,    // an option file needs a newer transceiver version (39)
    FileUnreadable,     // File mode: the file utility has shown its own error
    Identified,         // identify: everything read, nothing written; no message
    OtherTransceiver,   // restore: not the transceiver the record is for; nothing
                        // written, no message (the caller explains whose it is)
};

// 0 when the run did its job (the transceiver accepted the record, or was
// identified), 1 on every other way out.
int RunResult(UpgradeOutcome outcome);

// Whether a restore may write to the transceiver with this identity block.
using TransceiverCheck = std::function<bool(const unsigned char* identity)>;

// Everything a run uses that is not its own.
struct UpgradeEnvironment {
    CRadioCom& link;
    CLanguageTable& texts;
    CWnd* owner;              // owner of every message box; may be null
    CDataFile& dataFile;      // the folder's enumeration
    COptionFileAccess& files; // option-file reads
    CUpgradeJournal* journal; // told about the exchange; may be null
};

class CUpgradeRun {
public:
    explicit CUpgradeRun(const UpgradeEnvironment& environment) : m_env(environment) {}

    // The two runs. version receives the transceiver's version text once it
    // was read (it keeps its old value before that); list receives the
    // folder's option files for the transceiver's model.
    UpgradeOutcome UpgradeFromFolder(int portNumber, const CString& folder, CString& version,
                                     std::vector<CString>& list);
    UpgradeOutcome UpgradeFromFile(int portNumber, const CString& file, CString& version);

    // Programming mode, identity, version, record, end: identity (32 bytes),
    // version and record (50 bytes) receive what was read. Writes nothing;
    // any model is read, also one that must not be upgraded. Identified, or
    // the session's outcome and message.
    UpgradeOutcome Identify(int portNumber, unsigned char* identity, CString& version, unsigned char* record);

    // Writes record (50 bytes) back to the transceiver, sources naming where
    // it came from. The identity, version and current record are read first:
    // a refused model is refused as by an upgrade, and a transceiver that
    // check turns down (null: any) gets nothing (OtherTransceiver). Then the
    // write and its outcome as in an upgrade (Written, Refused, LinkFailed).
    UpgradeOutcome Restore(int portNumber, const unsigned char* record, const std::vector<CString>& sources,
                           const TransceiverCheck& check);

private:
    // The steps of both runs; folder or file says which.
    UpgradeOutcome Run(int portNumber, const CString* folder, const CString* file, CString& version,
                       std::vector<CString>* list);
    // Steps 1 to 3: a closed port opened, the transceiver in programming mode.
    // False after the session's message (outcome set).
    bool Connect(int portNumber, UpgradeOutcome& outcome);
    // Connect, then the identity block; a model this program must not
    // upgrade is refused (its message shown, the connection ended). False
    // with the outcome set.
    bool ConnectAndIdentify(int portNumber, unsigned char* identity, UpgradeOutcome& outcome);
    // Zeroes buffer and reads the identity block, the version text or the
    // option record. False after the session's message; the connection has
    // ended.
    bool ReadIdentity(unsigned char* identity);
    bool ReadVersion(CString& version);
    bool ReadRecord(unsigned char* record);
    // After the identity: the version text and the option record read, and
    // the journal told. False after the session's message.
    bool ReadVersionAndRecord(const unsigned char* identity, CString& version, unsigned char* record);
    // Ends a connected transceiver's programming mode, then the message.
    UpgradeOutcome Stop(UpgradeOutcome outcome, int body);
    // Writes the record (the journal hears of it before the first byte goes
    // out) and shows the outcome; versionNote adds the advisory message.
    UpgradeOutcome Write(unsigned char* record, const std::vector<CString>& sources, bool versionNote);
    // Body and caption are language text numbers.
    void Show(int body, int caption, unsigned type);
    CString Text(int number);

    UpgradeEnvironment m_env;
};
