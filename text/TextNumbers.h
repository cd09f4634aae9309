// The numbers of the language texts: every caption, label, menu item and
// message of ORVELLE.exe, and the lines of orvelle-cli's commands that load
// the texts (identify, upgrade, restore), each named here once, in the order
// the language file holds them. What stays English is kept beside its code:
// the language file's own failures (text/LanguageTableOpen_win.cpp), shown
// when no texts can be had; orvelle-cli's usage, help and usage errors
// (among them an unusable --trace or --entry), found before any language
// file is read; the history command, which reads none, and the port list,
// whose --probe states are in the file's words when it can be read; the
// reasons the system and the history give (a port's system error, history
// warnings), put into these texts as they come; and the --json words and the
// report's fact names, which scripts read.
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

constexpr int kCount = 48;

// Texts added since the first language files, numbered apart from those every
// file holds: a file without them still loads, and the table gives the
// built-in English text in their place.
constexpr int kFirstAdded = 100;
constexpr int kMorePortsLabel = 100; // COM port dialog: the list of ports above COM20
// The record read back after a write is not the one written.
constexpr int kVerifyFailed = 101;
// Setup > Preview upgrade, and its box: a caption, labels each followed by
// its value, and two closing lines.
constexpr int kPreviewItem = 102;
constexpr int kPreviewCaption = 103;
constexpr int kPreviewModel = 104;
constexpr int kPreviewBytesNow = 105;
constexpr int kPreviewBytesAfter = 106;
constexpr int kPreviewFiles = 107;
constexpr int kPreviewUnchanged = 108;
constexpr int kPreviewNothingWritten = 109;
// The history cannot keep the record read: write without it? %1 the
// history's reason, %2 the record read (hex).
constexpr int kWriteWithoutHistory = 110;
// The file-error boxes: one description per file-error cause, in cause
// order, each with "%1" for the file, and the name put in for a file
// without one. Their caption is kCaptionError.
constexpr int kFileErrorNone = 111;
constexpr int kFileErrorGeneric = 112;
constexpr int kFileErrorNotFound = 113;
constexpr int kFileErrorBadPath = 114;
constexpr int kFileErrorTooManyOpen = 115;
constexpr int kFileErrorAccessDenied = 116;
constexpr int kFileErrorInvalidFile = 117;
constexpr int kFileErrorRemoveCurrentDir = 118;
constexpr int kFileErrorDirectoryFull = 119;
constexpr int kFileErrorBadSeek = 120;
constexpr int kFileErrorHardIO = 121;
constexpr int kFileErrorSharingViolation = 122;
constexpr int kFileErrorLockViolation = 123;
constexpr int kFileErrorDiskFull = 124;
constexpr int kFileErrorEndOfFile = 125;
constexpr int kFileUnnamed = 126;
constexpr int kOptionFileFilter = 127; // the file dialog's name of option files
// The console tool's own lines after its program name. %1, %2 as each says.
constexpr int kCliRetrying = 128;      // %1 retries used, %2 allowed
constexpr int kCliNoRetriesLeft = 129; // %1 retries allowed
constexpr int kCliWarning = 130;       // %1 the warning
// %1 %2 the transceiver's model and identity, %3 the history row, %4 %5
// the model and identity the row was read from.
constexpr int kCliRestoreRefused = 131;
constexpr int kCliNoHistoryAnswer = 132;      // the answer No to kWriteWithoutHistory
constexpr int kCliInterruptedCancelled = 133; // the answer Cancel to a Retry prompt after Ctrl+C
constexpr int kCliInterruptedAfter = 134;     // %1 how the run had ended (its --json word)
constexpr int kCliInterruptedNothingWritten = 135;
constexpr int kCliHistoryNotKept = 136;
constexpr int kCliPortNotOpened = 137; // %1 the port number, %2 the reason
// The reasons a technician meets most for a port that cannot be opened.
constexpr int kCliPortInUse = 138;
constexpr int kCliPortNotPresent = 139;
// A restore refused for its record: %1 the model the record is for, %2 %3 the
// transceiver's model and identity; or %1 the byte a blank record is made of.
constexpr int kCliRestoreOtherModel = 140;
constexpr int kCliRestoreBlank = 141;
// Setup > Upgrade radio after radio, and its dialog: the menu item, caption
// and buttons, the list's columns, the status line (%1 the port, %2 the
// seconds waited; %1 the radio's number; %1 the radios listed), each
// verdict's word, the report's file type and the box when it cannot be
// saved (%1 the system's reason).
constexpr int kBatchItem = 142;
constexpr int kBatchCaption = 143;
constexpr int kBatchStop = 144;
constexpr int kBatchSaveReport = 145;
constexpr int kBatchClose = 146;
constexpr int kBatchColumnNumber = 147;
constexpr int kBatchColumnModel = 148;
constexpr int kBatchColumnIdentity = 149;
constexpr int kBatchColumnBefore = 150;
constexpr int kBatchColumnAfter = 151;
constexpr int kBatchColumnOutcome = 152;
constexpr int kBatchWaiting = 153;
constexpr int kBatchUpgrading = 154;
constexpr int kBatchRemoveRadio = 155;
constexpr int kBatchPortMissing = 156;
constexpr int kBatchStopped = 157;
constexpr int kBatchWritten = 158;
constexpr int kBatchUnchanged = 159;
constexpr int kBatchFailed = 160;
constexpr int kBatchRefused = 161;
constexpr int kBatchSkippedAsDone = 162;
constexpr int kBatchStoppedRadio = 163;
constexpr int kBatchReportFilter = 164;
constexpr int kBatchReportNotSaved = 165;
// A removed adapter that came back under another port number: %1 the port
// used, %2 the new one. The dialog's says which port to choose; the console
// tool's names the option to run with.
constexpr int kPortMoved = 166;
constexpr int kCliPortMoved = 167;
// upgrade --each. A radio's line: %1 its number, %2 the time, %3 the port,
// %4 the model, %5 the identity as text, %6 the version, %7 %8 the option
// bytes before and after, %9 the outcome word; then, after a read-back,
// kCliBatchVerified with %1 yes or no.
constexpr int kCliBatchRow = 168;
constexpr int kCliBatchVerified = 169;
// %1 the rows, then %2 written, %3 unchanged, %4 failed, %5 refused, %6
// skipped as done, %7 stopped.
constexpr int kCliBatchSummary = 170;
// The batch's status: %1 the port, %2 the seconds in that state.
constexpr int kCliBatchWaiting = 171;
constexpr int kCliBatchPortMissing = 172;
constexpr int kCliBatchUpgrading = 173; // %1 the port
constexpr int kCliBatchRemove = 174;
constexpr int kCliBatchReportFailed = 175; // %1 the report's path and the reason
// A listed port's warning (the console tool's ports, the COM port dialog):
// its device's problem, %1 Windows' problem number, or its driver refusing
// the cable's chip; each with what to do about it.
constexpr int kPortDeviceProblem = 176;
constexpr int kPortDeviceProblemAdvice = 177;
constexpr int kPortRefusedChip = 178;
constexpr int kPortRefusedChipAdvice = 179;
// The console tool's line kinds and its own words for what the dialog asks
// with a Retry button: %1 the error; the link's failure and the port's.
constexpr int kCliError = 180;
constexpr int kCliLinkFailed = 181;
constexpr int kCliPortCannotOpen = 182;
// The history question's reason, said as a warning (%1 the reason).
constexpr int kCliHistoryCannotKeep = 183;
// A restore's outcome: the record written back, or the one the radio had.
constexpr int kCliRestored = 184;
constexpr int kCliRestoredUnchanged = 185;
// ports --probe: each port's state; %1 why it cannot be opened.
constexpr int kCliPortUsable = 186;
constexpr int kCliPortNotRs232 = 187;
constexpr int kCliPortCannotBeOpened = 188;
// File > Save support file...: the item, and its box once written (%1 the
// path) or not (%1 the path and the system's reason).
constexpr int kSupportFileItem = 189;
constexpr int kSupportFileSaved = 190;
constexpr int kSupportFileNotSaved = 191;
// The console tool's usage errors, one per reason: %1 the option or command
// as typed, then the values the reason names (an argument as shown, in
// quotes; a suggested name).
constexpr int kCliUsageNoCommand = 192;
constexpr int kCliUsageUnknownCommand = 193;
constexpr int kCliUsageUnknownCommandMeant = 194;
constexpr int kCliUsageHelpOnUnknown = 195;
constexpr int kCliUsageHelpOnUnknownMeant = 196;
constexpr int kCliUsageHelpOneCommand = 197;
constexpr int kCliUsageStandsAloneWith = 198;
constexpr int kCliUsageStandsAlone = 199;
constexpr int kCliUsageUnexpected = 200;
constexpr int kCliUsageUnknownOption = 201;
constexpr int kCliUsageUnknownOptionMeant = 202;
constexpr int kCliUsageNotOptionOf = 203;
constexpr int kCliUsageGivenTwice = 204;
constexpr int kCliUsageTakesNoValue = 205;
constexpr int kCliUsageNeedsValue = 206;
constexpr int kCliUsageNeeds = 207;
constexpr int kCliUsageNeedsEither = 208;
constexpr int kCliUsageNeedsNotBoth = 209;
constexpr int kCliUsageDryRunNotWith = 210;
constexpr int kCliUsageEachNotWith = 211;
constexpr int kCliUsageBadPort = 212;
constexpr int kCliUsageBadRetries = 213;
constexpr int kCliUsageBadEntry = 214;
constexpr int kCliUsageBadLast = 215;
constexpr int kCliUsageBadCount = 216;
constexpr int kCliUsageRecordNotHex = 217;
constexpr int kCliUsageRecordNotHexByte = 218;
constexpr int kCliUsageRecordPairs = 219;
constexpr int kCliUsageRecordLength = 220;
// history: a row that cannot be read, and a history without rows.
constexpr int kCliHistoryDamagedRow = 221;
constexpr int kCliHistoryNoRows = 222;
// restore --entry: no history, no such row (%1 the row, %2 the rows there
// are), a row without a record (%1 the row, %2 its column, %3 the digits).
constexpr int kCliEntryNoHistory = 223;
constexpr int kCliEntryNoRow = 224;
constexpr int kCliEntryNoRecord = 225;
// The console tool's help: its usage lines, its topics (commands, options
// and notes) and the exit codes' heading and meanings, in the layout
// text/ConsoleHelpText.h describes.
constexpr int kCliHelpUsage = 226;
constexpr int kCliHelpTopics = 227;
constexpr int kCliHelpExitCodes = 228;
constexpr int kCliExitDoneMeaning = 229;
constexpr int kCliExitRefusedMeaning = 230;
constexpr int kCliExitUsageMeaning = 231;
constexpr int kCliExitPortNotOpenedMeaning = 232;
constexpr int kCliExitLinkFailedMeaning = 233;
constexpr int kCliExitRefusedModelMeaning = 234;
constexpr int kCliExitNoOptionMeaning = 235;
constexpr int kCliExitVersionRequiredMeaning = 236;
constexpr int kCliExitOptionFileMissingMeaning = 237;
constexpr int kCliExitOtherTransceiverMeaning = 238;
constexpr int kCliExitLanguageFileMeaning = 239;
constexpr int kCliExitInterruptedMeaning = 240;
constexpr int kCliExitHistoryUnavailableMeaning = 241;
constexpr int kCliExitVerifyFailedMeaning = 242;
constexpr int kCliExitSomeFailedMeaning = 243;
constexpr int kAddedEnd = 244;
} // namespace TextNo
