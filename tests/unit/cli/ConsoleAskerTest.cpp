// The console tool's answers to the run and the link, by its policy alone:
// what each question is answered, the lines printed on stderr, and the text
// kept as --json's message. No message box may be reached on the way.
#include "cli/ConsoleAsker.h"

#include "cli/ConsoleText.h"
#include "link/CommApi.h"
#include "framework/AppMessageBox.h"
#include "tests/support/DevelopmentTexts.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

CLanguageTable& Texts()
{
    return DevelopmentTexts();
}

// Fails the test when any box is asked for while it lives.
class NoBoxes : public CMessageBoxResponder {
public:
    int Respond(void*, const char* text, const char*, unsigned) override
    {
        ADD_FAILURE() << "a message box: " << (text ? text : "");
        return 0;
    }
};

std::string Contents(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[512];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, got);
    return text;
}

// The pauses asked of the clock, in order; the clock never really sleeps.
std::vector<DWORD>& Pauses()
{
    static std::vector<DWORD> pauses;
    return pauses;
}
void WINAPI RecordPause(DWORD milliseconds)
{
    Pauses().push_back(milliseconds);
}
const ClockApi kPauseClock = {&::QueryPerformanceCounter, &::QueryPerformanceFrequency, &RecordPause};

// One question or message to the asker, and the answer expected (Retry or
// Yes: true).
enum class Ask { Retry, Port, Outcome, Note, History };
struct Step {
    Ask ask;
    bool expected = false;
};

} // namespace

TEST(ConsoleAsker, AnswersByPolicyAndKeepsWhatEndedTheRun)
{
    const struct {
        const char* name;
        int retries;
        bool stop;
        std::vector<Step> steps;
        std::string err;
        std::string message;
        std::vector<std::string> notes;
    } cases[] = {
        {"two failures, two retries: both retried, nothing ended the run",
         2,
         false,
         {{Ask::Retry, true}, {Ask::Retry, true}},
         "orvelle-cli: error: failed\norvelle-cli: retrying (1 of 2)\norvelle-cli: error: failed\n"
         "orvelle-cli: retrying (2 of 2)\n",
         "",
         {}},
        {"one retry over the whole run: the second failure is final",
         1,
         false,
         {{Ask::Retry, true}, {Ask::Retry, false}},
         "orvelle-cli: error: failed\norvelle-cli: retrying (1 of 1)\norvelle-cli: error: failed\n"
         "orvelle-cli: no retries left (--retries 1): giving up\n",
         "failed",
         {}},
        {"a stop asked for: cancelled, retries or not",
         3,
         true,
         {{Ask::Retry, false}},
         "orvelle-cli: error: failed\norvelle-cli: interrupted: cancelled\n",
         "failed",
         {}},
        {"the port: told and kept", 0, false, {{Ask::Port}}, "orvelle-cli: error: no port\n", "no port", {}},
        {"the history question: No, and the question is what ended the run",
         5,
         false,
         {{Ask::History, false}},
         "orvelle-cli: warning: the history cannot keep the record read: disk full\n"
         "orvelle-cli: not written: the history could not keep the record read (--no-history writes without "
         "one)\n",
         "write?",
         {}},
        {"an outcome and its note: the outcome is the message, the note a warning",
         0,
         false,
         {{Ask::Outcome}, {Ask::Note}},
         "orvelle-cli: done\norvelle-cli: warning: newer\n",
         "done",
         {"newer"}},
        {"a retried step, then the outcome",
         1,
         false,
         {{Ask::Retry, true}, {Ask::Outcome}},
         "orvelle-cli: error: failed\norvelle-cli: retrying (1 of 1)\norvelle-cli: done\n",
         "done",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NoBoxes boxes;
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        {
            int stopsAsked = 0;
            CConsoleAsker asker(
                err, PlatformConsoleApi(), Texts(), c.retries,
                [&] {
                    ++stopsAsked;
                    return c.stop;
                },
                kPauseClock);
            for (const Step& step : c.steps) {
                switch (step.ask) {
                case Ask::Retry:
                    EXPECT_EQ(asker.AskRetry(nullptr, LinkStep::Record, "failed", "Error"),
                              step.expected ? LinkAnswer::Retry : LinkAnswer::Cancel);
                    break;
                case Ask::Port:
                    asker.PortNotOpened(nullptr, "no port", "Error");
                    break;
                case Ask::Outcome:
                    asker.TellOutcome(nullptr, RunMessageKind::Information, "done", "Outcome");
                    break;
                case Ask::Note:
                    asker.TellNote(nullptr, "newer", "Warning");
                    break;
                case Ask::History:
                    EXPECT_EQ(asker.WriteWithoutHistory(nullptr, "disk full", "write?", "Question"),
                              step.expected);
                    break;
                }
            }
            EXPECT_EQ(asker.Message().str(), c.message);
            std::vector<std::string> notes;
            for (const CString& note : asker.Notes())
                notes.push_back(note.str());
            EXPECT_EQ(notes, c.notes);
            EXPECT_EQ(asker.StopRequested(), c.stop);
            EXPECT_GT(stopsAsked, 0);
        }
        EXPECT_EQ(Contents(err), c.err);
        std::fclose(err);
    }
}

// The file utility's boxes and the language file's, which the tool still
// takes at the seam: printed as the run's messages are, a line of the kind
// their icon says, answered OK, the last one kept.
TEST(ConsoleAsker, TheSeamsBoxesArePrintedAndTheLastKept)
{
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        const CConsoleBoxes boxes(err, PlatformConsoleApi());
        EXPECT_EQ(boxes.LastText().str(), "");
        EXPECT_EQ(AppMessageBox(nullptr, "cannot read x.ENH", "File error", MB_OK | MB_ICONERROR), IDOK);
        EXPECT_EQ(AppMessageBox(nullptr, "no caption", "", MB_OK), IDOK);
        EXPECT_EQ(boxes.LastText().str(), "no caption");
    }
    EXPECT_EQ(Contents(err), "orvelle-cli: error: cannot read x.ENH\norvelle-cli: no caption\n");
    std::fclose(err);
}

