// orvelle-cli: the console tool's commands (ports, identify, upgrade,
// restore, history, support) over the same link, upgrade run, history and language texts as
// ORVELLE.exe. It never shows a window: the run's questions and messages
// are printed on stderr, each line saying what it is, and answered by its
// options (cli/ConsoleAsker.h): a failed step, and a port that cannot be
// opened yet, is tried again as often as --retries allows, and the question
// whether to write without a history entry is answered No. Ctrl+C stops a
// command that uses the link where no frame is cut. upgrade --each upgrades
// radio after radio (cli/ConsoleBatch.h) until Ctrl+C or --count radios. A
// --file that is no option file is told before any port is opened; the
// line's trace (--trace, and History\last-run.trace of identify, upgrade and
// restore) starts with what ran and ends with how it ended; support
// writes the support file (upgrade/SupportCollect.h).
#pragma once

#include "framework/CString.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class CLanguageTable;
struct ConsoleApi;
struct DeviceListApi;
struct PortApis;

// What the tool takes from its process.
struct ConsoleEnvironment {
    CString programFolder; // the executable's folder, home of its History folder; empty: unknown
    // Loads the language texts: 1 loaded, 0 after the message box that says why not.
    std::function<int(CLanguageTable&)> openTexts;
    std::FILE* out; // results, and the --json object
    std::FILE* err; // messages, retries, warnings and usage errors
    // Whether a stream is a console, and how to write to one; null: the
    // system's.
    const ConsoleApi* console = nullptr;
    // What the link and the port list call; null: the system's.
    const PortApis* link = nullptr;
    const DeviceListApi* deviceList = nullptr;
    // upgrade --each: the pause between connection attempts; null: a wait
    // that Ctrl+C ends at once.
    std::function<void(int milliseconds)> pause = nullptr;
};

// Runs the command that the arguments (those after the program name) give;
// returns the exit code (CliExit).
int RunConsoleTool(const std::vector<std::string>& arguments, const ConsoleEnvironment& environment);
// The same from the arguments as typed (UTF-16), taken into codePage (the
// ANSI code page's number): one it cannot hold is a usage error.
int RunConsoleTool(const std::vector<std::wstring>& arguments, const ConsoleEnvironment& environment,
                   unsigned codePage);
