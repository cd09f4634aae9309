#include "framework/SystemText.h"

#include <windows.h>

CString SystemText(unsigned long code)
{
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        code, 0, text, sizeof text, nullptr);
    return SystemTextLine(text, length);
}

CString SystemText(unsigned long code, const SystemTextForm& form)
{
    return FormatSystemText(SystemText(code), code, form);
}
