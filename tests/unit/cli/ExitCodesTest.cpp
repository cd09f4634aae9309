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
    ASSERT_EQ(outcomes.size(), static_cast<std::size_t>(kExitSomeFailed) + 1) << "every code has a meaning";
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
    for (const CliEnding& ending : kToolEndings) {
        SCOPED_TRACE(ending.word);
        const auto [at, added] = codeOf.emplace(ending.word, ending.exit);
        EXPECT_EQ(at->second, ending.exit);
        (void)added;
    }
}

// A batch ends by how it ended and what its radios came to: a script reads
// a failed or refused radio from 14 whatever else happened, except for a
// batch the history or the option files ended, which ends as a single run.
TEST(ExitCodes, ABatchEndsByItsSummary)
{
    const auto summary = [](int written, int unchanged, int failed, int refused, int skipped, int stopped) {
        BatchSummary s;
        s.written = written;
        s.unchanged = unchanged;
        s.failed = failed;
        s.refused = refused;
        s.skippedAsDone = skipped;
        s.stopped = stopped;
        return s;
    };
    const struct {
        const char* name;
        BatchEnding ending;
        BatchSummary summary;
        CliExit exit;
        const char* word;
    } cases[] = {
        {"counted, all written", BatchEnding::Counted, summary(3, 0, 0, 0, 0, 0), kExitDone, "done"},
        {"counted, unchanged and skipped as done", BatchEnding::Counted, summary(1, 1, 0, 0, 2, 0), kExitDone,
         "done"},
        {"counted, one failed", BatchEnding::Counted, summary(2, 0, 1, 0, 0, 0), kExitSomeFailed,
         "some-failed"},
        {"counted, one refused", BatchEnding::Counted, summary(2, 0, 0, 1, 1, 0), kExitSomeFailed,
         "some-failed"},
        {"stopped between radios", BatchEnding::StopAsked, summary(2, 0, 0, 0, 0, 0), kExitInterrupted,
         "interrupted"},
        {"stopped before any radio", BatchEnding::StopAsked, summary(0, 0, 0, 0, 0, 0), kExitInterrupted,
         "interrupted"},
        {"stopped during a radio", BatchEnding::StopAsked, summary(1, 0, 0, 0, 0, 1), kExitInterrupted,
         "interrupted"},
        {"stopped after a refusal", BatchEnding::StopAsked, summary(1, 0, 0, 1, 0, 0), kExitSomeFailed,
         "some-failed"},
        {"the history could not keep a record", BatchEnding::HistoryUnavailable, summary(1, 0, 1, 0, 0, 0),
         kExitHistoryUnavailable, "history-unavailable"},
        {"the option folder is gone", BatchEnding::LocationMissing, summary(2, 0, 1, 0, 0, 0),
         kExitOptionFileMissing, "file-missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliEnding ending = BatchEndingOf(c.ending, c.summary);
        EXPECT_EQ(ending.exit, c.exit);
        EXPECT_STREQ(ending.word, c.word);
    }
}
