// CDataFile: reading and writing whole files and measuring them. Files are
// opened with exclusive sharing, so a file another program holds open fails
// with a sharing violation. Every failure after the open (read, write, close)
// is reported like a failed open, with its own cause: nothing escapes as an
// exception and no failure passes as success.
#include "files/DataFile.h"

#include "files/FileError.h"
#include "files/FileHandle.h"
#include "framework/AppMessageBox.h"

#include <windows.h>

namespace {

void ShowFileError(CWnd* owner, FileErrorCause cause, const CString& path, const FileErrorTexts& texts)
{
    const CString text = FileErrorDescription(cause, path, texts);
    OwnedMessageBox(owner, text, FileErrorCaption(texts), MB_OK | MB_ICONERROR);
}

void ShowLastFileError(CWnd* owner, const CString& path, const FileErrorTexts& texts)
{
    ShowFileError(owner, FileErrorCauseFromOsError(GetLastError()), path, texts);
}

CFileHandle OpenExclusive(const CString& path, DWORD access, DWORD disposition)
{
    return CFileHandle(CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

int CDataFile::DataFileOpen(CWnd* owner, void* buffer, unsigned long size, CString path)
{
    return DataFileOpen(owner, buffer, size, path, nullptr);
}

int CDataFile::DataFileOpen(CWnd* owner, void* buffer, unsigned long size, CString path,
                            unsigned long* bytesRead)
{
    if (bytesRead)
        *bytesRead = 0;
    if (!buffer && size)
        return 0;

    CFileHandle file = OpenExclusive(path, GENERIC_READ, OPEN_EXISTING);
    if (!file.IsValid()) {
        ShowLastFileError(owner, path, m_errorTexts);
        return 0;
    }

    unsigned char* out = static_cast<unsigned char*>(buffer);
    unsigned long total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), out + total, size - total, &got, nullptr)) {
            ShowLastFileError(owner, path, m_errorTexts);
            if (bytesRead)
                *bytesRead = total;
            return 0;
        }
        if (got == 0)
            break; // end of file
        total += got;
    }
    if (bytesRead)
        *bytesRead = total;

    if (!file.Close()) {
        ShowLastFileError(owner, path, m_errorTexts);
        return 0;
    }
    return 1;
}

int CDataFile::DataFileSave(CWnd* owner, void* data, unsigned long size, CString path)
{
    if (!data && size)
        return 0;

    // The free-space check knows no file name: its box names none.
    if (!CheckDiskSpace(path, size)) {
        ShowFileError(owner, FileErrorCause::DiskFull, CString(), m_errorTexts);
        return 0;
    }

    CFileHandle file = OpenExclusive(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (!file.IsValid()) {
        ShowLastFileError(owner, path, m_errorTexts);
        return 0;
    }

    const unsigned char* in = static_cast<const unsigned char*>(data);
    unsigned long total = 0;
    while (total < size) {
        DWORD written = 0;
        if (!WriteFile(file.Get(), in + total, size - total, &written, nullptr)) {
            ShowLastFileError(owner, path, m_errorTexts);
            return 0;
        }
        // A disk file that takes nothing without an error has no room left.
        if (written == 0) {
            ShowFileError(owner, FileErrorCause::DiskFull, path, m_errorTexts);
            return 0;
        }
        total += written;
    }

    if (!file.Close()) {
        ShowLastFileError(owner, path, m_errorTexts);
        return 0;
    }
    return 1;
}

unsigned long CDataFile::GetFileSize(CString path)
{
    CFileHandle file = OpenExclusive(path, GENERIC_READ, OPEN_EXISTING);
    if (!file.IsValid())
        return 0;

    // The application's own box: no owner window is known here, so the
    // thread's active window owns it. Descriptions are cut one byte shorter
    // than in the file-error boxes.
    auto report = [this, &path](FileErrorCause cause) {
        const CString text = FileErrorDescription(cause, path, m_errorTexts, kFileErrorMaxLength - 1);
        AppMessageBox(GetActiveWindow(), text, FileErrorCaption(m_errorTexts), MB_OK | MB_ICONERROR);
    };

    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.Get(), &length)) {
        report(FileErrorCauseFromOsError(GetLastError()));
        return 0;
    }
    if (!file.Close()) {
        report(FileErrorCauseFromOsError(GetLastError()));
        return 0;
    }
    // A length the result cannot hold would be a wrong size: refuse it.
    if (length.QuadPart < 0 || static_cast<unsigned long long>(length.QuadPart) > 0xFFFFFFFFull) {
        report(FileErrorCause::Generic);
        return 0;
    }
    return static_cast<unsigned long>(length.QuadPart);
}

void CDataFile::SetErrorTexts(const FileErrorTexts& texts)
{
    m_errorTexts = texts;
}
