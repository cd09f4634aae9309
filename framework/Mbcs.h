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
