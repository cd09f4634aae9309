#include "cli/ConsoleAsker.h"

#include "cli/ConsoleReport.h"
#include "cli/ConsoleText.h"
#include "link/CommApi.h"
#include "text/FillText.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/UpgradeHistory.h"

#include <windows.h>

namespace {

const char* const kProgram = History::kProgramConsole;

// A message box's text on one console line: its line breaks as spaces.
CString OneLine(const char* text)
{
    std::string line = text ? text : "";
    std::size_t at = 0;
    while ((at = line.find('\n', at)) != std::string::npos) {
        const bool joined = at > 0 && line[at - 1] == ' ';
        line.replace(at, 1, joined ? "" : " ");
    }
    return CString(line);
}

// What kind of line a box is, by its icon.
RunMessageKind KindOfBox(unsigned type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return RunMessageKind::Error;
    case MB_ICONWARNING:
        return RunMessageKind::Warning;
    default:
        return RunMessageKind::Information;
    }
}

} // namespace

CString ConsoleLine(CLanguageTable* texts, RunMessageKind kind, const char* text)
{
    const CString line = OneLine(text);
    const auto words = [texts](int number) {
        return CString(texts ? texts->GetText(number) : CLanguageTable::BuiltInText(number));
    };
    switch (kind) {
    case RunMessageKind::Error:
        return FillText(words(TextNo::kCliError), {line});
    case RunMessageKind::Warning:
        return FillText(words(TextNo::kCliWarning), {line});
    case RunMessageKind::Information:
        break;
    }
    return line;
}

void PrintConsoleLine(const ConsoleApi& api, std::FILE* err, const CString& line)
{
    Print(api, err, "%s: %s\n", kProgram, line.GetString());
}

CConsoleAsker::CConsoleAsker(std::FILE* err, const ConsoleApi& api, CLanguageTable& texts, int retries,
                             std::function<bool()> stopRequested, const ClockApi& clock)
    : m_err(err), m_api(api), m_texts(texts), m_retries(retries), m_stopRequested(std::move(stopRequested)),
      m_clock(clock)
{
}

void CConsoleAsker::BeginRun()
{
    m_used = 0;
    m_message.Empty();
    m_notes.clear();
    m_written = false;
}

CString CConsoleAsker::Text(int number) const
{
    return CString(m_texts.GetText(number));
}

CString CConsoleAsker::ConsoleWords(const CString& text) const
{
    // The dialog's texts end "then click Retry": in a console the tool
    // answers, so it says what to check in its own words.
    if (text == Text(TextNo::kLinkFailed))
        return Text(TextNo::kCliLinkFailed);
    if (text == Text(TextNo::kPortNotOpened))
        return Text(TextNo::kCliPortCannotOpen);
    return OneLine(text);
}

void CConsoleAsker::PrintLine(RunMessageKind kind, const CString& text) const
{
    PrintConsoleLine(m_api, m_err, ConsoleLine(&m_texts, kind, text));
}

void CConsoleAsker::PrintAnswer(const CString& line) const
{
    PrintConsoleLine(m_api, m_err, line);
}

bool CConsoleAsker::TryAgain()
{
    // One budget for the whole run, whichever step fails. The pause comes
    // before the answer, so a stop asked for during it still cancels.
    if (!StopRequested() && m_used < m_retries) {
        m_clock.Sleep(kRetryPauseMs);
    }
    if (StopRequested()) {
        PrintAnswer(Text(TextNo::kCliInterruptedCancelled));
    } else if (m_used < m_retries) {
        ++m_used;
        PrintAnswer(FillText(Text(TextNo::kCliRetrying), {Number(m_used), Number(m_retries)}));
        return true;
    } else {
        PrintAnswer(FillText(Text(TextNo::kCliNoRetriesLeft), {Number(m_retries)}));
    }
    return false;
}

LinkAnswer CConsoleAsker::AskRetry(CWnd*, LinkStep, const CString& text, const CString&)
{
    const CString words = ConsoleWords(text);
    PrintLine(RunMessageKind::Error, words);
    if (TryAgain())
        return LinkAnswer::Retry;
    m_message = words;
    return LinkAnswer::Cancel;
}

bool CConsoleAsker::RetryOpen()
{
    if (!TryAgain())
        return false;
    m_message.Empty();
    return true;
}

void CConsoleAsker::PortNotOpened(CWnd*, const CString& text, const CString&)
{
    m_message = ConsoleWords(text);
    PrintLine(RunMessageKind::Error, m_message);
}

void CConsoleAsker::TellOutcome(CWnd*, RunMessageKind kind, const CString& text, const CString&)
{
    if (m_restoring && text == Text(TextNo::kRecordWritten)) {
        // Not new options: the tool says what the restore came to.
        m_written = true;
        return;
    }
    // The transceiver's refusal is told as information in a box, but in a
    // console it is what went wrong.
    if (text == Text(TextNo::kRecordRefused))
        kind = RunMessageKind::Error;
    PrintLine(kind, text);
    m_message = text;
}

void CConsoleAsker::TellNote(CWnd*, const CString& text, const CString&)
{
    PrintLine(RunMessageKind::Warning, text);
    m_notes.push_back(text);
}

bool CConsoleAsker::WriteWithoutHistory(CWnd*, const CString& reason, const CString& question, const CString&)
{
    // No question in a console: the reason as a warning, then the tool's
    // decision.
    PrintLine(RunMessageKind::Warning, FillText(Text(TextNo::kCliHistoryCannotKeep), {reason}));
    PrintAnswer(Text(TextNo::kCliNoHistoryAnswer));
    m_message = question;
    return false;
}

void CConsoleBoxes::Hold(bool held)
{
    m_held = held;
}

int CConsoleBoxes::Respond(void*, const char* text, const char*, unsigned type)
{
    m_last = text ? text : "";
    if (!m_held)
        PrintConsoleLine(m_api, m_err, ConsoleLine(m_texts, KindOfBox(type), text));
    return IDOK;
}
