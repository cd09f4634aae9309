// The one owner of a system handle: whatever the handle is (a file, a
// directory search, a registry key, a device), it is closed on every way out,
// once. Traits say what the handle is:
//
//   struct Traits {
//       using Handle = ...;
//       static Handle Invalid();              // what holds nothing
//       static bool IsValid(Handle h);        // a handle to close
//       bool Close(Handle h) const;           // true when closing worked
//   };
//
// Traits may carry state (the table of calls that closes the handle); they
// move with the handle. Close() is there for the paths that must know
// whether closing worked.
#pragma once

#include <utility>

template <class Traits> class CUniqueHandle {
public:
    using Handle = typename Traits::Handle;

    CUniqueHandle() = default;
    explicit CUniqueHandle(Handle handle, Traits traits = Traits()) : m_handle(handle), m_traits(traits) {}
    ~CUniqueHandle() { Close(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, Traits::Invalid())), m_traits(other.m_traits)
    {
    }
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, Traits::Invalid());
            m_traits = other.m_traits;
        }
        return *this;
    }

    bool IsValid() const { return Traits::IsValid(m_handle); }
    Handle Get() const { return m_handle; }
    // The handle itself, for the calls that hand one back through a pointer
    // (on an owner that holds none) or keep their state in it.
    Handle* Address() { return &m_handle; }

    // Takes ownership of handle, closing any handle held before.
    void Reset(Handle handle)
    {
        Close();
        m_handle = handle;
    }

    // True when the handle was closed without error (or there was none).
    bool Close()
    {
        const Handle handle = std::exchange(m_handle, Traits::Invalid());
        return Traits::IsValid(handle) ? m_traits.Close(handle) : true;
    }

private:
    Handle m_handle = Traits::Invalid();
    Traits m_traits;
};
