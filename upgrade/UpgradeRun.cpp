#include "upgrade/UpgradeRun.h"

#include "files/DataFile.h"
#include "framework/AppMessageBox.h"
#include "framework/Wnd.h"
#include "link/RadioCom.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLocation.h"
#include "upgrade/OptionLogic.h"
#include "upgrade/UpgradeJournal.h"

#include <windows.h>

#include <algorithm>

namespace {

// The outcome and message of a run the option logic stopped; no message for
// an unreadable file, whose own error box the user has already seen.
struct Stopped {
    UpgradeOutcome outcome;
    int body;
};

Stopped StopOf(int code)
{
    switch (code) {
    case kVersionRequired:
        return {UpgradeOutcome::VersionRequired, TextNo::kVersionRequired};
    case kFileUnreadable:
        return {UpgradeOutcome::FileUnreadable, 0};
    default: // no entry, another option type, another model
        return {UpgradeOutcome::NoOption, TextNo::kNoOptionForTransceiver};
    }
}

} // namespace

int RunResult(UpgradeOutcome outcome)
{
    return outcome == UpgradeOutcome::Written || outcome == UpgradeOutcome::WrittenVersionNote ||
                   outcome == UpgradeOutcome::Identified
               ? 0
               : 1;
}

CString CUpgradeRun::Text(int number)
{
    return CString(m_env.texts.GetText(number));
}

void CUpgradeRun::Show(int body, int caption, unsigned type)
{
    AppMessageBox(HwndOf(m_env.owner), Text(body), Text(caption), type);
}

bool CUpgradeRun::Connect(int portNumber, UpgradeOutcome& outcome)
{
    CRadioCom& link = m_env.link;
    const CString caption = Text(TextNo::kCaptionError);
    // Every run starts from a closed port.
    link.SetPortNumber(static_cast<BYTE>(portNumber & 0xFF));
    link.SetPortOpen(0);
    if (link.OpenCommunicationPort(m_env.owner, Text(TextNo::kPortNotOpened), caption) !=
        CRadioCom::kSessionOk) {
        outcome = UpgradeOutcome::PortNotOpened;
        return false;
    }
    if (link.BeginConnectionSession(m_env.owner, Text(TextNo::kLinkFailed), caption) !=
        CRadioCom::kSessionOk) {
        outcome = UpgradeOutcome::LinkFailed;
        return false;
    }
    return true;
}

bool CUpgradeRun::ReadIdentity(unsigned char* identity)
{
    return m_env.link.MarriskEsnReadSession(m_env.owner, Text(TextNo::kLinkFailed),
                                            Text(TextNo::kCaptionError), identity) == CRadioCom::kSessionOk;
}

bool CUpgradeRun::ReadVersion(CString& version)
{
    unsigned char answer[kVersionSize] = {};
    if (m_env.link.VersionRequestSession(m_env.owner, Text(TextNo::kLinkFailed), Text(TextNo::kCaptionError),
                                         answer) != CRadioCom::kSessionOk)
        return false;
    version = CString(reinterpret_cast<const char*>(answer), static_cast<int>(VersionTextLength(answer)));
    return true;
}

bool CUpgradeRun::ReadRecord(unsigned char* record)
{
    return m_env.link.OptionInfoRequestSession(m_env.owner, Text(TextNo::kLinkFailed),
                                               Text(TextNo::kCaptionError), record,
                                               OptionRecord::kSize) == CRadioCom::kSessionOk;
}

bool CUpgradeRun::ReadVersionAndRecord(const unsigned char* identity, CString& version, unsigned char* record)
{
    if (!ReadVersion(version) || !ReadRecord(record))
        return false;
    if (m_env.journal)
        m_env.journal->RecordRead(identity, version, record);
    return true;
}

UpgradeOutcome CUpgradeRun::Stop(UpgradeOutcome outcome, int body)
{
    m_env.link.EndConnectionSession();
    if (body)
        Show(body, TextNo::kCaptionError, MB_ICONERROR);
    return outcome;
}

UpgradeOutcome CUpgradeRun::Write(unsigned char* record, const std::vector<CString>& sources,
                                  bool versionNote)
{
    if (m_env.journal)
        m_env.journal->BeforeWrite(record, sources);
    const int written = m_env.link.OptionInformationTransmit(
        m_env.owner, Text(TextNo::kLinkFailed), Text(TextNo::kCaptionError), record, OptionRecord::kSize);
    switch (written) {
    case CRadioCom::kSessionOk:
        if (m_env.journal)
            m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Written);
        m_env.link.EndConnectionSession();
        Show(TextNo::kRecordWritten, TextNo::kCaptionOutcome, MB_ICONINFORMATION);
        if (!versionNote)
            return UpgradeOutcome::Written;
        Show(TextNo::kVersionRecommended, TextNo::kCaptionWarning, MB_ICONEXCLAMATION);
        return UpgradeOutcome::WrittenVersionNote;
    case CRadioCom::kSessionRefused:
        // A refusal is the transceiver's answer, not a failure of the link;
        // the session has ended the connection.
        if (m_env.journal)
            m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Refused);
        Show(TextNo::kRecordRefused, TextNo::kCaptionOutcome, MB_ICONINFORMATION);
        return UpgradeOutcome::Refused;
    default: // the user gave up at the session's prompt; the connection has ended
        if (m_env.journal)
            m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Failed);
        return UpgradeOutcome::LinkFailed;
    }
}

