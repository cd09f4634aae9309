#include "app/BoxAsker.h"

#include "framework/AppMessageBox.h"
#include "framework/CString.h"

#include <windows.h>

namespace {

unsigned IconOf(RunMessageKind kind)
{
    switch (kind) {
    case RunMessageKind::Error:
        return MB_ICONERROR;
    case RunMessageKind::Warning:
        return MB_ICONEXCLAMATION;
    case RunMessageKind::Information:
        break;
    }
    return MB_ICONINFORMATION;
}

} // namespace

LinkAnswer CBoxAsker::AskRetry(CWnd* owner, LinkStep, const CString& text, const CString& caption)
{
    // Only the Retry button retries: a box that could not be shown (0) must
    // not turn the session's loop into one that spins without the user.
    return OwnedMessageBox(owner, text, caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY
               ? LinkAnswer::Retry
               : LinkAnswer::Cancel;
}

void CBoxAsker::PortNotOpened(CWnd* owner, const CString& text, const CString& caption)
{
    OwnedMessageBox(owner, text, caption, MB_OK | MB_ICONERROR);
}

void CBoxAsker::TellOutcome(CWnd* owner, RunMessageKind kind, const CString& text, const CString& caption)
{
    OwnedMessageBox(owner, text, caption, IconOf(kind));
}

void CBoxAsker::TellNote(CWnd* owner, const CString& text, const CString& caption)
{
    OwnedMessageBox(owner, text, caption, MB_ICONEXCLAMATION);
}

bool CBoxAsker::WriteWithoutHistory(CWnd* owner, const CString&, const CString& question,
                                    const CString& caption)
{
    // No is the default button: Enter keeps the record.
    return OwnedMessageBox(owner, question, caption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}
