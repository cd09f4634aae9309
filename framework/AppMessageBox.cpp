#include "AppMessageBox.h"

#ifdef _WIN32
#include <windows.h>

static int PlatformMessageBox(void* owner, const char* text, const char* caption, unsigned type)
{
    return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}
#else
#include <cstdio>

// Outside Windows nobody can answer: the text goes to stderr and the box
// counts as not shown.
static int PlatformMessageBox(void*, const char* text, const char* caption, unsigned)
{
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return 0;
}
#endif

// Test seam (one of the program's two, with the start-up's function lookup):
// the current responder.
static AppMessageBoxFn g_messageBoxFn = &PlatformMessageBox;

int AppMessageBox(void* owner, const char* text, const char* caption, unsigned type)
{
    return g_messageBoxFn(owner, text, caption, type);
}

AppMessageBoxFn SetAppMessageBoxFn(AppMessageBoxFn fn)
{
    AppMessageBoxFn previous = g_messageBoxFn;
    g_messageBoxFn = fn ? fn : &PlatformMessageBox;
    return previous;
}
