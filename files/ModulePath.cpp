#include "files/ModulePath.h"

CString ExeFolderFromModulePath(const char* buffer, unsigned long length, unsigned long capacity)
{
    if (!buffer || length == 0 || length >= capacity)
        return CString();
    const CString path(buffer, static_cast<int>(length));
    const int lastBackslash = path.ReverseFind('\\');
    if (lastBackslash < 0)
        return CString();
    return path.Left(lastBackslash + 1);
}
