#include "CString.h"

#include "Mbcs.h"

#include <cstdio>
#include <cstring>
#include <vector>

CString::CString(const char* s, int length)
{
    if (s && length > 0)
        m_s.assign(s, static_cast<size_t>(length));
}

CString::CString(char c, int repeat)
{
    if (repeat > 0)
        m_s.assign(static_cast<size_t>(repeat), c);
}

CString& CString::operator=(const char* s)
{
    m_s = s ? s : "";
    return *this;
}

CString& CString::operator+=(const CString& s)
{
    m_s += s.m_s;
    return *this;
}

CString& CString::operator+=(const char* s)
{
    if (s)
        m_s += s;
    return *this;
}

CString& CString::operator+=(char c)
{
    m_s += c;
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, const char* b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const char* a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, char b)
{
    CString r(a);
    r += b;
    return r;
}

int CString::Compare(const char* s) const
{
    return std::strcmp(m_s.c_str(), s ? s : "");
}

int CString::Find(char c, int start) const
{
    const char sub[2] = {c, '\0'};
    return c == '\0' ? -1 : Find(sub, start);
}

int CString::Find(const char* sub, int start) const
{
    const int length = GetLength();
    if (!sub || start < 0 || start > length)
        return -1;
    const int subLength = static_cast<int>(std::strlen(sub));
    if (subLength == 0)
        return start;
    const char* s = m_s.c_str();
    // Walk character by character from the beginning so that start positions
    // inside a double-byte character are never taken as a match.
    for (int pos = 0; pos + subLength <= length; pos += AnsiCharLength(s, pos, length)) {
        if (pos >= start && std::memcmp(s + pos, sub, static_cast<size_t>(subLength)) == 0)
            return pos;
    }
    return -1;
}

int CString::ReverseFind(char c) const
{
    const int length = GetLength();
    const char* s = m_s.c_str();
    int found = -1;
    for (int pos = 0; pos < length; pos += AnsiCharLength(s, pos, length)) {
        if (s[pos] == c)
            found = pos;
    }
    return found;
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    const int length = GetLength();
    if (first < 0)
        first = 0;
    if (count < 0 || first >= length)
        return CString();
    if (count > length - first)
        count = length - first;
    return CString(m_s.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const
{
    return Mid(0, count);
}

CString CString::Right(int count) const
{
    const int length = GetLength();
    if (count <= 0)
        return CString();
    if (count > length)
        count = length;
    return Mid(length - count, count);
}

int CString::Replace(const char* oldText, const char* newText)
{
    if (!oldText || !*oldText)
        return 0;
    if (!newText)
        newText = "";
    const int length = GetLength();
    const int oldLength = static_cast<int>(std::strlen(oldText));
    const char* s = m_s.c_str();
    // One pass, character by character, so a trail byte never starts a match
    // and the cost stays linear however many matches there are.
    std::string result;
    int count = 0;
    int copied = 0;
    for (int pos = 0; pos + oldLength <= length;) {
        if (std::memcmp(s + pos, oldText, static_cast<size_t>(oldLength)) == 0) {
            result.append(m_s, static_cast<size_t>(copied), static_cast<size_t>(pos - copied));
            result += newText;
            ++count;
            // Carry on from the first character start at or after the match,
            // even when oldText ends in a lead byte.
            copied = pos + oldLength;
            while (pos < copied)
                pos += AnsiCharLength(s, pos, length);
        } else {
            pos += AnsiCharLength(s, pos, length);
        }
    }
    if (count) {
        result.append(m_s, static_cast<size_t>(copied), std::string::npos);
        m_s.swap(result);
    }
    return count;
}

int CString::Replace(char oldChar, char newChar)
{
    const char from[2] = {oldChar, '\0'};
    const char to[2] = {newChar, '\0'};
    return oldChar == '\0' ? 0 : Replace(from, to);
}

int CString::Remove(char c)
{
    const char from[2] = {c, '\0'};
    return c == '\0' ? 0 : Replace(from, "");
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args)
{
    if (!format) {
        m_s.clear();
        return;
    }
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed <= 0) {
        m_s.clear();
        return;
    }
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    m_s.assign(buffer.data(), static_cast<size_t>(needed));
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_s.resize(static_cast<size_t>(minLength));
    return &m_s[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(std::strlen(m_s.c_str()));
    if (newLength < GetLength())
        m_s.resize(static_cast<size_t>(newLength));
}
