#include "app/BatchDlg.h"

#include "app/Globals.h"
#include "files/ReplacingWrite.h"
#include "framework/AppMessageBox.h"
#include "framework/FileDialog.h"
#include "framework/SystemText.h"
#include "res/resource.h"
#include "text/FillText.h"
#include "text/TextNumbers.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"

#include <commctrl.h>

#include <iterator>

namespace {

// Posted from OnInitDialog: the batch starts once the dialog is up and its
// loop turns.
constexpr UINT kStartMessage = WM_APP + 1;

constexpr char kReportExtension[] = "csv";
constexpr char kReportName[] = "radio-report.csv";

CString Text(int number)
{
    return CString(theLanguage.GetText(number));
}

CString Number(int value)
{
    CString text;
    text.Format("%d", value);
    return text;
}

// The columns' headings and widths (dialog units), in column order.
struct ColumnSpec {
    int text;
    int width;
};
constexpr ColumnSpec kColumns[CBatchDlg::kColumnCount] = {
    {TextNo::kBatchColumnNumber, 22},  {TextNo::kBatchColumnModel, 50},  {TextNo::kBatchColumnIdentity, 90},
    {TextNo::kBatchColumnBefore, 100}, {TextNo::kBatchColumnAfter, 100}, {TextNo::kBatchColumnOutcome, 120},
};

// Each verdict's word, in the order of BatchVerdict.
constexpr int kVerdictTexts[] = {
    TextNo::kBatchWritten, TextNo::kBatchUnchanged,     TextNo::kBatchFailed,
    TextNo::kBatchRefused, TextNo::kBatchSkippedAsDone, TextNo::kBatchStoppedRadio,
};
static_assert(std::size(kVerdictTexts) == static_cast<std::size_t>(BatchVerdict::Stopped) + 1,
              "one text per verdict");

// The outcome cell: the verdict's word, then the message the run would have
// shown, on one line.
CString OutcomeText(const BatchRow& row)
{
    CString text = Text(kVerdictTexts[static_cast<std::size_t>(row.verdict)]);
    if (row.message.IsEmpty())
        return text;
    CString message = row.message;
    message.Replace("\r", "");
    message.Replace('\n', ' ');
    return text + ": " + message;
}

// A row's cells, in column order; empty where the run did not get so far.
std::array<CString, CBatchDlg::kColumnCount> RowCells(const BatchRow& row)
{
    const UpgradeResult& result = row.result;
    std::array<CString, CBatchDlg::kColumnCount> cells;
    cells[CBatchDlg::kNumberColumn] = Number(row.number);
    if (result.identityRead) {
        cells[CBatchDlg::kModelColumn] = HistoryModelName(result.identity.data());
        cells[CBatchDlg::kIdentityColumn] = PrintableIdentity(result.identity.data());
    }
    // In pairs, the bytes the upgrade changes marked in both cells; a record
    // with nothing planned for it is compared with itself (no marks).
    const MarkedHex bytes = MarkedOptionBytes(
        result.recordBefore, result.recordPlanned ? result.recordAfter : result.recordBefore);
    if (result.recordRead)
        cells[CBatchDlg::kBeforeColumn] = bytes.before;
    if (result.recordPlanned)
        cells[CBatchDlg::kAfterColumn] = bytes.after;
    cells[CBatchDlg::kOutcomeColumn] = OutcomeText(row);
    return cells;
}

void SetCell(HWND list, int item, int column, const CString& text)
{
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(text.GetString());
    ::SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

} // namespace

BEGIN_MESSAGE_MAP(CBatchDlg, CDialog)
ON_WM_HELPINFO()
ON_BN_CLICKED(IDC_BATCH_STOP, OnStop)
ON_BN_CLICKED(IDC_BATCH_SAVE, OnSaveReport)
ON_MESSAGE(kStartMessage, OnStart)
END_MESSAGE_MAP()

CBatchDlg::CBatchDlg(CWnd* parent, const BatchRunParts& parts, const BatchMode& mode)
    : CDialog(IDD_BATCH, parent), m_parts(parts), m_mode(mode), m_asker([this] { return m_stopAsked; })
{
    // The template's list needs its class before the dialog is made.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
}

BOOL CBatchDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    HICON icon = theApp.LoadIcon(IDR_MAINFRAME);
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);

    SetWindowText(Text(TextNo::kBatchCaption));
    static const DialogTextEntry kTexts[] = {
        {IDC_BATCH_STOP, TextNo::kBatchStop},
        {IDC_BATCH_SAVE, TextNo::kBatchSaveReport},
        {IDCANCEL, TextNo::kBatchClose},
    };
    theDialogText.SetItemTexts(this, kTexts);
    AddColumns();

    // Until the batch has stopped, only Stop.
    ::EnableWindow(GetDlgItem(IDC_BATCH_SAVE), FALSE);
    ::EnableWindow(GetDlgItem(IDCANCEL), FALSE);
    m_running = true;
    PostMessage(kStartMessage);
    return TRUE;
}

