// CBatchDlg: Setup > Upgrade radio after radio. The batch (CRadioBatch)
// starts as soon as the dialog is up and runs on the dialog's thread, as a
// single run does: between connection attempts it pauses here, and the pause
// keeps the dialog alive (Stop, Esc, the close box) until the time has
// passed or Stop was pressed. Each radio gets a row in the list; the status
// line says what the batch waits for. No box holds the batch up but the
// history question (CUnattendedAsker). Once stopped, the report can be saved
// and the dialog closed.
#pragma once

#include "app/UnattendedAsker.h"
#include "framework/CString.h"
#include "framework/Dialog.h"
#include "upgrade/RadioBatch.h"

#include <functional>
#include <vector>

class CDataFile;
class CLanguageTable;
class COptionFileAccess;
class CRadioCom;
class CUpgradeJournal;
struct ClockApi;
struct HistoryTime;

// What the batch needs that the dialog does not own: the single run's
// environment but its asker and owner (the dialog's), the loop's clock and
// the time its rows are made at.
struct BatchRunParts {
    CRadioCom& link;
    CLanguageTable& texts;
    CDataFile& dataFile;
    COptionFileAccess& files;
    CUpgradeJournal* journal;
    const ClockApi& clock;
    std::function<HistoryTime()> now;
};

class CBatchDlg : public CDialog, private CBatchObserver {
public:
    // The list's columns, in order.
    enum Column {
        kNumberColumn,
        kModelColumn,
        kIdentityColumn,
        kBeforeColumn,
        kAfterColumn,
        kOutcomeColumn,
        kColumnCount
    };

    // The parts must outlive the dialog.
    CBatchDlg(CWnd* parent, const BatchRunParts& parts, const BatchMode& mode);

    // The rows so far, in the order the radios came.
    const std::vector<BatchRow>& Rows() const { return m_rows; }
    // How the batch ended; meaningful once it has stopped.
    BatchEnding Ending() const { return m_ending; }
    bool Running() const { return m_running; }

    // Writes the report (BatchReportCsv) to path, replacing a file there in
    // one step; false after the error box.
    bool SaveReport(const CString& path);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    BOOL OnHelpInfo(HELPINFO*) { return TRUE; }

    // CBatchObserver: the status line and the rows.
    void Status(BatchState state, int port, int seconds) override;
    void RadioDone(const BatchRow& row) override;

    void OnStop();
    void OnSaveReport();
    LRESULT OnStart(WPARAM, LPARAM);

    // The loop's pause: the dialog's messages until milliseconds have passed
    // or Stop was pressed. Virtual for a test whose clock is not the
    // machine's.
    virtual void Pause(int milliseconds);

    DECLARE_MESSAGE_MAP()

private:
    // Runs the batch to its end; the dialog then offers the report and Close.
    void RunBatch();
    // Dispatches the messages waiting, as the modal loop would.
    void PumpWaiting();
    void AddColumns();
    void ShowStopped();

    BatchRunParts m_parts;
    BatchMode m_mode;
    CUnattendedAsker m_asker;
    std::vector<BatchRow> m_rows;
    bool m_running = false;
    bool m_stopAsked = false;
    BatchEnding m_ending = BatchEnding::StopAsked;
};
