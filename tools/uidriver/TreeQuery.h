// Reading another process's tree view (the selected item and its parents)
// and list view (its headings and every cell).
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

// A report-view list: the column headings, and each row's cells in column
// order. The same conditions as above.
struct ListViewTexts {
    std::vector<std::wstring> headings;
    std::vector<std::vector<std::wstring>> rows;
};
ListViewTexts ListViewCells(HWND list);

} // namespace uidriver
