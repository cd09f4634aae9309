#include "text/DelimitedText.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

const char kLineEnd = '\n';
const char kQuote = '"';
// Stands for a doubled quote while the quoted sections are taken apart.
const std::string kPlaceholder(4, '\xFF');

// Replaces every occurrence of from, left to right without overlap, as plain
// bytes. One pass, so a large text costs no more than a copy.
void ReplaceBytes(std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    size_t pos = 0;
    bool replaced = false;
    for (size_t hit = text.find(from); hit != std::string::npos; hit = text.find(from, pos)) {
        result.append(text, pos, hit - pos);
        result += to;
        pos = hit + from.size();
        replaced = true;
    }
    if (replaced) {
        result.append(text, pos, std::string::npos);
        text.swap(result);
    }
}

// End of the field that starts at start: the next separator, or the length.
int FieldEnd(const CString& text, int start, char separator)
{
    const int length = text.GetLength();
    const char* s = text.GetString();
    const void* hit = std::memchr(s + start, separator, static_cast<size_t>(length - start));
    return hit ? static_cast<int>(static_cast<const char*>(hit) - s) : length;
}

} // namespace

int CDelimitedText::CountLines(int limit) const
{
    const int end = std::min(limit, m_text.GetLength());
    const char* s = m_text.GetString();
    int count = 0;
    for (int i = 0; i < end && s[i] != '\0'; ++i) {
        if (s[i] == kLineEnd)
            ++count;
    }
    return count;
}

CString CDelimitedText::GetLine(int index) const
{
    return ExtractField(m_text, index, kLineEnd);
}

CString CDelimitedText::GetField(int index, char separator) const
{
    return ExtractField(m_text, index, separator);
}

CString CDelimitedText::GetLineField(int line, int index, char separator) const
{
    return ExtractField(GetLine(line), index, separator);
}

int CDelimitedText::FindField(const char* name, char separator) const
{
    return FindFieldInLine(0, name, separator);
}

int CDelimitedText::FindFieldInLine(int line, const char* name, char separator) const
{
    // The candidates are all fields the separators of the whole text could
    // give; those past the line's own last field are empty. Walking the
    // line's fields once gives the same answer as asking GetLineField for
    // each candidate, without its cost on a long row.
    const CString row = GetLine(line);
    const int length = row.GetLength();
    int index = 0;
    for (int start = 0;; ++index) {
        const int end = FieldEnd(row, start, separator);
        if (CString(row.GetString() + start, end - start) == name)
            return index;
        if (end == length)
            break;
        start = end + 1;
    }
    if (name && *name)
        return -1;
    const auto separators = std::count(m_text.str().begin(), m_text.str().end(), separator);
    return separators > index ? index + 1 : -1;
}

int CDelimitedText::FindNthSeparator(const CString& text, int n, char separator)
{
    if (text.IsEmpty() || n <= 0)
        return 0;
    const int length = text.GetLength();
    int pos = 0;
    for (int i = 0; i < n; ++i) {
        if (pos >= length)
            return -1;
        const int hit = FieldEnd(text, pos, separator);
        if (hit == length)
            return -1;
        pos = hit + 1;
    }
    return pos;
}

CString CDelimitedText::ExtractField(const CString& text, int index, char separator)
{
    const int start = FindNthSeparator(text, index, separator);
    if (start < 0)
        return CString();
    return text.Mid(start, FieldEnd(text, start, separator) - start);
}

int CDelimitedText::Unquote()
{
    std::string text = m_text.str();
    // A quoted field that starts with an escaped quote ("""x") keeps its
    // opening quote; every other doubled quote is a literal quote.
    ReplaceBytes(text, ",\"\"\"", ",\"" + kPlaceholder);
    ReplaceBytes(text, "\n\"\"\"", "\n\"" + kPlaceholder);
    ReplaceBytes(text, "\"\"", kPlaceholder);

    // Quotes pair up in order over the whole text, whatever the rows and
    // fields; an odd last quote stays as a plain quote.
    const auto quotes = std::count(text.begin(), text.end(), kQuote);
    const auto paired = quotes - quotes % 2;
    std::string result;
    result.reserve(text.size());
    bool inside = false;
    long seen = 0;
    for (char c : text) {
        if (c == kQuote && seen < paired) {
            ++seen;
            inside = !inside;
        } else if (inside && c == ',') {
            result += "\\a";
        } else if (inside && c == kLineEnd) {
            result += "\\n";
        } else {
            result += c;
        }
    }
    ReplaceBytes(result, kPlaceholder, std::string(1, kQuote));
    m_text = CString(result);
    return static_cast<int>(paired / 2);
}

CString CDelimitedText::NextLine(int& position) const
{
    const int length = m_text.GetLength();
    if (position < 0 || position > length) {
        position = -1;
        return CString();
    }
    const int start = position;
    const int end = FieldEnd(m_text, start, kLineEnd);
    position = end < length ? end + 1 : -1;
    return m_text.Mid(start, end - start);
}
