#include "upgrade/UpgradeRun.h"

#include "files/DataFile.h"
#include "framework/Hex.h"
#include "link/PortName.h"
#include "link/StepObserver.h"
#include "link/RadioCom.h"
#include "text/FillText.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLocation.h"
#include "upgrade/OptionLogic.h"
#include "upgrade/UpgradeHistory.h"
#include "upgrade/UpgradeJournal.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace {

// The outcome and message of a run the option logic stopped; no message for
// an unreadable file, whose own error box the user has already seen.
struct Stopped {
    UpgradeOutcome outcome;
    int body;
};

// The run's asker answers for the link's sessions while the run lasts; the
// link's own (none, for a link the dialog keeps) is back after. A port that
// came back under another number is told in the run's own text, which
// names the port to use.
class AskerInPlace : public CLinkAsker {
public:
    explicit AskerInPlace(const UpgradeEnvironment& env) : m_env(env), m_previous(env.link.SetAsker(this)) {}
    ~AskerInPlace() override { m_env.link.SetAsker(m_previous); }
    AskerInPlace(const AskerInPlace&) = delete;
    AskerInPlace& operator=(const AskerInPlace&) = delete;

    LinkAnswer AskRetry(CWnd* owner, LinkStep step, const CString& text, const CString& caption) override
    {
        return m_env.asker.AskRetry(owner, step, text, caption);
    }
    void PortNotOpened(CWnd* owner, const CString& text, const CString& caption) override
    {
        m_env.asker.PortNotOpened(owner, text, caption);
    }
    void PortMoved(CWnd* owner, int from, int to) override
    {
        CString was, now;
        was.Format("%d", from);
        now.Format("%d", to);
        m_env.asker.TellOutcome(owner, RunMessageKind::Error,
                                FillText(CString(m_env.texts.GetText(m_env.portMovedText)), {was, now}),
                                CString(m_env.texts.GetText(TextNo::kCaptionError)));
    }

private:
    const UpgradeEnvironment& m_env;
    CLinkAsker* m_previous;
};

void TellStep(CStepObserver* steps, const char* name)
{
    if (steps)
        steps->Step(name);
}

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
    switch (outcome) {
    case UpgradeOutcome::Written:
    case UpgradeOutcome::WrittenVersionNote:
    case UpgradeOutcome::Identified:
    case UpgradeOutcome::Planned:
    case UpgradeOutcome::Unchanged:
        return 0;
    default:
        return 1;
    }
}

CString CUpgradeRun::Text(int number)
{
    return CString(m_env.texts.GetText(number));
}

void CUpgradeRun::Tell(RunMessageKind kind, int body, int caption)
{
    m_env.asker.TellOutcome(m_env.owner, kind, Text(body), Text(caption));
}

bool CUpgradeRun::Connect(int portNumber, UpgradeResult& result)
{
    CRadioCom& link = m_env.link;
    const CString caption = Text(TextNo::kCaptionError);
    TellStep(m_env.steps, "connect");
    // Every run starts from a closed port.
    link.SetPortNumber(PortName::LinkPortOf(portNumber));
    link.SetPortOpen(0);
    if (link.OpenCommunicationPort(m_env.owner, Text(TextNo::kPortNotOpened), caption) !=
        CRadioCom::kSessionOk) {
        result.outcome = UpgradeOutcome::PortNotOpened;
        return false;
    }
    if (link.BeginConnectionSession(m_env.owner, Text(TextNo::kLinkFailed), caption) !=
        CRadioCom::kSessionOk) {
        result.outcome = UpgradeOutcome::LinkFailed;
        return false;
    }
    return true;
}

bool CUpgradeRun::ReadIdentity(UpgradeResult& result)
{
    TellStep(m_env.steps, kIdentityStep);
    unsigned char identity[IdentityBlock::kSize] = {};
    if (m_env.link.MarriskEsnReadSession(m_env.owner, Text(TextNo::kLinkFailed), Text(TextNo::kCaptionError),
                                         identity) != CRadioCom::kSessionOk)
        return false;
    std::copy(std::begin(identity), std::end(identity), result.identity.begin());
    result.identityRead = true;
    return true;
}

bool CUpgradeRun::ReadVersion(UpgradeResult& result)
{
    TellStep(m_env.steps, "version");
    unsigned char answer[kVersionSize] = {};
    if (m_env.link.VersionRequestSession(m_env.owner, Text(TextNo::kLinkFailed), Text(TextNo::kCaptionError),
                                         answer) != CRadioCom::kSessionOk)
        return false;
    result.version =
        CString(reinterpret_cast<const char*>(answer), static_cast<int>(VersionTextLength(answer)));
    return true;
}

