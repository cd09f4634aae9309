#include "app/DialogText.h"

#include "app/FilterEdit.h"
#include "app/Globals.h"
#include "framework/Wnd.h"

int CDialogText::SetItemTexts(CWnd* dialog, const Entry* table, int count)
{
    if (!dialog || !table)
        return 1;
    for (int i = 0; i < count; ++i) {
        const Entry& entry = table[i];
        if (entry.id == 0 || entry.text == 0)
            continue;
        HWND item = dialog->GetDlgItem(entry.id);
        if (!item)
            continue;
        ::SetWindowTextA(item, CString(theLanguage.GetText(entry.text)));
    }
    return 1;
}

int CDialogText::SetMenuTexts(HMENU menu, const Entry* table, int count)
{
    if (!menu || !table)
        return 1;
    for (int i = 0; i < count; ++i) {
        const Entry& entry = table[i];
        const UINT position = static_cast<UINT>(i);
        if (entry.text == 0) {
            ::ModifyMenuA(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const CString text(theLanguage.GetText(entry.text));
        // ModifyMenu would destroy a drop-down it replaces: hand it back in.
        if (HMENU dropDown = ::GetSubMenu(menu, i))
            ::ModifyMenuA(menu, position, MF_BYPOSITION | MF_STRING | MF_POPUP,
                          reinterpret_cast<UINT_PTR>(dropDown), text);
        else
            ::ModifyMenuA(menu, position, MF_BYPOSITION | MF_STRING, static_cast<UINT_PTR>(entry.id), text);
    }
    return 1;
}

int CDialogText::SetupEdit(CWnd* dialog, int id, unsigned char filterKind, int limit, const char* text)
{
    if (!dialog)
        return 1;
    auto* edit = dynamic_cast<CFilterEdit*>(CWnd::FromHandlePermanent(dialog->GetDlgItem(id)));
    if (!edit)
        return 1;
    edit->SetFilterKind(filterKind);
    edit->SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    edit->SetWindowText(text ? text : "");
    return 1;
}
