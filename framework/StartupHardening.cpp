#include "framework/StartupHardening.h"

namespace {

FARPROC PlatformLookup(const char* module, const char* name)
{
    // The program's own imports have loaded the module; a missing one is
    // not loaded here, since that would search for it by name.
    HMODULE loaded = ::GetModuleHandleA(module);
    return loaded ? ::GetProcAddress(loaded, name) : nullptr;
}

// Test seam (the program's other one, beside the message-box responder): the
// lookup in force.
SystemProcLookup g_lookup = &PlatformLookup;

template <typename Function> Function Find(const char* module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(g_lookup(module, name)));
}

} // namespace

void HardenDllSearch()
{
    // Windows 8 on, and Windows 7 with its loader update: the system folder
    // only, for every load without a full path.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    if (auto setDefault = Find<SetDefaultDllDirectoriesFn>("kernel32.dll", "SetDefaultDllDirectories"))
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Where that is missing, at least the current folder leaves the search.
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    if (auto setDirectory = Find<SetDllDirectoryFn>("kernel32.dll", "SetDllDirectoryA"))
        setDirectory("");
}

void DisableGhosting()
{
    using DisableProcessWindowsGhostingFn = void(WINAPI*)();
    if (auto disable = Find<DisableProcessWindowsGhostingFn>("user32.dll", "DisableProcessWindowsGhosting"))
        disable();
}

SystemProcLookup SetSystemProcLookup(SystemProcLookup lookup)
{
    const SystemProcLookup previous = g_lookup;
    g_lookup = lookup ? lookup : &PlatformLookup;
    return previous;
}
