// A listed port's warning (link/PortWarning.h) in the language file's words:
// the warning and what to do about it, as the console tool's port list and
// the COM port dialog show them. text(number) gives a text by its number.
#pragma once

#include "framework/CString.h"
#include "link/PortWarning.h"
#include "text/FillText.h"
#include "text/TextNumbers.h"

#include <string>

struct PortWarningWords {
    CString warning; // empty: the port is not flagged
    CString advice;
};

template <typename Text> PortWarningWords PortWarningText(const PortWarning& port, Text text)
{
    PortWarningWords words;
    switch (port.kind) {
    case PortWarningKind::None:
        break;
    case PortWarningKind::DeviceProblem:
        words.warning = FillText(text(TextNo::kPortDeviceProblem), {std::to_string(port.problemCode)});
        words.advice = text(TextNo::kPortDeviceProblemAdvice);
        break;
    case PortWarningKind::RefusedChip:
        words.warning = text(TextNo::kPortRefusedChip);
        words.advice = text(TextNo::kPortRefusedChipAdvice);
        break;
    }
    return words;
}
