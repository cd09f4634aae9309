// The sample transceiver the run tests start from: a new transceiver of model
// QX-5100 at version V1.20, whose record can be made to fit the sample option
// file (option code 00000102, option type 3). The rest of the record is each
// test's own, so a test that checks carried bytes chooses them.
#pragma once

#include "tests/support/FakeTransceiver.h"
#include "upgrade/OptionFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

inline constexpr const char* kSampleModel = "QX-5100";
inline constexpr const char* kSampleVersion = "V1.20";
inline constexpr unsigned char kSampleOptionCode[kOptionCodeSize] = {0x00, 0x00, 0x01, 0x02};

// A byte of the identity block beyond the model name: the program carries it
// but never reads it, so a marked one shows the block was passed on whole.
inline constexpr std::size_t kIdentityMarkOffset = 20;
static_assert(IdentityBlock::kModelName + kModelNameSize <= kIdentityMarkOffset &&
              kIdentityMarkOffset < IdentityBlock::kSize);

// The text in size bytes, cut or padded with zero bytes.
inline FakeTransceiver::Bytes Padded(const char* text, std::size_t size)
{
    FakeTransceiver::Bytes b(size, 0);
    std::memcpy(b.data(), text, std::min(std::strlen(text), size));
    return b;
}

enum class IdentityMark { Marked, Plain };

// The identity block and version answer of a new transceiver of the model;
// the record is left as it is.
inline void SampleIdentity(FakeTransceiver& fake, const char* model = kSampleModel,
                           const char* version = kSampleVersion, IdentityMark mark = IdentityMark::Marked)
{
    fake.kind = FakeTransceiver::Kind::New;
    fake.identity = Padded(model, IdentityBlock::kSize);
    if (mark == IdentityMark::Marked)
        fake.identity[kIdentityMarkOffset] = 0x42;
    fake.version = Padded(version, kVersionSize);
}

// The transceiver's record (already whole) made to fit the sample option
// file: the model name, the sample option code, option bytes 3F FF .. FF
// (option type 3). Its other bytes stay.
inline void FitSampleRecord(FakeTransceiver& fake, const char* model = kSampleModel)
{
    const FakeTransceiver::Bytes name = Padded(model, kModelNameSize);
    std::copy(name.begin(), name.end(), fake.record.begin() + OptionRecord::kModelName);
    std::copy(std::begin(kSampleOptionCode), std::end(kSampleOptionCode),
              fake.record.begin() + OptionRecord::kOptionCode);
    const auto optionBytes = fake.record.begin() + OptionRecord::kOptionBytes;
    std::fill(optionBytes, optionBytes + kOptionBytesSize, 0xFF);
    *optionBytes = 0x3F;
}

// A record for the transceiver of the model: the record's own bytes, with the
// model's name where a record names the model it belongs to (a restore
// refuses a record of another model).
inline FakeTransceiver::Bytes OfModel(FakeTransceiver::Bytes record, const char* model = kSampleModel)
{
    const FakeTransceiver::Bytes name = Padded(model, kModelNameSize);
    std::copy(name.begin(), name.end(), record.begin() + OptionRecord::kModelName);
    return record;
}
