// Double-byte character awareness for byte strings in the ANSI code page.
// On Windows the answer comes from the system's code page; the portable build
// treats every byte as a character of its own.
#pragma once

// True when c starts a double-byte character in the system's ANSI code page.
bool IsAnsiLeadByte(unsigned char c);

// Length in bytes of the character that starts at s[pos], given the length of s
// (1, or 2 for a lead byte followed by a trail byte within the string).
inline int AnsiCharLength(const char* s, int pos, int length)
{
    return (pos + 1 < length && IsAnsiLeadByte(static_cast<unsigned char>(s[pos]))) ? 2 : 1;
}

// How many of the first `length` bytes of s fit in `limit` bytes without
// splitting a double-byte character.
inline int AnsiPrefixLength(const char* s, int length, int limit)
{
    int end = 0;
    while (end < length) {
        const int next = end + AnsiCharLength(s, end, length);
        if (next > limit)
            break;
        end = next;
    }
    return end;
}

// True when the last character of s is a backslash. A trail byte of 0x5C
// (as in many double-byte characters) is not one.
inline bool EndsWithBackslash(const char* s, int length)
{
    int pos = 0;
    int last = -1;
    while (pos < length) {
        last = pos;
        pos += AnsiCharLength(s, pos, length);
    }
    return last >= 0 && pos - last == 1 && s[last] == '\\';
}
