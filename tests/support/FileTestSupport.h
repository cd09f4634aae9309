// Small helpers of the file tests: whole-file reads and writes, a handle that
// holds a file open the way another program would, and a recorder in place of
// the message box.
#pragma once

#include "framework/AppMessageBox.h"

#include <windows.h>

#include <string>
#include <vector>

inline bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string ReadWholeFile(const std::string& path)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

// Holds a file open with the most lenient sharing, as another program might.
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             0, nullptr))
    {
    }
    ~HeldOpen()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_file;
};

struct RecordedBox {
    void* owner;
    std::string text;
    std::string caption;
    unsigned type;
};

// While it lives, every AppMessageBox is recorded and answered with IDOK.
class MessageBoxRecorder {
public:
    MessageBoxRecorder() : m_previous(SetAppMessageBoxFn(&Record)) { Boxes().clear(); }
    ~MessageBoxRecorder() { SetAppMessageBoxFn(m_previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    static std::vector<RecordedBox>& Boxes()
    {
        static std::vector<RecordedBox> boxes;
        return boxes;
    }

private:
    static int Record(void* owner, const char* text, const char* caption, unsigned type)
    {
        Boxes().push_back({owner, text ? text : "", caption ? caption : "", type});
        return IDOK;
    }

    AppMessageBoxFn m_previous;
};
