// The program's entry point: everything happens in the application object.
#include <windows.h>

#include "app/Globals.h"
#include "framework/RunningMark.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const CRunningMark running;
    return AfxWinMain(theApp, instance);
}
