#include "upgrade/DataFileOptionFiles.h"

#include "files/DataFile.h"

#include <windows.h>

bool CDataFileOptionFiles::ReadOptionFile(const CString& path, std::size_t limit,
                                          std::vector<unsigned char>& bytes)
{
    unsigned long size = limit == kWholeFile ? MeasureFile(path) : static_cast<unsigned long>(limit);
    if (size > kMaxOptionFileSize)
        size = kMaxOptionFileSize;

    // Zeroed, and cut to what actually arrived: a file that shrank since it
    // was measured must not lend the logic bytes it does not hold.
    bytes.assign(size + 1, 0);
    unsigned long read = 0;
    if (!m_dataFile.DataFileOpen(m_owner, bytes.data(), size, path, &read)) {
        bytes.clear();
        return false;
    }
    bytes.resize(read < size ? read : size);
    return true;
}

unsigned long CDataFileOptionFiles::MeasureFile(const CString& path)
{
    return m_dataFile.GetFileSize(path);
}

void CDataFileOptionFiles::EndFileStep(bool read)
{
    // Each pause asks the window server several times; with nothing queued it
    // has nothing to hand on, and nothing can have taken the wait cursor.
    if (!read || !m_pause || HIWORD(::GetQueueStatus(QS_ALLINPUT)) == 0)
        return;
    m_pause();
}
