// holdfile PATH MAX_MS: holds PATH open as another program would while it
// reads the file (read access, readers let in, writers not), for the
// end-to-end tests of the upgrade history. Prints "held" once the file is
// open, and lets it go when a line arrives on stdin or MAX_MS have passed,
// whichever comes first; then prints "released".
#include "files/FileHandle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: holdfile PATH MAX_MS\n");
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
    // A line on stdin, or the time limit: whichever comes first.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const DWORD limit = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) && available > 0)
            break;
        if (GetTickCount() - start >= limit)
            break;
        Sleep(20);
    }
    file.Close();
    std::printf("released\n");
    std::fflush(stdout);
    return 0;
}
