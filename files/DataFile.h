// CDataFile: the settings file (a private-profile file) and every file and path
// operation the program needs. Results are 1 (non-zero) for success and 0 for
// failure; the operations that report failures to the user do it through
// AppMessageBox. No operation keeps a file open after it returns, except the
// enumeration handle of ExistOptionFileToModel, which the caller holds.
#pragma once

#include "files/FileError.h"
#include "framework/CString.h"

#include <io.h>

#include <cstdint>

class CWnd;

class CDataFile {
public:
    CDataFile() = default;
    virtual ~CDataFile() = default;

    // The texts of the file-error boxes from here on (built-in English
    // until given).
    void SetErrorTexts(const FileErrorTexts& texts);

    // Name of the data folder inside the executable's folder (GetDefDirPath).
    void Initialize(CString dataFolderName);

    // Reads key of section from the settings file at filePath (a full path)
    // into *value: at most 259 characters. The result is the value's length;
    // 0 for a missing file, section or key or an empty value.
    int OpenInitFile(CString filePath, CString section, CString key, CString* value);
    // Writes *value as key of section, creating the file and the section as
    // needed and leaving the other lines alone. Non-zero when the write was
    // done, 0 when it failed (also for a null value, which the platform would
    // take as "delete the key").
    int SaveInitFile(CString filePath, CString section, CString key, CString* value);

    // Reads up to size bytes of the file at path into buffer; a shorter file
    // leaves the rest of buffer as it was. 1 when the whole file (or size
    // bytes) was read; 0 when it could not be opened, read or closed, after a
    // file-error box owned by owner. The second form also reports how many
    // bytes arrived (0 on a failed open), so that callers never use bytes a
    // short file did not supply. A null buffer with a size gives 0, no box.
    int DataFileOpen(CWnd* owner, void* buffer, unsigned long size, CString path);
    int DataFileOpen(CWnd* owner, void* buffer, unsigned long size, CString path, unsigned long* bytesRead);

    // Writes size bytes to the file at path (created, or cut to zero length)
    // after checking the disk has room. 1 when written; 0 after a file-error
    // box owned by owner (null data with a size: 0, no box).
    int DataFileSave(CWnd* owner, void* data, unsigned long size, CString path);

    // 1 when at least one directory entry matches the path or pattern.
    int ExistPath(CString path);

    // One step of an enumeration of pattern whose state is *handle: start with
    // kNoFindHandle (-1); each call delivers the next match into *entry and
    // returns 1, or returns 0 when there is none (left). The search is never
    // closed here: the caller closes a handle other than -1 with _findclose
    // (or holds it in a CFindHandle, see FindHandle.h).
    long ExistOptionFileToModel(CString* pattern, _finddata_t* entry, intptr_t* handle);

    // Size in bytes of the file at path; 0 when it cannot be opened (no
    // message) or measured (an error box owned by the active window).
    unsigned long GetFileSize(CString path);

    // The executable's folder, ending with a backslash; empty when the module
    // path could not be had whole.
    CString GetExePath();
    // The executable's folder followed by the data folder name, created when
    // it does not exist (a failure to create is not reported). Empty when
    // GetExePath is.
    CString GetDefDirPath();

    // 1 when the disk of the folder of filePath has more free sectors than
    // size bytes need, else 0 (also when the disk cannot be queried).
    int CheckDiskSpace(CString filePath, unsigned long size);
    // Bytes per sector of the drive whose root is the first three characters
    // of path, or -1.
    int GetSectorSize(CString path);

    // Copies source into destinationFolder under its own name, replacing a
    // file of that name. Non-zero on success, 0 on failure; no message.
    int FileCopy(CString source, CString destinationFolder);

private:
    CString m_dataFolderName;
    FileErrorTexts m_errorTexts;
};