bool CUpgradeRun::ReadRecord(UpgradeResult& result)
{
    TellStep(m_env.steps, "record");
    unsigned char record[OptionRecord::kSize] = {};
    if (m_env.link.OptionInfoRequestSession(m_env.owner, Text(TextNo::kLinkFailed),
                                            Text(TextNo::kCaptionError), record,
                                            OptionRecord::kSize) != CRadioCom::kSessionOk)
        return false;
    std::copy(std::begin(record), std::end(record), result.recordBefore.begin());
    return true;
}

bool CUpgradeRun::ReadVersionAndRecord(UpgradeResult& result)
{
    if (!ReadVersion(result)) {
        result.outcome = UpgradeOutcome::LinkFailed;
        return false;
    }
    if (Interrupted(result, true))
        return false;
    if (!ReadRecord(result)) {
        result.outcome = UpgradeOutcome::LinkFailed;
        return false;
    }
    result.recordRead = true;
    if (m_env.journal)
        m_env.journal->RecordRead(result);
    return !Interrupted(result, true);
}

bool CUpgradeRun::Interrupted(UpgradeResult& result, bool connected)
{
    if (!m_env.stopRequested || !m_env.stopRequested())
        return false;
    // The history's final row first: it is what matters should the process
    // be given no more time than that.
    if (result.recordRead && m_env.journal)
        m_env.journal->NotUpgraded();
    if (connected)
        EndConnection();
    result.outcome = UpgradeOutcome::Interrupted;
    return true;
}

void CUpgradeRun::EndConnection()
{
    TellStep(m_env.steps, "end");
    m_env.link.EndConnectionSession();
}

bool CUpgradeRun::RecordKept(UpgradeResult& result)
{
    CString reason;
    if (!m_env.journal || m_env.journal->BeforeWrite(result, reason))
        return true;
    // The record read is kept nowhere but in this question: written over, it
    // could not be put back. The user decides, No being the safe default.
    const CString question =
        FillText(Text(TextNo::kWriteWithoutHistory),
                 {reason, HexLower(result.recordBefore.data(), result.recordBefore.size())});
    if (m_env.asker.WriteWithoutHistory(m_env.owner, reason, question, Text(TextNo::kCaptionQuestion)))
        return true;
    m_env.journal->NotUpgraded();
    Stop(result, UpgradeOutcome::HistoryUnavailable, 0);
    return false;
}

void CUpgradeRun::Stop(UpgradeResult& result, UpgradeOutcome outcome, int body)
{
    EndConnection();
    if (body)
        Tell(RunMessageKind::Error, body, TextNo::kCaptionError);
    result.outcome = outcome;
}

void CUpgradeRun::ShowWritten(UpgradeResult& result)
{
    Tell(RunMessageKind::Information, TextNo::kRecordWritten, TextNo::kCaptionOutcome);
    result.outcome = UpgradeOutcome::Written;
    if (!result.versionNote)
        return;
    m_env.asker.TellNote(m_env.owner, Text(TextNo::kVersionRecommended), Text(TextNo::kCaptionWarning));
    result.outcome = UpgradeOutcome::WrittenVersionNote;
}

void CUpgradeRun::ReadBack(int portNumber, UpgradeResult& result)
{
    // The run's own steps, into a result of their own: the journal has the
    // run's record already and hears nothing of this one.
    TellStep(m_env.steps, kVerifyStep);
    // The transceiver has taken the record already: a stop asked for now
    // ends the read-back between its steps (or where a failed one would ask
    // to retry), and the write stays what it was, only not checked. Once the
    // record has been read back it is compared all the same.
    const auto stopped = [this, &result] {
        result.verifyStopped = m_env.stopRequested && m_env.stopRequested();
        return result.verifyStopped;
    };
    UpgradeResult check;
    if (stopped())
        return;
    if (!Connect(portNumber, check)) {
        stopped();
        return;
    }
    const bool read = !stopped() && ReadIdentity(check) && !stopped() && ReadVersion(check) && !stopped() &&
                      ReadRecord(check);
    if (!read) {
        // A failed step has ended the connection; one cut short has not.
        if (stopped() && m_env.link.IsPortOpen())
            EndConnection();
        return;
    }
    EndConnection();
    result.readBack = true;
    result.identityReadBack = check.identity;
    result.recordReadBack = check.recordBefore;
    result.verified = check.identity == result.identity && check.recordBefore == result.recordAfter;
    if (!result.verified)
        Tell(RunMessageKind::Error, TextNo::kVerifyFailed, TextNo::kCaptionError);
}

