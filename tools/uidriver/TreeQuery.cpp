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

} // namespace

std::vector<std::wstring> TreeSelectionPath(HWND tree)
{
    if (ClassOf(tree) != WC_TREEVIEWW)
        throw DriverError("not a tree view");
    DWORD pid = 0;
    GetWindowThreadProcessId(tree, &pid);
    UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process)
        throw DriverError("cannot open the program's process");
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
