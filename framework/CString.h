// A small byte string in the system's ANSI code page, shaped like the class
// library's CString: the subset the program uses, nothing more.
// Searches respect double-byte characters (see Mbcs.h). Portable: no windows.h.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}  // NOLINT: implicit like the original
    CString(const char* s, int length);
    CString(char c, int repeat = 1);
    CString(const std::string& s) : m_s(s) {}  // NOLINT

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int index) const { return m_s.at(static_cast<size_t>(index)); }
    void SetAt(int index, char c) { m_s.at(static_cast<size_t>(index)) = c; }
    char operator[](int index) const { return GetAt(index); }

    operator const char*() const { return m_s.c_str(); }  // NOLINT
    const char* GetString() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }

    CString& operator=(const char* s);
    CString& operator+=(const CString& s);
    CString& operator+=(const char* s);
    CString& operator+=(char c);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);

    int Compare(const char* s) const;  // byte-wise, like strcmp
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

    // Position of the first occurrence at or after start, or -1. Double-byte
    // characters are skipped whole, so a trail byte never matches on its own.
    int Find(char c, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    // Position of the last occurrence of c, or -1 (double-byte aware).
    int ReverseFind(char c) const;

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    // Replaces every non-overlapping occurrence, left to right; returns the count.
    int Replace(const char* oldText, const char* newText);
    int Replace(char oldChar, char newChar);
    // Removes every occurrence of c; returns the count.
    int Remove(char c);

    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void FormatV(const char* format, va_list args);

    // Direct access for platform calls that fill a buffer. GetBuffer gives at
    // least minLength writable bytes plus a terminating NUL; ReleaseBuffer
    // takes the text up to its first NUL (or newLength bytes when >= 0).
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

private:
    std::string m_s;
};
