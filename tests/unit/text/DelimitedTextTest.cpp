// Splitting and unquoting of delimited text: the rules every language-file
// row goes through.
#include "text/DelimitedText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CDelimitedText Text(const std::string& s)
{
    CDelimitedText t;
    t.m_text = CString(s);
    return t;
}

std::string S(const CString& s)
{
    return s.str();
}

struct FieldCase {
    const char* text;
    int index;
    const char* expected;
};

class GetFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldTest, SplitsAtCommasOnly)
{
    const FieldCase& c = GetParam();
    EXPECT_EQ(S(Text(c.text).GetField(c.index, ',')), c.expected) << "\"" << c.text << "\" field " << c.index;
}

INSTANTIATE_TEST_SUITE_P(Table, GetFieldTest,
                         ::testing::ValuesIn(std::initializer_list<FieldCase>{
                             {"a,b", 0, "a"},
                             {"a,b", 1, "b"},
                             {"a,b", 3, ""},  // beyond the last field
                             {"a,,c", 1, ""}, // consecutive separators
                             {"a,b,", 2, ""}, // separator at the very end
                             {"", 0, ""},
                             {"", 2, ""},
                             {"a\nb,c", 0, "a\nb"}, // line ends do not delimit
                             {"a\nb,c", 1, "c"},
                             {"a,b", -1, "a"}, // no separator to skip
                         }));

struct NthCase {
    const char* text;
    int n;
    int expected;
};

class FindNthSeparatorTest : public ::testing::TestWithParam<NthCase> {};

TEST_P(FindNthSeparatorTest, GivesThePositionAfterTheNthSeparator)
{
    const NthCase& c = GetParam();
    EXPECT_EQ(CDelimitedText::FindNthSeparator(c.text, c.n, ','), c.expected)
        << "\"" << c.text << "\" n=" << c.n;
}

INSTANTIATE_TEST_SUITE_P(Table, FindNthSeparatorTest,
                         ::testing::ValuesIn(std::initializer_list<NthCase>{
                             {"", 3, 0},
                             {"a,b", 0, 0},
                             {"a,b", -2, 0},
                             {"a,b", 1, 2},
                             {"a,b,", 2, 4},
                             {"a,b", 2, -1},
                             {",", 1, 1},
                         }));

struct LineCase {
    const char* text;
    int line;
    const char* expected;
};

class GetLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(GetLineTest, SplitsAtLineEnds)
{
    const LineCase& c = GetParam();
    EXPECT_EQ(S(Text(c.text).GetLine(c.line)), c.expected) << "\"" << c.text << "\" line " << c.line;
}

INSTANTIATE_TEST_SUITE_P(Table, GetLineTest,
                         ::testing::ValuesIn(std::initializer_list<LineCase>{
                             {"abc", 0, "abc"},
                             {"a\nb\n", 1, "b"},
                             {"a\nb\n", 2, ""}, // after the last line end
                             {"a\nb", 1, "b"},  // no final line end
                             {"a\nb", 5, ""},
                             {"\n\n", 1, ""},
                         }));

TEST(DelimitedText, GetLineFieldTakesTheFieldOfThatLine)
{
    const CDelimitedText t = Text("a,b\nc,d\n");
    EXPECT_EQ(S(t.GetLineField(1, 1, ',')), "d");
    EXPECT_EQ(S(t.GetLineField(0, 2, ',')), "");
    EXPECT_EQ(S(t.GetLineField(4, 0, ',')), "");
}

// Walking lines with NextLine gives exactly what GetLine gives for each
// number, including past the end.
TEST(DelimitedText, NextLineWalksLikeGetLine)
{
    for (const char* s : {"", "a", "a\n", "a\nb", "a\nb\n", "\n\n\n", "x,y\n\nz\n"}) {
        const CDelimitedText t = Text(s);
        int position = 0;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(S(t.NextLine(position)), S(t.GetLine(i))) << "\"" << s << "\" line " << i;
    }
}

TEST(DelimitedText, CountLinesStopsAtTheLimitOrAtNul)
{
    EXPECT_EQ(Text("abc").CountLines(100), 0);
    EXPECT_EQ(Text("a\nb\n").CountLines(100), 2);
    EXPECT_EQ(Text("a\nb\n").CountLines(2), 1);
    EXPECT_EQ(Text("a\nb\n").CountLines(0), 0);
    EXPECT_EQ(Text("a\nb\n").CountLines(-5), 0);
    EXPECT_EQ(Text(std::string("a\n\0\n", 4)).CountLines(4), 1);
}

