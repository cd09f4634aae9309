// What a serial port tells whoever watches its line (the byte trace), from
// its few choke points, in the order things happen, and when the link on it
// waits for the user. Every call is made after the platform call it reports;
// the system's error code the port leaves for its caller is the one the call
// left, whatever the observer does.
#pragma once

#include <windows.h>

class CPortObserver {
public:
    // The port's first line settings after an open took: its name ("COM3")
    // and the DCB now in force.
    virtual void Opened(const char* port, const DCB& line) = 0;
    // Later line settings took (a rate change).
    virtual void SettingsApplied(const DCB& line) = 0;
    virtual void TimeoutsSet(const COMMTIMEOUTS& timeouts) = 0;
    // The bytes that actually crossed the line, in each direction.
    virtual void Written(const unsigned char* bytes, DWORD count) = 0;
    virtual void Read(const unsigned char* bytes, DWORD count) = 0;
    // A read or write that ended without error but short: the bytes wanted
    // and those that moved.
    virtual void ReadTimedOut(DWORD wanted, DWORD got) = 0;
    virtual void WriteTimedOut(DWORD wanted, DWORD sent) = 0;
    // Line errors the driver reported (CE_ flags, never 0).
    virtual void LineErrors(DWORD errors) = 0;
    // A failed call ("WriteFile", or "open COM4" for the open) and its code.
    virtual void Failed(const char* call, DWORD code) = 0;
    // The device handle was closed (a failure follows as Failed).
    virtual void Closed() = 0;
    // A step failed and the link now waits for the answer to Retry or
    // Cancel: nothing on the line is being timed, for as long as that takes.
    virtual void AwaitingAnswer() = 0;

protected:
    ~CPortObserver() = default;
};
