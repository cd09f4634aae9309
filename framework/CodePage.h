// Text between code pages, through UTF-16. Every conversion names its code
// page, so one table test runs it over Windows-1252, Shift-JIS (932) and
// UTF-8 (65001), whatever the machine's own ANSI code page is: Windows set to
// "Use Unicode UTF-8 for worldwide language support" has 65001 there, and
// refuses for it the flags and the default character the other code pages
// take. Windows only.
#pragma once

#include <windows.h>

#include <string>

// The two conversion calls, in a table, so that a test can hold them to what
// Windows demands for UTF-8, which Wine does not: no flag but
// WC_ERR_INVALID_CHARS (else ERROR_INVALID_FLAGS), no default character and
// no used-default flag (else ERROR_INVALID_PARAMETER).
struct CodePageApi {
    decltype(&::MultiByteToWideChar) MultiByteToWideChar;
    decltype(&::WideCharToMultiByte) WideCharToMultiByte;
};
const CodePageApi& PlatformCodePageApi();

// The system's ANSI code page (GetACP): what the ...A calls take and give.
unsigned AnsiCodePage();

// The text as UTF-16; empty for empty text or text the code page rejects as
// a whole. Bytes the code page does not map become what the system makes of
// them.
std::wstring WideFromCodePage(const std::string& text, unsigned codePage,
                              const CodePageApi& api = PlatformCodePageApi());

// The UTF-16 text in the code page, without best-fit look-alikes. True when
// every character came across as itself; false with the characters the code
// page lacks as '?' (and with nothing for UTF-16 that is not well formed).
bool CodePageFromWide(const std::wstring& wide, unsigned codePage, std::string& text,
                      const CodePageApi& api = PlatformCodePageApi());

// Text in code page `from` as code page `to` (the same text when they are
// the same); a character `to` lacks becomes '?'. False when some did, or when
// `from` could not read the text at all (which then stays as it was).
bool ConvertCodePage(const std::string& text, unsigned from, unsigned to, std::string& converted,
                     const CodePageApi& api = PlatformCodePageApi());
