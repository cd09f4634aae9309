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
// the current responder, an object when one is in place, else the function.
static struct {
    AppMessageBoxFn fn = &PlatformMessageBox;
    CMessageBoxResponder* object = nullptr;
} g_responder;

int AppMessageBox(void* owner, const char* text, const char* caption, unsigned type)
{
    if (g_responder.object)
        return g_responder.object->Respond(owner, text, caption, type);
    return g_responder.fn(owner, text, caption, type);
}

AppMessageBoxFn SetAppMessageBoxFn(AppMessageBoxFn fn)
{
    AppMessageBoxFn previous = g_responder.fn;
    g_responder.fn = fn ? fn : &PlatformMessageBox;
    return previous;
}

CMessageBoxResponder::CMessageBoxResponder() : m_previous(g_responder.object)
{
    g_responder.object = this;
}

CMessageBoxResponder::~CMessageBoxResponder()
{
    g_responder.object = m_previous;
}
