#include "framework/CodePage.h"

#include <climits>

namespace {

constexpr unsigned kUtf8 = CP_UTF8;

bool Fits(std::size_t size)
{
    return size <= static_cast<std::size_t>(INT_MAX / 4);
}

} // namespace

const CodePageApi& PlatformCodePageApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants.
    static const CodePageApi api = {&::MultiByteToWideChar, &::WideCharToMultiByte};
    return api;
}

unsigned AnsiCodePage()
{
    return GetACP();
}

std::wstring WideFromCodePage(const std::string& text, unsigned codePage, const CodePageApi& api)
{
    if (text.empty() || !Fits(text.size()))
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int wideSize = api.MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (wideSize <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    if (api.MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], wideSize) != wideSize)
        return std::wstring();
    return wide;
}

bool CodePageFromWide(const std::wstring& wide, unsigned codePage, std::string& text, const CodePageApi& api)
{
    text.clear();
    if (wide.empty())
        return true;
    if (!Fits(wide.size()))
        return false;
    const int size = static_cast<int>(wide.size());
    if (codePage == kUtf8) {
        // UTF-8 holds every character; it takes no best-fit flag and no
        // default character (both fail the call), only the check that the
        // UTF-16 is well formed.
        const int got = api.WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0,
                                                nullptr, nullptr);
        if (got <= 0)
            return false;
        text.assign(static_cast<std::size_t>(got), '\0');
        if (api.WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, wide.data(), size, &text[0], got, nullptr,
                                    nullptr) != got) {
            text.clear();
            return false;
        }
        return true;
    }
    const int got = api.WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                            nullptr, nullptr);
    if (got <= 0)
        return false;
    text.assign(static_cast<std::size_t>(got), '\0');
    BOOL usedDefault = FALSE;
    if (api.WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, &text[0], got, "?",
                                &usedDefault) != got) {
        text.clear();
        return false;
    }
    // A character that does not come back as itself is a look-alike, which
    // the flag forbids but not every system honours.
    return !usedDefault && WideFromCodePage(text, codePage, api) == wide;
}

bool ConvertCodePage(const std::string& text, unsigned from, unsigned to, std::string& converted,
                     const CodePageApi& api)
{
    if (from == to || text.empty()) {
        converted = text;
        return true;
    }
    const std::wstring wide = WideFromCodePage(text, from, api);
    if (wide.empty()) {
        converted = text; // nothing the system could read: left as it was
        return false;
    }
    return CodePageFromWide(wide, to, converted, api);
}
