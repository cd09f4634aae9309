#include "link/PortName.h"

namespace {

constexpr char kPrefix[] = "COM";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
// From COM10 on, CreateFile reaches a port only through the device namespace.
constexpr int kFirstLongDeviceName = 10;

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether text starts with "COM" in either case.
bool HasPrefix(const char* text, std::size_t length)
{
    if (length < kPrefixLength)
        return false;
    for (std::size_t i = 0; i < kPrefixLength; ++i) {
        if (Upper(text[i]) != kPrefix[i])
            return false;
    }
    return true;
}

// Decimal digits only, at least one, for a number in the port range; 0
// otherwise. Stops before a long number can grow past the range.
int PortNumber(const char* digits, std::size_t length)
{
    if (length == 0)
        return 0;
    int number = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = digits[i];
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + (c - '0');
        if (number > PortName::kHighest)
            return 0;
    }
    return number >= PortName::kLowest ? number : 0;
}

std::size_t Length(const char* text)
{
    std::size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

} // namespace

int PortName::NumberOfName(const char* name)
{
    if (!name)
        return 0;
    const std::size_t length = Length(name);
    if (!HasPrefix(name, length))
        return 0;
    const char* digits = name + kPrefixLength;
    if (*digits == '0')
        return 0; // a leading zero names no port Windows lists
    return PortNumber(digits, length - kPrefixLength);
}

int PortName::NumberOfTyped(const char* text, std::size_t length)
{
    const std::size_t skip = HasPrefix(text, length) ? kPrefixLength : 0;
    return PortNumber(text + skip, length - skip);
}

CString PortName::Name(int number)
{
    CString name;
    name.Format("%s%d", kPrefix, number);
    return name;
}

CString PortName::DeviceName(int number)
{
    // The short form is what users see in other programs and is kept where
    // it works; the device namespace form works for every number.
    return number < kFirstLongDeviceName ? Name(number) : "\\\\.\\" + Name(number);
}

unsigned char PortName::LinkPortOf(int stored)
{
    return static_cast<unsigned char>(stored & 0xFF);
}
