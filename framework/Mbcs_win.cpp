#include "Mbcs.h"

#include <windows.h>

bool IsAnsiLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != FALSE;
}
