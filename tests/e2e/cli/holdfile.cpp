// holdfile PATH MAX_MS RELEASE: holds PATH open as another program would
// while it reads the file (read access, readers let in, writers not), for the
// end-to-end tests of the upgrade history. Prints "held" once the file is
// open, and lets it go when the file RELEASE exists or MAX_MS have passed,
// whichever comes first; then prints how it let go: "released on request"
// or "released at the time limit" (a test that meant to release it checks
// which: a slow start must not pass for a test of the release).
#include "files/FileHandle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: holdfile PATH MAX_MS RELEASE\n");
        return 2;
    }
    CFileHandle file(CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        std::printf("failed %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    // The release file, or the time limit: whichever comes first.
    const DWORD limit = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const DWORD start = GetTickCount();
    bool requested = false;
    for (;;) {
        if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES) {
            requested = true;
            break;
        }
        if (GetTickCount() - start >= limit)
            break;
        Sleep(20);
    }
    file.Close();
    std::printf(requested ? "released on request\n" : "released at the time limit\n");
    std::fflush(stdout);
    return 0;
}
