// What the upgrade run uses of the main dialog's texts. Its controls are
// the ids of res/resource.h.
#pragma once

// The option files' extension.
constexpr const char* kOptionFileExtension = "ENH";

// Language texts of the run.
namespace UpgradeText {
constexpr int kCaptionOutcome = 4;
constexpr int kCaptionWarning = 5;
constexpr int kCaptionError = 6;
constexpr int kNoOptionFileInFolder = 35;
constexpr int kNoOptionFile = 36;
constexpr int kRecordWritten = 37;
constexpr int kRecordRefused = 38;
constexpr int kVersionRequired = 39;
constexpr int kVersionRecommended = 40;
constexpr int kPortNotOpened = 43;
constexpr int kLinkFailed = 44;
constexpr int kRefusedModel = 45;
constexpr int kNoOptionForTransceiver = 46;
} // namespace UpgradeText
