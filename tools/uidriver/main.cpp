// uidriver: works another process's windows under Wine for the end-to-end
// tests. Run one command per call:
//     uidriver.exe wait-window --pid 42 --class #32770 --timeout-ms 5000
// or many over one pipe (much faster than starting a process per command):
//     uidriver.exe serve      (one command per line on stdin, one answer per line on stdout)
// Every answer is one JSON line: {"ok":true,...} or {"ok":false,"error":"..."}.
#include "tools/uidriver/Args.h"
#include "tools/uidriver/Commands.h"
#include "text/Json.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

using namespace uidriver;

namespace {

int Serve()
{
    Session session;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::string answer;
        try {
            Args args = ParseServeLine(line);
            if (args.command == L"quit")
                break;
            answer = RunCommand(session, args);
        } catch (const DriverError& e) {
            answer = CJsonObject().Bool("ok", false).String("error", std::string(e.what())).Text();
        }
        std::fwrite(answer.data(), 1, answer.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> tokens;
    for (int i = 1; i < argc; ++i)
        tokens.emplace_back(argv[i]);
    LocalFree(argv);
    if (tokens.empty()) {
        std::fputs("usage: uidriver <command> [--key value]...  |  uidriver serve\n", stderr);
        return 2;
    }
    if (tokens[0] == L"serve")
        return Serve();
    Session session;
    std::string answer;
    try {
        answer = RunCommand(session, ParseArgs(tokens));
    } catch (const DriverError& e) {
        answer = CJsonObject().Bool("ok", false).String("error", std::string(e.what())).Text();
    }
    std::puts(answer.c_str());
    return answer.compare(0, 10, "{\"ok\":true") == 0 ? 0 : 1;
}
