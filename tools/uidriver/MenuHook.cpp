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

void Answer(HWND reply, HWND from, ULONG_PTR tag, std::string json)
{
    COPYDATASTRUCT cds{tag, static_cast<DWORD>(json.size()), json.empty() ? nullptr : &json[0]};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(reply, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&cds),
                        SMTO_ABORTIFHUNG, 5000, &result);
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    static const UINT probe = RegisterWindowMessageW(kMenuProbeMessage);
    static const UINT sync = RegisterWindowMessageW(kSyncMessage);
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code != HC_ACTION || wParam != PM_REMOVE || msg == nullptr)
        return CallNextHookEx(nullptr, code, wParam, lParam);
    // The program never sees a probe: each becomes WM_NULL.
    if (msg->message == probe) {
        Answer(reinterpret_cast<HWND>(msg->wParam), msg->hwnd, kMenuProbeCopyTag,
               DescribeWindowMenus(msg->hwnd));
        msg->message = WM_NULL;
    } else if (msg->message == sync) {
        Answer(reinterpret_cast<HWND>(msg->wParam), msg->hwnd, kSyncCopyTag, std::string());
        msg->message = WM_NULL;
    } else if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == kSyncKey) {
        // The input barrier answers once its key is released.
        const auto reply = reinterpret_cast<HWND>(GetMessageExtraInfo());
        if (msg->message == WM_KEYUP && IsWindow(reply))
            Answer(reply, msg->hwnd, kSyncCopyTag, std::string());
        msg->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
