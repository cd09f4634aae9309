// Text between code pages as Windows converts it, UTF-8 included: the calls
// are held to the rules Windows has for code page 65001 (Wine lets the
// best-fit flag and a default character through), so a conversion that
// would fail on Windows set to UTF-8 fails here too.
#include "framework/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int WINAPI StrictWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideSize, LPSTR text,
                                     int textSize, LPCCH defaultChar, LPBOOL usedDefault)
{
    if (codePage == CP_UTF8) {
        if (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (defaultChar || usedDefault) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return WideCharToMultiByte(codePage, flags, wide, wideSize, text, textSize, defaultChar, usedDefault);
}

const CodePageApi kWindowsRules = {&MultiByteToWideChar, &StrictWideCharToMultiByte};

TEST(CodePage, FromUtf16IntoEachCodePage)
{
    const std::wstring cafe = L"Caf\x00E9";
    const std::wstring japanese = L"\x65E5\x672C";
    const std::wstring macron = L"\x0100"; // best fit would make it a plain A
    const struct {
        unsigned codePage;
        std::wstring wide;
        bool whole;
        const char* text;
    } cases[] = {
        {1252, cafe, true, "Caf\xE9"},
        {1252, japanese, false, "??"},
        {1252, macron, false, "?"},
        {932, cafe, false, "Caf?"},
        {932, japanese, true, "\x93\xFA\x96\x7B"},
        {65001, cafe, true, "Caf\xC3\xA9"},
        {65001, japanese, true, "\xE6\x97\xA5\xE6\x9C\xAC"},
        {65001, macron, true, "\xC4\x80"},
        {65001, std::wstring(1, wchar_t(0xD800)), false, ""}, // a lone surrogate
        {65001, L"", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.text);
        std::string text = "untouched";
        EXPECT_EQ(CodePageFromWide(c.wide, c.codePage, text, kWindowsRules), c.whole);
        EXPECT_EQ(text, c.text);
    }
}

TEST(CodePage, BetweenCodePages)
{
    const struct {
        const char* text;
        unsigned from;
        unsigned to;
        bool whole;
        const char* converted;
    } cases[] = {
        {"\xDC"
         "ber",
         1252, 65001, true,
         "\xC3\x9C"
         "ber"},
        {"\xDC"
         "ber",
         1252, 932, false, "?ber"},
        {"\x83\x47\x83\x89\x81\x5b", 932, 65001, true, "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC"},
        {"\x83\x47\x83\x89\x81\x5b", 932, 1252, false, "???"},
        {"\xC3\x9C", 65001, 1252, true, "\xDC"},
        {"same", 932, 932, true, "same"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        std::string converted;
        EXPECT_EQ(ConvertCodePage(c.text, c.from, c.to, converted, kWindowsRules), c.whole);
        EXPECT_EQ(converted, c.converted);
    }
}

} // namespace
