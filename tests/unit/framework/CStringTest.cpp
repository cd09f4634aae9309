#include "framework/CString.h"

#include <gtest/gtest.h>

TEST(CString, FindAndReverseFind)
{
    CString s("C:\\Tools\\app.exe");
    EXPECT_EQ(s.Find('\\'), 2);
    EXPECT_EQ(s.ReverseFind('\\'), 8);
    EXPECT_EQ(s.Find("app"), 9);
    EXPECT_EQ(s.Find("app", 10), -1);
    EXPECT_EQ(s.Find('x', 100), -1);
}

TEST(CString, MidLeftRightClampToTheText)
{
    CString s("abcdef");
    EXPECT_EQ(s.Mid(2), "cdef");
    EXPECT_EQ(s.Mid(2, 100), "cdef");
    EXPECT_EQ(s.Mid(10), "");
    EXPECT_EQ(s.Left(3), "abc");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(10), "abcdef");
}

TEST(CString, ReplaceIsLeftToRightWithoutOverlap)
{
    CString s("aaaa");
    EXPECT_EQ(s.Replace("aa", "b"), 2);
    EXPECT_EQ(s, "bb");
    CString t("a b  c");
    EXPECT_EQ(t.Remove(' '), 3);
    EXPECT_EQ(t, "abc");
}

TEST(CString, FormatGrowsAsNeeded)
{
    CString s;
    s.Format("%s - %s", "Orvelle", "Upgrading");
    EXPECT_EQ(s, "Orvelle - Upgrading");
    s.Format("%0*d\n", 8, 10000001);
    EXPECT_EQ(s, "10000001\n");
    CString big(std::string(5000, 'x'));
    s.Format("%s!", big.GetString());
    EXPECT_EQ(s.GetLength(), 5001);
}

TEST(CString, BufferRoundTrip)
{
    CString s;
    char* p = s.GetBuffer(16);
    p[0] = 'h';
    p[1] = 'i';
    p[2] = '\0';
    s.ReleaseBuffer();
    EXPECT_EQ(s, "hi");
    EXPECT_EQ(s.GetLength(), 2);
}

TEST(CString, ReplaceManyMatchesStaysLinear)
{
    // 200,000 matches: a search restarted from the beginning for each match
    // would take minutes here.
    CString s(std::string(400000, 'a'));
    EXPECT_EQ(s.Replace("aa", "b"), 200000);
    EXPECT_EQ(s.GetLength(), 200000);
    EXPECT_EQ(s.Find('a'), -1);
}
