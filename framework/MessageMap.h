// Declarative message maps. A class lists the messages it handles between
// BEGIN_MESSAGE_MAP and END_MESSAGE_MAP; CWnd::OnWndMsg walks the class's map,
// then its base class's, and calls the first entry that matches.
//
//     BEGIN_MESSAGE_MAP(CUpgradeDlg, CDialog)
//         ON_WM_PAINT()
//         ON_COMMAND(ID_FILE_EXIT, OnExit)
//         ON_EN_KILLFOCUS(IDC_PATH_EDIT, OnLocationKillFocus)
//     END_MESSAGE_MAP()
//
// Each entry carries a small captureless lambda that unpacks WPARAM/LPARAM
// and calls the handler on the derived class. The lambda is written inside a
// member function of that class, so handlers may be protected or private.
#pragma once

#include <windows.h>

class CWnd;

// WM_COMMAND notifications sent back to the control that sent them
// (ON_CONTROL_REFLECT). Picked from the range the system keeps for this use.
constexpr UINT WM_REFLECT_COMMAND = 0x2000 + WM_COMMAND;

struct CMsgMapEntry {
    UINT message; // WM_xxx; 0 ends the table
    UINT code;    // WM_COMMAND and reflected: the notification code
    UINT id;      // WM_COMMAND: the command or control id
    LRESULT (*handler)(CWnd* self, WPARAM wParam, LPARAM lParam);
};

struct CMessageMap {
    const CMessageMap* (*base)(); // the base class's map, or nullptr
    const CMsgMapEntry* entries;
};

// clang-format off
#define DECLARE_MESSAGE_MAP()                                                  \
protected:                                                                     \
    const CMessageMap* GetMessageMap() const override;                         \
    static const CMessageMap* GetThisMessageMap();

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                 \
    const CMessageMap* theClass::GetMessageMap() const                         \
    {                                                                          \
        return GetThisMessageMap();                                            \
    }                                                                          \
    const CMessageMap* theClass::GetThisMessageMap()                           \
    {                                                                          \
        using ThisClass = theClass;                                            \
        using TheBaseClass = baseClass;                                        \
        static const CMsgMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                      \
            {0, 0, 0, nullptr}};                                               \
        static const CMessageMap map = {&TheBaseClass::GetThisMessageMap,      \
                                        entries};                              \
        return &map;                                                           \
    }

// The handler thunk of one entry: unpacks the message for the handler.
#define ORVELLE_MSG_THUNK(body)                                                \
    [](CWnd* self_, WPARAM wParam_, LPARAM lParam_) -> LRESULT {               \
        (void)wParam_;                                                         \
        (void)lParam_;                                                         \
        ThisClass* self = static_cast<ThisClass*>(self_);                      \
        body                                                                   \
    }

// WM_COMMAND from a menu item or a button click (notification code 0).
// Handler: void fn()
#define ON_COMMAND(id, fn)                                                     \
    {WM_COMMAND, 0, static_cast<UINT>(id),                                     \
     ORVELLE_MSG_THUNK(self->fn(); return 0;)},

// WM_COMMAND with a given notification code from control id.
// Handler: void fn()
#define ON_CONTROL(code, id, fn)                                               \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id),               \
     ORVELLE_MSG_THUNK(self->fn(); return 0;)},
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(EN_SETFOCUS, id, fn)

// A notification the control sent to its parent, handled by the control
// itself; the parent then does not see it. Handler: void fn()
#define ON_CONTROL_REFLECT(code, fn)                                           \
    {WM_REFLECT_COMMAND, static_cast<UINT>(code), 0,                           \
     ORVELLE_MSG_THUNK(self->fn(); return 0;)},

// Any message. Handler: LRESULT fn(WPARAM, LPARAM)
#define ON_MESSAGE(msg, fn)                                                    \
    {static_cast<UINT>(msg), 0, 0,                                             \
     ORVELLE_MSG_THUNK(return self->fn(wParam_, lParam_);)},

// Handler: int OnCreate(LPCREATESTRUCTA); -1 fails the creation.
#define ON_WM_CREATE()                                                         \
    {WM_CREATE, 0, 0, ORVELLE_MSG_THUNK(                                       \
        return self->OnCreate(reinterpret_cast<LPCREATESTRUCTA>(lParam_));)},

// Handler: void OnPaint()
#define ON_WM_PAINT()                                                          \
    {WM_PAINT, 0, 0, ORVELLE_MSG_THUNK(self->OnPaint(); return 0;)},

// Handler: BOOL OnHelpInfo(HELPINFO*)
#define ON_WM_HELPINFO()                                                       \
    {WM_HELP, 0, 0, ORVELLE_MSG_THUNK(                                         \
        return self->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam_));)},

// Handler: HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                  \
    {WM_QUERYDRAGICON, 0, 0, ORVELLE_MSG_THUNK(                                \
        return reinterpret_cast<LRESULT>(self->OnQueryDragIcon());)},

// Handler: void OnContextMenu(HWND window, POINT screenPoint)
#define ON_WM_CONTEXTMENU()                                                    \
    {WM_CONTEXTMENU, 0, 0, ORVELLE_MSG_THUNK(                                  \
        self->OnContextMenu(reinterpret_cast<HWND>(wParam_),                   \
                            POINT{static_cast<short>(LOWORD(lParam_)),         \
                                  static_cast<short>(HIWORD(lParam_))});       \
        return 0;)},

// Handler: void OnChar(UINT charCode, UINT repeatCount, UINT flags)
#define ON_WM_CHAR()                                                           \
    {WM_CHAR, 0, 0, ORVELLE_MSG_THUNK(                                         \
        self->OnChar(static_cast<UINT>(wParam_), LOWORD(lParam_),              \
                     HIWORD(lParam_));                                         \
        return 0;)},
// clang-format on
