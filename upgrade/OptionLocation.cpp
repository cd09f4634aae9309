#include "upgrade/OptionLocation.h"

#include "files/DataFile.h"
#include "files/FindHandle.h"
#include "framework/Mbcs.h"
#include "framework/Path.h"
#include "text/TextNumbers.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/OptionLogic.h"

#include <windows.h>

#include <functional>

namespace {

// Calls found with each entry that matches pattern until it returns false;
// the search is closed on every way out.
void ForEachMatch(CDataFile& dataFile, const CString& pattern,
                  const std::function<bool(const _finddata_t&)>& found)
{
    CString searched = pattern;
    CFindHandle search;
    _finddata_t entry = {};
    while (dataFile.ExistOptionFileToModel(&searched, &entry, search.Address())) {
        if (!found(entry))
            return;
    }
}

} // namespace

CString OptionFolderPattern(const CString& folder)
{
    return JoinPath(folder, kOptionFilePattern);
}

bool HasWildcard(const CString& path)
{
    // Neither character can be the trail byte of a double-byte character.
    return path.Find('*') >= 0 || path.Find('?') >= 0;
}

int OptionFolderExists(CDataFile& dataFile, const CString& folder)
{
    if (folder.IsEmpty())
        return 0;
    // The search finds a folder by its own name only without a closing
    // backslash, and a drive root has no name to find: ask for its attributes.
    if (EndsWithBackslash(folder.GetString(), folder.GetLength())) {
        if (HasWildcard(folder))
            return 0;
        const DWORD attributes = ::GetFileAttributesA(folder);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    }
    return dataFile.ExistPath(folder);
}

int CheckLocation(CDataFile& dataFile, bool folderMode, const CString& folder, const CString& file)
{
    if (folderMode)
        return dataFile.ExistPath(OptionFolderPattern(folder));
    // A pattern would match some file, and the run would enter programming
    // mode before the read failed.
    if (file.IsEmpty() || HasWildcard(file))
        return 0;
    return dataFile.ExistPath(file);
}

int MissingLocationText(bool folderMode)
{
    return folderMode ? TextNo::kNoOptionFileInFolder : TextNo::kNoOptionFile;
}

int CollectOptionFiles(CDataFile& dataFile, COptionLogic& logic, const CString& folder,
                       const unsigned char* identity, std::vector<CString>& list)
{
    list.clear();
    ForEachMatch(dataFile, OptionFolderPattern(folder), [&](const _finddata_t& entry) {
        // A folder named like an option file is not one: opening it would
        // only raise a file-error box.
        if (entry.attrib & _A_SUBDIR)
            return true;
        const CString path = JoinPath(folder, entry.name);
        if (logic.IsOptionFileForModel(path, identity))
            list.push_back(path);
        return true;
    });
    return list.empty() ? 0 : 1;
}
