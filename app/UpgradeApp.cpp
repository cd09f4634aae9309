#include "app/UpgradeApp.h"

#include "app/Globals.h"
#include "framework/StartupHardening.h"
#include "app/UpgradeDlg.h"

#include <commctrl.h>

CUpgradeApp::~CUpgradeApp() = default;

BOOL CUpgradeApp::InitInstance()
{
    // First of all: the common controls below load libraries, and the
    // dialog must never be ghosted.
    HardenDllSearch();
    DisableGhosting();

    // The standard controls with visual styles (the manifest asks for
    // version 6 of the common controls).
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    // A missing or damaged language file has shown its message: no window.
    if (!theLanguage.Open("English"))
        return FALSE;

    CUpgradeDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
