// The system's own words for an error code (FormatMessage), as one line.
// Windows only.
#pragma once

#include "framework/CString.h"

// The text Windows gives for code, its line breaks made spaces and without
// the line break at its end; empty when Windows has none.
CString SystemText(unsigned long code);
