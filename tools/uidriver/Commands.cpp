#include "tools/uidriver/Commands.h"

#include "tools/uidriver/Input.h"
#include "text/Json.h"
#include "tools/uidriver/MenuProbe.h"
#include "tools/uidriver/TreeQuery.h"
#include "tools/uidriver/WindowQuery.h"

#include <tlhelp32.h>

#include <functional>

namespace uidriver {

namespace {

using Handler = std::function<CJsonObject(Session&, const Args&)>;

HWND ArgHwnd(const Args& a, const char* key = "hwnd")
{
    HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(a.Int(key)));
    if (!IsWindow(hwnd))
        throw DriverError("no such window");
    return hwnd;
}

// --hwnd with an optional --id of a child control.
HWND ArgTarget(const Args& a)
{
    HWND hwnd = ArgHwnd(a);
    HWND target = Resolve(hwnd, a.Int("id", -1));
    if (target == nullptr)
        throw DriverError("no control with that id");
    return target;
}

DWORD ArgTimeout(const Args& a)
{
    return static_cast<DWORD>(a.Int("timeout-ms", 5000));
}

WindowFilter ArgFilter(const Args& a)
{
    WindowFilter f;
    f.pid = static_cast<DWORD>(a.Int("pid", 0));
    f.className = a.Str("class", L"");
    if (a.Has("caption-prefix")) {
        f.caption = a.Str("caption-prefix");
        f.captionPrefix = true;
    } else {
        f.caption = a.Str("caption", L"");
    }
    if (a.Has("owner"))
        f.owner = reinterpret_cast<HWND>(static_cast<UINT_PTR>(a.Int("owner")));
    f.visibleOnly = !a.Flag("hidden");
    f.messageBox = a.Flag("message-box");
    for (long long h : ParseNumberList(a.Str("exclude", L"")))
        f.exclude.push_back(reinterpret_cast<HWND>(static_cast<UINT_PTR>(h)));
    return f;
}

// Polls until pred() holds or the time-out passes; true if it held.
bool WaitFor(DWORD timeoutMs, const std::function<bool()>& pred)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(15);
    }
}

// Every answer starts with "ok" (main's exit code looks at it).
CJsonObject Ok()
{
    return CJsonObject().Bool("ok", true);
}

CJsonObject CmdStart(Session& s, const Args& a)
{
    std::wstring exe = a.Str("exe");
    std::wstring cmdline = L"\"" + exe + L"\"";
    if (a.Has("args"))
        cmdline += L" " + a.Str("args");
    std::wstring cwd = a.Str("cwd", L"");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), &cmdline[0], nullptr, nullptr, FALSE, 0, nullptr,
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
        throw DriverError("CreateProcess failed, error " + std::to_string(GetLastError()));
    CloseHandle(pi.hThread);
    s.Keep(pi.dwProcessId, pi.hProcess);
    // Let the program reach its first message loop before anyone drives it.
    WaitForInputIdle(pi.hProcess, static_cast<DWORD>(a.Int("idle-ms", 5000)));
    return Ok().Number("pid", pi.dwProcessId);
}

CJsonObject CmdWaitExit(Session& s, const Args& a)
{
    DWORD pid = static_cast<DWORD>(a.Int("pid"));
    HANDLE process = s.Process(pid);
    UniqueHandle opened;
    if (process == nullptr) {
        opened.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        process = opened.get();
    }
    if (process == nullptr)
        return Ok().Bool("exited", true).Number("code", -1);
    if (WaitForSingleObject(process, ArgTimeout(a)) != WAIT_OBJECT_0)
        return Ok().Bool("exited", false);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return Ok().Bool("exited", true).Number("code", code);
}

CJsonObject CmdKill(Session& s, const Args& a)
{
    DWORD pid = static_cast<DWORD>(a.Int("pid"));
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process)
        return Ok().Bool("killed", false);
    TerminateProcess(process.get(), static_cast<UINT>(a.Int("code", 1)));
    WaitForSingleObject(process.get(), 5000);
    (void)s;
    return Ok().Bool("killed", true);
}

