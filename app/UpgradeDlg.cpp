#include "app/UpgradeDlg.h"

#include "app/AboutDlg.h"
#include "app/BatchDlg.h"
#include "app/ComPortDlg.h"
#include "app/FolderPickerDlg.h"
#include "app/Globals.h"
#include "app/BoxAsker.h"
#include "framework/AppMessageBox.h"
#include "framework/FileDialog.h"
#include "framework/Hex.h"
#include "framework/PaintDC.h"
#include "framework/SystemText.h"
#include "framework/Path.h"
#include "framework/WinApp.h"
#include "link/LineTrace.h"
#include "link/PortName.h"
#include "res/resource.h"
#include "text/FillText.h"
#include "text/TextNumbers.h"
#include "upgrade/FileErrorTexts.h"
#include "upgrade/HistoryFolder.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLocation.h"
#include "upgrade/OptionLogic.h"
#include "upgrade/ProgramSettings.h"
#include "upgrade/SupportCollect.h"
#include "upgrade/UpgradeRun.h"

#include <functional>
#include <memory>
#include <utility>

namespace {

CString Text(int number)
{
    return CString(theLanguage.GetText(number));
}

// Language texts put on the controls, in this order.
const CDialogText::Entry kItemTexts[] = {
    {IDC_MODE_GROUP, TextNo::kModeGroup}, {IDC_FOLDER_MODE, TextNo::kFolderMode},
    {IDC_FILE_MODE, TextNo::kFileMode},   {IDC_LOCATION_LABEL, TextNo::kLocationLabel},
    {IDC_BROWSE, TextNo::kBrowseButton},  {IDC_UPGRADE, TextNo::kUpgradeButton},
};

// Menu texts by position. The bar's two drop-downs keep their menus; Exit
// takes the cancel command, so it ends in OnCancel like Esc and the close box.
const CDialogText::Entry kMenuBarTexts[] = {
    {0, TextNo::kFileMenu}, {0, TextNo::kSetupMenu}, {IDM_ABOUTBOX, TextNo::kAboutItem}};
const CDialogText::Entry kFileMenuTexts[] = {{IDCANCEL, TextNo::kExitItem},
                                             {ID_FILE_SUPPORT, TextNo::kSupportFileItem}};
const CDialogText::Entry kSetupMenuTexts[] = {{ID_SETUP_COMPORT, TextNo::kComPortItem},
                                              {ID_SETUP_PREVIEW, TextNo::kPreviewItem},
                                              {ID_SETUP_BATCH, TextNo::kBatchItem}};

constexpr int kFileMenuPosition = 0;
constexpr int kSetupMenuPosition = 1;
constexpr int kExitItemPosition = 0;

// The history a run of the dialog keeps beside the program. A row that
// cannot be written changes nothing in the run and shows nothing.
struct DialogHistory {
    DialogHistory(CDataFile& dataFile, int port)
        : folder(dataFile.GetExePath()), journal(folder, History::kProgramWindow, port)
    {
    }
    CHistoryFolder folder;
    CHistoryJournal journal;
};

// The line of a dialog's run, traced into History\last-run.trace beside the
// program (replaced), so that a support case has the line of the run that
// failed. A file that cannot be written leaves the run untraced and
// otherwise as it is. The port is watched while the object lives.
class LastRunTrace {
public:
    LastRunTrace(CDataFile& dataFile, CSerialPort& port) : m_port(port)
    {
        const CString path = CHistoryFolder(dataFile.GetExePath()).PrepareFile(History::kLastRunTraceName);
        CString error;
        if (!path.IsEmpty())
            m_file = CLineTrace::Open(path, error);
        if (m_file) {
            m_line = std::make_unique<CCommTrace>(*m_file);
            m_port.SetObserver(m_line.get());
        }
    }
    ~LastRunTrace()
    {
        if (m_line)
            m_port.SetObserver(nullptr);
    }
    LastRunTrace(const LastRunTrace&) = delete;
    LastRunTrace& operator=(const LastRunTrace&) = delete;

