// The option logic: which option files fit a transceiver, the version test
// over them, and the merge of their option masks into the option record.
// It reaches the files through COptionFileAccess, so the same steps run over
// real files in the dialog and over files in memory in tests.
// Portable: no windows.h.
#pragma once

#include "framework/CString.h"
#include "upgrade/OptionFormat.h"

#include <cstddef>
#include <vector>

// How the logic reads option files, and what brackets each file's step.
class COptionFileAccess {
public:
    virtual ~COptionFileAccess() = default;

    // Reads the file's first `limit` bytes, or the whole file when limit is
    // kWholeFile. On success `bytes` holds exactly the bytes that were read,
    // however many that were. False when the file cannot be read; the reader
    // has told the user.
    virtual bool ReadOptionFile(const CString& path, std::size_t limit,
                                std::vector<unsigned char>& bytes) = 0;

    // Around each file of a folder step: begin before the file is read, end
    // after it was judged (`read`: it could be read).
    virtual void BeginFileStep() {}
    virtual void EndFileStep(bool read) { (void)read; }

    static constexpr std::size_t kWholeFile = 0;
};

class COptionLogic {
public:
    explicit COptionLogic(COptionFileAccess& files) : m_files(files) {}

    // Folder collection, one match: reads the file's header and tells whether
    // it is an option file for the identity block's model.
    bool IsOptionFileForModel(const CString& path, const unsigned char* identity);

    // Folder mode: the three steps and their sequence. Results are the codes
    // of OptionResult.
    int SelectEntryFiles(const std::vector<CString>& list, const unsigned char* record,
                         std::vector<CString>& selection);
    int CheckFileVersions(std::vector<CString>& selection, const char* version);
    // `merged`, when given, receives the files whose masks went into the record.
    int MergeFolderOptions(unsigned char* record, const std::vector<CString>& selection,
                           std::vector<CString>* merged = nullptr);
    int ApplyFolderOptions(const std::vector<CString>& list, unsigned char* record, const char* version,
                           std::vector<CString>* merged = nullptr);

    // File mode: the one file at `path`.
    int ApplyFileOptions(const CString& path, unsigned char* record, const char* version);

private:
    // One file's step of a folder run: bracketed, read whole.
    bool ReadStep(const CString& path, std::size_t limit, std::vector<unsigned char>& bytes);

    COptionFileAccess& m_files;
};

// The Folder mode's sequence of its three steps: select the files with an
// entry for the record, test their versions, merge. COptionLogic's
// ApplyFolderOptions runs it over its own three steps (the dialog reaches it
// through COptionLogic).
template <class Select, class Check, class Merge>
int SequenceFolderSteps(unsigned char* record, Select select, Check check, Merge merge)
{
    std::vector<CString> selection;
    if (select(record, selection) != kOptionsMerged)
        return kNoEntry;
    const int versionResult = check(selection);
    if (versionResult == kVersionRequired) // nothing is merged
        return kVersionRequired;
    // Every selected file dropped out of the version step: no usable entry.
    if (selection.empty())
        return kNoEntry;
    if (merge(record, selection) != kOptionsMerged)
        return kOptionTypeDiffers;
    return versionResult; // 0, or 8 when a newer version is recommended
}

// Pure judgements over one file's bytes, shared by both modes.
class COptionFileView;
// Selection: an entry with the record's option code comes before any entry
// of option type 0.
bool SelectsRecord(const COptionFileView& file, const unsigned char* record);
// Folder merge: ANDs the first entry with the record's code and type into
// the record; false when the file has none.
bool MergeFirstFittingEntry(const COptionFileView& file, unsigned char* record);
