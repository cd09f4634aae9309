// CDataFile: the settings file, paths, enumeration, disks and copying. The
// reads and writes of whole files are in DataFileIo.cpp.
#include "files/DataFile.h"

#include "files/FindHandle.h"
#include "files/ModulePath.h"
#include "framework/Path.h"

#include <windows.h>

namespace {

// A settings value (a folder or a file) is read as a path: at most 259
// characters.
constexpr DWORD kProfileValueSize = kLongestPath;

} // namespace

void CDataFile::Initialize(CString dataFolderName)
{
    m_dataFolderName = dataFolderName;
}

int CDataFile::OpenInitFile(CString filePath, CString section, CString key, CString* value)
{
    if (!value)
        return 0;
    value->Empty();
    char buffer[kProfileValueSize + 1] = {};
    GetPrivateProfileStringA(section, key, "", buffer, kProfileValueSize, filePath);
    *value = buffer;
    return value->GetLength();
}

int CDataFile::SaveInitFile(CString filePath, CString section, CString key, CString* value)
{
    if (!value)
        return 0;
    return WritePrivateProfileStringA(section, key, *value, filePath);
}

int CDataFile::ExistPath(CString path)
{
    _finddata_t entry;
    const CFindHandle search(_findfirst(path, &entry));
    return search.IsOpen() ? 1 : 0;
}

long CDataFile::ExistOptionFileToModel(CString* pattern, _finddata_t* entry, intptr_t* handle)
{
    if (!pattern || !entry || !handle)
        return 0;
    if (*handle == kNoFindHandle) {
        if (pattern->IsEmpty())
            return 0;
        *handle = _findfirst(*pattern, entry);
        return *handle == kNoFindHandle ? 0 : 1;
    }
    return _findnext(*handle, entry) == 0 ? 1 : 0;
}

CString CDataFile::GetExePath()
{
    char buffer[kLongestPath] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, kLongestPath);
    return ExeFolderFromModulePath(buffer, length, kLongestPath);
}

CString CDataFile::GetDefDirPath()
{
    const CString exeFolder = GetExePath();
    // Without the executable's folder the path would be relative to whatever
    // the current folder is: create nothing there.
    if (exeFolder.IsEmpty())
        return CString();
    const CString path = exeFolder + m_dataFolderName;
    if (!ExistPath(path))
        CreateDirectoryA(path, nullptr);
    return path;
}

int CDataFile::GetSectorSize(CString path)
{
    const CString root = path.Left(3);
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return -1;
    return static_cast<int>(bytesPerSector);
}

int CDataFile::CheckDiskSpace(CString filePath, unsigned long size)
{
    const int lastBackslash = filePath.ReverseFind('\\');
    const CString folder = lastBackslash >= 0 ? filePath.Left(lastBackslash) : CString();

    // A sector size of 0 would divide by zero: treat it like a failed query.
    const int sectorSize = GetSectorSize(folder);
    if (sectorSize <= 0)
        return 0;

    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr))
        return 0;

    const unsigned long long sector = static_cast<unsigned long long>(sectorSize);
    const unsigned long long freeSectors = available.QuadPart / sector;
    const unsigned long long neededSectors = size / sector + (size % sector ? 1 : 0);
    // A disk with exactly the needed sectors free is refused.
    return freeSectors > neededSectors ? 1 : 0;
}

int CDataFile::FileCopy(CString source, CString destinationFolder)
{
    const int lastBackslash = source.ReverseFind('\\');
    const CString name = lastBackslash >= 0 ? source.Mid(lastBackslash + 1) : source;
    const CString target = destinationFolder + "\\" + name;
    return CopyFileA(source, target, FALSE);
}
