// Hex for tests and test programs: bytes as the lower-case digits the
// programs write (framework/Hex.h), and digits back into bytes.
#pragma once

#include "framework/Hex.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

inline std::string Hex(const unsigned char* bytes, std::size_t count)
{
    return HexLower(bytes, count).str();
}

// Any container of bytes with data() and size().
template <class Bytes> std::string Hex(const Bytes& bytes)
{
    return Hex(bytes.data(), bytes.size());
}

// The bytes of whole pairs of hex digits of either case; empty for any other
// text, so a mistyped expectation never passes.
inline std::vector<unsigned char> FromHex(const char* digits)
{
    const std::size_t length = std::strlen(digits);
    std::vector<unsigned char> bytes(length / 2);
    if (!ParseHexBytes(digits, length, bytes.data(), bytes.size()))
        bytes.clear();
    return bytes;
}
