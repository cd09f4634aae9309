#include "framework/Path.h"

#include "framework/Mbcs.h"

CString JoinPath(const CString& folder, const char* name)
{
    const int length = folder.GetLength();
    // '/' is never a trail byte; a backslash may be one.
    const bool endsInSeparator = EndsWithBackslash(folder.GetString(), length) ||
                                 (length > 0 && folder.GetString()[length - 1] == '/');
    return endsInSeparator ? folder + name : folder + "\\" + name;
}
