// FindFieldInLine as defined, the slow way: every candidate field of the whole
// text in turn. The fuzz target checks ours against it and the benchmark
// times the two side by side, so both must use this one copy.
#pragma once

#include "text/DelimitedText.h"

inline int LiteralFindFieldInLine(const CDelimitedText& t, int line, const char* name, char separator)
{
    int candidates = 1;
    for (char c : t.m_text.str())
        candidates += c == separator;
    for (int i = 0; i < candidates; ++i) {
        if (t.GetLineField(line, i, separator) == name)
            return i;
    }
    return -1;
}
