// Paths as both programs handle them: the longest one, and a folder joined
// with a name.
#pragma once

#include "framework/CString.h"

// The longest path, in bytes: Windows' MAX_PATH. The ANSI file calls count
// the terminating NUL in it (a buffer of this size holds 259 characters); the
// path edit takes this many characters and the file dialog's buffer one more.
constexpr int kLongestPath = 260;

// folder and name joined by one separator: none is added when folder already
// ends in one (a drive root such as "E:\", or a folder given with a closing
// "\" or "/"). The trail byte 0x5C of a double-byte character is no separator.
CString JoinPath(const CString& folder, const char* name);