// Processes of the wineserver, with their full image path, so a program
// started from Linux can be matched to its Windows process id.
CJsonObject CmdProcesses(Session&, const Args& a)
{
    std::wstring name = a.Str("name", L"");
    UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snap.get() == INVALID_HANDLE_VALUE) {
        snap.release();
        throw DriverError("cannot list processes");
    }
    std::vector<std::string> list;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap.get(), &entry); more; more = Process32NextW(snap.get(), &entry)) {
        if (!name.empty() && lstrcmpiW(entry.szExeFile, name.c_str()) != 0)
            continue;
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process)
            QueryFullProcessImageNameW(process.get(), 0, path, &size);
        CJsonObject o;
        o.Number("pid", entry.th32ProcessID)
            .String("exe", WideToUtf8(std::wstring(entry.szExeFile)))
            .String("path", WideToUtf8(std::wstring(path)));
        list.push_back(o.Text());
    }
    return Ok().Raw("processes", JsonList(list));
}

CJsonObject CmdWindows(Session&, const Args& a)
{
    std::vector<std::string> list;
    for (HWND hwnd : FindTopLevel(ArgFilter(a)))
        list.push_back(DescribeWindow(hwnd, a.Flag("children")));
    return Ok().Raw("windows", JsonList(list));
}

CJsonObject CmdWaitWindow(Session&, const Args& a)
{
    WindowFilter f = ArgFilter(a);
    std::vector<HWND> found;
    bool gone = a.Flag("gone");
    bool met = WaitFor(ArgTimeout(a), [&] {
        found = FindTopLevel(f);
        return gone ? found.empty() : !found.empty();
    });
    if (!met)
        throw DriverError(gone ? "window still there" : "no such window appeared");
    if (gone)
        return Ok();
    bool box = f.messageBox;
    return Ok().Raw("window", box ? DescribeMessageBox(found.front()) : DescribeWindow(found.front(), false));
}

CJsonObject CmdWaitGone(Session&, const Args& a)
{
    HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(a.Int("hwnd")));
    if (!WaitFor(ArgTimeout(a), [&] { return !IsWindow(hwnd) || !IsWindowVisible(hwnd); }))
        throw DriverError("window still there");
    return Ok();
}

CJsonObject CmdInfo(Session&, const Args& a)
{
    return Ok().Raw("window", DescribeWindow(ArgHwnd(a), !a.Flag("no-children")));
}

CJsonObject CmdMessageBox(Session&, const Args& a)
{
    HWND hwnd = ArgHwnd(a);
    return Ok().Raw("window", DescribeMessageBox(hwnd));
}

CJsonObject CmdText(Session&, const Args& a)
{
    return Ok().String("text", WideToUtf8(TextOf(ArgTarget(a))));
}

CJsonObject CmdSetText(Session&, const Args& a)
{
    HWND target = ArgTarget(a);
    std::wstring text = a.Str("text", L"");
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &result))
        throw DriverError("WM_SETTEXT timed out");
    return Ok();
}

CJsonObject CmdState(Session&, const Args& a)
{
    HWND target = ArgTarget(a);
    CJsonObject o = Ok();
    o.Bool("enabled", IsWindowEnabled(target) != 0).Bool("visible", IsWindowVisible(target) != 0);
    int check = CheckState(target);
    if (check >= 0)
        o.Bool("checked", check == BST_CHECKED);
    DWORD_PTR sel = 0;
    if (ClassOf(target) == L"Edit" &&
        SendMessageTimeoutW(target, EM_GETSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &sel)) {
        o.Number("sel_start", LOWORD(sel)).Number("sel_end", HIWORD(sel));
        DWORD_PTR limit = 0;
        SendMessageTimeoutW(target, EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &limit);
        o.Number("limit", static_cast<long long>(limit));
    }
    return o;
}

// Selects characters start to end of an edit control (end -1: to the end).
CJsonObject CmdSelect(Session&, const Args& a)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(ArgTarget(a), EM_SETSEL, static_cast<WPARAM>(a.Int("start", 0)),
                             static_cast<LPARAM>(a.Int("end", -1)), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result))
        throw DriverError("EM_SETSEL timed out");
    return Ok();
}

// BM_CLICK is posted, not sent: the click may open a modal box, and a sent
// message would hold the driver until that box closes.
CJsonObject CmdClick(Session&, const Args& a)
{
    HWND target = ArgTarget(a);
    if (a.Flag("mouse"))
        ClickAt(target, false);
    else if (a.Flag("right"))
        ClickAt(target, true);
    else
        PostMessageW(target, BM_CLICK, 0, 0);
    return Ok();
}

