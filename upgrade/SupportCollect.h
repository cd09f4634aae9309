// The support file gathered on Windows: each part read from the system and
// the program's folder, written whole through files/ReplacingWrite. Both
// programs call it (File > Save support file..., orvelle-cli support); it
// shows nothing, and a part it cannot read is a line that says why.
#pragma once

#include "framework/CString.h"
#include "link/PortList.h"
#include "upgrade/UpgradeHistory.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CLanguageTable;

// What the support file is gathered from.
struct SupportSources {
    // The executable's folder, with its trailing backslash: the settings
    // file, the History folder and the default option folder are there.
    CString programFolder;
    // The texts the program loaded; null when it has none, with the reason
    // in languageFailure.
    CLanguageTable* texts = nullptr;
    CString languageFailure;
    // The option location the program uses now (the dialog's, which may not
    // be saved yet); without one, the settings file's.
    bool hasLocation = false;
    bool folderMode = true;
    CString location;
    // The serial ports; null: ListSerialPorts().
    std::function<std::vector<SerialPortEntry>()> ports;
};

// The support file's text, in UTF-8.
std::string SupportFileText(const SupportSources& sources);

// History\support-<date>-<time>.txt beside the program at `time`, with the
// History folder made; empty when it cannot be (no program folder, or the
// folder cannot be made).
CString DefaultSupportFilePath(const CString& programFolder, const HistoryTime& time);

// Gathers the text and writes it whole to path (a file that is there is
// replaced): ERROR_SUCCESS or the system's error.
DWORD WriteSupportFile(const CString& path, const SupportSources& sources);
