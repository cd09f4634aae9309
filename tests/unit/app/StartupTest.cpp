// Start-up hardening: the application's initialisation makes the DLL search
// and ghosting calls before its main dialog exists, still starts where
// Windows lacks them, and a hardened search no longer loads a library planted
// beside the program by its bare name.
#include "app/Globals.h"
#include "framework/StartupHardening.h"
#include "framework/AppMessageBox.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"
#include "tests/support/WindowTestSupport.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

// What happened, in order: the hardening calls and the main dialog's creation.
std::vector<std::string>& Events()
{
    static std::vector<std::string> events;
    return events;
}

// The functions the stand-in Windows has.
std::set<std::string>& Available()
{
    static std::set<std::string> available;
    return available;
}

BOOL WINAPI RecordSetDefaultDllDirectories(DWORD flags)
{
    char text[64];
    std::snprintf(text, sizeof(text), "SetDefaultDllDirectories 0x%lx", static_cast<unsigned long>(flags));
    Events().push_back(text);
    return TRUE;
}

BOOL WINAPI RecordSetDllDirectoryA(LPCSTR path)
{
    Events().push_back(std::string("SetDllDirectoryA \"") + (path ? path : "(null)") + "\"");
    return TRUE;
}

void WINAPI RecordDisableProcessWindowsGhosting()
{
    Events().push_back("DisableProcessWindowsGhosting");
}

template <typename Function> FARPROC AsProc(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

FARPROC StandInLookup(const char* module, const char* name)
{
    const struct {
        const char* module;
        const char* name;
        FARPROC function;
    } exports[] = {
        {"kernel32.dll", "SetDefaultDllDirectories", AsProc(&RecordSetDefaultDllDirectories)},
        {"kernel32.dll", "SetDllDirectoryA", AsProc(&RecordSetDllDirectoryA)},
        {"user32.dll", "DisableProcessWindowsGhosting", AsProc(&RecordDisableProcessWindowsGhosting)},
    };
    for (const auto& e : exports) {
        if (::lstrcmpiA(module, e.module) == 0 && std::string(name) == e.name)
            return Available().count(name) ? e.function : nullptr;
    }
    return nullptr;
}

// Notes the main dialog's creation and ends it at once: its initialisation
// runs, its modal loop does not.
HHOOK g_hook = nullptr;
LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDA*>(lParam);
        char name[16] = {};
        ::GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof(name));
        if (std::string(name) == "#32770" && !create->lpcs->hwndParent) {
            Events().push_back("main dialog created");
            if (auto* dialog = dynamic_cast<CDialog*>(AfxGetMainWnd()))
                dialog->EndDialog(IDABORT);
        }
    }
    return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

int AnswerNo(void*, const char* text, const char*, unsigned)
{
    Events().push_back(std::string("box: ") + (text ? text : ""));
    return IDNO;
}

TEST(Startup, HardeningComesBeforeTheMainDialogWhereverWindowsHasIt)
{
    SKIP_WITHOUT_DISPLAY();
    const struct {
        const char* windows;
        std::set<std::string> available;
        std::vector<std::string> events;
    } cases[] = {
        {"Windows 8 and later",
         {"SetDefaultDllDirectories", "SetDllDirectoryA", "DisableProcessWindowsGhosting"},
         {"SetDefaultDllDirectories 0x800", "SetDllDirectoryA \"\"", "DisableProcessWindowsGhosting",
          "main dialog created"}},
        {"Windows 7 without its loader update",
         {"SetDllDirectoryA", "DisableProcessWindowsGhosting"},
         {"SetDllDirectoryA \"\"", "DisableProcessWindowsGhosting", "main dialog created"}},
        {"none of them", {}, {"main dialog created"}},
    };
    const SystemProcLookup platform = SetSystemProcLookup(&StandInLookup);
    const AppMessageBoxFn boxes = SetAppMessageBoxFn(&AnswerNo);
    g_hook = ::SetWindowsHookExA(WH_CBT, &WatchCreation, nullptr, ::GetCurrentThreadId());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        Events().clear();
        Available() = c.available;
        EXPECT_FALSE(theApp.InitInstance());
        EXPECT_EQ(Events(), c.events);
    }
    ::UnhookWindowsHookEx(g_hook);
    SetAppMessageBoxFn(boxes);
    SetSystemProcLookup(platform);
}

// The real calls, through the real lookup: a library beside the program loads
// by its bare name before, and no longer after.
TEST(Startup, AHardenedSearchSkipsALibraryPlantedBesideTheProgram)
{
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string planted(path);
    planted = planted.substr(0, planted.rfind('\\') + 1) + ORVELLE_PLANTED_DLL;

    HMODULE before = ::LoadLibraryA(ORVELLE_PLANTED_DLL);
    ASSERT_NE(before, nullptr) << "the search does not reach the program's folder at all";
    ASSERT_TRUE(::FreeLibrary(before));
    ASSERT_EQ(::GetModuleHandleA(ORVELLE_PLANTED_DLL), nullptr);

    HardenDllSearch();
    HMODULE after = ::LoadLibraryA(ORVELLE_PLANTED_DLL);
    EXPECT_EQ(after, nullptr);
    if (after)
        ::FreeLibrary(after);
    // The file itself is fine, and system libraries still load.
    HMODULE byPath = ::LoadLibraryA(planted.c_str());
    EXPECT_NE(byPath, nullptr);
    if (byPath)
        ::FreeLibrary(byPath);
    HMODULE system = ::LoadLibraryA("version.dll");
    EXPECT_NE(system, nullptr);
    if (system)
        ::FreeLibrary(system);
}

} // namespace
