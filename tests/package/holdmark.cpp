// holdmark KIND NAME SDDL: holds a named object NAME of KIND (mutex or
// event), made with the security descriptor SDDL, for the installer's tests
// of the running mark: a mutex that lets no one look ("D:", as a copy of
// another user or one started as administrator may), or an event of the
// mark's name, which OpenMutex cannot open either (ERROR_INVALID_HANDLE) and
// which Wine can show where it does not enforce the descriptor. Prints
// "held" once it holds the object and lets it go when its standard input
// ends. Without its arguments it exits with 2.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "mutex") != 0 && std::strcmp(argv[1], "event") != 0)) {
        std::fprintf(stderr, "usage: holdmark mutex|event NAME SDDL\n");
        return 2;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[3], SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        std::printf("failed sddl %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE held = std::strcmp(argv[1], "mutex") == 0 ? CreateMutexA(&attributes, FALSE, argv[2])
                                                     : CreateEventA(&attributes, TRUE, FALSE, argv[2]);
    LocalFree(descriptor);
    if (!held) {
        std::printf("failed %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    CloseHandle(held);
    std::printf("released\n");
    std::fflush(stdout);
    return 0;
}
