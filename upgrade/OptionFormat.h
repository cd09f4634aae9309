// The byte layouts of the upgrade: the transceiver's option record and
// identity block, and the option files (a header and fixed-size entries).
// Records stay plain byte arrays; these are their named offsets. Multi-byte
// fields are compared as raw bytes, never as numbers. Also the tests on them
// and the option bytes as a person reads them. Portable: no windows.h.
#pragma once

#include "framework/Hex.h"
#include "link/LinkProtocol.h"

#include <array>
#include <cstddef>

// The 50-byte option record the transceiver reads and writes whole. Bytes
// outside the named fields are carried unchanged.
namespace OptionRecord {
constexpr std::size_t kSize = LinkProtocol::kRecordSize;
constexpr std::size_t kModelName = 10;
constexpr std::size_t kOptionCode = 22;
constexpr std::size_t kOptionBytes = 42; // its high nibble is the option type
} // namespace OptionRecord

// The 32-byte identity block; only the model name at its start is used.
namespace IdentityBlock {
constexpr std::size_t kSize = LinkProtocol::kIdentitySize;
constexpr std::size_t kModelName = 0;
} // namespace IdentityBlock

// The identity block as a technician reads it off the radio's label: its
// printable bytes as they are, the others as '.', trailing zero bytes
// dropped. The batch's rows, the console tool's identify, restore refusal and
// history listing show it beside the hex.
CString PrintableIdentity(const unsigned char* identity);

// An option file: a 480-byte header, then 24-byte entries up to the end of
// the file. Only whole entries count.
namespace OptionFile {
constexpr std::size_t kHeaderSize = 480;
constexpr std::size_t kModelName = 112;
constexpr std::size_t kMinVersion = 128;
constexpr std::size_t kMinVersionSize = 6;
constexpr std::size_t kVersionRule = 134;
constexpr unsigned char kRuleRequired = '1'; // any other byte: only recommended
} // namespace OptionFile

namespace OptionEntry {
constexpr std::size_t kSize = 24;
constexpr std::size_t kOptionCode = 0;
constexpr std::size_t kMask = 16; // its high nibble is the entry's option type
} // namespace OptionEntry

// Shared field widths.
constexpr std::size_t kModelNameSize = 12;
constexpr std::size_t kModelDesignationSize = 7; // the leading part of the model name
constexpr std::size_t kOptionCodeSize = 4;
constexpr std::size_t kOptionBytesSize = 8; // the record's option bytes and an entry's mask
constexpr std::size_t kVersionSize = LinkProtocol::kVersionSize; // the transceiver's version answer

// The named fields lie inside their records.
static_assert(OptionRecord::kModelName + kModelNameSize <= OptionRecord::kSize);
static_assert(OptionRecord::kOptionCode + kOptionCodeSize <= OptionRecord::kSize);
static_assert(OptionRecord::kOptionBytes + kOptionBytesSize <= OptionRecord::kSize);
static_assert(IdentityBlock::kModelName + kModelNameSize <= IdentityBlock::kSize);
static_assert(OptionFile::kVersionRule < OptionFile::kHeaderSize);
static_assert(OptionEntry::kMask + kOptionBytesSize <= OptionEntry::kSize);

// The option bytes of a record before and after, as a person reads them (the
// preview box, the radio-after-radio list, the console tool's lines): the 8
// option bytes in pairs, the changed ones marked (MarkedHexPairs). Only the
// option bytes: they are all an upgrade's merge changes; a change elsewhere
// in the record (only a restore makes one) shows nowhere in these texts.
MarkedHex MarkedOptionBytes(const std::array<unsigned char, OptionRecord::kSize>& before,
                            const std::array<unsigned char, OptionRecord::kSize>& after);

// The option files' extension, and the pattern that finds them in a folder.
constexpr const char* kOptionFileExtension = "ENH";
constexpr const char* kOptionFilePattern = "*.ENH";

// The option type sits in bits 4 to 7 of the first option byte (record) or
// mask byte (entry). Type 0 marks the end of a file's entries for selection.
constexpr unsigned OptionType(unsigned char firstOptionByte)
{
    return static_cast<unsigned>(firstOptionByte) >> 4;
}

// Result codes of the option logic. Every code but 0 is a single bit.
enum OptionResult : int {
    kOptionsMerged = 0,
    kNoEntry = 2,            // no entry with the record's option code
    kVersionRequired = 4,    // a file requires a newer transceiver version
    kVersionRecommended = 8, // merged; a file recommends a newer version
    kFileUnreadable = 16,    // File mode: the file could not be read
    kOtherModel = 32,        // File mode: the file is made for another model
    kOptionTypeDiffers = 64, // an entry for the code exists, none of the record's type
};

// Models this program must not upgrade, by their 7-character designation, in
// the order they are tested.
constexpr std::size_t kRefusedModelCount = 3;
extern const char* const kRefusedModels[kRefusedModelCount];

// True when the identity block's model name begins with a refused designation.
bool IsRefusedModelName(const unsigned char* identity);

// Whether a record may be restored into the transceiver with this identity
// block. The record names the model it belongs to (OptionRecord::kModelName):
// one for another model, or a blank one (every byte 00, or every byte FF, as
// an unprogrammed memory reads), would put options into the radio that are
// not its own. Names are compared up to their first NUL, without trailing
// spaces.
enum class RecordFit {
    Fits,
    OtherModel,
    Blank,
};
RecordFit RecordFitsTransceiver(const unsigned char* record, const unsigned char* identity);

// The version test of one option file header against the transceiver version
// (its text; shorter than 6 characters counts as padded with zero bytes).
// 0 when the transceiver's version is equal or higher; otherwise 4 if the
// header's rule requires the minimum version, 8 if it only recommends it.
int VersionTest(const unsigned char* header, const char* transceiverVersion);

// The transceiver's version text from its 10-byte answer: the bytes up to the
// first zero byte, at most 10 characters.
std::size_t VersionTextLength(const unsigned char* answer);
