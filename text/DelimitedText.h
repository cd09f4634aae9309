// CDelimitedText: one block of text read as lines (LF) and fields (a separator
// byte chosen by the caller), plus the one-pass undoing of the double-quote
// escaping of comma-separated text. It knows nothing of what the text means.
// Portable: no windows.h.
//
// Every operation works on the current text from its beginning; missing lines
// and fields are empty strings, failed searches -1. Separator searches are
// plain byte searches: the separators used (comma, LF) are never the second
// byte of a double-byte character.
#pragma once

#include "framework/CString.h"

class CDelimitedText {
public:
    CDelimitedText() = default;
    CDelimitedText(const CDelimitedText&) = default;
    CDelimitedText& operator=(const CDelimitedText&) = default;
    virtual ~CDelimitedText() = default;

    // Number of LF bytes among the first limit bytes, stopping at a NUL byte.
    int CountLines(int limit) const;
    // Line index (from 0): field index of the text with LF as separator.
    CString GetLine(int index) const;
    // Field index of the whole text; line ends do not delimit.
    CString GetField(int index, char separator) const;
    CString GetLineField(int line, int index, char separator) const;
    // Index of the first field of line 0 (or of line) equal to name, or -1.
    int FindField(const char* name, char separator) const;
    int FindFieldInLine(int line, const char* name, char separator) const;

    // Position just after the n-th separator of text (counted from 1); 0 for
    // n <= 0 or an empty text; -1 when text holds fewer than n separators.
    static int FindNthSeparator(const CString& text, int n, char separator);
    // Field index of text; empty when there is no such field.
    static CString ExtractField(const CString& text, int index, char separator);

    // Undoes the quoting of comma-separated text: quoted sections lose their
    // quotes, their commas become "\a" and their line ends "\n"; a doubled
    // quote becomes one. Returns the number of quoted sections removed.
    int Unquote();

    // Sequential line reading with the results of GetLine(0), GetLine(1), ...
    // but without searching from the start each time, so a large text is
    // walked once. position starts at 0 and is advanced past the line's LF
    // (to -1 once no line end follows).
    CString NextLine(int& position) const;

    // The block of text; the owner assigns it directly.
    CString m_text;
};
