// Arbitrary bytes as a language file: the load may refuse them but must
// never crash or read outside its input. Small inputs are also checked
// against the literal, field-by-field definitions of the delimited-text
// operations that the table does faster.
#include "text/DelimitedText.h"
#include "text/LanguageTable.h"
#include "tests/unit/text/LiteralFieldSearch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Unquote as defined: replacements, then the sections from the last to the
// first between the (2j-1)-th and 2j-th quote.
int LiteralUnquote(CString& text)
{
    const CString placeholder("\xFF\xFF\xFF\xFF");
    text.Replace(",\"\"\"", ",\"" + placeholder);
    text.Replace("\n\"\"\"", "\n\"" + placeholder);
    text.Replace("\"\"", placeholder);
    std::string s = text.str();
    std::vector<size_t> quotes;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"')
            quotes.push_back(i);
    }
    const int k = static_cast<int>(quotes.size() / 2);
    for (int j = k; j >= 1; --j) {
        const size_t open = quotes[static_cast<size_t>(2 * j - 2)];
        const size_t close = quotes[static_cast<size_t>(2 * j - 1)];
        CString section(s.substr(open + 1, close - open - 1));
        section.Replace(",", "\\a");
        section.Replace("\n", "\\n");
        s = s.substr(0, open) + section.str() + s.substr(close + 1);
    }
    text = CString(s);
    text.Replace(placeholder, "\"");
    return k;
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CompareWithDefinitions(const uint8_t* data, size_t size)
{
    CDelimitedText t;
    t.m_text = CString(std::string(reinterpret_cast<const char*>(data), size).c_str());
    const char* names[] = {"", "a", "*Language", "^#"};
    const int lines = t.CountLines(t.m_text.GetLength());
    int position = 0;
    for (int line = 0; line <= lines + 1; ++line) {
        Check(t.NextLine(position) == t.GetLine(line));
        // The literal search costs lines x fields x length: short texts and a
        // few lines do.
        if (size > 256 || (line >= 8 && line <= lines))
            continue;
        for (const char* name : names)
            Check(t.FindFieldInLine(line, name, ',') == LiteralFindFieldInLine(t, line, name, ','));
    }
    CString literal = t.m_text;
    const int sections = LiteralUnquote(literal);
    Check(t.Unquote() == sections);
    Check(t.m_text == literal);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (64u << 20))
        return 0;
    CLanguageTable table;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (table.Parse(bytes, static_cast<int>(size), "English")) {
        for (int n = -1; n <= table.GetCount(); ++n)
            Check(table.GetText(n) != nullptr);
    }
    if (size <= 1024)
        CompareWithDefinitions(data, size);
    return 0;
}
