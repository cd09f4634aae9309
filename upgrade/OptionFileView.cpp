#include "upgrade/OptionFileView.h"

#include <cstring>

bool COptionFileView::IsForModel(const unsigned char* modelName) const
{
    return HasHeader() && std::memcmp(m_data + OptionFile::kModelName, modelName, kModelNameSize) == 0;
}

std::size_t COptionFileView::EntryCount() const
{
    // Sizes below the header give no entries rather than a negative count.
    if (!HasHeader())
        return 0;
    return (m_size - OptionFile::kHeaderSize) / OptionEntry::kSize;
}

bool EntryHasCode(const unsigned char* entry, const unsigned char* record)
{
    return std::memcmp(entry + OptionEntry::kOptionCode, record + OptionRecord::kOptionCode,
                       kOptionCodeSize) == 0;
}

unsigned EntryType(const unsigned char* entry)
{
    return OptionType(entry[OptionEntry::kMask]);
}

bool EntryHasType(const unsigned char* entry, const unsigned char* record)
{
    return EntryType(entry) == OptionType(record[OptionRecord::kOptionBytes]);
}

void MergeEntryMask(const unsigned char* entry, unsigned char* record)
{
    for (std::size_t i = 0; i < kOptionBytesSize; ++i)
        record[OptionRecord::kOptionBytes + i] &= entry[OptionEntry::kMask + i];
}

OptionFileShape JudgeOptionFileShape(const COptionFileView& file)
{
    if (!file.HasHeader())
        return OptionFileShape::TooShort;
    const unsigned char* name = file.Header() + OptionFile::kModelName;
    std::size_t length = 0;
    while (length < kModelNameSize && name[length] >= 0x20 && name[length] < 0x7F)
        ++length;
    // A name starts with a letter or digit, not with padding.
    if (length == 0 || name[0] == ' ')
        return OptionFileShape::NoModelName;
    for (std::size_t i = length; i < kModelNameSize; ++i) {
        if (name[i] != 0)
            return OptionFileShape::NoModelName;
    }
    return OptionFileShape::OptionFile;
}
