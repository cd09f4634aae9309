// The system's error text as one line and in each caller's form: the console
// tool's reasons, the history's warnings and the trace's lines must read as
// they always have.
#include "framework/SystemText.h"

#include <gtest/gtest.h>

#include <string>

TEST(SystemText, TheSystemsTextBecomesOneLine)
{
    const struct {
        const char* raw;
        const char* line;
    } cases[] = {
        {"Access is denied.\r\n", "Access is denied."},
        {"Access is denied. \r\n \r\n", "Access is denied."},
        {"The first line\r\nand the second.\r\n", "The first line  and the second."},
        {"Bare LF\nand CR\r.", "Bare LF and CR ."},
        {"  leading spaces stay", "  leading spaces stay"},
        {"\r\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(SystemTextLine(c.raw, std::char_traits<char>::length(c.raw)).str(), c.line);
    }
}

TEST(SystemText, EachFormAsItsCallerShowsIt)
{
    const struct {
        const char* name;
        SystemTextForm form;
        const char* line;
        const char* shown;
    } cases[] = {
        {"reason", SystemTextForms::kReason, "Access is denied.", "Access is denied (error 5)"},
        {"reason, stops and spaces", SystemTextForms::kReason, "Odd. . ", "Odd (error 5)"},
        {"reason, inner stops stay", SystemTextForms::kReason, "A.B. c.", "A.B. c (error 5)"},
        {"reason, none", SystemTextForms::kReason, "", "error 5"},
        {"reason, only a stop", SystemTextForms::kReason, ".", "error 5"},
        {"warning", SystemTextForms::kWarning, "Access is denied.", "Access is denied. (error 5)"},
        {"warning, none", SystemTextForms::kWarning, "", "system error 5"},
        {"trace line", SystemTextForms::kTraceLine, "Access is denied.", "Access is denied."},
        {"trace line, none", SystemTextForms::kTraceLine, "", "(no system text)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatSystemText(c.line, 5, c.form).str(), c.shown);
    }
    // The code as the unsigned number Windows has, never negative.
    EXPECT_EQ(FormatSystemText("", 0xE0000235ul, SystemTextForms::kReason).str(), "error 3758096949");
}
