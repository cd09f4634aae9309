// Formats the About box's version and release lines. Their format texts come
// from the language file, which anyone can edit, so they are never handed to
// printf: whatever a format holds, it reads exactly one argument, the given
// string, and nothing else. Portable: no windows.h.
//
// The rule:
// - "%%" gives one percent sign, everywhere in the text.
// - The first string conversion is filled with the argument. It may carry the
//   '-' flag, a width and a precision of up to three digits each ("%s",
//   "%-10s", "%8.3s"), which behave as in printf: the width pads with spaces
//   (on the left, or on the right with '-'), the precision keeps at most that
//   many bytes of the argument without splitting a double-byte character.
// - Every other conversion ("%d", "%n", "%x", "%*s", "%ls", "%+s", a width of
//   four digits, a second "%s", a lone '%' at the end) is copied as written.
// - A format without a string conversion is shown unchanged; the argument is
//   not shown.
#pragma once

#include "framework/CString.h"

CString FormatOneString(const char* format, const char* argument);
