#include "app/Globals.h"

// One translation unit, so the order below is the order of construction.
CUpgradeApp theApp;
CLanguageTable theLanguage;
CDialogText theDialogText;
CRadioCom theRadio;