    // The run's steps go to the trace; null when there is none.
    CStepObserver* Steps() const { return m_line.get(); }

private:
    CSerialPort& m_port;
    std::unique_ptr<CLineTrace> m_file;
    std::unique_ptr<CCommTrace> m_line; // after the file: destroyed before it closes
};

// The preview's box: the model, the option bytes now and after (in pairs,
// the changed ones marked), the option files, and that nothing was written.
// Labels and values are joined, never formatted, so no language text is read
// as a format.
CString PreviewText(const UpgradeResult& result)
{
    const MarkedHex optionBytes = MarkedOptionBytes(result.recordBefore, result.recordAfter);
    CString text = Text(TextNo::kPreviewModel) + " " + HistoryModelName(result.identity.data()) + "\n" +
                   Text(TextNo::kPreviewBytesNow) + " " + optionBytes.before + "\n" +
                   Text(TextNo::kPreviewBytesAfter) + " " + optionBytes.after + "\n" +
                   Text(TextNo::kPreviewFiles);
    for (const CString& source : result.sources)
        text += "\n" + source;
    text += "\n\n";
    if (result.outcome == UpgradeOutcome::Unchanged)
        text += Text(TextNo::kPreviewUnchanged) + "\n";
    return text + Text(TextNo::kPreviewNothingWritten);
}

} // namespace

BEGIN_MESSAGE_MAP(CUpgradeDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_COMMAND(ID_FILE_EXIT, OnExit)
ON_COMMAND(IDM_ABOUTBOX, OnAbout)
ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
ON_WM_CREATE()
ON_BN_CLICKED(IDC_UPGRADE, OnUpgrade)
ON_EN_KILLFOCUS(IDC_PATH_EDIT, OnLocationKillFocus)
ON_BN_CLICKED(IDC_FOLDER_MODE, OnFolderMode)
ON_BN_CLICKED(IDC_FILE_MODE, OnFileMode)
ON_COMMAND(ID_SETUP_COMPORT, OnComPort)
ON_COMMAND(ID_SETUP_PREVIEW, OnPreview)
ON_COMMAND(ID_SETUP_BATCH, OnBatch)
ON_COMMAND(ID_FILE_SUPPORT, OnSupportFile)
ON_WM_HELPINFO()
END_MESSAGE_MAP()

CUpgradeDlg::CUpgradeDlg(CWnd* parent)
    : CDialog(IDD_UPGRADE_DIALOG, parent),
      m_hIcon(::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
    // The texts are loaded before the dialog exists.
    m_DataFile.SetErrorTexts(FileErrorTextsFrom(theLanguage));
}

CUpgradeDlg::~CUpgradeDlg() = default;

void CUpgradeDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PATH_EDIT, m_PathEdit);
}

BOOL CUpgradeDlg::PreTranslateMessage(MSG* msg)
{
    // Enter in the path edit moves on like Tab, so it stores the path and
    // never reaches the dialog manager as "OK".
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && m_PathEdit.m_hWnd &&
        msg->hwnd == m_PathEdit.m_hWnd) {
        ::keybd_event(VK_TAB, 0, 0, 0);
        ::keybd_event(VK_TAB, 0, KEYEVENTF_KEYUP, 0);
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

int CUpgradeDlg::OnCreate(LPCREATESTRUCTA createStruct)
{
    if (CDialog::OnCreate(createStruct) == -1)
        return -1;
    SetWindowText(Text(TextNo::kAppTitle));
    return 0;
}

BOOL CUpgradeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_DataFile.Initialize(Settings::kDataFolderName);
    LoadSettings();
    theRadio.SetPortNumber(PortName::LinkPortOf(m_nPortNumber));

    if (m_nMode == 1 && !OptionFolderExists(m_DataFile, m_strFolderPath))
        AppMessageBox(m_hWnd, Text(TextNo::kNoOptionFileInFolder), Text(TextNo::kCaptionWarning),
                      MB_ICONEXCLAMATION);

    HMENU menu = GetMenu();
    theDialogText.SetMenuTexts(menu, kMenuBarTexts);
    theDialogText.SetMenuTexts(::GetSubMenu(menu, kFileMenuPosition), kFileMenuTexts);
    theDialogText.SetMenuTexts(::GetSubMenu(menu, kSetupMenuPosition), kSetupMenuTexts);
    theDialogText.SetItemTexts(this, kItemTexts);

    theDialogText.SetupEdit(this, IDC_PATH_EDIT, CFilterEdit::kPathFilter, kLongestPath, "");
    if (m_nMode == 1) {
        m_PathEdit.SetWindowText(m_strFolderPath);
        CheckDlgButton(IDC_FOLDER_MODE, BST_CHECKED);
    } else {
        m_PathEdit.SetWindowText(m_strFilePath);
        CheckDlgButton(IDC_FILE_MODE, BST_CHECKED);
    }
    theRadio.SetPortNumber(PortName::LinkPortOf(m_nPortNumber));
    return TRUE;
}

