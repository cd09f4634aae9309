#include "framework/SystemText.h"

#include <windows.h>

#include <string>

CString SystemText(unsigned long code)
{
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        --length;
    std::string line(text, length);
    for (char& c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return CString(line);
}
