#include "cli/ConsoleText.h"

#include "framework/CodePage.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <io.h>
#include <memory>

const ConsoleApi& PlatformConsoleApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants.
    static const ConsoleApi api = {&::GetConsoleMode, &::WriteConsoleW, &::SetConsoleCtrlHandler,
                                   &::CancelSynchronousIo};
    return api;
}

std::wstring WideFromAnsi(const std::string& ansi)
{
    return WideFromCodePage(ansi, AnsiCodePage());
}

namespace {

// The stream's console handle; null when it writes to a file or pipe.
HANDLE ConsoleHandle(std::FILE* stream, const ConsoleApi& api)
{
    const int descriptor = _fileno(stream);
    const HANDLE handle = descriptor >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)) : nullptr;
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && api.GetConsoleMode(handle, &mode))
        return handle;
    return nullptr;
}

} // namespace

bool IsConsole(std::FILE* stream, const ConsoleApi& api)
{
    return ConsoleHandle(stream, api) != nullptr;
}

void WriteConsoleText(std::FILE* stream, const std::string& ansi, const ConsoleApi& api)
{
    if (ansi.empty())
        return;
    if (const HANDLE handle = ConsoleHandle(stream, api)) {
        const std::wstring wide = WideFromAnsi(ansi);
        if (!wide.empty()) {
            // What the stream holds goes first, so that the order stays.
            std::fflush(stream);
            // A console write takes a limited amount at once: in pieces.
            constexpr std::size_t kPiece = 8192;
            for (std::size_t at = 0; at < wide.size();) {
                const DWORD count = static_cast<DWORD>(std::min(kPiece, wide.size() - at));
                DWORD written = 0;
                if (!api.WriteConsoleW(handle, wide.data() + at, count, &written, nullptr) || written == 0)
                    break;
                at += written;
            }
            return;
        }
    }
    std::fwrite(ansi.data(), 1, ansi.size(), stream);
}

bool AnsiArguments(const std::vector<std::wstring>& wide, std::vector<std::string>& arguments,
                   std::string& error, unsigned codePage)
{
    std::vector<std::string> converted;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::string ansi;
        // A character the code page lacks, and one that would not come back
        // as itself, are both refused: never a look-alike that names another
        // file.
        if (!CodePageFromWide(wide[i], codePage, ansi)) {
            char position[32];
            std::snprintf(position, sizeof position, "argument %u ", static_cast<unsigned>(i + 1));
            error = std::string(position) + "'" + ansi + "' holds characters the system's code page (" +
                    std::to_string(codePage) + ") cannot represent; use a path without them";
            return false;
        }
        converted.push_back(std::move(ansi));
    }
    arguments = std::move(converted);
    return true;
}

bool AnsiArguments(const std::vector<std::wstring>& wide, std::vector<std::string>& arguments,
                   std::string& error)
{
    return AnsiArguments(wide, arguments, error, AnsiCodePage());
}

std::vector<std::wstring> WideCommandLineArguments()
{
    int count = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count),
                                                       &LocalFree);
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i)
        arguments.emplace_back(argv.get()[i]);
    return arguments;
}
