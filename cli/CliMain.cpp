// orvelle-cli's entry point: a console program. Everything happens in the
// console tool; the language file and the History folder are found beside
// the executable, as ORVELLE.exe finds them.
#include "cli/CliArgs.h"
#include "cli/ConsoleText.h"
#include "cli/ConsoleTool.h"
#include "framework/CodePage.h"
#include "framework/StartupHardening.h"
#include "files/DataFile.h"
#include "framework/RunningMark.h"
#include "text/LanguageTable.h"

#include <cstdio>
#include <string>
#include <vector>

int main()
{
    HardenDllSearch();
    const CRunningMark running;
    CDataFile dataFile;
    const ConsoleEnvironment environment = {
        dataFile.GetExePath(),
        [](CLanguageTable& texts) { return texts.Open("English"); },
        stdout,
        stderr,
    };
    // The arguments as typed (UTF-16), not as the C runtime's ANSI argv,
    // which turns a character the code page lacks into a look-alike.
    return RunConsoleTool(WideCommandLineArguments(), environment, AnsiCodePage());
}
