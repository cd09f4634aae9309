// Start-up calls that make the program behave alike on every Windows it runs
// on. Each is looked up at run time in a system module the program has
// already loaded (never loaded by name), so the program still starts on a
// Windows that lacks it.
#pragma once

#include <windows.h>

// Libraries load from the system folder only: a DLL of the same name planted
// beside the program or in the current folder is never used. Call before
// anything loads a library; both programs call it first thing.
void HardenDllSearch();

// A run blocks the window's thread for seconds at a time (reads of up to
// 10 s, busy waits). Windows must not replace the window with a ghost whose
// close button ends the program while the radio is in programming mode.
// Call before the main dialog exists.
void DisableGhosting();

// Test seam: how a function is found in a loaded system module. nullptr puts
// the platform's lookup back; returns the previous lookup.
using SystemProcLookup = FARPROC (*)(const char* module, const char* name);
SystemProcLookup SetSystemProcLookup(SystemProcLookup lookup);
