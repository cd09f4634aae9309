// Reading another process's tree view: the selected item and its parents.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

// The texts of the selected item of a tree view and of its parents, from the
// root down; empty when nothing is selected. Throws DriverError when the
// control's process cannot be read. The driver and the program must have the
// same bitness (the item structure is the program's).
std::vector<std::wstring> TreeSelectionPath(HWND tree);

} // namespace uidriver
