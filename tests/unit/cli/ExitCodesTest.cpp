// The exit codes as three readers see them: the outcome table the tool ends
// by, the --help lines made from it, and README's table. A code, or an
// outcome word of --json, that one of them lacks or names differently is a
// fault a script would meet.
#include "cli/CliArgs.h"
#include "cli/RunOutcomes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

using WordsByCode = std::map<int, std::set<std::string>>;

// README's exit-code table: rows "| N | `word`, `word` | meaning |" under
// the header that names the --json outcome column.
WordsByCode ReadmeTable()
{
    std::ifstream in(ORVELLE_SOURCE_DIR "/README.md");
    EXPECT_TRUE(in) << "README.md";
    WordsByCode table;
    bool inTable = false;
    const std::regex row(R"(^\| *(\d+) *\| *([^|]*)\|)");
    const std::regex word("`([^`]+)`");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| exit | outcome (`--json`) |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable || line.rfind("|---", 0) == 0)
            continue;
        std::smatch m;
        if (!std::regex_search(line, m, row))
            break; // the table's end
        std::set<std::string>& words = table[std::stoi(m[1])];
        const std::string cell = m[2];
        for (std::sregex_iterator w(cell.begin(), cell.end(), word), end; w != end; ++w)
            words.insert((*w)[1]);
    }
    return table;
}

// --help's exit-code lines: "  NN  meaning" and below it "outcome: " and
// the words.
WordsByCode HelpTable()
{
    const std::string help = kCliHelpText;
    const std::size_t start = help.find("Exit codes");
    EXPECT_NE(start, std::string::npos);
    std::istringstream lines(help.substr(start));
    WordsByCode table;
    const std::regex code(R"(^ {2,3}(\d+)  )");
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, code))
            break;
        std::set<std::string>& words = table[std::stoi(m[1])];
        std::string wordLine;
        std::getline(lines, wordLine);
        const std::string label = "      outcome: ";
        EXPECT_EQ(wordLine.rfind(label, 0), 0u) << wordLine;
        std::istringstream split(wordLine.substr(std::min(label.size(), wordLine.size())));
        for (std::string w; std::getline(split >> std::ws, w, ',');)
            words.insert(w);
    }
    return table;
}

WordsByCode OutcomeTable()
{
    WordsByCode table;
    for (const ExitCodeMeaning& code : kExitCodeMeanings) {
        const std::vector<std::string> words = OutcomeWordsOf(code.exit);
        table[code.exit].insert(words.begin(), words.end());
    }
    return table;
}

} // namespace

TEST(ExitCodes, ReadmeHelpAndTheOutcomeTableAgree)
{
    const WordsByCode outcomes = OutcomeTable();
    ASSERT_EQ(outcomes.size(), static_cast<std::size_t>(kExitVerifyFailed) + 1) << "every code has a meaning";
    const struct {
        const char* name;
        WordsByCode table;
    } readers[] = {{"README.md", ReadmeTable()}, {"--help", HelpTable()}};
    for (const auto& reader : readers) {
        SCOPED_TRACE(reader.name);
        EXPECT_EQ(reader.table.size(), outcomes.size());
        for (const auto& [code, words] : outcomes) {
            SCOPED_TRACE(code);
            EXPECT_FALSE(words.empty()) << "every code comes with an outcome word";
            const auto found = reader.table.find(code);
            ASSERT_NE(found, reader.table.end());
            EXPECT_EQ(found->second, words);
        }
    }
}

// Each --json word stands for one exit code, whichever way it is reached.
TEST(ExitCodes, AnOutcomeWordHasOneExitCode)
{
    std::map<std::string, int> codeOf;
    for (const OutcomeRow& row : kOutcomeRows) {
        SCOPED_TRACE(row.ending.word);
        const auto [at, added] = codeOf.emplace(row.ending.word, row.ending.exit);
        EXPECT_EQ(at->second, row.ending.exit);
        (void)added;
    }
    for (const CliEnding& ending :
         {kUsageEnding, kLanguageFileEnding, kListedEnding, kHistoryUnreadableEnding}) {
        SCOPED_TRACE(ending.word);
        const auto [at, added] = codeOf.emplace(ending.word, ending.exit);
        EXPECT_EQ(at->second, ending.exit);
        (void)added;
    }
}
