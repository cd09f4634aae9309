#include "text/FillText.h"

#include <gtest/gtest.h>

#include <string>

// Language files are edited by hand: a place is filled once, in one pass, and
// whatever else a text or a value holds comes through as written.
TEST(FillText, FillsEachPlaceOnceInOnePass)
{
    const struct {
        const char* name;
        const char* text;
        std::initializer_list<CString> values;
        const char* expected;
    } cases[] = {
        {"places in order", "retrying (%1 of %2)", {"2", "3"}, "retrying (2 of 3)"},
        {"places out of order", "%2 / %1", {"a", "b"}, "b / a"},
        {"a value holding a place", "%1 then %2", {"C:\\%2", "x"}, "C:\\%2 then x"},
        {"a place named twice", "%1 and %1", {"a"}, "a and %1"},
        {"a place without a value", "%1 %3", {"a", "b"}, "a %3"},
        {"no place, a percent sign", "100% %x %", {"a"}, "100% %x %"},
        {"double-byte text", "\x83G\x83\x89\x81[: %1", {"C:\\a"}, "\x83G\x83\x89\x81[: C:\\a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::string(FillText(c.text, c.values).GetString()), c.expected);
    }
}
