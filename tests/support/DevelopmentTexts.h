// The development language file's texts (res/ORVELLE.lng, English), loaded
// once, for tests that run the program's steps with its real texts. The test
// defines ORVELLE_SOURCE_DIR.
#pragma once

#include "text/LanguageTable.h"
#include "text/TextNumbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

inline CLanguageTable& DevelopmentTexts()
{
    static CLanguageTable texts;
    if (texts.GetText(TextNo::kAppTitle)[0] == '\0') {
        std::ifstream in(ORVELLE_SOURCE_DIR "/res/ORVELLE.lng", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        // As text mode delivers it: line ends without their carriage returns.
        std::string bytes = text.str();
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
        EXPECT_EQ(texts.Parse(bytes.data(), static_cast<int>(bytes.size()), "English"), 1);
    }
    return texts;
}
