// Owns one open communications device handle and closes it through the comm
// API table, so no path out of the serial port can leave a device held.
#pragma once

#include "link/CommApi.h"

class CCommHandle {
public:
    CCommHandle() = default;
    ~CCommHandle() { Close(); }
    CCommHandle(const CCommHandle&) = delete;
    CCommHandle& operator=(const CCommHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }

    // Takes ownership of h, closing any handle held before.
    void Reset(HANDLE h)
    {
        Close();
        m_handle = h;
    }

    // CloseHandle's result; TRUE when nothing was held.
    BOOL Close()
    {
        if (!IsValid()) {
            return TRUE;
        }
        HANDLE h = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return Comm().CloseHandle(h);
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};
