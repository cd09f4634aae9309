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

} // namespace

void PrintConsoleMessage(const ConsoleApi& api, std::FILE* err, const char* text, const char* caption)
{
    if (caption && *caption)
        Print(api, err, "%s: %s\n", caption, text ? text : "");
    else
        Print(api, err, "%s\n", text ? text : "");
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
}

CString CConsoleAsker::Text(int number) const
{
    return CString(m_texts.GetText(number));
}

void CConsoleAsker::PrintMessage(const CString& text, const CString& caption) const
{
    PrintConsoleMessage(m_api, m_err, text, caption);
}

void CConsoleAsker::PrintAnswer(const CString& line) const
{
    Print(m_api, m_err, "%s: %s\n", kProgram, line.GetString());
}

LinkAnswer CConsoleAsker::AskRetry(CWnd*, LinkStep, const CString& text, const CString& caption)
{
    PrintMessage(text, caption);
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
        return LinkAnswer::Retry;
    } else {
        PrintAnswer(FillText(Text(TextNo::kCliNoRetriesLeft), {Number(m_retries)}));
    }
    m_message = text;
    return LinkAnswer::Cancel;
}

void CConsoleAsker::PortNotOpened(CWnd*, const CString& text, const CString& caption)
{
    PrintMessage(text, caption);
    m_message = text;
}

void CConsoleAsker::TellOutcome(CWnd*, RunMessageKind, const CString& text, const CString& caption)
{
    PrintMessage(text, caption);
    m_message = text;
}

void CConsoleAsker::TellNote(CWnd*, const CString& text, const CString& caption)
{
    PrintMessage(text, caption);
    m_notes.push_back(text);
}

bool CConsoleAsker::WriteWithoutHistory(CWnd*, const CString&, const CString& question,
                                        const CString& caption)
{
    PrintMessage(question, caption);
    PrintAnswer(Text(TextNo::kCliNoHistoryAnswer));
    m_message = question;
    return false;
}

int CConsoleBoxes::Respond(void*, const char* text, const char* caption, unsigned)
{
    m_last = text ? text : "";
    PrintConsoleMessage(m_api, m_err, text, caption);
    return IDOK;
}
