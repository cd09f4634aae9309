// The option-file maker's description language and the inspector's warnings.
#include "tools/enhtool/EnhFile.h"
#include "upgrade/OptionFileView.h"
#include "upgrade/OptionFormat.h"

#include <gtest/gtest.h>

TEST(EnhDescription, MakesTheDescribedBytes)
{
    const char* text = "# sample\n"
                       "model \"QX-5100\\x00E\"   # a zero byte inside the name\n"
                       "min-version V1.20\n"
                       "rule recommended\n"
                       "entry code=00000102 type=3 mask=0FFFFFFFFFFFFF00\n"
                       "entry code=AB12 mask=5000000000000000\n"
                       "entry code=0x00000999\n"
                       "tail 5\n";
    EnhDescription d;
    std::string error;
    ASSERT_TRUE(ParseEnhDescription(text, d, error)) << error;
    const std::vector<unsigned char> bytes = BuildEnhFile(d);
    ASSERT_EQ(bytes.size(), 480u + 3 * 24 + 5);
    const unsigned char model[12] = {'Q', 'X', '-', '5', '1', '0', '0', 0, 'E', 0, 0, 0};
    EXPECT_TRUE(COptionFileView(bytes).IsForModel(model));
    EXPECT_EQ(std::string(bytes.begin() + 128, bytes.begin() + 134), std::string("V1.20\0", 6));
    EXPECT_EQ(bytes[134], '0');
    const COptionFileView view(bytes);
    ASSERT_EQ(view.EntryCount(), 3u);
    EXPECT_EQ(std::vector<unsigned char>(view.Entry(0), view.Entry(0) + 4),
              (std::vector<unsigned char>{0, 0, 1, 2}));
    EXPECT_EQ(view.Entry(0)[16], 0x3F);
    EXPECT_EQ(view.Entry(0)[23], 0x00);
    EXPECT_EQ(std::string(view.Entry(1), view.Entry(1) + 4), "AB12");
    EXPECT_EQ(EntryType(view.Entry(1)), 5u);
    EXPECT_EQ(view.Entry(2)[16], 0xFF); // no mask: all options kept
}

TEST(EnhDescription, RejectsWhatItCannotMake)
{
    const char* bad[] = {
        "min-version V1\n",                          // no model
        "model QX-5100\nmodel\n",                    // no value
        "model ABCDEFGHIJKLM\n",                     // 13 bytes
        "model QX\nmin-version V1.2.3.4\n",          // 7 bytes
        "model QX\nentry type=3\n",                  // no code
        "model QX\nentry code=123 mask=00\n",        // short code
        "model QX\nentry code=00000001 mask=0011\n", // short mask
        "model QX\nentry code=00000001 type=16\n",   // type is a nibble
        "model QX\nentry code=00000001 colour=red\n",
        "model QX\ntail 24\n", // that is a whole entry
        "model QX\nrule often\n",
        "model \"QX\n",
        "model QX\nsparkle 3\n",
    };
    for (const char* text : bad) {
        EnhDescription d;
        std::string error;
        EXPECT_FALSE(ParseEnhDescription(text, d, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(EnhInspector, WarnsAboutAShortHeaderAndAPartialEntry)
{
    EnhDescription d;
    d.model = "QX-5100";
    d.entries.push_back(MakeEnhEntry("00000102", 3, "0FFFFFFFFFFFFFFF"));
    std::string report;
    EXPECT_EQ(DescribeEnhFile(BuildEnhFile(d), report), 0);
    EXPECT_NE(report.find("QX-5100"), std::string::npos);
    EXPECT_NE(report.find("entries:     1"), std::string::npos);

    d.tail = 7;
    EXPECT_EQ(DescribeEnhFile(BuildEnhFile(d), report), 1);
    EXPECT_NE(report.find("7 bytes after the last whole entry"), std::string::npos);

    d.size = 200;
    EXPECT_EQ(DescribeEnhFile(BuildEnhFile(d), report), 1);
    EXPECT_NE(report.find("only 200 of the 480 header bytes"), std::string::npos);
}