CJsonObject CmdCommand(Session&, const Args& a)
{
    HWND hwnd = ArgHwnd(a);
    WPARAM w = MAKEWPARAM(static_cast<WORD>(a.Int("id")), static_cast<WORD>(a.Int("notify", 0)));
    LPARAM l = 0;
    if (a.Has("control"))
        l = reinterpret_cast<LPARAM>(GetDlgItem(hwnd, static_cast<int>(a.Int("control"))));
    PostMessageW(hwnd, WM_COMMAND, w, l);
    return Ok();
}

CJsonObject CmdSysCommand(Session&, const Args& a)
{
    PostMessageW(ArgHwnd(a), WM_SYSCOMMAND, static_cast<WPARAM>(a.Int("sc")), 0);
    return Ok();
}

CJsonObject CmdClose(Session&, const Args& a)
{
    PostMessageW(ArgHwnd(a), WM_CLOSE, 0, 0);
    return Ok();
}

CJsonObject CmdChars(Session&, const Args& a)
{
    HWND target = ArgTarget(a);
    bool post = a.Flag("post");
    if (a.Has("codes"))
        SendAnsiCodes(target, ParseNumberList(a.Str("codes")), post);
    if (a.Has("text"))
        SendChars(target, a.Str("text"), post);
    return Ok();
}

CJsonObject CmdKey(Session&, const Args& a)
{
    HWND target = ArgTarget(a);
    bool down = !a.Flag("up-only");
    bool up = !a.Flag("down-only");
    PostKey(target, static_cast<UINT>(a.Int("vk")), down, up);
    return Ok();
}

CJsonObject CmdInput(Session&, const Args& a)
{
    if (a.Has("hwnd") && !Activate(ArgHwnd(a)))
        throw DriverError("could not bring the window to the foreground");
    if (a.Has("vk"))
        SendInputKeys(ParseNumberList(a.Str("vk")));
    if (a.Has("text"))
        SendInputText(a.Str("text"));
    return Ok();
}

CJsonObject CmdActivate(Session&, const Args& a)
{
    return Ok().Bool("foreground", Activate(ArgHwnd(a)));
}

CJsonObject CmdFocus(Session&, const Args& a)
{
    std::string how = FocusControl(ArgTarget(a));
    if (how.empty())
        throw DriverError("could not give the control the focus");
    return Ok().String("how", how);
}

CJsonObject CmdFocused(Session&, const Args& a)
{
    HWND hwnd = ArgHwnd(a);
    FocusInfo f = FocusOf(hwnd);
    CJsonObject o = Ok();
    o.Raw("focus", HwndJson(f.focus))
        .Number("focus_id", f.focus && IsChild(hwnd, f.focus) ? ControlId(f.focus) : -1)
        .Raw("active", HwndJson(f.active))
        .Raw("foreground", HwndJson(f.foreground));
    return o;
}

// The selected item of a tree view with its parents, root first.
CJsonObject CmdTreeSelection(Session&, const Args& a)
{
    std::vector<std::string> path;
    for (const std::wstring& text : TreeSelectionPath(ArgTarget(a)))
        path.push_back(JsonString(WideToUtf8(text)));
    return Ok().Raw("selected", JsonList(path));
}

// A report-view list's column headings and every row's cells.
CJsonObject CmdListItems(Session&, const Args& a)
{
    const ListViewTexts texts = ListViewCells(ArgTarget(a));
    std::vector<std::string> headings, rows;
    for (const std::wstring& text : texts.headings)
        headings.push_back(JsonString(WideToUtf8(text)));
    for (const std::vector<std::wstring>& row : texts.rows) {
        std::vector<std::string> cells;
        for (const std::wstring& text : row)
            cells.push_back(JsonString(WideToUtf8(text)));
        rows.push_back(JsonList(cells));
    }
    return Ok().Raw("headings", JsonList(headings)).Raw("rows", JsonList(rows));
}

