#include "framework/SystemText.h"

#include <string>

CString SystemTextLine(const char* text, std::size_t length)
{
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        --length;
    std::string line(text, length);
    for (char& c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return CString(line);
}

CString FormatSystemText(const CString& line, unsigned long code, const SystemTextForm& form)
{
    std::string text = line.str();
    if (form.withoutFullStop) {
        while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
            text.pop_back();
    }
    CString number;
    number.Format("%lu", code);
    if (text.empty())
        return form.withCode ? CString(form.none) + " " + number : CString(form.none);
    return form.withCode ? CString(text) + " (error " + number + ")" : CString(text);
}
