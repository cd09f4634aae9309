// Decimal settings values, read the way the C library's atoi reads them
// (leading white space, an optional sign, the leading digits; no digits gives
// 0) but without its undefined behaviour on overflow: a value beyond the int
// range is held at INT_MIN or INT_MAX.
#pragma once

int ParseSettingsInt(const char* text);
