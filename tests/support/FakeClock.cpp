// The fake's virtual clock (the performance counter and the sleeps) and the
// process priority calls around reads.
#include "tests/support/FakeTransceiver.h"
#include "tests/support/FakeParts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

using namespace FakeParts;

namespace {

BOOL WINAPI FakeQueryPerformanceCounter(LARGE_INTEGER* count)
{
    return TheFake().DoQueryPerformanceCounter(count);
}
BOOL WINAPI FakeQueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    frequency->QuadPart = TheFake().counterFrequency;
    return TRUE;
}
void WINAPI FakeSleep(DWORD milliseconds)
{
    TheFake().DoSleep(milliseconds);
}
HANDLE WINAPI FakeGetCurrentProcess()
{
    return ProcessHandle();
}
DWORD WINAPI FakeGetPriorityClass(HANDLE process)
{
    return TheFake().DoGetPriorityClass(process);
}
BOOL WINAPI FakeSetPriorityClass(HANDLE process, DWORD cls)
{
    return TheFake().DoSetPriorityClass(process, cls);
}

const ClockApi kClockApi = {
    &FakeQueryPerformanceCounter,
    &FakeQueryPerformanceFrequency,
    &FakeSleep,
};
const PriorityApi kPriorityApi = {
    &FakeGetCurrentProcess,
    &FakeGetPriorityClass,
    &FakeSetPriorityClass,
};

} // namespace

const ClockApi& FakeTransceiver::Clock() const
{
    return kClockApi;
}

const PriorityApi& FakeTransceiver::Priority() const
{
    return kPriorityApi;
}

BOOL FakeTransceiver::DoQueryPerformanceCounter(LARGE_INTEGER* count)
{
    const uint64_t step = clockStepUs ? clockStepUs : 1;
    if (m_tickRepeats >= 3) {
        m_nowUs = (m_nowUs / step + 1) * step;
        m_tickRepeats = 0;
    }
    ++m_tickRepeats;
    // Whole counts at the counter's frequency, which need not be a whole
    // number of counts per microsecond; split so that a GHz counter does not
    // overflow.
    const uint64_t us = m_nowUs / step * step;
    const uint64_t perSecond = static_cast<uint64_t>(counterFrequency);
    count->QuadPart = static_cast<LONGLONG>(us / 1000000 * perSecond + us % 1000000 * perSecond / 1000000);
    return TRUE;
}

void FakeTransceiver::DoSleep(DWORD milliseconds)
{
    // A sleep costs its length on the virtual clock and nothing else.
    Note("Sleep " + std::to_string(milliseconds));
    if (onSleep) {
        onSleep(milliseconds);
    }
    m_nowUs += Us(milliseconds);
    m_tickRepeats = 0;
}

DWORD FakeTransceiver::DoGetPriorityClass(HANDLE process)
{
    if (Fails(Call::GetPriorityClass) || process != ProcessHandle()) {
        return 0;
    }
    return priorityClass;
}

BOOL FakeTransceiver::DoSetPriorityClass(HANDLE process, DWORD cls)
{
    m_tickRepeats = 0;
    if (process != ProcessHandle()) {
        return FALSE;
    }
    Note("SetPriorityClass " + std::to_string(cls));
    priorityClass = cls;
    return TRUE;
}