void CBatchDlg::AddColumns()
{
    HWND list = GetDlgItem(IDC_BATCH_LIST);
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < kColumnCount; ++i) {
        RECT width = {0, 0, kColumns[i].width, 0};
        ::MapDialogRect(m_hWnd, &width);
        const CString heading = Text(kColumns[i].text);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(heading.GetString());
        column.cx = width.right;
        column.iSubItem = i;
        ::SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

LRESULT CBatchDlg::OnStart(WPARAM, LPARAM)
{
    RunBatch();
    return 0;
}

void CBatchDlg::RunBatch()
{
    UpgradeEnvironment run{m_parts.link,     m_parts.texts, m_asker,        this,
                           m_parts.dataFile, m_parts.files, m_parts.journal};
    run.stopRequested = [this] { return m_stopAsked; };
    const BatchEnvironment environment{run, m_parts.clock, [this](int milliseconds) { Pause(milliseconds); },
                                       m_parts.now, *this};
    CRadioBatch batch(environment, m_mode);
    m_ending = batch.Run();
    m_running = false;
    ShowStopped();
}

void CBatchDlg::ShowStopped()
{
    // The location's warning when the batch could not even begin; else how
    // many radios it listed.
    if (m_ending == BatchEnding::LocationMissing && !m_asker.LastMessage().IsEmpty())
        SetDlgItemText(IDC_BATCH_STATUS, m_asker.LastMessage());
    else
        SetDlgItemText(IDC_BATCH_STATUS,
                       FillText(Text(TextNo::kBatchStopped), {Number(static_cast<int>(m_rows.size()))}));
    ::EnableWindow(GetDlgItem(IDC_BATCH_SAVE), TRUE);
    ::EnableWindow(GetDlgItem(IDCANCEL), TRUE);
    // Through the dialog manager, so the default button follows the focus;
    // before Stop is disabled, which may hold it.
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDCANCEL)), TRUE);
    ::EnableWindow(GetDlgItem(IDC_BATCH_STOP), FALSE);
}

void CBatchDlg::Pause(int milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 0);
    PumpWaiting();
    for (ULONGLONG now = ::GetTickCount64(); !m_stopAsked && now < end; now = ::GetTickCount64()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        PumpWaiting();
    }
}

void CBatchDlg::PumpWaiting()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // For the loop that waits for it; the batch stops first.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            m_stopAsked = true;
            return;
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

void CBatchDlg::Status(BatchState state, int port, int seconds)
{
    CString text;
    switch (state) {
    case BatchState::WaitingForRadio:
        text = FillText(Text(TextNo::kBatchWaiting), {Number(port), Number(seconds)});
        break;
    case BatchState::PortMissing:
        text = FillText(Text(TextNo::kBatchPortMissing), {Number(port)});
        break;
    case BatchState::Upgrading:
        m_asker.NewRadio();
        text = FillText(Text(TextNo::kBatchUpgrading), {Number(static_cast<int>(m_rows.size()) + 1)});
        break;
    case BatchState::RemoveRadio:
        text = Text(TextNo::kBatchRemoveRadio);
        break;
    }
    SetDlgItemText(IDC_BATCH_STATUS, text);
    // A connection attempt that finds nobody can outlast the interval
    // between attempts, and then the loop does not pause at all: the dialog
    // takes its messages here too, so Stop is heard while it waits. Not
    // while a radio is upgraded: its run reads on.
    if (state != BatchState::Upgrading)
        PumpWaiting();
}

void CBatchDlg::RadioDone(const BatchRow& row)
{
    m_rows.push_back(row);
    HWND list = GetDlgItem(IDC_BATCH_LIST);
    const auto cells = RowCells(row);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(m_rows.size()) - 1;
    item.pszText = const_cast<char*>(cells[0].GetString());
    const int at =
        static_cast<int>(::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0)
        return;
    for (int column = 1; column < kColumnCount; ++column)
        SetCell(list, at, column, cells[static_cast<std::size_t>(column)]);
    ::SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(at), FALSE);
}

void CBatchDlg::OnStop()
{
    m_stopAsked = true;
}

void CBatchDlg::OnCancel()
{
    // Esc and the close box while the batch runs stop it; Close comes once
    // it has stopped.
    if (m_running) {
        OnStop();
        return;
    }
    CDialog::OnCancel();
}

void CBatchDlg::OnSaveReport()
{
    CString filter;
    filter.Format("%s(*.%s)|*.%s||", Text(TextNo::kBatchReportFilter).GetString(), kReportExtension,
                  kReportExtension);
    CFileDialog dialog(FALSE, kReportExtension, kReportName, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter,
                       this);
    if (dialog.DoModal() != IDOK)
        return;
    SaveReport(dialog.GetPathName());
}

bool CBatchDlg::SaveReport(const CString& path)
{
    const CString report = BatchReportCsv(m_rows);
    const DWORD error = WriteFileReplacing(path, report.str());
    if (error == ERROR_SUCCESS)
        return true;
    AppMessageBox(
        m_hWnd, FillText(Text(TextNo::kBatchReportNotSaved), {SystemText(error, SystemTextForms::kWarning)}),
        Text(TextNo::kCaptionError), MB_ICONERROR);
    return false;
}
