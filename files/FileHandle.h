// Owner of a Win32 file handle (or of any handle CloseHandle closes): closed
// on every way out. Close() is there for the paths that must know whether
// closing worked.
#pragma once

#include "framework/UniqueHandle.h"

#include <windows.h>

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    // CreateFile fails with INVALID_HANDLE_VALUE, CreateEvent with null.
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    bool Close(Handle h) const { return ::CloseHandle(h) != FALSE; }
};

using CFileHandle = CUniqueHandle<FileHandleTraits>;
