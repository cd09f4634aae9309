// The executable's folder from what GetModuleFileNameA delivered.
#pragma once

#include "framework/CString.h"

// buffer holds what GetModuleFileNameA wrote into a buffer of capacity bytes
// and length is what it returned. A length of 0 (failure) or of capacity or
// more (the path did not fit and may be cut or unterminated) gives an empty
// string, as does a path without a backslash; otherwise the path up to and
// including its last backslash (double-byte aware).
CString ExeFolderFromModulePath(const char* buffer, unsigned long length, unsigned long capacity);
