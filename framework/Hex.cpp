#include "framework/Hex.h"

#include <algorithm>
#include <string>
#include <vector>

CString HexLower(const unsigned char* bytes, std::size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return CString(text);
}

bool ParseHexBytes(const char* digits, std::size_t length, unsigned char* bytes, std::size_t count)
{
    if (length != count * 2)
        return false;
    // Parsed aside first: a bad digit late in the text leaves bytes as they were.
    std::vector<unsigned char> parsed(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int byte = HexByte(digits[2 * i], digits[2 * i + 1]);
        if (byte < 0)
            return false;
        parsed[i] = static_cast<unsigned char>(byte);
    }
    std::copy(parsed.begin(), parsed.end(), bytes);
    return true;
}
