// Language texts with numbered places: "%1" to "%9" in a text read from the
// language file, which anyone can edit, so never a printf format.
#pragma once

#include "framework/CString.h"

#include <initializer_list>

// The text with "%1" to "%9" each replaced by its value, once and in one
// pass: a value that holds "%2" stays as it is, and a place without a value
// (or named a second time) is copied as written.
CString FillText(const CString& text, std::initializer_list<CString> values);
