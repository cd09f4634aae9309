// CUpgradeApp: the application. InitInstance loads the language table and
// runs the main dialog; the program ends when it returns.
#pragma once

#include "framework/WinApp.h"

class CUpgradeApp : public CWinApp {
public:
    CUpgradeApp() = default;
    ~CUpgradeApp() override;

    // Always false: there is no message loop after the main dialog.
    BOOL InitInstance() override;
};
