// The platform-bound steps of CLanguageTable: finding the file (Open), and
// taking its texts into the ANSI code page in force.
#include "text/LanguageTable.h"

#include "framework/AppMessageBox.h"
#include "framework/CodePage.h"

#include <windows.h>

#include <cstring>
#include <string>

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

int CLanguageTable::ParseInCodePage(const char* bytes, int length, const char* language, unsigned codePage)
{
    const unsigned declared = DeclaredCodePage(bytes, length);
    if (!bytes || length <= 0 || declared == 0 || declared == codePage)
        return Parse(bytes, length, language);
    // The whole file at once: its rows are then taken apart in the code page
    // they will be shown in (a Shift-JIS trail byte is never read as the
    // backslash of an escape). A character the code page lacks becomes '?'.
    const void* nul = std::memchr(bytes, '\0', static_cast<size_t>(length));
    const std::string text(bytes, nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes)
                                      : static_cast<size_t>(length));
    std::string converted;
    ConvertCodePage(text, declared, codePage, converted);
    return Parse(converted.data(), static_cast<int>(converted.size()), language);
}
