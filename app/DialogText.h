// CDialogText: puts language texts on dialog controls and menu items, and
// sets up the filtering path edit. Stateless; one global instance.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

class CWnd;

// A control or command id and the language text it gets; text 0 sets
// nothing (controls) or makes a separator (menus).
struct DialogTextEntry {
    int32_t id;
    int32_t text;
};

class CDialogText {
public:
    using Entry = DialogTextEntry;

    // For each entry in order: a non-zero id naming a child of dialog, with a
    // non-zero text, gets that language text as its window text. Others are
    // skipped. Returns 1.
    int SetItemTexts(CWnd* dialog, const Entry* table, int count);
    // Entry i rewrites the item at position i of menu: a string item with the
    // entry's id and text, or a separator for text 0. An item that opens a
    // drop-down keeps it; only its label changes. Returns 1.
    int SetMenuTexts(HMENU menu, const Entry* table, int count);
    // The dialog's child id must be a CFilterEdit: sets its filter kind, its
    // length limit (EM_LIMITTEXT) and its text. Returns 1.
    int SetupEdit(CWnd* dialog, int id, unsigned char filterKind, int limit, const char* text);

    template <size_t N> int SetItemTexts(CWnd* dialog, const Entry (&table)[N])
    {
        return SetItemTexts(dialog, table, static_cast<int>(N));
    }
    template <size_t N> int SetMenuTexts(HMENU menu, const Entry (&table)[N])
    {
        return SetMenuTexts(menu, table, static_cast<int>(N));
    }
};
