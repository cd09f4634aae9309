// The system's own words for an error code (FormatMessage), as one line, in
// the forms the programs show them. Fetching the words is Windows only; the
// forms are portable, so they are tested everywhere.
#pragma once

#include "framework/CString.h"

#include <cstddef>

// How a caller shows the system's text for an error code.
struct SystemTextForm {
    // Without the closing full stop (and spaces): a reason that follows a
    // colon in a line of the caller's own.
    bool withoutFullStop;
    // " (error N)" after the text: for people who may need to look it up.
    bool withCode;
    // The text when the system has none; followed by " N" when withCode.
    const char* none;
};

namespace SystemTextForms {
// The console tool's reason a port could not be opened: "<text> (error N)",
// "error N".
constexpr SystemTextForm kReason = {true, true, "error"};
// A warning of the upgrade history: "<text.> (error N)", "system error N".
constexpr SystemTextForm kWarning = {false, true, "system error"};
// A line of the byte trace, which shows the code itself: "<text.>",
// "(no system text)".
constexpr SystemTextForm kTraceLine = {false, false, "(no system text)"};
} // namespace SystemTextForms

// The text as the system gives it (length bytes), as one line: its line
// breaks made spaces, without the line breaks and spaces at its end.
CString SystemTextLine(const char* text, std::size_t length);

// The line (as SystemTextLine gives it; empty when the system has none) for
// code in the form.
CString FormatSystemText(const CString& line, unsigned long code, const SystemTextForm& form);

// Windows only: the text Windows gives for code, as SystemTextLine makes it;
// empty when Windows has none.
CString SystemText(unsigned long code);

// The text Windows gives for code, in the form.
CString SystemText(unsigned long code, const SystemTextForm& form);
