// Stand-ins for the upgrade run and the option logic, compiled only while
// upgrade/ does not provide them, so that the program links. Every run ends
// at once as "not upgraded".
#include "app/UpgradeDlg.h"

void CUpgradeDlg::OnUpgrade()
{
}
int CUpgradeDlg::UpgradeFromFolder()
{
    return 1;
}
int CUpgradeDlg::UpgradeFromFile()
{
    return 1;
}
int CUpgradeDlg::IsRefusedModel(const unsigned char*)
{
    return 0;
}
int CUpgradeDlg::CollectOptionFiles(const unsigned char*)
{
    return 0;
}
int CUpgradeDlg::ApplyOptions(unsigned char*)
{
    return 2;
}
int CUpgradeDlg::ApplyFolderOptions(unsigned char*)
{
    return 2;
}
int CUpgradeDlg::SelectEntryFiles(unsigned char*, std::vector<CString>&)
{
    return 2;
}
int CUpgradeDlg::CheckFileVersions(std::vector<CString>&)
{
    return 0;
}
int CUpgradeDlg::MergeFolderOptions(unsigned char*, const std::vector<CString>&)
{
    return 2;
}
int CUpgradeDlg::ApplyFileOptions(unsigned char*)
{
    return 2;
}
void CUpgradeDlg::MessagePause()
{
}
