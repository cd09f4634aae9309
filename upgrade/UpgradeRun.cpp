// CUpgradeDlg's upgrade run: the Upgrade command, and the exchange with the
// transceiver from opening the port to the outcome message.
#include "app/UpgradeDlg.h"

#include "app/Globals.h"
#include "framework/AppMessageBox.h"
#include "framework/WinApp.h"
#include "upgrade/OptionFormat.h"
#include "res/resource.h"
#include "upgrade/UpgradeControls.h"

#include <windows.h>

#include <functional>

namespace {

void ShowMessage(CWnd* owner, int body, int caption, UINT type)
{
    AppMessageBox(HwndOf(owner), theLanguage.GetText(body), theLanguage.GetText(caption), type);
}

// What differs between the Folder and the File run.
struct RunSteps {
    CWnd* dialog;
    int portNumber;
    CString& version;
    std::function<int(const unsigned char*)> isRefused;
    std::function<int(const unsigned char*)> collect; // Folder run only
    std::function<int(unsigned char*)> apply;
};

// The message that ends a run the option logic stopped, by its result; 0 for
// an unreadable file, whose own error box the user has already seen.
int StopMessage(int code)
{
    switch (code) {
    case kNoEntry:
    case kOptionTypeDiffers:
    case kOtherModel:
        return UpgradeText::kNoOptionForTransceiver;
    case kVersionRequired:
        return UpgradeText::kVersionRequired;
    default:
        return 0;
    }
}

// Returns 0 when the transceiver accepted the record, 1 on every other way
// out. Every way out after programming mode was entered has left it: a
// session that fails has ended the connection itself; the run ends it, once
// and before its message, wherever it stops a connected transceiver.
int RunUpgrade(const RunSteps& run)
{
    CWnd* owner = run.dialog;
    const CString caption = theLanguage.GetText(UpgradeText::kCaptionError);
    const CString linkFailed = theLanguage.GetText(UpgradeText::kLinkFailed);

    // Every run starts from a closed port.
    theRadio.SetPortNumber(static_cast<BYTE>(run.portNumber & 0xFF));
    theRadio.SetPortOpen(0);
    if (theRadio.OpenCommunicationPort(owner, theLanguage.GetText(UpgradeText::kPortNotOpened), caption) !=
        CRadioCom::kSessionOk)
        return 1;
    if (theRadio.BeginConnectionSession(owner, linkFailed, caption) != CRadioCom::kSessionOk)
        return 1;

    unsigned char identity[IdentityBlock::kSize] = {};
    if (theRadio.MarriskEsnReadSession(owner, linkFailed, caption, identity) != CRadioCom::kSessionOk)
        return 1;
    if (run.isRefused(identity)) {
        theRadio.EndConnectionSession();
        ShowMessage(owner, UpgradeText::kRefusedModel, UpgradeText::kCaptionError, MB_ICONERROR);
        return 1;
    }
    if (run.collect && !run.collect(identity)) {
        theRadio.EndConnectionSession();
        ShowMessage(owner, UpgradeText::kNoOptionForTransceiver, UpgradeText::kCaptionError, MB_ICONERROR);
        return 1;
    }

    unsigned char version[kVersionSize] = {};
    if (theRadio.VersionRequestSession(owner, linkFailed, caption, version) != CRadioCom::kSessionOk)
        return 1;
    run.version =
        CString(reinterpret_cast<const char*>(version), static_cast<int>(VersionTextLength(version)));

    unsigned char record[OptionRecord::kSize] = {};
    if (theRadio.OptionInfoRequestSession(owner, linkFailed, caption, record, OptionRecord::kSize) !=
        CRadioCom::kSessionOk)
        return 1;

    const int code = run.apply(record);
    if (code != kOptionsMerged && code != kVersionRecommended) {
        theRadio.EndConnectionSession();
        if (const int body = StopMessage(code))
            ShowMessage(owner, body, UpgradeText::kCaptionError, MB_ICONERROR);
        return 1;
    }

    switch (theRadio.OptionInformationTransmit(owner, linkFailed, caption, record, OptionRecord::kSize)) {
    case CRadioCom::kSessionOk:
        theRadio.EndConnectionSession();
        ShowMessage(owner, UpgradeText::kRecordWritten, UpgradeText::kCaptionOutcome, MB_ICONINFORMATION);
        if (code == kVersionRecommended)
            ShowMessage(owner, UpgradeText::kVersionRecommended, UpgradeText::kCaptionWarning,
                        MB_ICONEXCLAMATION);
        return 0;
    case CRadioCom::kSessionRefused:
        // A refusal is the transceiver's answer, not a failure of the link.
        ShowMessage(owner, UpgradeText::kRecordRefused, UpgradeText::kCaptionOutcome, MB_ICONINFORMATION);
        return 1;
    default:
        return 1; // the user gave up at the session's prompt
    }
}

} // namespace

void CUpgradeDlg::OnUpgrade()
{
    // Declared in this order so the dialog is unlocked before the wait
    // cursor ends, whichever way the handler is left.
    CWaitCursor wait;
    CControlLock lock(*this);

    const bool folderMode = IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED;
    if (CheckLocation()) {
        if (folderMode)
            UpgradeFromFolder();
        else
            UpgradeFromFile();
        ::SetFocus(GetDlgItem(IDC_UPGRADE));
    } else {
        ShowMessage(this, folderMode ? UpgradeText::kNoOptionFileInFolder : UpgradeText::kNoOptionFile,
                    UpgradeText::kCaptionWarning, MB_ICONEXCLAMATION);
        // Posted, so the Browse dialog opens once this handler has returned.
        PostMessage(WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
    }
}

int CUpgradeDlg::UpgradeFromFolder()
{
    return RunUpgrade({this, m_nPortNumber, m_strVersion,
                       [this](const unsigned char* identity) { return IsRefusedModel(identity); },
                       [this](const unsigned char* identity) { return CollectOptionFiles(identity); },
                       [this](unsigned char* record) { return ApplyOptions(record); }});
}

int CUpgradeDlg::UpgradeFromFile()
{
    return RunUpgrade({this, m_nPortNumber, m_strVersion,
                       [this](const unsigned char* identity) { return IsRefusedModel(identity); }, nullptr,
                       [this](unsigned char* record) { return ApplyOptions(record); }});
}
