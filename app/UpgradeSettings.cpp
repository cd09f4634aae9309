// The main dialog's settings: read once at start-up, written once at a
// confirmed close.
#include "app/UpgradeDlg.h"

#include "app/SettingsValue.h"
#include "upgrade/ProgramSettings.h"

namespace {

using Settings::kSection;
// The settings file gives at most this many characters of a value.
constexpr int kValueLimit = 259;

} // namespace

CString CUpgradeDlg::SettingsFilePath()
{
    const CString folder = m_DataFile.GetExePath();
    // A bare file name would make the platform use the Windows folder.
    if (folder.IsEmpty())
        return CString();
    return folder + Settings::kFileName;
}

void CUpgradeDlg::LoadSettings()
{
    const CString path = SettingsFilePath();
    CString value;

    m_strFolderAsRead.Empty();
    m_strFileAsRead.Empty();

    const int folderLength =
        path.IsEmpty() ? 0 : m_DataFile.OpenInitFile(path, kSection, Settings::kFolderKey, &value);
    m_strFolderPath = path.IsEmpty() ? CString() : value;
    if (folderLength >= kValueLimit)
        m_strFolderAsRead = m_strFolderPath;
    if (m_strFolderPath.IsEmpty())
        m_strFolderPath = m_DataFile.GetDefDirPath();

    value.Empty();
    const int fileLength =
        path.IsEmpty() ? 0 : m_DataFile.OpenInitFile(path, kSection, Settings::kFileKey, &value);
    m_strFilePath = value;
    if (fileLength >= kValueLimit)
        m_strFileAsRead = m_strFilePath;

    // The number as read, unchecked: it is written back as it is, and the
    // link takes PortName::LinkPortOf of it.
    m_nPortNumber = 1;
    value.Empty();
    if (!path.IsEmpty())
        m_DataFile.OpenInitFile(path, kSection, Settings::kPortKey, &value);
    if (!value.IsEmpty())
        m_nPortNumber = ParseSettingsInt(value);

    m_nMode = 1;
    value.Empty();
    if (!path.IsEmpty())
        m_DataFile.OpenInitFile(path, kSection, Settings::kModeKey, &value);
    if (!value.IsEmpty()) {
        const int mode = ParseSettingsInt(value);
        if (mode >= 1 && mode <= 2)
            m_nMode = mode;
    }
}

void CUpgradeDlg::SaveSettings()
{
    const CString path = SettingsFilePath();
    if (path.IsEmpty())
        return;

    // A path that was cut on reading and not changed since is left as the
    // file holds it: writing it back would lose its end.
    if (m_strFolderAsRead.IsEmpty() || m_strFolderPath != m_strFolderAsRead) {
        if (!m_DataFile.SaveInitFile(path, kSection, Settings::kFolderKey, &m_strFolderPath))
            return;
    }
    if (m_strFileAsRead.IsEmpty() || m_strFilePath != m_strFileAsRead) {
        if (!m_DataFile.SaveInitFile(path, kSection, Settings::kFileKey, &m_strFilePath))
            return;
    }
    CString value;
    value.Format("%d", m_nPortNumber);
    if (!m_DataFile.SaveInitFile(path, kSection, Settings::kPortKey, &value))
        return;
    value.Format("%d", m_nMode);
    m_DataFile.SaveInitFile(path, kSection, Settings::kModeKey, &value);
}
