#include "app/UnattendedAsker.h"

LinkAnswer CUnattendedAsker::AskRetry(CWnd*, LinkStep, const CString& text, const CString&)
{
    m_lastMessage = text;
    if (m_retriesUsed >= kRetries || (m_stopAsked && m_stopAsked()))
        return LinkAnswer::Cancel;
    ++m_retriesUsed;
    return LinkAnswer::Retry;
}

void CUnattendedAsker::PortNotOpened(CWnd*, const CString& text, const CString&)
{
    m_lastMessage = text;
}

void CUnattendedAsker::TellOutcome(CWnd*, RunMessageKind, const CString& text, const CString&)
{
    m_lastMessage = text;
}

void CUnattendedAsker::TellNote(CWnd*, const CString& text, const CString&)
{
    m_lastMessage = text;
}

bool CUnattendedAsker::WriteWithoutHistory(CWnd* owner, const CString& reason, const CString& question,
                                           const CString& caption)
{
    return m_boxes.WriteWithoutHistory(owner, reason, question, caption);
}
