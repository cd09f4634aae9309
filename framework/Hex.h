// Hex digits as the programs and their tools read and write them (the upgrade
// history, the console tool's --record and output, option-file descriptions,
// the simulator's configuration, the UI driver's escapes), and byte pairs for
// a person comparing two runs of bytes. Portable.
#pragma once

#include "framework/CString.h"

#include <cstddef>

// The value of one hex digit of either case, or -1.
inline int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte two hex digits make, high digit first, or -1 if either is not one.
inline int HexByte(char high, char low)
{
    const int hi = HexDigit(high);
    const int lo = HexDigit(low);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// count bytes as 2 * count lower-case hex digits.
CString HexLower(const unsigned char* bytes, std::size_t count);

// Two runs of count bytes for a person to compare: lower-case hex in byte
// pairs separated by spaces ("3f ff 7f"), each byte that differs between the
// runs in square brackets in both texts ("[f3] ff 7f" / "[f1] ff 7f"). The
// brackets stand on the same bytes in both lines, so the eye pairs them even
// in a message box's proportional font, where a caret line or padded columns
// would not line up; they are ASCII, so a console, every code page and a
// support mail keep them. Runs that do not differ read as plain pairs.
// Not for scripts: the history and --json keep HexLower.
struct MarkedHex {
    CString before;
    CString after;
};
MarkedHex MarkedHexPairs(const unsigned char* before, const unsigned char* after, std::size_t count);

// Exactly 2 * count hex digits of either case into count bytes; false (bytes
// unchanged) for any other text.
bool ParseHexBytes(const char* digits, std::size_t length, unsigned char* bytes, std::size_t count);
inline bool ParseHexBytes(const CString& text, unsigned char* bytes, std::size_t count)
{
    return ParseHexBytes(text.GetString(), text.str().size(), bytes, count);
}
