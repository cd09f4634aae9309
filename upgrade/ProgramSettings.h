// ORVELLE.exe's settings file beside the executable: its name, section and
// keys, read by the dialog at start-up and written at its close, and shown
// in the support file. Portable: no windows.h.
#pragma once

namespace Settings {
constexpr const char* kFileName = "ORVELLE.ini";
constexpr const char* kSection = "INIT";
constexpr const char* kFolderKey = "Folder";
constexpr const char* kFileKey = "File";
constexpr const char* kPortKey = "ComPort";
constexpr const char* kModeKey = "Mode";
// The Mode values.
constexpr int kFolderMode = 1;
constexpr int kFileMode = 2;
// The option folder beside the executable when the settings name none.
constexpr const char* kDataFolderName = "Data";
} // namespace Settings
