#include "upgrade/OptionLogic.h"

#include "upgrade/OptionFileView.h"

#include <algorithm>

namespace {

// Ends a folder file's step on every way out of it.
class CFileStep {
public:
    explicit CFileStep(COptionFileAccess& files) : m_files(files) { m_files.BeginFileStep(); }
    ~CFileStep() { m_files.EndFileStep(m_read); }
    CFileStep(const CFileStep&) = delete;
    CFileStep& operator=(const CFileStep&) = delete;

    void SetRead(bool read) { m_read = read; }

private:
    COptionFileAccess& m_files;
    bool m_read = false;
};

} // namespace

bool SelectsRecord(const COptionFileView& file, const unsigned char* record)
{
    const std::size_t count = file.EntryCount();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = file.Entry(i);
        // Type 0 closes the list of entries this step looks at.
        if (EntryType(entry) == 0)
            return false;
        if (EntryHasCode(entry, record))
            return true;
    }
    return false;
}

bool MergeFirstFittingEntry(const COptionFileView& file, unsigned char* record)
{
    const std::size_t count = file.EntryCount();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = file.Entry(i);
        if (EntryHasCode(entry, record) && EntryHasType(entry, record)) {
            MergeEntryMask(entry, record);
            return true;
        }
    }
    return false;
}

bool COptionLogic::ReadStep(const CString& path, std::size_t limit, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    return m_files.ReadOptionFile(path, limit, bytes);
}

bool COptionLogic::IsOptionFileForModel(const CString& path, const unsigned char* identity)
{
    CFileStep step(m_files);
    std::vector<unsigned char> bytes;
    if (!ReadStep(path, OptionFile::kHeaderSize, bytes))
        return false;
    step.SetRead(true);
    return COptionFileView(bytes).IsForModel(identity + IdentityBlock::kModelName);
}

int COptionLogic::SelectEntryFiles(const std::vector<CString>& list, const unsigned char* record,
                                   std::vector<CString>& selection)
{
    selection.clear();
    std::vector<unsigned char> bytes;
    for (const CString& path : list) {
        CFileStep step(m_files);
        if (!ReadStep(path, COptionFileAccess::kWholeFile, bytes))
            continue;
        step.SetRead(true);
        if (SelectsRecord(COptionFileView(bytes), record))
            selection.push_back(path);
    }
    return selection.empty() ? kNoEntry : kOptionsMerged;
}

int COptionLogic::CheckFileVersions(std::vector<CString>& selection, const char* version)
{
    int result = kOptionsMerged;
    std::vector<unsigned char> bytes;
    std::vector<CString> checked;
    for (const CString& path : selection) {
        CFileStep step(m_files);
        // A file that cannot be read now, or no longer has a header, has had
        // no version test: it leaves the selection so its mask is not merged.
        if (!ReadStep(path, COptionFileAccess::kWholeFile, bytes))
            continue;
        step.SetRead(true);
        const COptionFileView file(bytes);
        if (!file.HasHeader())
            continue;
        const int test = VersionTest(file.Header(), version);
        if (test == kVersionRequired)
            return kVersionRequired;
        if (test == kVersionRecommended)
            result = kVersionRecommended;
        checked.push_back(path);
    }
    selection.swap(checked);
    return result;
}

int COptionLogic::MergeFolderOptions(unsigned char* record, const std::vector<CString>& selection,
                                     std::vector<CString>* mergedFiles)
{
    if (mergedFiles)
        mergedFiles->clear();
    bool merged = false;
    std::vector<unsigned char> bytes;
    for (const CString& path : selection) {
        CFileStep step(m_files);
        if (!ReadStep(path, COptionFileAccess::kWholeFile, bytes))
            continue;
        step.SetRead(true);
        if (MergeFirstFittingEntry(COptionFileView(bytes), record)) {
            merged = true;
            if (mergedFiles)
                mergedFiles->push_back(path);
        }
    }
    return merged ? kOptionsMerged : kOptionTypeDiffers;
}

int COptionLogic::ApplyFolderOptions(const std::vector<CString>& list, unsigned char* record,
                                     const char* version, std::vector<CString>* merged)
{
    return SequenceFolderSteps(
        record, [&](unsigned char* r, std::vector<CString>& s) { return SelectEntryFiles(list, r, s); },
        [&](std::vector<CString>& s) { return CheckFileVersions(s, version); },
        [&](unsigned char* r, const std::vector<CString>& s) { return MergeFolderOptions(r, s, merged); });
}

int COptionLogic::ApplyFileOptions(const CString& path, unsigned char* record, const char* version)
{
    std::vector<unsigned char> bytes;
    if (!m_files.ReadOptionFile(path, COptionFileAccess::kWholeFile, bytes))
        return kFileUnreadable;
    const COptionFileView file(bytes);
    // A file too short for its header names no model at all.
    if (!file.IsForModel(record + OptionRecord::kModelName))
        return kOtherModel;
    const int versionResult = VersionTest(file.Header(), version);
    if (versionResult == kVersionRequired)
        return kVersionRequired;

    const std::size_t count = file.EntryCount();
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = file.Entry(i);
        if (!EntryHasCode(entry, record))
            continue;
        if (!EntryHasType(entry, record))
            return kOptionTypeDiffers;
        MergeEntryMask(entry, record);
        return versionResult;
    }
    return kNoEntry;
}
