// COM port names and numbers: the one place that knows a port's range, the
// forms a user or Windows gives a port in, and the names it is shown and
// opened by. The console tool, the settings, the port list, the COM port
// dialog and the serial port use it. Portable: no windows.h.
#pragma once

#include "framework/CString.h"

#include <cstddef>

namespace PortName {

// Port numbers are a byte: COM1 to COM255.
constexpr int kLowest = 1;
constexpr int kHighest = 255;

// The number of a port name as Windows gives it (the registry's port list):
// "COMn" of either case, n from 1 to 255 without leading zeros; 0 for any
// other name, and for null.
int NumberOfName(const char* name);

// The number of a port as a user types it: its number or its name, either
// case, leading zeros allowed ("23", "com23", "COM023"); 0 for anything else
// (0, a number above 255 however long, a sign, spaces, other text).
int NumberOfTyped(const char* text, std::size_t length);

// "COM23": the port as lists show it.
CString Name(int number);

// The name CreateFile opens the port by: "COM9"; "\\.\COM10" from 10 on.
CString DeviceName(int number);

// The link's port for a port number as the main dialog keeps it (read from
// the settings file unchecked, and written back so): its low 8 bits (0, which
// the link ignores, when those are 0). The upgrade run hands every port
// number to the link this way.
unsigned char LinkPortOf(int stored);

} // namespace PortName
