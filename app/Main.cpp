// The program's entry point: everything happens in the application object.
#include <windows.h>

#include "app/Globals.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return AfxWinMain(theApp, instance);
}