UpgradeOutcome CUpgradeRun::UpgradeFromFolder(int portNumber, const CString& folder, CString& version,
                                              std::vector<CString>& list)
{
    return Run(portNumber, &folder, nullptr, version, &list);
}

UpgradeOutcome CUpgradeRun::UpgradeFromFile(int portNumber, const CString& file, CString& version)
{
    return Run(portNumber, nullptr, &file, version, nullptr);
}

bool CUpgradeRun::ConnectAndIdentify(int portNumber, unsigned char* identity, UpgradeOutcome& outcome)
{
    if (!Connect(portNumber, outcome))
        return false;
    if (!ReadIdentity(identity)) {
        outcome = UpgradeOutcome::LinkFailed;
        return false;
    }
    if (IsRefusedModelName(identity)) {
        outcome = Stop(UpgradeOutcome::RefusedModel, TextNo::kRefusedModel);
        return false;
    }
    return true;
}

// Every way out after programming mode was entered has left it: a session
// that fails has ended the connection itself; the run ends it, once and
// before its message, wherever it stops a connected transceiver.
UpgradeOutcome CUpgradeRun::Run(int portNumber, const CString* folder, const CString* file, CString& version,
                                std::vector<CString>* list)
{
    UpgradeOutcome outcome = UpgradeOutcome::LinkFailed;
    unsigned char identity[IdentityBlock::kSize] = {};
    if (!ConnectAndIdentify(portNumber, identity, outcome))
        return outcome;

    COptionLogic logic(m_env.files);
    if (folder && !CollectOptionFiles(m_env.dataFile, logic, *folder, identity, *list))
        return Stop(UpgradeOutcome::NoOption, TextNo::kNoOptionForTransceiver);

    unsigned char record[OptionRecord::kSize] = {};
    if (!ReadVersionAndRecord(identity, version, record))
        return UpgradeOutcome::LinkFailed;

    std::vector<CString> sources;
    int code = kNoEntry;
    if (folder) {
        code = logic.ApplyFolderOptions(*list, record, version, &sources);
    } else {
        code = logic.ApplyFileOptions(*file, record, version);
        sources.push_back(*file);
    }
    if (code != kOptionsMerged && code != kVersionRecommended) {
        if (m_env.journal)
            m_env.journal->NotUpgraded();
        const Stopped stopped = StopOf(code);
        return Stop(stopped.outcome, stopped.body);
    }
    return Write(record, sources, code == kVersionRecommended);
}

UpgradeOutcome CUpgradeRun::Identify(int portNumber, unsigned char* identity, CString& version,
                                     unsigned char* record)
{
    UpgradeOutcome outcome = UpgradeOutcome::LinkFailed;
    if (!Connect(portNumber, outcome))
        return outcome;
    if (!ReadIdentity(identity) || !ReadVersionAndRecord(identity, version, record))
        return UpgradeOutcome::LinkFailed;
    m_env.link.EndConnectionSession();
    if (m_env.journal)
        m_env.journal->Identified();
    return UpgradeOutcome::Identified;
}

UpgradeOutcome CUpgradeRun::Restore(int portNumber, const unsigned char* record,
                                    const std::vector<CString>& sources, const TransceiverCheck& check)
{
    // Any record written is an upgrade to a model this program must not
    // upgrade, wherever the record came from: refused as by an upgrade.
    UpgradeOutcome outcome = UpgradeOutcome::LinkFailed;
    unsigned char identity[IdentityBlock::kSize] = {};
    if (!ConnectAndIdentify(portNumber, identity, outcome))
        return outcome;

    // The record it holds now is read and journaled first: it is what puts
    // this transceiver back should the restore itself be the mistake.
    CString version;
    unsigned char current[OptionRecord::kSize] = {};
    if (!ReadVersionAndRecord(identity, version, current))
        return UpgradeOutcome::LinkFailed;
    if (check && !check(identity)) {
        if (m_env.journal)
            m_env.journal->NotUpgraded();
        return Stop(UpgradeOutcome::OtherTransceiver, 0);
    }
    unsigned char restored[OptionRecord::kSize];
    std::copy(record, record + OptionRecord::kSize, restored);
    return Write(restored, sources, false);
}
