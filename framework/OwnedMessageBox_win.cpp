#include "framework/AppMessageBox.h"
#include "framework/Wnd.h"

int OwnedMessageBox(const CWnd* owner, const char* text, const char* caption, unsigned type)
{
    return AppMessageBox(HwndOf(owner), text, caption, type);
}
