#include "tools/uidriver/TreeQuery.h"

#include "tools/uidriver/Commands.h"
#include "tools/uidriver/WindowQuery.h"

#include <commctrl.h>

#include <cstddef>

namespace uidriver {

namespace {

constexpr int kTextChars = 260;
constexpr int kMaxDepth = 64;

// Memory in another process, for messages that carry a pointer: a window
// reads their buffer in its own address space, so it must lie there.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size)
        : m_process(process),
          m_address(VirtualAllocEx(process, nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))
    {
        if (m_address == nullptr)
            throw DriverError("cannot reserve memory in the program, error " +
                              std::to_string(GetLastError()));
    }
    ~RemoteBuffer() { VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE); }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* Address() const { return static_cast<char*>(m_address); }

    void Write(size_t offset, const void* data, size_t size) const
    {
        SIZE_T done = 0;
        if (!WriteProcessMemory(m_process, Address() + offset, data, size, &done) || done != size)
            throw DriverError("cannot write to the program's memory");
    }
    // Reads from anywhere in the process (the control may point elsewhere).
    void Read(const void* remote, void* data, size_t size) const
    {
        SIZE_T done = 0;
        if (!ReadProcessMemory(m_process, remote, data, size, &done) || done != size)
            throw DriverError("cannot read the program's memory");
    }

private:
    HANDLE m_process;
    void* m_address;
};

LRESULT SendTree(HWND tree, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(tree, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        throw DriverError("the tree view does not answer");
    return static_cast<LRESULT>(result);
}

// The item's text, through the buffer: a TVITEMW, then room for the text.
std::wstring ItemText(HWND tree, const RemoteBuffer& buffer, HTREEITEM item)
{
    TVITEMW query{};
    query.mask = TVIF_HANDLE | TVIF_TEXT;
    query.hItem = item;
    query.pszText = reinterpret_cast<LPWSTR>(buffer.Address() + sizeof(TVITEMW));
    query.cchTextMax = kTextChars;
    buffer.Write(0, &query, sizeof query);
    const wchar_t empty = L'\0';
    buffer.Write(sizeof(TVITEMW), &empty, sizeof empty);
    if (!SendTree(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer.Address())))
        throw DriverError("the tree view has no such item");
    // The control may point pszText at a buffer of its own instead.
    TVITEMW answer{};
    buffer.Read(buffer.Address(), &answer, sizeof answer);
    wchar_t text[kTextChars] = {};
    buffer.Read(answer.pszText, text, sizeof text - sizeof(wchar_t));
    return text;
}

// A list view's cell, through the buffer: an LVITEMW, then room for the
// text.
std::wstring CellText(HWND list, const RemoteBuffer& buffer, int row, int column)
{
    LVITEMW query{};
    query.iSubItem = column;
    query.pszText = reinterpret_cast<LPWSTR>(buffer.Address() + sizeof(LVITEMW));
    query.cchTextMax = kTextChars;
    buffer.Write(0, &query, sizeof query);
    const LRESULT length = SendTree(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                    reinterpret_cast<LPARAM>(buffer.Address()));
    wchar_t text[kTextChars] = {};
    if (length > 0)
        buffer.Read(buffer.Address() + sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t));
    return text;
}

// A header item's text, through the buffer: an HDITEMW, then the text.
std::wstring HeadingText(HWND header, const RemoteBuffer& buffer, int column)
{
    HDITEMW query{};
    query.mask = HDI_TEXT;
    query.pszText = reinterpret_cast<LPWSTR>(buffer.Address() + sizeof(HDITEMW));
    query.cchTextMax = kTextChars;
    buffer.Write(0, &query, sizeof query);
    const wchar_t empty = L'\0';
    buffer.Write(sizeof(HDITEMW), &empty, sizeof empty);
    if (!SendTree(header, HDM_GETITEMW, static_cast<WPARAM>(column),
                  reinterpret_cast<LPARAM>(buffer.Address())))
        throw DriverError("the list view has no such column");
    wchar_t text[kTextChars] = {};
    buffer.Read(buffer.Address() + sizeof(HDITEMW), text, sizeof text - sizeof(wchar_t));
    return text;
}

UniqueHandle OpenControlProcess(HWND control)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(control, &pid);
    UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process)
        throw DriverError("cannot open the program's process");
    return process;
}

} // namespace

ListViewTexts ListViewCells(HWND list)
{
    if (ClassOf(list) != WC_LISTVIEWW)
        throw DriverError("not a list view");
    UniqueHandle process = OpenControlProcess(list);
    RemoteBuffer buffer(process.get(), sizeof(LVITEMW) + sizeof(HDITEMW) + kTextChars * sizeof(wchar_t));

    ListViewTexts texts;
    auto header = reinterpret_cast<HWND>(SendTree(list, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendTree(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int column = 0; column < columns; ++column)
        texts.headings.push_back(HeadingText(header, buffer, column));
    const int rows = static_cast<int>(SendTree(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < columns; ++column)
            cells.push_back(CellText(list, buffer, row, column));
        texts.rows.push_back(std::move(cells));
    }
    return texts;
}

std::vector<std::wstring> TreeSelectionPath(HWND tree)
{
    if (ClassOf(tree) != WC_TREEVIEWW)
        throw DriverError("not a tree view");
    UniqueHandle process = OpenControlProcess(tree);
    RemoteBuffer buffer(process.get(), sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));

    std::vector<std::wstring> path;
    auto item = reinterpret_cast<HTREEITEM>(SendTree(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    for (int depth = 0; item != nullptr; ++depth) {
        if (depth == kMaxDepth)
            throw DriverError("the tree view's items do not end at a root");
        path.insert(path.begin(), ItemText(tree, buffer, item));
        item = reinterpret_cast<HTREEITEM>(
            SendTree(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
    }
    return path;
}

} // namespace uidriver
