// A whole file written so that a reader never finds it half written: the
// bytes go to a file beside it first, which then takes its place in one
// step. A failure leaves the file as it was.
#pragma once

#include "framework/CString.h"

#include <windows.h>

#include <string>

// ERROR_SUCCESS, or the system's error of the step that failed (the file
// beside it is gone again).
DWORD WriteFileReplacing(const CString& path, const std::string& bytes);
