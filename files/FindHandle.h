// Owner of a C runtime directory-search handle (_findfirst). The enumeration of
// CDataFile::ExistOptionFileToModel keeps its state in the caller's handle;
// callers may hold it in a CFindHandle so that the search is closed on every
// way out, and never closed when no search was started (-1).
#pragma once

#include "framework/UniqueHandle.h"

#include <io.h>

#include <cstdint>

// The value of a handle that holds no search: the start of an enumeration and
// what _findfirst gives when nothing matches.
constexpr intptr_t kNoFindHandle = -1;

struct FindHandleTraits {
    using Handle = intptr_t;
    static Handle Invalid() { return kNoFindHandle; }
    static bool IsValid(Handle h) { return h != kNoFindHandle; }
    bool Close(Handle h) const { return _findclose(h) == 0; }
};

class CFindHandle : public CUniqueHandle<FindHandleTraits> {
public:
    using CUniqueHandle::CUniqueHandle;

    bool IsOpen() const { return IsValid(); }
};
