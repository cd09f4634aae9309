// Option files made from a small readable description, and the inspector's
// reading of one. Used by the enhtool program and by the tests' fixtures.
// Portable: no windows.h.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

struct EnhEntry {
    std::array<unsigned char, 4> code{};
    std::array<unsigned char, 8> mask{}; // the high nibble of mask[0] is the option type
};

struct EnhDescription {
    std::string model;        // up to 12 bytes, padded with zero bytes
    std::string minVersion;   // up to 6 bytes, padded with zero bytes
    unsigned char rule = '1'; // '1': required; anything else: recommended
    std::vector<EnhEntry> entries;
    std::size_t tail = 0; // bytes after the last entry: a partial entry
    long long size = -1;  // when >= 0, the file is cut (or zero-padded) to this size
};

// The file's bytes: header, entries, tail, then the size cut.
std::vector<unsigned char> BuildEnhFile(const EnhDescription& description);

// Parses the description language (see README.md). False with a message
// naming the line when the text is not understood.
bool ParseEnhDescription(const std::string& text, EnhDescription& description, std::string& error);

// The inspector's report of a file's bytes: header fields, entries, and
// warnings for a short header or a partial last entry. Returns the number of
// warnings.
int DescribeEnhFile(const std::vector<unsigned char>& bytes, std::string& report);

// An entry with a code given as 8 hex digits, a type and a mask of 16 hex
// digits (whose first nibble the type replaces). For fixtures.
EnhEntry MakeEnhEntry(const char* codeHex, unsigned type, const char* maskHex);
