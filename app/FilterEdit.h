// CFilterEdit: the path edit. Drops typed characters its filter does not
// allow (silently), selects its whole text when it gains the focus, and shows
// no context menu.
#pragma once

#include "framework/Edit.h"

class CFilterEdit : public CEdit {
public:
    // The one filter kind the program uses: the printable characters of a
    // path, 0x20 to 0x7A, and backspace.
    static constexpr unsigned char kPathFilter = 10;

    void SetFilterKind(unsigned char kind) { m_nFilterKind = kind; }
    unsigned char GetFilterKind() const { return m_nFilterKind; }

    // Whether filter kind lets a typed character code through.
    static bool IsCharAllowed(unsigned char kind, UINT charCode);

protected:
    void OnChar(UINT charCode, UINT repeatCount, UINT flags);
    void OnSetFocusReflect();
    void OnContextMenu(HWND window, POINT point);

    DECLARE_MESSAGE_MAP()

private:
    unsigned char m_nFilterKind = 0;
};
