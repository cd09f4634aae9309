#include "app/SettingsValue.h"

#include <climits>

int ParseSettingsInt(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0; // never beyond INT_MAX + 1, so it cannot overflow
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value >= limit) {
            value = limit;
            // Skip the remaining digits: the result is held at the limit.
        }
    }
    return static_cast<int>(negative ? -value : value);
}
