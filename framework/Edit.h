// CEdit: an edit control bound to a CWnd.
#pragma once

#include "framework/Wnd.h"

class CEdit : public CWnd {
public:
    void SetLimitText(UINT limit) { SendMessage(EM_LIMITTEXT, limit, 0); }
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
};
