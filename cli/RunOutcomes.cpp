#include "cli/RunOutcomes.h"

#include <algorithm>
#include <cstdio>

std::vector<std::string> OutcomeWordsOf(CliExit exit)
{
    std::vector<std::string> words;
    const auto add = [&words, exit](const CliEnding& ending) {
        if (ending.exit == exit && std::find(words.begin(), words.end(), ending.word) == words.end())
            words.push_back(ending.word);
    };
    for (const OutcomeRow& row : kOutcomeRows)
        add(row.ending);
    for (const CliEnding& ending : kToolEndings)
        add(ending);
    return words;
}

CliEnding BatchEndingOf(BatchEnding ending, const BatchSummary& summary)
{
    switch (ending) {
    case BatchEnding::HistoryUnavailable:
        return OutcomeRowOf(UpgradeOutcome::HistoryUnavailable).ending;
    case BatchEnding::LocationMissing:
        return OutcomeRowOf(UpgradeOutcome::LocationMissing).ending;
    case BatchEnding::Counted:
    case BatchEnding::StopAsked:
        break;
    }
    if (summary.failed > 0 || summary.refused > 0)
        return kSomeFailedEnding;
    // A radio stopped in its run was stopped by the user too.
    if (ending == BatchEnding::StopAsked || summary.stopped > 0)
        return OutcomeRowOf(UpgradeOutcome::Interrupted).ending;
    return kBatchDoneEnding;
}

std::string ExitCodeHelpLines(const std::vector<CliExit>& only, CLanguageTable* texts)
{
    const auto words = [texts](int number) {
        return std::string(texts ? texts->GetText(number) : CLanguageTable::BuiltInText(number));
    };
    std::string lines = words(TextNo::kCliHelpExitCodes) + "\n";
    for (const ExitCodeMeaning& code : kExitCodeMeanings) {
        if (!only.empty() && std::find(only.begin(), only.end(), code.exit) == only.end())
            continue;
        char number[8];
        std::snprintf(number, sizeof number, "%4d  ", static_cast<int>(code.exit));
        lines += number;
        lines += words(code.meaning);
        lines += "\n      outcome: ";
        const std::vector<std::string> words = OutcomeWordsOf(code.exit);
        for (std::size_t i = 0; i < words.size(); ++i)
            lines += (i ? ", " : "") + words[i];
        lines += "\n";
    }
    return lines;
}