// Automatic retries are paced: each comes a second after the failure it
// answers, never at once (a cable being put back, a radio powering up, gets
// that time), and a stop asked for during the pause still cancels. A run out
// of retries, or one already stopped, does not wait.
TEST(ConsoleAsker, PacesEachAutomaticRetryASecondAfterTheFailure)
{
    const struct {
        const char* name;
        int retries;
        int stopAfterAsks; // the stop is asked for from this call of stopRequested on; 0: never
        std::vector<LinkAnswer> answers;
        std::vector<DWORD> pauses;
    } cases[] = {
        {"three failures, two retries",
         2,
         0,
         {LinkAnswer::Retry, LinkAnswer::Retry, LinkAnswer::Cancel},
         {1000, 1000}},
        {"no retries: no pause", 0, 0, {LinkAnswer::Cancel}, {}},
        {"stopped before the failure: no pause", 3, 1, {LinkAnswer::Cancel}, {}},
        {"stopped during the pause: cancelled after it", 3, 2, {LinkAnswer::Cancel}, {1000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NoBoxes boxes;
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        Pauses().clear();
        int asks = 0;
        CConsoleAsker asker(
            err, PlatformConsoleApi(), Texts(), c.retries,
            [&] { return c.stopAfterAsks != 0 && ++asks >= c.stopAfterAsks; }, kPauseClock);
        for (size_t i = 0; i < c.answers.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(asker.AskRetry(nullptr, LinkStep::Write, "failed", "Error"), c.answers[i]);
        }
        EXPECT_EQ(Pauses(), c.pauses);
        std::fclose(err);
    }
}

// In a console nothing is clicked and every line says what it is: the
// link's texts that end "then click Retry" are said in the console's own
// words, a refusal is an error though its box is information, a text of
// several lines is one line, and a restore's "new options written" is left
// to the tool. A port that cannot be opened yet is tried again from the
// same budget as a failed step.
TEST(ConsoleAsker, EachLineSaysWhatItIsInTheConsolesWords)
{
    CLanguageTable& texts = Texts();
    const auto text = [&texts](int number) { return std::string(texts.GetText(number)); };
    const std::string tool = "orvelle-cli: ";
    const struct {
        const char* name;
        int retries;
        std::function<void(CConsoleAsker&)> ask;
        std::string err;
        std::string message;
    } cases[] = {
        {"the link's failure", 0,
         [&](CConsoleAsker& asker) {
             EXPECT_EQ(asker.AskRetry(nullptr, LinkStep::Connect, text(TextNo::kLinkFailed).c_str(), "Error"),
                       LinkAnswer::Cancel);
         },
         tool + "error: " + text(TextNo::kCliLinkFailed) + "\n" + tool +
             "no retries left (--retries 0): giving up\n",
         text(TextNo::kCliLinkFailed)},
        {"the port that cannot be opened", 0,
         [&](CConsoleAsker& asker) {
             asker.PortNotOpened(nullptr, text(TextNo::kPortNotOpened).c_str(), "Error");
         },
         tool + "error: " + text(TextNo::kCliPortCannotOpen) + "\n", text(TextNo::kCliPortCannotOpen)},
        {"the port tried again while the budget lasts", 1,
         [&](CConsoleAsker& asker) {
             asker.PortNotOpened(nullptr, text(TextNo::kPortNotOpened).c_str(), "Error");
             EXPECT_TRUE(asker.RetryOpen());
             asker.PortNotOpened(nullptr, text(TextNo::kPortNotOpened).c_str(), "Error");
             EXPECT_FALSE(asker.RetryOpen());
         },
         tool + "error: " + text(TextNo::kCliPortCannotOpen) + "\n" + tool + "retrying (1 of 1)\n" + tool +
             "error: " + text(TextNo::kCliPortCannotOpen) + "\n" + tool +
             "no retries left (--retries 1): giving up\n",
         text(TextNo::kCliPortCannotOpen)},
        {"the refusal, an information box: an error", 0,
         [&](CConsoleAsker& asker) {
             asker.TellOutcome(nullptr, RunMessageKind::Information, text(TextNo::kRecordRefused).c_str(),
                               "Information");
         },
         tool + "error: " + text(TextNo::kRecordRefused) + "\n", text(TextNo::kRecordRefused)},
        {"the written options: the tool's plain line", 0,
         [&](CConsoleAsker& asker) {
             asker.TellOutcome(nullptr, RunMessageKind::Information, text(TextNo::kRecordWritten).c_str(),
                               "Information");
             EXPECT_FALSE(asker.WrittenUntold());
         },
         tool + text(TextNo::kRecordWritten) + "\n", text(TextNo::kRecordWritten)},
        {"a restore's write: left to the tool", 0,
         [&](CConsoleAsker& asker) {
             asker.SetRestoring();
             asker.TellOutcome(nullptr, RunMessageKind::Information, text(TextNo::kRecordWritten).c_str(),
                               "Information");
             EXPECT_TRUE(asker.WrittenUntold());
         },
         "", ""},
        {"a warning of two lines: one line", 0,
         [&](CConsoleAsker& asker) {
             asker.TellOutcome(nullptr, RunMessageKind::Warning, "no folder.\nSelect one.", "Warning");
         },
         tool + "warning: no folder. Select one.\n", "no folder.\nSelect one."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NoBoxes boxes;
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        {
            CConsoleAsker asker(
                err, PlatformConsoleApi(), texts, c.retries, [] { return false; }, kPauseClock);
            c.ask(asker);
            EXPECT_EQ(asker.Message().str(), c.message);
        }
        const std::string printed = Contents(err);
        EXPECT_EQ(printed, c.err);
        EXPECT_EQ(printed.find("Retry"), std::string::npos) << printed;
        std::fclose(err);
    }
}
