// CUpgradeDlg: the main dialog, the program's only top-level window.
//
// UpgradeDlg.cpp holds the dialog itself (texts, mode buttons, the path edit,
// Browse, the lock during a run, the location check, the close question) and
// the members of the upgrade run and the option logic, which hand over to
// upgrade/; UpgradeSettings.cpp reads and writes the settings.
#pragma once

#include "app/FilterEdit.h"
#include "files/DataFile.h"
#include "framework/CString.h"
#include "framework/Dialog.h"
#include "upgrade/DataFileOptionFiles.h"

#include <functional>
#include <vector>

struct UpgradeResult;
struct UpgradeRunMode;

class CUpgradeDlg : public CDialog {
public:
    explicit CUpgradeDlg(CWnd* parent = nullptr);
    ~CUpgradeDlg() override;

    // The upgrade run (CUpgradeRun). Each run returns 0 when the transceiver
    // accepted the record, 1 on every other way out; the dialog keeps the
    // version read and the folder's option files from its result.
    void OnUpgrade();
    int UpgradeFromFolder();
    int UpgradeFromFile();
    // The option logic (COptionLogic and the folder collection) over the
    // dialog's folder, file and version.
    int CollectOptionFiles(const unsigned char* identity);
    int ApplyOptions(unsigned char* record);
    int ApplyFolderOptions(unsigned char* record);
    int ApplyFileOptions(unsigned char* record);
    void MessagePause();
    // The option files as the dialog's runs read them: file errors owned by
    // the dialog, and in Folder mode a message pause after each file.
    CDataFileOptionFiles OptionFiles(bool folderMode);

    // Locks (0) or unlocks (1) the dialog for a run: close box and system
    // menu Close, the six controls, Exit and COM port, the busy caption.
    void EnableControls(int enable);
    // Non-zero when the location of the current mode exists: Folder mode
    // needs at least one option file in the folder, File mode the file.
    int CheckLocation();

    // Locks the dialog for the life of a scope: EnableControls(0) now,
    // EnableControls(1) on every way out. Declare it after a CWaitCursor so
    // the dialog is unlocked before the wait cursor ends.
    class CControlLock {
    public:
        explicit CControlLock(CUpgradeDlg& dialog) : m_dialog(dialog) { m_dialog.EnableControls(0); }
        ~CControlLock() { m_dialog.EnableControls(1); }
        CControlLock(const CControlLock&) = delete;
        CControlLock& operator=(const CControlLock&) = delete;

    private:
        CUpgradeDlg& m_dialog;
    };

    // Settings ("ORVELLE.ini" beside the executable, section "INIT").
    void LoadSettings();
    void SaveSettings();

    // Members, in this order.
    CFilterEdit m_PathEdit;
    HICON m_hIcon;
    CString m_strFolderPath;
    CString m_strFilePath;
    CString m_strVersion;
    CDataFile m_DataFile;
    std::vector<CString> m_OptionFileList;
    int m_nPortNumber = 1;
    int m_nMode = 1;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnExit();
    void OnAbout();
    void OnBrowse();
    int OnCreate(LPCREATESTRUCTA createStruct);
    void OnLocationKillFocus();
    void OnFolderMode();
    void OnFileMode();
    void OnComPort();
    // Setup > Preview upgrade: the run of the current mode up to the write,
    // then one box with what it would write; nothing is written.
    void OnPreview();
    // Setup > Upgrade radio after radio: the batch dialog over the current
    // mode's location and the port, with the dialog locked while it is open;
    // Browse follows when the location is missing, as after a single run.
    void OnBatch();
    // File > Save support file...: the support file written to its default
    // place beside the program, and a box with its path or why it was not.
    void OnSupportFile();
    BOOL OnHelpInfo(HELPINFO* helpInfo);

    // Browse in each mode.
    void BrowseFolder();
    void BrowseFile();

    DECLARE_MESSAGE_MAP()

private:
    // A command that runs the transceiver: the wait cursor and the lock
    // around body, then AfterRun.
    void RunLocked(const std::function<void()>& body);
    // After a run, with the dialog unlocked: Browse when the run found no
    // location, or else the focus back on Upgrade.
    void AfterRun();
    // One run of the current mode's location over the dialog's file access,
    // history and last-run trace; the dialog keeps what it needs of it.
    UpgradeResult RunDialogMode(bool folderMode, const UpgradeRunMode& mode);
    // What the dialog keeps of a run: the version, the folder's option files
    // and whether Browse is to follow.
    void TakeResult(const UpgradeResult& result);
    // The run's step that reports a missing location: Browse, once the
    // Upgrade command has returned.
    bool m_browseAfterRun = false;

    // The settings file's full path; empty when the executable's folder is
    // unknown (then nothing is read or written).
    CString SettingsFilePath();

    // A path read at the settings file's value limit may have been cut; it is
    // written back only if it changed, so the stored path survives whole.
    CString m_strFolderAsRead;
    CString m_strFileAsRead;
};