void CUpgradeDlg::OnOK()
{
    // Enter never closes the main dialog.
}

void CUpgradeDlg::OnCancel()
{
    // Esc, the close box, system menu Close and File > Exit all end here.
    if (AppMessageBox(m_hWnd, Text(TextNo::kExitQuestion), Text(TextNo::kCaptionExit),
                      MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    SaveSettings();
    CDialog::OnCancel();
}

void CUpgradeDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
}

HCURSOR CUpgradeDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

BOOL CUpgradeDlg::OnHelpInfo(HELPINFO*)
{
    return TRUE; // F1 does nothing
}

void CUpgradeDlg::OnExit()
{
    PostMessage(WM_CLOSE);
}

void CUpgradeDlg::OnLocationKillFocus()
{
    const CString text = m_PathEdit.GetWindowText();
    if (m_nMode == 1)
        m_strFolderPath = text;
    else
        m_strFilePath = text;
}

void CUpgradeDlg::OnFolderMode()
{
    m_nMode = 1;
    m_PathEdit.SetWindowText(m_strFolderPath);
}

void CUpgradeDlg::OnFileMode()
{
    m_nMode = 2;
    m_PathEdit.SetWindowText(m_strFilePath);
}

void CUpgradeDlg::OnBrowse()
{
    if (m_nMode == 1)
        BrowseFolder();
    else
        BrowseFile();
}

void CUpgradeDlg::BrowseFile()
{
    CString filter;
    filter.Format("%s(*.%s)|*.%s||", Text(TextNo::kOptionFileFilter).GetString(), kOptionFileExtension,
                  kOptionFileExtension);
    // With a file path the dialog starts on that file; without one it opens
    // in the option folder.
    const bool haveFile = !m_strFilePath.IsEmpty();
    CFileDialog dialog(TRUE, kOptionFileExtension, haveFile ? m_strFilePath.GetString() : nullptr,
                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter, this);
    if (!haveFile)
        dialog.SetInitialFolder(m_strFolderPath + "\\");
    if (dialog.DoModal() != IDOK)
        return;
    m_strFilePath = dialog.GetPathName();
    m_PathEdit.SetWindowText(m_strFilePath);
}

// Folder mode of Browse: the folder picker, starting on the folder path.
void CUpgradeDlg::BrowseFolder()
{
    CFolderPickerDlg picker(this, nullptr, BIF_RETURNONLYFSDIRS);
    if (!picker.Browse(theLanguage.GetText(TextNo::kPickerPrompt), m_strFolderPath, nullptr))
        return;
    m_strFolderPath = picker.GetPath();
    m_PathEdit.SetWindowText(m_strFolderPath);
}

// Setup > COM port. On OK the link's port, as the dialog left it, becomes
// the setting (written at the confirmed close).
void CUpgradeDlg::OnComPort()
{
    CComPortDlg dialog;
    if (dialog.DoModal() == IDOK)
        m_nPortNumber = theRadio.GetPortNumber();
}

void CUpgradeDlg::OnSupportFile()
{
    // The location as the dialog holds it now: it may not be saved yet.
    OnLocationKillFocus();
    SupportSources sources;
    sources.programFolder = m_DataFile.GetExePath();
    sources.texts = &theLanguage;
    sources.hasLocation = true;
    sources.folderMode = m_nMode == 1;
    sources.location = sources.folderMode ? m_strFolderPath : m_strFilePath;
    const CString path = DefaultSupportFilePath(sources.programFolder, LocalHistoryTime());
    const DWORD error = path.IsEmpty() ? ERROR_PATH_NOT_FOUND : WriteSupportFile(path, sources);
    if (error == ERROR_SUCCESS) {
        AppMessageBox(m_hWnd, FillText(Text(TextNo::kSupportFileSaved), {path}),
                      Text(TextNo::kCaptionOutcome), MB_ICONINFORMATION);
        return;
    }
    const CString where = path.IsEmpty() ? CHistoryFolder(sources.programFolder).FolderPath() : path;
    AppMessageBox(m_hWnd,
                  FillText(Text(TextNo::kSupportFileNotSaved),
                           {where + ": " + SystemText(error, SystemTextForms::kReason)}),
                  Text(TextNo::kCaptionError), MB_ICONERROR);
}

void CUpgradeDlg::OnAbout()
{
    CAboutDlg dialog;
    dialog.DoModal();
}

void CUpgradeDlg::EnableControls(int enable)
{
    const UINT state = enable ? MF_ENABLED : MF_GRAYED;
    // Also the caption's close box.
    ::EnableMenuItem(GetSystemMenu(FALSE), SC_CLOSE, MF_BYCOMMAND | state);

    static const int kControls[] = {IDC_MODE_GROUP, IDC_FOLDER_MODE, IDC_FILE_MODE,
                                    IDC_BROWSE,     IDC_UPGRADE,     IDC_PATH_EDIT};
    for (int id : kControls)
        ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE);

    // Exit by its position: its command is no longer the resource's 32772.
    HMENU menu = GetMenu();
    ::EnableMenuItem(::GetSubMenu(menu, kFileMenuPosition), kExitItemPosition, MF_BYPOSITION | state);
    ::EnableMenuItem(menu, ID_SETUP_COMPORT, MF_BYCOMMAND | state);
    ::EnableMenuItem(menu, ID_SETUP_PREVIEW, MF_BYCOMMAND | state);
    ::EnableMenuItem(menu, ID_SETUP_BATCH, MF_BYCOMMAND | state);
    ::EnableMenuItem(menu, ID_FILE_SUPPORT, MF_BYCOMMAND | state);

    if (enable) {
        SetWindowText(Text(TextNo::kAppTitle));
    } else {
        CString caption;
        caption.Format("%s - %s", Text(TextNo::kAppTitle).GetString(), Text(TextNo::kBusy).GetString());
        SetWindowText(caption);
    }
}

