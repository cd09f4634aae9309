#include "app/SafeFormat.h"

#include "framework/Mbcs.h"

#include <cstring>
#include <string>

namespace {

// Widths and precisions beyond this are not honoured (the conversion is copied
// as written), so a language file cannot make us build a huge string.
constexpr int kMaxDigits = 3;

struct Conversion {
    int end = 0;            // index just past the conversion's last character
    bool fillable = false;  // a plain string conversion we may fill
    bool leftAlign = false; // '-' flag
    int width = 0;          // 0: none
    int precision = -1;     // -1: none
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads up to kMaxDigits+1 digits at pos; returns the value, or -1 when there
// are more than kMaxDigits of them. pos ends past every digit.
int ReadNumber(const char* s, int& pos, int length)
{
    int value = 0;
    int digits = 0;
    while (pos < length && IsDigit(s[pos])) {
        if (digits < kMaxDigits)
            value = value * 10 + (s[pos] - '0');
        ++digits;
        ++pos;
    }
    return digits > kMaxDigits ? -1 : value;
}

// Scans the printf-style conversion that starts with the '%' at start. Only
// the shape is read: nothing here ever touches an argument.
Conversion ScanConversion(const char* s, int start, int length)
{
    Conversion c;
    int pos = start + 1;
    bool otherFlags = false;
    while (pos < length && std::strchr("-+ #0", s[pos]) && s[pos] != '\0') {
        if (s[pos] == '-')
            c.leftAlign = true;
        else
            otherFlags = true;
        ++pos;
    }
    const int width = ReadNumber(s, pos, length);
    int precision = -1;
    if (pos < length && s[pos] == '.') {
        ++pos;
        precision = ReadNumber(s, pos, length);
        if (precision < 0)
            precision = -2; // too many digits
    }
    bool lengthModifier = false;
    while (pos < length && std::strchr("hlLqjztIw", s[pos]) && s[pos] != '\0') {
        lengthModifier = true;
        ++pos;
    }
    if (pos < length && IsAsciiLetter(s[pos])) {
        c.end = pos + 1;
        c.fillable = s[pos] == 's' && !otherFlags && !lengthModifier && width >= 0 && precision != -2;
        c.width = width > 0 ? width : 0;
        c.precision = precision;
    } else {
        // No conversion letter ("%*d", "% ", a '%' at the end): only what was
        // scanned is copied; the rest is ordinary text.
        c.end = pos;
    }
    return c;
}

// The argument cut to at most limit bytes, never inside a double-byte character.
std::string Truncate(const char* argument, int limit)
{
    const int pos = AnsiPrefixLength(argument, static_cast<int>(std::strlen(argument)), limit);
    return std::string(argument, static_cast<size_t>(pos));
}

} // namespace

CString FormatOneString(const char* format, const char* argument)
{
    if (!format)
        return CString();
    if (!argument)
        argument = "";
    const int length = static_cast<int>(std::strlen(format));
    std::string out;
    bool filled = false;
    int pos = 0;
    while (pos < length) {
        if (format[pos] != '%') {
            const int n = AnsiCharLength(format, pos, length);
            out.append(format + pos, static_cast<size_t>(n));
            pos += n;
            continue;
        }
        if (pos + 1 < length && format[pos + 1] == '%') {
            out += '%';
            pos += 2;
            continue;
        }
        const Conversion c = ScanConversion(format, pos, length);
        if (c.fillable && !filled) {
            std::string text = c.precision >= 0 ? Truncate(argument, c.precision) : std::string(argument);
            const size_t width = static_cast<size_t>(c.width);
            if (text.size() < width) {
                const std::string pad(width - text.size(), ' ');
                text = c.leftAlign ? text + pad : pad + text;
            }
            out += text;
            filled = true;
        } else {
            out.append(format + pos, static_cast<size_t>(c.end - pos));
        }
        pos = c.end;
    }
    return CString(out);
}
