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
