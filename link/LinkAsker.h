// What the link's connection sessions ask their user: whether to try a
// failed step again, and to hear that the port could not be opened or came
// back under another number. Each
// program answers in its own way (the dialog with message boxes, the console
// tool by its options); the sessions only ask. Portable: no windows.h.
#pragma once

class CString;
class CWnd;

// The session that failed and asks whether to try again.
enum class LinkStep { Connect, Identity, ModelName, Version, Record, Write };

enum class LinkAnswer { Retry, Cancel };

class CLinkAsker {
public:
    virtual ~CLinkAsker() = default;

    // A step failed: try it again? text and caption are the session's
    // message; owner is the window the question belongs to (may be null).
    virtual LinkAnswer AskRetry(CWnd* owner, LinkStep step, const CString& text, const CString& caption) = 0;

    // The port could not be opened; text and caption as for AskRetry.
    virtual void PortNotOpened(CWnd* owner, const CString& text, const CString& caption) = 0;

    // After a Retry, the removed adapter came back as port `to` instead of
    // `from` (COM numbers); the session ends as failed. Nobody told by
    // default: the failed session speaks for itself.
    virtual void PortMoved(CWnd* owner, int from, int to)
    {
        (void)owner;
        (void)from;
        (void)to;
    }
};
