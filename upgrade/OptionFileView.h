// A read-only view of the bytes read from one option file. Every question it
// answers looks only at bytes that are there: a file shorter than the header
// is no option file, and only whole entries after the header count.
// Portable: no windows.h.
#pragma once

#include "upgrade/OptionFormat.h"

#include <cstddef>
#include <vector>

class COptionFileView {
public:
    COptionFileView(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
    explicit COptionFileView(const std::vector<unsigned char>& bytes)
        : m_data(bytes.data()), m_size(bytes.size())
    {
    }

    // The whole header is there; nothing else is asked of a shorter file.
    bool HasHeader() const { return m_size >= OptionFile::kHeaderSize; }
    const unsigned char* Header() const { return HasHeader() ? m_data : nullptr; }

    // The header names this model (12 bytes, byte for byte). False without a header.
    bool IsForModel(const unsigned char* modelName) const;

    // Whole entries after the header; 0 for a file of at most 480 + 23 bytes
    // and for one shorter than the header.
    std::size_t EntryCount() const;
    const unsigned char* Entry(std::size_t index) const
    {
        return m_data + OptionFile::kHeaderSize + index * OptionEntry::kSize;
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
};

// What bytes are as an option file, judged without a transceiver, before
// any port is opened: too short for the header, or a header whose model name
// is no model name (the name's printable ASCII from its first byte, then only
// zero bytes: random bytes and text with line ends there are no option
// file). A header naming another model than the radio's is still an option
// file: only the radio can tell.
enum class OptionFileShape {
    OptionFile,
    TooShort,    // fewer bytes than the header
    NoModelName, // the header's model name field holds no name
};
OptionFileShape JudgeOptionFileShape(const COptionFileView& file);

// Field helpers over an entry and the option record.
bool EntryHasCode(const unsigned char* entry, const unsigned char* record);
bool EntryHasType(const unsigned char* entry, const unsigned char* record);
unsigned EntryType(const unsigned char* entry);
// ANDs the entry's 8 mask bytes into the record's option bytes.
void MergeEntryMask(const unsigned char* entry, unsigned char* record);
