// Which listed ports are flagged and why: a device problem Windows reports,
// or a friendly name in which the driver refuses the cable's chip.
#include "link/PortWarning.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PortWarning, ARefusedChipNameOrADeviceProblemFlagsThePort)
{
    const struct {
        const char* what;
        unsigned long problemCode;
        const char* friendlyName;
        PortWarningKind kind;
    } cases[] = {
        {"a started device with a plain name", 0, "USB Serial Port (COM5)", PortWarningKind::None},
        {"no device name at all", 0, nullptr, PortWarningKind::None},
        {"an empty name", 0, "", PortWarningKind::None},
        {"a device that cannot start", 10, "USB Serial Port (COM5)", PortWarningKind::DeviceProblem},
        {"a driver not installed, no name", 28, nullptr, PortWarningKind::DeviceProblem},
        {"a disabled device", 22, "", PortWarningKind::DeviceProblem},
        {"the driver's warning in capitals", 0, "USB-Serial Controller PLEASE CONTACT YOUR SUPPLIER (COM5)",
         PortWarningKind::RefusedChip},
        {"the driver's warning in any case", 0, "Serial Port - Chip Phased Out (COM5)",
         PortWarningKind::RefusedChip},
        {"not supported", 0, "USB serial adapter: device not supported (COM9)", PortWarningKind::RefusedChip},
        {"no longer supported", 0, "THIS CHIP IS NO LONGER SUPPORTED", PortWarningKind::RefusedChip},
        {"please contact", 0, "Serial Port (please contact the vendor)", PortWarningKind::RefusedChip},
        // The refusal explains the code 10 such devices also show.
        {"a refused chip that cannot start", 10, "Serial Controller - phased out since 2012 (COM3)",
         PortWarningKind::RefusedChip},
        {"the words cut apart are no warning", 0, "Port phased (COM4) out", PortWarningKind::None},
        {"a warning word at the very end, cut short", 0, "Serial please contac", PortWarningKind::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PortWarning warning = PortWarningOf(c.problemCode, c.friendlyName);
        EXPECT_EQ(warning.kind, c.kind);
        EXPECT_EQ(static_cast<bool>(warning), c.kind != PortWarningKind::None);
        EXPECT_EQ(warning.problemCode, c.problemCode);
    }
}

TEST(PortWarning, ProblemNumbersInWords)
{
    const struct {
        unsigned long code;
        const char* words;
    } cases[] = {
        {0, ""},
        {10, "cannot start"},
        {22, "disabled"},
        {28, "driver not installed"},
        {43, "stopped after reporting problems"},
        {9999, "problem"}, // a number without words still says there is one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(DeviceProblemWords(c.code), c.words);
    }
}

} // namespace