int CUpgradeDlg::CheckLocation()
{
    return ::CheckLocation(m_DataFile, IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED, m_strFolderPath,
                           m_strFilePath);
}

// The upgrade run and the option logic: each member hands over to upgrade/
// with the dialog's settings, its file access, the message boxes that answer
// the run's questions (CBoxAsker) and itself as the owner of every message.

void CUpgradeDlg::OnUpgrade()
{
    RunLocked([this] {
        if (IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED)
            UpgradeFromFolder();
        else
            UpgradeFromFile();
    });
}

void CUpgradeDlg::OnPreview()
{
    RunLocked([this] {
        UpgradeRunMode preview;
        preview.preview = true;
        const UpgradeResult result =
            RunDialogMode(IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED, preview);
        // Any other way out has shown the run's own message.
        if (result.outcome == UpgradeOutcome::Planned || result.outcome == UpgradeOutcome::Unchanged)
            AppMessageBox(m_hWnd, PreviewText(result), Text(TextNo::kPreviewCaption), MB_ICONINFORMATION);
    });
}

void CUpgradeDlg::OnBatch()
{
    // Locked as for a single run, but without the wait cursor: the batch
    // dialog waits for the user's radios and Stop, not the other way round.
    m_browseAfterRun = false;
    {
        CControlLock lock(*this);
        const bool folderMode = IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED;
        CDataFileOptionFiles files = OptionFiles(folderMode);
        DialogHistory history(m_DataFile, m_nPortNumber);
        BatchMode mode;
        mode.port = m_nPortNumber;
        mode.folderMode = folderMode;
        mode.location = folderMode ? m_strFolderPath : m_strFilePath;
        // The loop's clock is the link's, so the waits and the reads agree.
        const BatchRunParts parts{theRadio,
                                  theLanguage,
                                  m_DataFile,
                                  files,
                                  &history.journal,
                                  *theRadio.GetApis().clock,
                                  [&history] { return history.folder.Now(); }};
        CBatchDlg dialog(this, parts, mode);
        dialog.DoModal();
        m_browseAfterRun = dialog.Ending() == BatchEnding::LocationMissing;
    }
    AfterRun();
}

