#include "link/PortWarning.h"

#include <cctype>
#include <cstring>
#include <iterator>

namespace {

// What drivers put into the name of a device whose chip they refuse; no
// chip's own name carries these.
const char* const kRefusedChipWords[] = {
    "phased out", "not supported", "no longer supported", "contact your supplier", "please contact",
};

// Windows' device problem numbers (CM_PROB_ in cfg.h) a serial adapter meets,
// in the words Device Manager's codes stand for.
const struct {
    unsigned long code;
    const char* words;
} kProblemWords[] = {
    {1, "not configured"},                    // CM_PROB_NOT_CONFIGURED
    {10, "cannot start"},                     // CM_PROB_FAILED_START
    {14, "needs a restart"},                  // CM_PROB_NEED_RESTART
    {18, "driver must be reinstalled"},       // CM_PROB_REINSTALL
    {19, "registry entry damaged"},           // CM_PROB_REGISTRY
    {21, "being removed"},                    // CM_PROB_WILL_BE_REMOVED
    {22, "disabled"},                         // CM_PROB_DISABLED
    {24, "not present"},                      // CM_PROB_DEVICE_NOT_THERE
    {28, "driver not installed"},             // CM_PROB_FAILED_INSTALL
    {31, "driver failed to load"},            // CM_PROB_FAILED_ADD
    {37, "driver failed"},                    // CM_PROB_FAILED_DRIVER_ENTRY
    {39, "driver failed to load"},            // CM_PROB_DRIVER_FAILED_LOAD
    {43, "stopped after reporting problems"}, // CM_PROB_DEVICE_REPORTED_FAILURE
    {45, "not connected"},                    // CM_PROB_PHANTOM
    {52, "driver not signed"},                // CM_PROB_UNSIGNED_DRIVER
};

bool ContainsWords(const char* text, const char* words)
{
    const std::size_t length = std::strlen(words);
    for (; *text; ++text) {
        std::size_t i = 0;
        while (i < length && text[i] &&
               std::tolower(static_cast<unsigned char>(text[i])) == static_cast<unsigned char>(words[i]))
            ++i;
        if (i == length)
            return true;
    }
    return false;
}

} // namespace

bool IsRefusedChipName(const char* friendlyName)
{
    if (!friendlyName)
        return false;
    for (const char* words : kRefusedChipWords) {
        if (ContainsWords(friendlyName, words))
            return true;
    }
    return false;
}

PortWarning PortWarningOf(unsigned long problemCode, const char* friendlyName)
{
    PortWarning warning;
    warning.problemCode = problemCode;
    if (IsRefusedChipName(friendlyName))
        warning.kind = PortWarningKind::RefusedChip;
    else if (problemCode != 0)
        warning.kind = PortWarningKind::DeviceProblem;
    return warning;
}

const char* DeviceProblemWords(unsigned long problemCode)
{
    if (problemCode == 0)
        return "";
    for (const auto& known : kProblemWords) {
        if (known.code == problemCode)
            return known.words;
    }
    return "problem";
}
