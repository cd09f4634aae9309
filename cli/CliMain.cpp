// orvelle-cli's entry point: a console program. Everything happens in the
// console tool; the language file and the History folder are found beside
// the executable, as ORVELLE.exe finds them.
#include "cli/ConsoleTool.h"
#include "framework/StartupHardening.h"
#include "files/DataFile.h"
#include "framework/RunningMark.h"
#include "text/LanguageTable.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    HardenDllSearch();
    const CRunningMark running;
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    CDataFile dataFile;
    const ConsoleEnvironment environment = {
        dataFile.GetExePath(),
        [](CLanguageTable& texts) { return texts.Open("English"); },
        stdout,
        stderr,
    };
    return RunConsoleTool(arguments, environment);
}
