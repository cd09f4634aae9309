#include "files/DataFile.h"

#include "tests/support/FileTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    TempFolder folder;
    const std::string ini = folder / "ORVELLE.ini";
    CDataFile data;

    CString Read(const char* key, int* result = nullptr)
    {
        CString value("stale");
        const int length = data.OpenInitFile(ini.c_str(), "INIT", key, &value);
        if (result)
            *result = length;
        return value;
    }
    int Write(const char* key, const char* text)
    {
        CString value(text);
        return data.SaveInitFile(ini.c_str(), "INIT", key, &value);
    }
};

struct ReadCase {
    const char* name;
    const char* content; // nullptr: no settings file
    const char* key;
    std::string expected;
};

TEST_F(SettingsFileTest, ReadsValuesOfAtMost259Characters)
{
    const std::string long300 = std::string(150, 'a') + std::string(150, 'b');
    const std::string longContent = "[INIT]\r\nFolder=" + long300 + "\r\n";
    const ReadCase cases[] = {
        {"no file", nullptr, "Folder", ""},
        {"no section", "[OTHER]\r\nFolder=C:\\x\r\n", "Folder", ""},
        {"no key", "[INIT]\r\nFile=C:\\f.ENH\r\n", "Folder", ""},
        {"empty value", "[INIT]\r\nFolder=\r\n", "Folder", ""},
        {"value", "[INIT]\r\nFolder=C:\\Options\r\nMode=2\r\n", "Mode", "2"},
        {"300 characters", longContent.c_str(), "Folder", long300.substr(0, 259)},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(ini.c_str());
        if (c.content) {
            ASSERT_TRUE(WriteWholeFile(ini, c.content));
        }

        int result = -1;
        const CString value = Read(c.key, &result);
        EXPECT_EQ(value.str(), c.expected);
        EXPECT_EQ(result, static_cast<int>(c.expected.size()));
    }
}

TEST_F(SettingsFileTest, FirstSaveCreatesTheFileWithTheSection)
{
    ASSERT_EQ(ReadWholeFile(ini), "<missing>");

    EXPECT_NE(Write("Folder", "C:\\Options"), 0);
    EXPECT_NE(Write("File", "C:\\Options\\a.ENH"), 0);
    EXPECT_NE(Write("ComPort", "3"), 0);
    EXPECT_NE(Write("Mode", "1"), 0);

    EXPECT_EQ(ReadWholeFile(ini),
              "[INIT]\r\nFolder=C:\\Options\r\nFile=C:\\Options\\a.ENH\r\nComPort=3\r\nMode=1\r\n");
    EXPECT_STREQ(Read("File"), "C:\\Options\\a.ENH");
}

TEST_F(SettingsFileTest, RewritingAKeyReplacesItsLineOnly)
{
    ASSERT_TRUE(WriteWholeFile(ini,
                               "; kept\r\n[INIT]\r\nFolder=C:\\Options\r\nFile=\r\nComPort=3\r\nMode=1\r\n"
                               "[OTHER]\r\nMode=7\r\n"));

    EXPECT_NE(Write("Mode", "2"), 0);

    EXPECT_EQ(ReadWholeFile(ini), "; kept\r\n[INIT]\r\nFolder=C:\\Options\r\nFile=\r\nComPort=3\r\nMode=2\r\n"
                                  "[OTHER]\r\nMode=7\r\n");
}

TEST_F(SettingsFileTest, FailedWriteReturnsZero)
{
    // A read-only attribute does not stop a privileged user under Wine, so the
    // targets are ones no user can write: a folder, and a file in a folder
    // that does not exist.
    const std::string targets[] = {folder.Path(), folder / "missing\\ORVELLE.ini"};
    for (const std::string& target : targets) {
        CString value("2");
        EXPECT_EQ(data.SaveInitFile(target.c_str(), "INIT", "Mode", &value), 0) << target;
    }
}

TEST_F(SettingsFileTest, NullValueNeitherReadsNorDeletes)
{
    ASSERT_TRUE(WriteWholeFile(ini, "[INIT]\r\nMode=2\r\n"));
    EXPECT_EQ(data.OpenInitFile(ini.c_str(), "INIT", "Mode", nullptr), 0);
    EXPECT_EQ(data.SaveInitFile(ini.c_str(), "INIT", "Mode", nullptr), 0);
    EXPECT_STREQ(Read("Mode"), "2");
}

} // namespace
