#include "framework/RunningMark.h"

#include "RunningMarkName.h"

CRunningMark::CRunningMark()
    // Not owned: ownership would make a second copy wait, and only the
    // mutex's existence is the mark. ERROR_ALREADY_EXISTS (another copy
    // runs) still returns a handle.
    : m_mutex(::CreateMutexA(nullptr, FALSE, kRunningMutexName))
{
}

CRunningMark::~CRunningMark()
{
    if (m_mutex)
        ::CloseHandle(m_mutex);
}
