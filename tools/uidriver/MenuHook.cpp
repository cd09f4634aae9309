// The hook library the driver puts into the program under test to read its
// menu from inside (see MenuProbe.h).
#include "text/Json.h"
#include "tools/uidriver/Args.h"
#include "tools/uidriver/MenuProbe.h"

#include <windows.h>

using namespace uidriver;

namespace {

std::string DescribeMenu(HMENU menu, int depth);

std::string DescribeItem(HMENU menu, int pos, int depth)
{
    wchar_t text[512] = {};
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    mii.dwTypeData = text;
    mii.cch = 511;
    CJsonObject o;
    o.Number("position", pos);
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &mii))
        return o.String("error", "GetMenuItemInfo failed").Text();
    o.Number("id", static_cast<long long>(mii.wID))
        .String("text", WideToUtf8(std::wstring(text)))
        .Bool("separator", (mii.fType & MFT_SEPARATOR) != 0)
        .Bool("enabled", (mii.fState & (MFS_DISABLED | MFS_GRAYED)) == 0)
        .Bool("grayed", (mii.fState & MFS_GRAYED) != 0)
        .Bool("checked", (mii.fState & MFS_CHECKED) != 0);
    if (mii.hSubMenu != nullptr && depth < 8)
        o.Raw("items", DescribeMenu(mii.hSubMenu, depth + 1));
    return o.Text();
}

std::string DescribeMenu(HMENU menu, int depth)
{
    std::vector<std::string> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        items.push_back(DescribeItem(menu, i, depth));
    return JsonList(items);
}

std::string DescribeWindowMenus(HWND hwnd)
{
    CJsonObject o;
    HMENU bar = GetMenu(hwnd);
    o.Raw("bar", bar ? DescribeMenu(bar, 0) : "null");
    HMENU system = GetSystemMenu(hwnd, FALSE);
    o.Raw("system", system ? DescribeMenu(system, 0) : "null");
    return o.Text();
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    static const UINT probe = RegisterWindowMessageW(kMenuProbeMessage);
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg != nullptr && msg->message == probe) {
        std::string json = DescribeWindowMenus(msg->hwnd);
        COPYDATASTRUCT cds{kMenuProbeCopyTag, static_cast<DWORD>(json.size()), &json[0]};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(reinterpret_cast<HWND>(msg->wParam), WM_COPYDATA,
                            reinterpret_cast<WPARAM>(msg->hwnd), reinterpret_cast<LPARAM>(&cds),
                            SMTO_ABORTIFHUNG, 5000, &result);
        msg->message = WM_NULL; // the program never sees the probe
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
