// The driver's test dialog: a modeless dialog run by its own loop, with a
// close question, a message box on Upgrade and Enter in the edit turned into
// a synthesised Tab, like the program it stands in for.
#include "resource.h"

#include <windows.h>

namespace {

HWND g_dialog = nullptr;

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        CheckDlgButton(hwnd, IDC_FOLDER, BST_CHECKED);
        SendDlgItemMessageA(hwnd, IDC_PATH, EM_LIMITTEXT, 260, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            if (MessageBoxA(hwnd, "Close the test dialog?", "Question", MB_YESNO | MB_ICONQUESTION) == IDYES)
                DestroyWindow(hwnd);
            return TRUE;
        case IDC_UPGRADE:
            MessageBoxA(hwnd, "Upgrade pressed", "Information", MB_OK | MB_ICONINFORMATION);
            return TRUE;
        case IDM_ABOUT:
            SetWindowTextA(hwnd, "Driver Test - About");
            return TRUE;
        default:
            return FALSE;
        }
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_TEST), nullptr, DialogProc, 0);
    if (g_dialog == nullptr)
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN &&
            msg.hwnd == GetDlgItem(g_dialog, IDC_PATH)) {
            keybd_event(VK_TAB, 0, 0, 0);
            keybd_event(VK_TAB, 0, KEYEVENTF_KEYUP, 0);
            continue;
        }
        if (IsDialogMessageA(g_dialog, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
