// The console tool's text in and out. Its texts are ANSI (the language file,
// the system's messages, paths): written to a console (GetConsoleMode
// succeeds on the stream's handle) they are turned into UTF-16 for
// WriteConsoleW, since the console would read bytes in its OEM code page;
// written to a file or pipe they stay the ANSI bytes. Its arguments arrive as
// UTF-16 and are taken into the ANSI code page without best-fit mapping: a
// character the code page lacks is an error, never a look-alike that names
// another file.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

// The console calls, in one table, so that a test can be a console and see
// what the tool asks of it.
struct ConsoleApi {
    decltype(&::GetConsoleMode) GetConsoleMode;
    decltype(&::WriteConsoleW) WriteConsoleW;
    decltype(&::SetConsoleCtrlHandler) SetConsoleCtrlHandler;
    // Cuts a read the run's thread is blocked in short, for a stop.
    decltype(&::CancelSynchronousIo) CancelSynchronousIo;
};
const ConsoleApi& PlatformConsoleApi();

// Whether the stream writes to a console (GetConsoleMode succeeds on its
// handle), not to a file or pipe.
bool IsConsole(std::FILE* stream, const ConsoleApi& api);

// Writes ANSI text to the stream: to its console as UTF-16, or as it is.
void WriteConsoleText(std::FILE* stream, const std::string& ansi, const ConsoleApi& api);

// ANSI text as UTF-16 (empty for empty text; bytes the code page does not
// map become what the system makes of them).
std::wstring WideFromAnsi(const std::string& ansi);

// The arguments after the program name, from the UTF-16 command line, in the
// ANSI code page (codePage: the system's, or another for a test). False when
// one cannot be represented there, with the usage error that names it (its
// position, and the argument with '?' for what the code page lacks) in
// `error`.
bool AnsiArguments(const std::vector<std::wstring>& wide, std::vector<std::string>& arguments,
                   std::string& error, unsigned codePage);
bool AnsiArguments(const std::vector<std::wstring>& wide, std::vector<std::string>& arguments,
                   std::string& error);

// The process's arguments after the program name, as UTF-16
// (GetCommandLineW, CommandLineToArgvW).
std::vector<std::wstring> WideCommandLineArguments();
