#include "framework/RunningMark.h"

#include "RunningMarkName.h"

#include <sddl.h>

const char kRunningMarkAccess[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)(A;;0x00100000;;;WD)";

namespace {

// A security descriptor from SDDL, freed with LocalFree.
class CSecurityDescriptor {
public:
    explicit CSecurityDescriptor(const char* sddl)
    {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &m_descriptor,
                                                                    nullptr))
            m_descriptor = nullptr;
    }
    ~CSecurityDescriptor()
    {
        if (m_descriptor)
            ::LocalFree(m_descriptor);
    }
    CSecurityDescriptor(const CSecurityDescriptor&) = delete;
    CSecurityDescriptor& operator=(const CSecurityDescriptor&) = delete;

    PSECURITY_DESCRIPTOR Get() const { return m_descriptor; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
};

HANDLE MakeMark()
{
    // Not owned: ownership would make a second copy wait, and only the
    // mutex's existence is the mark. ERROR_ALREADY_EXISTS (another copy
    // runs) still returns a handle.
    const CSecurityDescriptor descriptor(kRunningMarkAccess);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
    HANDLE mutex = ::CreateMutexA(descriptor.Get() ? &attributes : nullptr, FALSE, kRunningMutexName);
    if (mutex)
        return mutex;
    // Another user's copy made it: CreateMutex asks for full access, which
    // only its maker has. A handle that may only wait keeps the mark alive
    // all the same while this copy runs.
    return ::OpenMutexA(SYNCHRONIZE, FALSE, kRunningMutexName);
}

} // namespace

CRunningMark::CRunningMark() : m_mutex(MakeMark())
{
}

CRunningMark::~CRunningMark()
{
    if (m_mutex)
        ::CloseHandle(m_mutex);
}
