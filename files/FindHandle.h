// Owner of a C runtime directory-search handle (_findfirst). The enumeration of
// CDataFile::ExistOptionFileToModel keeps its state in the caller's handle;
// callers may hold it in a CFindHandle so that the search is closed on every
// way out, and never closed when no search was started (-1).
#pragma once

#include <io.h>

#include <cstdint>
#include <utility>

// The value of a handle that holds no search: the start of an enumeration and
// what _findfirst gives when nothing matches.
constexpr intptr_t kNoFindHandle = -1;

class CFindHandle {
public:
    CFindHandle() = default;
    explicit CFindHandle(intptr_t handle) : m_handle(handle) {}
    ~CFindHandle() { Close(); }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    CFindHandle(CFindHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, kNoFindHandle)) {}
    CFindHandle& operator=(CFindHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, kNoFindHandle);
        }
        return *this;
    }

    bool IsOpen() const { return m_handle != kNoFindHandle; }
    intptr_t Get() const { return m_handle; }
    // The handle itself, for ExistOptionFileToModel's in/out state.
    intptr_t* Address() { return &m_handle; }

    void Close()
    {
        if (m_handle != kNoFindHandle)
            _findclose(m_handle);
        m_handle = kNoFindHandle;
    }

private:
    intptr_t m_handle = kNoFindHandle;
};
