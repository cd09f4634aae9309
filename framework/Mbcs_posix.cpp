#include "Mbcs.h"

// Outside Windows there is no ANSI code page: every byte is one character.
bool IsAnsiLeadByte(unsigned char)
{
    return false;
}
