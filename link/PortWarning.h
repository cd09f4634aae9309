// Whether a listed port is one to warn about, and why: its device has a
// problem Windows reports (a CM_PROB_ number), or its driver refuses the
// cable's chip, which such drivers say by giving the device a name that
// carries a warning instead of the chip's name. A flagged port can still be
// chosen: the warning tells the technician what to do. Portable: no
// windows.h.
#pragma once

enum class PortWarningKind { None, DeviceProblem, RefusedChip };

struct PortWarning {
    PortWarningKind kind = PortWarningKind::None;
    unsigned long problemCode = 0; // Windows' problem number; 0: none

    explicit operator bool() const { return kind != PortWarningKind::None; }
};

// The port's warning from its device's problem number (0: none) and friendly
// name. A refused chip comes first: the device problem it causes (it cannot
// start) is its symptom, and another cable or driver its cure. The problem
// number is kept either way.
PortWarning PortWarningOf(unsigned long problemCode, const char* friendlyName);

// True when a friendly name carries a driver's warning instead of a chip's
// name (the words are matched in any case).
bool IsRefusedChipName(const char* friendlyName);

// The problem in English words, as scripts read it: "cannot start",
// "driver not installed", ...; "problem" for a number without words; empty
// for 0.
const char* DeviceProblemWords(unsigned long problemCode);
