#include "framework/Hex.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

void AppendHexByte(std::string& text, unsigned char byte)
{
    static const char kDigits[] = "0123456789abcdef";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

// One byte of a marked run, after the space that separates it from the last.
void AppendPair(std::string& text, unsigned char byte, bool marked, bool first)
{
    if (!first)
        text += ' ';
    if (marked)
        text += '[';
    AppendHexByte(text, byte);
    if (marked)
        text += ']';
}

} // namespace

CString HexLower(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i)
        AppendHexByte(text, bytes[i]);
    return CString(text);
}

MarkedHex MarkedHexPairs(const unsigned char* before, const unsigned char* after, std::size_t count)
{
    std::string beforeText;
    std::string afterText;
    beforeText.reserve(count * 5);
    afterText.reserve(count * 5);
    for (std::size_t i = 0; i < count; ++i) {
        const bool changed = before[i] != after[i];
        AppendPair(beforeText, before[i], changed, i == 0);
        AppendPair(afterText, after[i], changed, i == 0);
    }
    return {CString(beforeText), CString(afterText)};
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
