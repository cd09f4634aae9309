#include "upgrade/OptionFormat.h"

#include <cstring>

const char* const kRefusedModels[kRefusedModelCount] = {"QM-3390", "QM-3260", "QM-3130"};

bool IsRefusedModelName(const unsigned char* identity)
{
    // Only the designation counts: bytes 7 to 11 of the name are variants.
    for (const char* refused : kRefusedModels) {
        if (std::memcmp(identity + IdentityBlock::kModelName, refused, kModelDesignationSize) == 0)
            return true;
    }
    return false;
}

int VersionTest(const unsigned char* header, const char* transceiverVersion)
{
    unsigned char version[OptionFile::kMinVersionSize] = {};
    const std::size_t length = std::strlen(transceiverVersion);
    std::memcpy(version, transceiverVersion, length < sizeof version ? length : sizeof version);

    // Byte by byte, not as numbers: the comparison is what the files were
    // written against.
    const int order = std::memcmp(version, header + OptionFile::kMinVersion, sizeof version);
    if (order >= 0)
        return kOptionsMerged;
    return header[OptionFile::kVersionRule] == OptionFile::kRuleRequired ? kVersionRequired
                                                                         : kVersionRecommended;
}

std::size_t VersionTextLength(const unsigned char* answer)
{
    std::size_t length = 0;
    while (length < kVersionSize && answer[length] != 0)
        ++length;
    return length;
}
