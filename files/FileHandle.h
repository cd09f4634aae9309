// Owner of a Win32 file handle: closed on every way out. Close() is there for
// the paths that must know whether closing worked.
#pragma once

#include <windows.h>

#include <utility>

class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(HANDLE handle) : m_handle(handle) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    CFileHandle(CFileHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE))
    {
    }
    CFileHandle& operator=(CFileHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, INVALID_HANDLE_VALUE);
        }
        return *this;
    }

    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }

    // True when the handle was closed without error (or there was none).
    bool Close()
    {
        if (!IsValid())
            return true;
        const BOOL closed = CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};
