// CUpgradeDlg's option logic: the refusal list, the folder collection and the
// Folder and File mode steps over the dialog's option files.
#include "app/UpgradeDlg.h"

#include "files/FindHandle.h"
#include "upgrade/DialogOptionFiles.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLogic.h"
#include "res/resource.h"
#include "upgrade/UpgradeControls.h"

#include <windows.h>

int CUpgradeDlg::IsRefusedModel(const unsigned char* identity)
{
    return IsRefusedModelName(identity) ? 1 : 0;
}

int CUpgradeDlg::CollectOptionFiles(const unsigned char* identity)
{
    m_OptionFileList.clear();
    CDialogOptionFiles files(m_DataFile, this, [this] { MessagePause(); });
    COptionLogic logic(files);

    CString pattern;
    pattern.Format("%s\\*.%s", m_strFolderPath.GetString(), kOptionFileExtension);
    CFindHandle search;
    _finddata_t entry = {};
    while (m_DataFile.ExistOptionFileToModel(&pattern, &entry, search.Address())) {
        // A folder named like an option file is not one: opening it would
        // only raise a file-error box.
        if (entry.attrib & _A_SUBDIR)
            continue;
        CString path;
        path.Format("%s\\%s", m_strFolderPath.GetString(), entry.name);
        if (logic.IsOptionFileForModel(path, identity))
            m_OptionFileList.push_back(path);
    }
    return m_OptionFileList.empty() ? 0 : 1;
}

int CUpgradeDlg::ApplyOptions(unsigned char* record)
{
    if (IsDlgButtonChecked(IDC_FOLDER_MODE) == BST_CHECKED)
        return ApplyFolderOptions(record);
    return ApplyFileOptions(record);
}

int CUpgradeDlg::ApplyFolderOptions(unsigned char* record)
{
    return SequenceFolderSteps(
        record, [this](unsigned char* r, std::vector<CString>& s) { return SelectEntryFiles(r, s); },
        [this](std::vector<CString>& s) { return CheckFileVersions(s); },
        [this](unsigned char* r, const std::vector<CString>& s) { return MergeFolderOptions(r, s); });
}

int CUpgradeDlg::SelectEntryFiles(unsigned char* record, std::vector<CString>& selection)
{
    CDialogOptionFiles files(m_DataFile, this, [this] { MessagePause(); });
    return COptionLogic(files).SelectEntryFiles(m_OptionFileList, record, selection);
}

int CUpgradeDlg::CheckFileVersions(std::vector<CString>& selection)
{
    CDialogOptionFiles files(m_DataFile, this, [this] { MessagePause(); });
    return COptionLogic(files).CheckFileVersions(selection, m_strVersion);
}

int CUpgradeDlg::MergeFolderOptions(unsigned char* record, const std::vector<CString>& selection)
{
    CDialogOptionFiles files(m_DataFile, this, [this] { MessagePause(); });
    return COptionLogic(files).MergeFolderOptions(record, selection);
}

int CUpgradeDlg::ApplyFileOptions(unsigned char* record)
{
    CDialogOptionFiles files(m_DataFile, this, nullptr);
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
