// The program's four global objects, constructed in this order before the
// application starts and destroyed in reverse order at exit (Globals.cpp).
#pragma once

#include "app/DialogText.h"
#include "app/UpgradeApp.h"
#include "link/RadioCom.h"
#include "text/LanguageTable.h"

extern CUpgradeApp theApp;
extern CLanguageTable theLanguage;
extern CDialogText theDialogText;
extern CRadioCom theRadio;
