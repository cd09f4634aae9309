// orvelle-cli's answers to the run and the link, by its options and without a
// window: every message is printed on stderr as one line that says what it
// is (an error, a warning, or the tool's own answer), in the console's words
// where the dialog's would say to click a button. A failed step, and a port
// that cannot be opened yet, is tried again while --retries lasts (for
// the run; each radio of a batch has its own) and no stop is asked for, a
// second after it failed (a pulled cable, a radio switching on, is given time
// rather than a burst of attempts); the question whether to write without a
// history entry is answered No; the text of what ended the run is kept for
// --json. The file utility's own error boxes and the language file's come
// through the message-box seam: CConsoleBoxes prints them.
#pragma once

#include "framework/AppMessageBox.h"
#include "framework/CString.h"
#include "upgrade/RunAsker.h"

#include <cstdio>
#include <functional>
#include <vector>

class CLanguageTable;
struct ClockApi;
struct ConsoleApi;

class CConsoleAsker : public CRunAsker {
public:
    // retries: how many failed steps are tried again over the whole run.
    // texts: those of the tool's own lines. stopRequested: asked before and
    // after the pause before a retry; null: never. clock: whose Sleep makes
    // that pause (the link's; it must outlive the asker).
    CConsoleAsker(std::FILE* err, const ConsoleApi& api, CLanguageTable& texts, int retries,
                  std::function<bool()> stopRequested, const ClockApi& clock);

    // The pause before each automatic retry.
    static constexpr unsigned long kRetryPauseMs = 1000;

    LinkAnswer AskRetry(CWnd* owner, LinkStep step, const CString& text, const CString& caption) override;
    void PortNotOpened(CWnd* owner, const CString& text, const CString& caption) override;
    void TellOutcome(CWnd* owner, RunMessageKind kind, const CString& text, const CString& caption) override;
    void TellNote(CWnd* owner, const CString& text, const CString& caption) override;
    bool WriteWithoutHistory(CWnd* owner, const CString& reason, const CString& question,
                             const CString& caption) override;

    // A new run begins (the next radio of a batch): the whole --retries
    // budget again, no message or note yet.
    void BeginRun();
    // After a run that ended because the port could not be opened: whether
    // to run again (a cable just plugged in), from the same budget and after
    // the same pause as a failed step; says so.
    bool RetryOpen();
    // The run is a restore: the outcome "new options written" is not told
    // (the tool says what the restore came to), only noted.
    void SetRestoring() { m_restoring = true; }
    bool WrittenUntold() const { return m_written; }

    // Whether the caller asked the run to stop.
    bool StopRequested() const { return m_stopRequested && m_stopRequested(); }
    // The text of what ended the run: the outcome told, the port that could
    // not be opened, or the question answered Cancel or No; empty when none.
    const CString& Message() const { return m_message; }
    // The notes told after an outcome, for the report's warnings.
    const std::vector<CString>& Notes() const { return m_notes; }

private:
    // The pause, then whether the budget allows another try; says so.
    bool TryAgain();
    // The link's texts that speak of a Retry button, in the console's words.
    CString ConsoleWords(const CString& text) const;
    void PrintLine(RunMessageKind kind, const CString& text) const;
    void PrintAnswer(const CString& line) const;
    CString Text(int number) const;

    std::FILE* m_err;
    const ConsoleApi& m_api;
    CLanguageTable& m_texts;
    int m_retries;
    std::function<bool()> m_stopRequested;
    const ClockApi& m_clock;
    int m_used = 0;
    CString m_message;
    std::vector<CString> m_notes;
    bool m_restoring = false;
    bool m_written = false;
};

// The message-box seam while the tool runs: each box (the file utility's own
// errors, the language file's) printed on stderr as a line of its kind (by
// its icon) and answered OK.
class CConsoleBoxes : public CMessageBoxResponder {
public:
    CConsoleBoxes(std::FILE* err, const ConsoleApi& api) : m_err(err), m_api(api) {}

    int Respond(void* owner, const char* text, const char* caption, unsigned type) override;

    // The texts the line kinds are said in; null: the built-in English.
    void SetTexts(CLanguageTable* texts) { m_texts = texts; }
    // While held, a box is kept but not printed (the tool says it itself).
    void Hold(bool held);

    // The text of the last box; empty when none was shown.
    const CString& LastText() const { return m_last; }

private:
    std::FILE* m_err;
    const ConsoleApi& m_api;
    CLanguageTable* m_texts = nullptr;
    bool m_held = false;
    CString m_last;
};

// A message as a console line: on one line, after the word of its kind
// ("error: ", "warning: ", none for information) in texts' words (null: the
// built-in English).
CString ConsoleLine(CLanguageTable* texts, RunMessageKind kind, const char* text);
// "orvelle-cli: line" on err.
void PrintConsoleLine(const ConsoleApi& api, std::FILE* err, const CString& line);
