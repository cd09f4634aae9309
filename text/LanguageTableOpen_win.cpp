// CLanguageTable::Open: finding the file is the one platform-bound step.
#include "text/LanguageTable.h"

#include "framework/AppMessageBox.h"

#include <windows.h>

namespace {

const char kCaption[] = "Orvelle";
// Fixed English texts: the language file is what failed.
const char kNotFound[] = "Can't read language file.  Please install this software again.";
const char kDamaged[] = "Language file has been damaged.  Please install this software again.";

} // namespace

int CLanguageTable::Open(const char* language)
{
    // The executable's folder first, then the current folder, the system
    // folders and the search path. A result of 0 means not found; one of the
    // buffer's size or more is the size a longer path would need, and the
    // buffer then holds nothing usable.
    const DWORD length = SearchPathA(nullptr, m_fileName, nullptr, kLongestPath, m_path, nullptr);
    if (length == 0 || length >= static_cast<DWORD>(kLongestPath)) {
        m_path[0] = '\0';
        AppMessageBox(nullptr, kNotFound, kCaption, MB_OK | MB_ICONERROR);
        return 0;
    }
    if (!Load(language)) {
        AppMessageBox(nullptr, kDamaged, kCaption, MB_OK | MB_ICONERROR);
        return 0;
    }
    return 1;
}