void CUpgradeRun::Write(int portNumber, UpgradeResult& result)
{
    // The last point to stop: from the pending row on, the write goes out
    // and its answer is taken whatever the caller asks meanwhile.
    if (Interrupted(result, true) || !RecordKept(result))
        return;
    result.writeTried = true;
    TellStep(m_env.steps, kWriteStep);
    // The session takes a buffer it may change; the result keeps what was sent.
    // A frame that failed before its answer is sent again only when the
    // record read back is still the one read before it.
    unsigned char record[OptionRecord::kSize];
    std::copy(result.recordAfter.begin(), result.recordAfter.end(), record);
    unsigned char found[OptionRecord::kSize] = {};
    const int written = m_env.link.OptionInformationTransmit(
        m_env.owner, Text(TextNo::kLinkFailed), Text(TextNo::kCaptionError), record, OptionRecord::kSize,
        result.recordBefore.data(), found);
    switch (written) {
    case CRadioCom::kSessionOk:
        EndConnection();
        if (!m_mode.verify) {
            if (m_env.journal)
                m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Written);
            ShowWritten(result);
            return;
        }
        // The acknowledgement says the transceiver took the frame, not that
        // it stored the record: the record is read back before the outcome.
        ReadBack(portNumber, result);
        if (result.verifyStopped && !result.readBack) {
            // Stopped before the record came back: written, not checked.
            if (m_env.journal)
                m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Written);
            ShowWritten(result);
            return;
        }
        if (m_env.journal)
            m_env.journal->Verified(result);
        if (result.verified)
            ShowWritten(result);
        else
            result.outcome = UpgradeOutcome::VerifyFailed;
        return;
    case CRadioCom::kSessionRefused:
        // A refusal is the transceiver's answer, not a failure of the link;
        // the session has ended the connection.
        if (m_env.journal)
            m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Refused);
        Tell(RunMessageKind::Information, TextNo::kRecordRefused, TextNo::kCaptionOutcome);
        result.outcome = UpgradeOutcome::Refused;
        return;
    case CRadioCom::kSessionOtherRecord:
        // Neither the record meant nor the one before: what the transceiver
        // holds now is kept beside the record read, and nothing more is
        // written. The connection has ended.
        std::copy(found, found + OptionRecord::kSize, result.recordReadBack.begin());
        if (m_env.journal)
            m_env.journal->WriteFoundOther(result);
        Tell(RunMessageKind::Error, TextNo::kLinkFailed, TextNo::kCaptionError);
        result.outcome = UpgradeOutcome::LinkFailed;
        return;
    default: // the user gave up at the session's prompt; the connection has ended
        if (m_env.journal)
            m_env.journal->WriteEnded(CUpgradeJournal::WriteResult::Failed);
        result.outcome = UpgradeOutcome::LinkFailed;
        return;
    }
}

UpgradeResult CUpgradeRun::UpgradeFromFolder(int portNumber, const CString& folder)
{
    const AskerInPlace asking(m_env);
    return Run(portNumber, &folder, nullptr);
}

UpgradeResult CUpgradeRun::UpgradeFromFile(int portNumber, const CString& file)
{
    const AskerInPlace asking(m_env);
    return Run(portNumber, nullptr, &file);
}

bool CUpgradeRun::ConnectAndIdentify(int portNumber, UpgradeResult& result)
{
    if (Interrupted(result, false) || !Connect(portNumber, result) || Interrupted(result, true))
        return false;
    if (!ReadIdentity(result)) {
        result.outcome = UpgradeOutcome::LinkFailed;
        return false;
    }
    if (Interrupted(result, true))
        return false;
    if (IsRefusedModelName(result.identity.data())) {
        Stop(result, UpgradeOutcome::RefusedModel, TextNo::kRefusedModel);
        return false;
    }
    return true;
}

