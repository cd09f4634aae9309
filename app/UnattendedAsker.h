// ORVELLE.exe's answers while it upgrades radio after radio: nobody sits at
// the dialog for each radio, so no box may hold the batch up. A failed step
// is tried again a few times and then given up; the outcome messages and the
// port's failure are kept for the status line instead of shown (the rows
// carry each radio's own). Only the history question is asked, with the box
// a single run shows: writing without a history entry is the user's choice.
#pragma once

#include "app/BoxAsker.h"
#include "framework/CString.h"
#include "upgrade/RunAsker.h"

#include <functional>
#include <utility>

class CUnattendedAsker : public CRunAsker {
public:
    // How many times a failed step of one radio is tried again before it is
    // given up.
    static constexpr int kRetries = 2;

    // stopAsked: true once the user has stopped the batch; then nothing is
    // tried again.
    explicit CUnattendedAsker(std::function<bool()> stopAsked) : m_stopAsked(std::move(stopAsked)) {}

    // A new radio: its steps get their retries afresh.
    void NewRadio() { m_retriesUsed = 0; }
    // The last message the run told, for the status line; empty when none.
    const CString& LastMessage() const { return m_lastMessage; }

    LinkAnswer AskRetry(CWnd* owner, LinkStep step, const CString& text, const CString& caption) override;
    void PortNotOpened(CWnd* owner, const CString& text, const CString& caption) override;
    void TellOutcome(CWnd* owner, RunMessageKind kind, const CString& text, const CString& caption) override;
    void TellNote(CWnd* owner, const CString& text, const CString& caption) override;
    bool WriteWithoutHistory(CWnd* owner, const CString& reason, const CString& question,
                             const CString& caption) override;

private:
    std::function<bool()> m_stopAsked;
    int m_retriesUsed = 0;
    CString m_lastMessage;
    CBoxAsker m_boxes; // the history question
};
