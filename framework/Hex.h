// Hex digits as the programs and their tools read them (the upgrade history,
// option-file descriptions, the simulator's configuration, the UI driver's
// escapes). Header-only and portable.
#pragma once

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
