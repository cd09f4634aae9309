// Port names and numbers in every form they come in: typed by a user, listed
// by Windows, shown, opened, and stored in the settings.
#include "link/PortName.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(PortName, TypedAndListedFormsOfAPort)
{
    const struct {
        std::string text;
        int typed;  // as the console tool's --port takes it
        int listed; // as the registry's port list gives it
    } cases[] = {
        {"COM1", 1, 1},
        {"com23", 23, 23},
        {"Com255", 255, 255},
        {"cOm9", 9, 9},
        {"1", 1, 0}, // a bare number is typed, never listed
        {"255", 255, 0},
        {"007", 7, 0}, // leading zeros: typed only
        {"COM023", 23, 0},
        {"COM0", 0, 0},
        {"0", 0, 0},
        {"COM256", 0, 0},
        {"256", 0, 0},
        {"99999999999999999999", 0, 0}, // no overflow into range
        {"COM4294967297", 0, 0},
        {"COM", 0, 0},
        {"", 0, 0},
        {"COM1 ", 0, 0},
        {" COM1", 0, 0},
        {"COM 1", 0, 0},
        {"+3", 0, 0},
        {"-3", 0, 0},
        {"COM-3", 0, 0},
        {"COM2X", 0, 0},
        {"3x", 0, 0},
        {"LPT1", 0, 0},
        {"CNCA0", 0, 0},
        {"COMCOM1", 0, 0},
        {std::string("COM1\0", 5), 0, 1}, // typed text is counted, a listed name ends at its NUL
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(PortName::NumberOfTyped(c.text.data(), c.text.size()), c.typed);
        EXPECT_EQ(PortName::NumberOfName(c.text.c_str()), c.listed);
    }
    EXPECT_EQ(PortName::NumberOfName(nullptr), 0);
}

TEST(PortName, ShownAndDeviceNames)
{
    const struct {
        int number;
        const char* shown;
        const char* device;
    } cases[] = {
        {1, "COM1", "COM1"},           {9, "COM9", "COM9"},
        {10, "COM10", "\\\\.\\COM10"}, // CreateFile needs the device namespace from 10 on
        {23, "COM23", "\\\\.\\COM23"}, {255, "COM255", "\\\\.\\COM255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(PortName::Name(c.number).str(), c.shown);
        EXPECT_EQ(PortName::DeviceName(c.number).str(), c.device);
        // Every shown name reads back as the same port.
        EXPECT_EQ(PortName::NumberOfName(PortName::Name(c.number)), c.number);
    }
}

TEST(PortName, TheLinkTakesAPortNumbersLowByte)
{
    const struct {
        int stored;
        int link;
    } cases[] = {
        {1, 1}, {12, 12}, {255, 255}, {0, 0}, {256, 0}, {257, 1}, {-1, 255}, {INT_MAX, 255}, {INT_MIN, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(PortName::LinkPortOf(c.stored), c.link);
    }
}