// Every way out after programming mode was entered has left it: a session
// that fails has ended the connection itself; the run ends it, once and
// before its message, wherever it stops a connected transceiver.
UpgradeResult CUpgradeRun::Run(int portNumber, const CString* folder, const CString* file)
{
    UpgradeResult result;
    const bool folderMode = folder != nullptr;
    if (!CheckLocation(m_env.dataFile, folderMode, folderMode ? *folder : CString(),
                       folderMode ? CString() : *file)) {
        Tell(RunMessageKind::Warning, MissingLocationText(folderMode), TextNo::kCaptionWarning);
        result.outcome = UpgradeOutcome::LocationMissing;
        return result;
    }
    if (!ConnectAndIdentify(portNumber, result))
        return result;
    if (m_mode.wanted && !m_mode.wanted(result.identity.data())) {
        Stop(result, UpgradeOutcome::OtherTransceiver, 0);
        return result;
    }

    COptionLogic logic(m_env.files);
    if (folderMode) {
        result.optionFilesCollected = true;
        if (!CollectOptionFiles(m_env.dataFile, logic, *folder, result.identity.data(), result.optionFiles)) {
            Stop(result, UpgradeOutcome::NoOption, TextNo::kNoOptionForTransceiver);
            return result;
        }
        if (Interrupted(result, true))
            return result;
    }

    if (!ReadVersionAndRecord(result))
        return result;

    unsigned char record[OptionRecord::kSize];
    std::copy(result.recordBefore.begin(), result.recordBefore.end(), record);
    std::vector<CString> sources;
    int code = kNoEntry;
    if (folderMode) {
        code = logic.ApplyFolderOptions(result.optionFiles, record, result.version, &sources);
    } else {
        code = logic.ApplyFileOptions(*file, record, result.version);
        sources.push_back(*file);
    }
    if (code != kOptionsMerged && code != kVersionRecommended) {
        if (m_env.journal)
            m_env.journal->NotUpgraded();
        const Stopped stopped = StopOf(code);
        Stop(result, stopped.outcome, stopped.body);
        return result;
    }
    std::copy(std::begin(record), std::end(record), result.recordAfter.begin());
    result.sources = std::move(sources);
    result.recordPlanned = true;
    result.versionNote = code == kVersionRecommended;
    const bool unchanged = result.recordAfter == result.recordBefore;
    if (m_mode.preview || (m_mode.skipUnchanged && unchanged)) {
        result.outcome = unchanged ? UpgradeOutcome::Unchanged : UpgradeOutcome::Planned;
        if (m_env.journal)
            m_env.journal->NotWritten(result);
        Stop(result, result.outcome, 0);
        return result;
    }
    Write(portNumber, result);
    return result;
}

bool CUpgradeRun::Answers(int portNumber, UpgradeResult& result)
{
    CRadioCom& link = m_env.link;
    // Nobody is asked: an attempt that finds no transceiver is not tried
    // again, and a port that cannot be opened is told to no one.
    CLinkAsker* const previous = link.SetAsker(nullptr);
    link.SetPortNumber(PortName::LinkPortOf(portNumber));
    link.SetPortOpen(0);
    bool answered = false;
    if (link.OpenCommunicationPort(m_env.owner, CString(), CString()) == CRadioCom::kSessionOk) {
        // A failed session has ended the connection itself.
        answered = link.BeginConnectionSession(m_env.owner, CString(), CString()) == CRadioCom::kSessionOk;
        // A failed read has ended the connection itself.
        if (answered && ReadIdentity(result))
            link.EndConnectionSession();
    }
    link.SetPortOpen(0);
    link.SetAsker(previous);
    return answered;
}

UpgradeResult CUpgradeRun::Identify(int portNumber)
{
    const AskerInPlace asking(m_env);
    UpgradeResult result;
    if (Interrupted(result, false) || !Connect(portNumber, result) || Interrupted(result, true))
        return result;
    if (!ReadIdentity(result)) {
        result.outcome = UpgradeOutcome::LinkFailed;
        return result;
    }
    if (Interrupted(result, true) || !ReadVersionAndRecord(result))
        return result;
    EndConnection();
    if (m_env.journal)
        m_env.journal->Identified();
    result.outcome = UpgradeOutcome::Identified;
    return result;
}

UpgradeResult CUpgradeRun::Restore(int portNumber, const unsigned char* record,
                                   const std::vector<CString>& sources, const TransceiverCheck& check)
{
    // Any record written is an upgrade to a model this program must not
    // upgrade, wherever the record came from: refused as by an upgrade.
    const AskerInPlace asking(m_env);
    UpgradeResult result;
    if (!ConnectAndIdentify(portNumber, result))
        return result;

    // The record it holds now is read and journaled first: it is what puts
    // this transceiver back should the restore itself be the mistake.
    if (!ReadVersionAndRecord(result))
        return result;
    // A record for another model, or a blank one, never goes in, whoever
    // asks: the check below (another radio of the same model) may be waived,
    // this one may not.
    std::copy(record, record + OptionRecord::kSize, result.recordAfter.begin());
    result.recordFit = RecordFitsTransceiver(record, result.identity.data());
    if (result.recordFit != RecordFit::Fits || (check && !check(result.identity.data()))) {
        if (m_env.journal)
            m_env.journal->NotUpgraded();
        Stop(result, UpgradeOutcome::OtherTransceiver, 0);
        return result;
    }
    result.sources = sources;
    result.recordPlanned = true;
    Write(portNumber, result);
    return result;
}
