// Told the steps of a run that drives the link ("identity", "record") as
// each begins, so that a trace of the line shows where the run was.
#pragma once

// The step whose frame is the record write: nothing may cut it.
constexpr const char kWriteStep[] = "write";
// The first step after the transceiver has entered programming mode.
constexpr const char kIdentityStep[] = "identity";
// The read-back over a second connection, once the written record's answer
// has come and programming mode has ended.
constexpr const char kVerifyStep[] = "verify";

class CStepObserver {
public:
    virtual void Step(const char* name) = 0;

protected:
    ~CStepObserver() = default;
};
