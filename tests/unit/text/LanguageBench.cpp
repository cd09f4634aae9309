// Timings of the language-file load on large and hostile inputs (10 MiB each),
// and of a field search done the literal way (every candidate field searched
// from the start) against ours. A benchmark, not a test: it prints figures.
// Usage: text_language_bench [file-to-time]
#include "text/DelimitedText.h"
#include "text/LanguageTable.h"
#include "text/TextFile.h"

#include "tests/unit/text/LiteralFieldSearch.h"
#include "TextFixtures.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using textfixtures::LanguageFile;

namespace {

const size_t kSize = 10u << 20;

double Milliseconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string Repeat(const std::string& unit, size_t size)
{
    std::string s;
    s.reserve(size + unit.size());
    while (s.size() < size)
        s += unit;
    return s;
}

void TimeParse(const char* name, const std::string& bytes)
{
    CLanguageTable table;
    int result = 0;
    const double ms = Milliseconds([&] {
        result = table.Parse(bytes.data(), static_cast<int>(bytes.size()), "English");
        for (int n = 0; n < table.GetCount(); ++n)
            table.GetText(n);
    });
    std::printf("%-44s %6.1f MiB  result %d  %9.1f ms\n", name, bytes.size() / 1048576.0, result, ms);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        std::vector<char> bytes;
        double readMs = Milliseconds([&] { ReadTextModeFile(argv[1], bytes); });
        std::printf("read %s: %zu bytes, %.1f ms\n", argv[1], bytes.size(), readMs);
        TimeParse(argv[1], std::string(bytes.data(), bytes.empty() ? 0 : bytes.size() - 1));
        return 0;
    }
    const std::string valid = LanguageFile::Valid().Text();
    TimeParse("no line breaks", std::string(kSize, 'x'));
    TimeParse("one row of 5 Mi fields", Repeat("a,", kSize) + "\n");
    TimeParse("language row of 3.5 Mi names, then 48 rows", Repeat(",L1", kSize).insert(0, "*Language") +
                                                                ",English\n" +
                                                                valid.substr(valid.find('\n') + 1));
    TimeParse("10 Mi blank lines", std::string(kSize, '\n'));
    TimeParse("10 Mi quotes", std::string(kSize, '"'));
    TimeParse("10 Mi quotes, one row", "*Language,English\n" + std::string(kSize, '"') + "\n");
    TimeParse("10 MiB of 0xFF", std::string(kSize, '\xFF'));
    TimeParse("5 Mi markers in one first field", Repeat("^#", kSize) + "\n");
    {
        LanguageFile f = LanguageFile::Valid();
        f.Set(1, Repeat("\\n", kSize));
        TimeParse("one text of 5 Mi escapes", f.Text());
    }
    TimeParse("good file after 10 MiB of comment rows", Repeat("comment,row\n", kSize) + valid);
    TimeParse("good file, 2 Mi quoted commas in a text", [&] {
        LanguageFile f = LanguageFile::Valid();
        f.Set(2, "\"" + Repeat(",", 2u << 20) + "\"");
        return f.Text();
    }());
    {
        std::string noise(kSize, '\0');
        unsigned state = 1;
        for (char& c : noise) {
            state = state * 1103515245u + 12345u;
            c = static_cast<char>(state >> 24 | 1); // no NUL: the text runs to the end
        }
        TimeParse("random bytes without NUL", noise);
    }

    std::printf("\nFindField on one row of n fields, searching a name that is not there:\n");
    for (int fields : {5000, 10000, 20000, 40000}) {
        CDelimitedText row;
        row.m_text = CString(Repeat("field,", static_cast<size_t>(fields) * 6));
        int a = 0;
        int b = 0;
        const double literal = Milliseconds([&] { a = LiteralFindFieldInLine(row, 0, "x", ','); });
        const double ours = Milliseconds([&] { b = row.FindField("x", ','); });
        std::printf("  %6d fields (%7d bytes): literal %9.1f ms, ours %7.3f ms (%s)\n", fields,
                    row.m_text.GetLength(), literal, ours, a == b ? "same answer" : "DIFFERENT");
    }
    return 0;
}
