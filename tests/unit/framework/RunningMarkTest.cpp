// The running mark as the installer and other copies see it: there while a
// copy holds it, gone after, in the namespace every session shares, and
// open to everyone for the look the installer takes and for nothing more.
#include "framework/RunningMark.h"

#include "RunningMarkName.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <windows.h>

#include <cstring>

namespace {

constexpr const char* kName = kRunningMutexName;

// What OpenMutex with the installer's access finds: ERROR_SUCCESS when a
// mark is there.
DWORD Look()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kName);
    if (!mutex)
        return GetLastError();
    CloseHandle(mutex);
    return ERROR_SUCCESS;
}

// The access the mutex's DACL grants the well-known SID, or 0.
ACCESS_MASK Granted(HANDLE object, WELL_KNOWN_SID_TYPE type)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return 0;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    ACCESS_MASK granted = 0;
    if (dacl && CreateWellKnownSid(type, nullptr, sid, &sidSize)) {
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace))
                continue;
            const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid))
                granted |= allowed->Mask;
        }
    }
    LocalFree(descriptor);
    return granted;
}

TEST(RunningMark, IsThereWhileAnyCopyHoldsItInTheNamespaceOfAllSessions)
{
    EXPECT_EQ(std::strncmp(kName, "Global\\", 7), 0) << kName;
    ASSERT_EQ(Look(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    {
        const CRunningMark first;
        ASSERT_TRUE(first.IsHeld());
        {
            const CRunningMark second; // another copy at the same time
            EXPECT_TRUE(second.IsHeld());
        }
        EXPECT_EQ(Look(), static_cast<DWORD>(ERROR_SUCCESS)) << "gone while a copy still runs";
    }
    EXPECT_EQ(Look(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "left behind";
}

TEST(RunningMark, LetsEveryoneWaitOnItAndNoMore)
{
    const CRunningMark mark;
    ASSERT_TRUE(mark.IsHeld());
    HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, kName);
    ASSERT_NE(mutex, nullptr);
    // Another user's copy and the installer open it to wait on it only; a
    // default descriptor would give them nothing.
    EXPECT_EQ(Granted(mutex, WinWorldSid), static_cast<ACCESS_MASK>(SYNCHRONIZE));
    CloseHandle(mutex);
}

} // namespace