struct FindCase {
    const char* text;
    int line;
    const char* name;
    int expected;
};

class FindFieldTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindFieldTest, ComparesWholeFieldsOfTheLine)
{
    const FindCase& c = GetParam();
    EXPECT_EQ(Text(c.text).FindFieldInLine(c.line, c.name, ','), c.expected)
        << "\"" << c.text << "\" line " << c.line << " name \"" << c.name << "\"";
}

INSTANTIATE_TEST_SUITE_P(Table, FindFieldTest,
                         ::testing::ValuesIn(std::initializer_list<FindCase>{
                             {"a,x,x", 0, "x", 1}, // the first match
                             {"a,X", 0, "x", -1},  // case-sensitive
                             {"xy,x", 0, "x", 1},  // whole field, not a prefix
                             {"*Language,English", 0, "*Language", 0},
                             {" *Language,English", 0, "*Language", -1},
                             {"a,b\nc,x", 1, "x", 1},
                             {"a,b\nc,x", 0, "x", -1},
                             {"a,,b", 0, "", 1},
                             {"a,b", 0, "", -1},
                             // The candidates are counted over the whole text:
                             // an empty name matches the first field past the
                             // end of a shorter line.
                             {"a\nb,c,d", 0, "", 1},
                             {"a,b", 3, "", 0},
                         }));

TEST(DelimitedText, FindFieldLooksAtLineZero)
{
    EXPECT_EQ(Text("a,b\nb").FindField("b", ','), 1);
    EXPECT_EQ(Text("a\nb").FindField("b", ','), -1);
}

struct UnquoteCase {
    const char* text;
    const char* expected;
    int sections;
};

class UnquoteTest : public ::testing::TestWithParam<UnquoteCase> {};

TEST_P(UnquoteTest, UndoesTheQuoting)
{
    const UnquoteCase& c = GetParam();
    CDelimitedText t = Text(c.text);
    EXPECT_EQ(t.Unquote(), c.sections) << c.text;
    EXPECT_EQ(S(t.m_text), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Table, UnquoteTest,
                         ::testing::ValuesIn(std::initializer_list<UnquoteCase>{
                             {"a,\"b,c\",d", "a,b\\ac,d", 1},
                             {"x,\"l1\nl2\"\n", "x,l1\\nl2\n", 1},
                             {"\"say\"\"hi\"\"\"", "say\"hi\"", 1},
                             {",\"\"\"\",", ",\",", 1},   // a quoted field holding one escaped quote
                             {"\"\"", "\"", 0},           // a doubled quote alone is one quote
                             {"a\"b\"c\"d", "abc\"d", 1}, // an odd last quote stays
                             {"\xFF\xFF\xFF\xFF", "\"", 0},
                             {"\xFF\xFF\xFF\xFF\xFF", "\"\xFF", 0},
                             {"plain,text\n", "plain,text\n", 0},
                             {"\"a,\"\"b\"\"\"", "a\\a\"b\"", 1},
                             // An escaped quote opening a field at the start of a line.
                             {"a\n\"\"\"x\"\"\",y", "a\n\"x\",y", 1},
                             // A stray quote runs on to the next quote, across rows.
                             {"a,\"b\nc,d\ne\",f\n", "a,b\\nc\\ad\\ne,f\n", 1},
                             {"\"a\",\"b\"", "a,b", 2},
                         }));

// Long rows must not make field searches slow; the answers stay those of
// the field-by-field definition.
TEST(DelimitedText, LongRowsGiveTheSameAnswers)
{
    std::string row;
    for (int i = 0; i < 200000; ++i)
        row += "f" + std::to_string(i) + ",";
    row += "last";
    const CDelimitedText t = Text(row);
    EXPECT_EQ(t.FindField("last", ','), 200000);
    EXPECT_EQ(t.FindField("f199999", ','), 199999);
    EXPECT_EQ(t.FindField("missing", ','), -1);
    EXPECT_EQ(S(t.GetField(123456, ',')), "f123456");

    CDelimitedText quotes = Text(std::string(1000001, '"'));
    EXPECT_EQ(quotes.Unquote(), 0);
    EXPECT_EQ(quotes.m_text.GetLength(), 500001);
}

} // namespace
