// Joining a folder and a name: exactly one separator between them, whatever
// the folder ends in.
#include "framework/Path.h"

#include <gtest/gtest.h>

TEST(JoinPath, PutsOneSeparatorBetweenFolderAndName)
{
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } cases[] = {
        {"C:\\Data", "*.ENH", "C:\\Data\\*.ENH"},
        {"C:\\Data\\", "a.ENH", "C:\\Data\\a.ENH"},
        {"E:\\", "History", "E:\\History"},
        {"Z:/tmp/run/", "History", "Z:/tmp/run/History"},
        {"Z:/tmp/run", "History", "Z:/tmp/run\\History"},
        {"\\\\server\\share", "a.ENH", "\\\\server\\share\\a.ENH"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinPath(c.folder, c.name).str(), c.joined) << c.folder;
}