// A combo box's items in order and the index of the selected one (-1: none).
CJsonObject CmdComboItems(Session&, const Args& a)
{
    HWND combo = ArgTarget(a);
    DWORD_PTR count = 0, selected = 0;
    if (!SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count) ||
        !SendMessageTimeoutW(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &selected))
        throw DriverError("the combo box does not answer");
    std::vector<std::string> items;
    for (LRESULT i = 0; i < static_cast<LRESULT>(count); ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &length);
        if (static_cast<LRESULT>(length) == CB_ERR)
            length = 0;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
        text.resize(static_cast<LRESULT>(copied) == CB_ERR ? 0 : static_cast<size_t>(copied));
        items.push_back(JsonString(WideToUtf8(text)));
    }
    return Ok().Raw("items", JsonList(items)).Number("selected", static_cast<long long>(static_cast<LRESULT>(selected)));
}

CJsonObject CmdClipboard(Session&, const Args& a)
{
    if (!OpenClipboard(nullptr))
        throw DriverError("clipboard busy");
    CJsonObject o = Ok();
    if (a.Has("text")) {
        std::wstring text = a.Str("text");
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (mem != nullptr) {
            auto* p = static_cast<wchar_t*>(GlobalLock(mem));
            std::copy(text.c_str(), text.c_str() + text.size() + 1, p);
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_UNICODETEXT, mem))
                GlobalFree(mem);
        }
    } else if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        auto* p = static_cast<const wchar_t*>(GlobalLock(data));
        o.String("text", WideToUtf8(std::wstring(p ? p : L"")));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return o;
}

CJsonObject CmdMenu(Session&, const Args& a)
{
    std::string menu;
    std::string error = ReadMenu(ArgHwnd(a), a.Int("timeout-ms", 5000), menu);
    if (!error.empty())
        throw DriverError(error);
    return Ok().Raw("menu", menu);
}

// A barrier in the program's queue: answers once the window's thread has
// taken every message posted before (--input: every input sent before).
CJsonObject CmdSync(Session&, const Args& a)
{
    HWND hwnd = ArgHwnd(a);
    const bool input = a.Flag("input");
    if (input && !Activate(hwnd))
        throw DriverError("could not bring the window to the foreground");
    std::string error = SyncQueue(hwnd, input, a.Int("timeout-ms", 5000));
    if (!error.empty())
        throw DriverError(error);
    return Ok();
}

CJsonObject CmdSleep(Session&, const Args& a)
{
    Sleep(static_cast<DWORD>(a.Int("ms")));
    return Ok();
}

const std::map<std::wstring, Handler>& Table()
{
    // clang-format off
    static const std::map<std::wstring, Handler> table = {
        {L"start", CmdStart},
        {L"wait-exit", CmdWaitExit},
        {L"kill", CmdKill},
        {L"processes", CmdProcesses},
        {L"windows", CmdWindows},
        {L"wait-window", CmdWaitWindow},
        {L"wait-gone", CmdWaitGone},
        {L"info", CmdInfo},
        {L"message-box", CmdMessageBox},
        {L"text", CmdText},
        {L"set-text", CmdSetText},
        {L"state", CmdState},
        {L"select", CmdSelect},
        {L"click", CmdClick},
        {L"command", CmdCommand},
        {L"sys-command", CmdSysCommand},
        {L"close", CmdClose},
        {L"chars", CmdChars},
        {L"key", CmdKey},
        {L"input", CmdInput},
        {L"activate", CmdActivate},
        {L"focus", CmdFocus},
        {L"focused", CmdFocused},
        {L"tree-selection", CmdTreeSelection},
        {L"combo-items", CmdComboItems},
        {L"list-items", CmdListItems},
        {L"clipboard", CmdClipboard},
        {L"menu", CmdMenu},
        {L"sync", CmdSync},
        {L"sleep", CmdSleep},
    };
    // clang-format on
    return table;
}

} // namespace

HANDLE Session::Process(DWORD pid) const
{
    auto it = m_processes.find(pid);
    return it == m_processes.end() ? nullptr : it->second.get();
}

std::string RunCommand(Session& session, const Args& args)
{
    auto it = Table().find(args.command);
    if (it == Table().end())
        return CJsonObject()
            .Bool("ok", false)
            .String("error", "unknown command " + WideToUtf8(args.command))
            .Text();
    try {
        return it->second(session, args).Text();
    } catch (const DriverError& e) {
        return CJsonObject().Bool("ok", false).String("error", std::string(e.what())).Text();
    }
}

} // namespace uidriver
