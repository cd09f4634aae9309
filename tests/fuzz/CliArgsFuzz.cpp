// The console tool's argument parser over any argument list (the input split
// at NUL bytes), and the JSON writer over every argument and reason. Accepted
// lists must satisfy the grammar; every reason is one short line; every JSON
// string is plain ASCII and well formed.
#include "cli/CliArgs.h"
#include "text/Json.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// A JSON string literal as RFC 8259 has it, in ASCII only.
void CheckJsonString(const std::string& json)
{
    Check(json.size() >= 2 && json.front() == '"' && json.back() == '"');
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const char c = json[i];
        Check(c >= 0x20 && c < 0x7F && c != '"');
        if (c != '\\')
            continue;
        Check(i + 2 < json.size());
        const char escape = json[++i];
        if (escape == 'u') {
            Check(i + 5 < json.size());
            for (int d = 1; d <= 4; ++d)
                Check(IsHex(json[i + d]));
            i += 4;
        } else {
            Check(std::string("\"\\/bfnrt").find(escape) != std::string::npos);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> arguments;
    if (size > 0) {
        const std::string input(reinterpret_cast<const char*>(data), size);
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = input.find('\0', start);
            arguments.push_back(input.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }

    CliArgs args;
    CString error;
    if (ParseCliArgs(arguments, args, error)) {
        Check(error.IsEmpty());
        const bool link = args.command == CliCommand::Identify || args.command == CliCommand::Upgrade ||
                          args.command == CliCommand::Restore;
        Check(link ? args.port >= kCliMinPort && args.port <= kCliMaxPort : args.port == 0);
        Check(args.retries >= 0 && args.retries <= kCliMaxRetries);
        Check((args.command == CliCommand::Upgrade) == (args.folder.IsEmpty() != args.file.IsEmpty()));
        Check(args.command == CliCommand::Restore ? (args.entry >= 1) != args.hasRecord
                                                  : args.entry == 0 && !args.hasRecord);
        Check(args.command != CliCommand::Version || arguments.size() == 1);
        // Help is asked for by name, in one of its usual forms.
        bool helpAsked = !arguments.empty() && arguments[0] == "help";
        for (const std::string& argument : arguments)
            helpAsked = helpAsked || argument == "--help" || argument == "-h" || argument == "/?";
        Check(args.command != CliCommand::Help || helpAsked);
    } else {
        Check(!error.IsEmpty() && error.GetLength() < 300);
        Check(error.str().find_first_of("\r\n") == std::string::npos);
        CheckJsonString(JsonString(error.str()));
    }
    for (const std::string& argument : arguments)
        CheckJsonString(JsonString(argument));
    return 0;
}
