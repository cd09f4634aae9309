#include "upgrade/OptionFormat.h"

#include <cstring>
#include <string>

const char* const kRefusedModels[kRefusedModelCount] = {"QM-3390", "QM-3260", "QM-3130"};

MarkedHex MarkedOptionBytes(const std::array<unsigned char, OptionRecord::kSize>& before,
                            const std::array<unsigned char, OptionRecord::kSize>& after)
{
    return MarkedHexPairs(before.data() + OptionRecord::kOptionBytes,
                          after.data() + OptionRecord::kOptionBytes, kOptionBytesSize);
}

bool IsRefusedModelName(const unsigned char* identity)
{
    // Only the designation counts: bytes 7 to 11 of the name are variants.
    for (const char* refused : kRefusedModels) {
        if (std::memcmp(identity + IdentityBlock::kModelName, refused, kModelDesignationSize) == 0)
            return true;
    }
    return false;
}

namespace {

// A model name's length up to its first NUL, without trailing spaces.
std::size_t ModelNameLength(const unsigned char* name)
{
    std::size_t length = 0;
    while (length < kModelNameSize && name[length] != 0)
        ++length;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    return length;
}

bool AllBytes(const unsigned char* bytes, std::size_t size, unsigned char value)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != value)
            return false;
    }
    return true;
}

} // namespace

RecordFit RecordFitsTransceiver(const unsigned char* record, const unsigned char* identity)
{
    if (AllBytes(record, OptionRecord::kSize, 0x00) || AllBytes(record, OptionRecord::kSize, 0xFF))
        return RecordFit::Blank;
    const unsigned char* recordModel = record + OptionRecord::kModelName;
    const unsigned char* radioModel = identity + IdentityBlock::kModelName;
    const std::size_t length = ModelNameLength(recordModel);
    if (length != ModelNameLength(radioModel) || std::memcmp(recordModel, radioModel, length) != 0)
        return RecordFit::OtherModel;
    return RecordFit::Fits;
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

CString PrintableIdentity(const unsigned char* identity)
{
    std::string text;
    for (std::size_t i = 0; i < IdentityBlock::kSize; ++i) {
        const unsigned char byte = identity[i];
        // Zero bytes pad the fields: they read as the gap they leave.
        text += byte == 0 ? ' ' : (byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.');
    }
    const std::size_t end = text.find_last_not_of(' ');
    return CString(end == std::string::npos ? std::string() : text.substr(0, end + 1));
}
