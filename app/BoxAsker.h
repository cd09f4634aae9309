// ORVELLE.exe's answers to the run and the link: every question and message
// as a message box owned by the window the run names (the main dialog), the
// user's button as the answer.
#pragma once

#include "upgrade/RunAsker.h"

class CBoxAsker : public CRunAsker {
public:
    LinkAnswer AskRetry(CWnd* owner, LinkStep step, const CString& text, const CString& caption) override;
    void PortNotOpened(CWnd* owner, const CString& text, const CString& caption) override;
    void TellOutcome(CWnd* owner, RunMessageKind kind, const CString& text, const CString& caption) override;
    void TellNote(CWnd* owner, const CString& text, const CString& caption) override;
    bool WriteWithoutHistory(CWnd* owner, const CString& reason, const CString& question,
                             const CString& caption) override;
};
