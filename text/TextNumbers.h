// The numbers of the language texts: every caption, label, menu item and
// message of the program is named here, once. The language file holds the
// texts in this order.
#pragma once

namespace TextNo {
constexpr int kLanguageName = 0;
constexpr int kAppTitle = 1;       // main dialog caption
constexpr int kVersion = 2;        // argument of kVersionLine
constexpr int kReleaseDate = 3;    // argument of kReleaseLine
constexpr int kCaptionOutcome = 4; // information boxes
constexpr int kCaptionWarning = 5; // warning boxes
constexpr int kCaptionError = 6;   // errors and link failures
constexpr int kCaptionQuestion = 7;
constexpr int kCaptionExit = 8; // the close question
constexpr int kAboutCaption = 9;
constexpr int kAboutName = 10;
constexpr int kVersionLine = 11; // format, one %s
constexpr int kReleaseLine = 12; // format, one %s
constexpr int kAboutLine1 = 13;
constexpr int kAboutLine2 = 14;
constexpr int kUpgradeButton = 15;
constexpr int kBrowseButton = 16;
constexpr int kOptionFile = 17;
constexpr int kOptionFolder = 18;
constexpr int kOkButton = 19;
constexpr int kCancelButton = 20;
constexpr int kHelpButton = 21;
constexpr int kFileMenu = 22;
constexpr int kSetupMenu = 23;
constexpr int kHelpMenu = 24;
constexpr int kExitItem = 25;
constexpr int kComPortItem = 26;
constexpr int kAboutItem = 27;
constexpr int kLocationLabel = 28;
constexpr int kModeGroup = 29;
constexpr int kFolderMode = 30;
constexpr int kFileMode = 31;
constexpr int kComPortCaption = 32;
constexpr int kComPortGroup = 33;
constexpr int kPickerPrompt = 34;
constexpr int kNoOptionFileInFolder = 35;
constexpr int kNoOptionFile = 36;
constexpr int kRecordWritten = 37;
constexpr int kRecordRefused = 38;
constexpr int kVersionRequired = 39;
constexpr int kVersionRecommended = 40;
constexpr int kExitQuestion = 41;
constexpr int kPleaseWait = 42;
constexpr int kPortNotOpened = 43;
constexpr int kLinkFailed = 44;
constexpr int kRefusedModel = 45;
constexpr int kNoOptionForTransceiver = 46;
constexpr int kBusy = 47; // caption suffix during a run
// Texts from here on have built-in English defaults (LanguageTable.cpp): a
// language file from before them still loads.
constexpr int kWriteWithoutHistory = 48; // question: %1 the history's reason, %2 the record read (hex)

constexpr int kCount = 49;
} // namespace TextNo
