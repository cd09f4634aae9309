// A single-threaded COM apartment for the life of a scope. The shell's folder
// browser needs one on its thread; Windows does not set it up by itself.
// Balanced: only an initialisation that succeeded (S_OK, or S_FALSE when the
// thread already was one) is undone.
#pragma once

#include <objbase.h>

class CComApartment {
public:
    CComApartment() : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~CComApartment()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    // False when the thread was already a multi-threaded apartment.
    bool IsInitialized() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};
