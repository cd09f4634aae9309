#include "app/FilterEdit.h"

BEGIN_MESSAGE_MAP(CFilterEdit, CEdit)
ON_WM_CHAR()
ON_CONTROL_REFLECT(EN_SETFOCUS, OnSetFocusReflect)
ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

bool CFilterEdit::IsCharAllowed(unsigned char kind, UINT charCode)
{
    switch (kind) {
    case kPathFilter:
        // Everything else is dropped: the control characters (among them
        // Ctrl+C, V, X and Z, which the edit would act on), { | } ~, DEL and
        // every code from 0x80 up.
        return charCode == 0x08 || (charCode >= 0x20 && charCode <= 0x7A);
    default:
        // No other kind is used; kind 0 (before SetupEdit) filters nothing.
        return true;
    }
}

void CFilterEdit::OnChar(UINT charCode, UINT repeatCount, UINT flags)
{
    if (IsCharAllowed(m_nFilterKind, charCode))
        CEdit::OnChar(charCode, repeatCount, flags);
}

void CFilterEdit::OnSetFocusReflect()
{
    // Posted, so the selection comes after the click that gave the focus.
    PostMessage(EM_SETSEL, 0, -1);
}

void CFilterEdit::OnContextMenu(HWND, POINT)
{
}