void CUpgradeDlg::RunLocked(const std::function<void()>& body)
{
    // Declared in this order so the dialog is unlocked before the wait
    // cursor ends, whichever way the handler is left.
    CWaitCursor wait;
    m_browseAfterRun = false;
    {
        CControlLock lock(*this);
        body();
    }
    AfterRun();
}

void CUpgradeDlg::AfterRun()
{
    if (m_browseAfterRun) {
        // Posted, so the Browse dialog opens once this handler has returned.
        PostMessage(WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
        return;
    }
    // A disabled control cannot take the focus: only once the dialog is
    // unlocked does Upgrade keep it for the next run. Through the dialog
    // manager, so the default button follows the focus.
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDC_UPGRADE)), TRUE);
}

UpgradeResult CUpgradeDlg::RunDialogMode(bool folderMode, const UpgradeRunMode& mode)
{
    CDataFileOptionFiles files = OptionFiles(folderMode);
    DialogHistory history(m_DataFile, m_nPortNumber);
    LastRunTrace trace(m_DataFile, theRadio);
    CBoxAsker boxes; // the run's questions and messages, owned by this dialog
    UpgradeEnvironment environment{theRadio, theLanguage, boxes, this, m_DataFile, files, &history.journal};
    environment.steps = trace.Steps();
    CUpgradeRun run(environment, mode);
    const UpgradeResult result = folderMode ? run.UpgradeFromFolder(m_nPortNumber, m_strFolderPath)
                                            : run.UpgradeFromFile(m_nPortNumber, m_strFilePath);
    TakeResult(result);
    return result;
}

void CUpgradeDlg::TakeResult(const UpgradeResult& result)
{
    m_browseAfterRun = result.outcome == UpgradeOutcome::LocationMissing;
    if (result.recordRead)
        m_strVersion = result.version;
    if (result.optionFilesCollected)
        m_OptionFileList = result.optionFiles;
}

CDataFileOptionFiles CUpgradeDlg::OptionFiles(bool folderMode)
{
    std::function<void()> pause;
    if (folderMode) {
        pause = [this] {
            MessagePause();
            // A message handled in the pause may have put another cursor up.
            if (CWinApp* app = AfxGetApp())
                app->RestoreWaitCursor();
        };
    }
    return CDataFileOptionFiles(m_DataFile, this, std::move(pause));
}

int CUpgradeDlg::UpgradeFromFolder()
{
    return RunResult(RunDialogMode(true, UpgradeRunMode()).outcome);
}

int CUpgradeDlg::UpgradeFromFile()
{
    return RunResult(RunDialogMode(false, UpgradeRunMode()).outcome);
}

int CUpgradeDlg::CollectOptionFiles(const unsigned char* identity)
{
    CDataFileOptionFiles files = OptionFiles(true);
    COptionLogic logic(files);
    return ::CollectOptionFiles(m_DataFile, logic, m_strFolderPath, identity, m_OptionFileList);
}

int CUpgradeDlg::ApplyOptions(unsigned char* record)
{
    if (IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED)
        return ApplyFolderOptions(record);
    return ApplyFileOptions(record);
}

int CUpgradeDlg::ApplyFolderOptions(unsigned char* record)
{
    CDataFileOptionFiles files = OptionFiles(true);
    return COptionLogic(files).ApplyFolderOptions(m_OptionFileList, record, m_strVersion);
}

int CUpgradeDlg::ApplyFileOptions(unsigned char* record)
{
    CDataFileOptionFiles files = OptionFiles(false);
    return COptionLogic(files).ApplyFileOptions(m_strFilePath, record, m_strVersion);
}

void CUpgradeDlg::MessagePause()
{
    // An Alt key press and a quit request are dropped, not handled: neither
    // may end or redirect a run that is talking to a transceiver.
    MSG msg;
    ::PeekMessageA(&msg, nullptr, WM_SYSKEYDOWN, WM_SYSKEYDOWN, PM_REMOVE);
    ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}
