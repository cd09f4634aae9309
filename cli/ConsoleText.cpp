#include "cli/ConsoleText.h"

#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <io.h>
#include <memory>

const ConsoleApi& PlatformConsoleApi()
{
    // Built on first use: the addresses of imported functions are not
    // constants.
    static const ConsoleApi api = {&::GetConsoleMode, &::WriteConsoleW};
    return api;
}

std::wstring WideFromAnsi(const std::string& ansi)
{
    if (ansi.empty() || ansi.size() > static_cast<std::size_t>(INT_MAX))
        return std::wstring();
    const int size = static_cast<int>(ansi.size());
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    if (wideSize <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, &wide[0], wideSize) != wideSize)
        return std::wstring();
    return wide;
}

void WriteConsoleText(std::FILE* stream, const std::string& ansi, const ConsoleApi& api)
{
    if (ansi.empty())
        return;
    const int descriptor = _fileno(stream);
    const HANDLE handle = descriptor >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)) : nullptr;
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && api.GetConsoleMode(handle, &mode)) {
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
                   std::string& error)
{
    std::vector<std::string> converted;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const std::wstring& argument = wide[i];
        if (argument.empty() || argument.size() > static_cast<std::size_t>(INT_MAX / 4)) {
            converted.emplace_back();
            continue;
        }
        const int size = static_cast<int>(argument.size());
        const int ansiSize = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, argument.data(), size, nullptr,
                                                 0, nullptr, nullptr);
        std::string ansi(static_cast<std::size_t>(ansiSize > 0 ? ansiSize : 0), '\0');
        BOOL usedDefault = FALSE;
        const int got = ansiSize > 0 ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, argument.data(),
                                                           size, &ansi[0], ansiSize, "?", &usedDefault)
                                     : 0;
        // A character the code page lacks, and one that does not come back
        // as itself (best fit, which the flag forbids but not every system
        // honours), are both refused.
        if (got != ansiSize || ansiSize <= 0 || usedDefault || WideFromAnsi(ansi) != argument) {
            char position[32];
            std::snprintf(position, sizeof position, "argument %u ", static_cast<unsigned>(i + 1));
            error = std::string(position) + "'" + ansi + "' holds characters the system's code page (" +
                    std::to_string(GetACP()) + ") cannot represent; use a path without them";
            return false;
        }
        converted.push_back(std::move(ansi));
    }
    arguments = std::move(converted);
    return true;
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
