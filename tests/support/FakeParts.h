// What the parts of the fake transceiver share, and nothing else includes:
// the instance the platform-shaped table functions reach (one at a time),
// the protocol bytes and rates, and small helpers.
#pragma once

#include "tests/support/FakeTransceiver.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace FakeParts {

constexpr unsigned char SYN = 0x16, ACK = 0x06, NAK = 0x15, STX = 0x02;
constexpr unsigned char kGarbage = 0xA5;
constexpr DWORD kProgramBaudNew = 19200, kOldBaud = 9600;
// What GetCurrentProcess returns: the pseudo handle, as on Windows.
inline HANDLE ProcessHandle()
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

// The fake in place; the table functions have no other way to it.
FakeTransceiver& TheFake();

inline FakeTransceiver::Bytes Text(const char* s)
{
    return FakeTransceiver::Bytes(s, s + std::strlen(s));
}

inline bool Is(const FakeTransceiver::Bytes& chunk, const unsigned char* frame, size_t n)
{
    return chunk.size() == n && std::equal(chunk.begin(), chunk.end(), frame);
}

inline std::string Hex(const FakeTransceiver::Bytes& bytes)
{
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof(b), "%02X ", c);
        out += b;
    }
    return out;
}

} // namespace FakeParts
