#include "text/TextFile.h"

#include <cstdio>
#include <memory>
#include <new>

#ifdef _WIN32
#include <share.h>
#endif

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenUnshared(const char* path)
{
#ifdef _WIN32
    return FilePtr(_fsopen(path, "rb", _SH_DENYRW));
#else
    // POSIX has no share modes; the read itself is the same.
    return FilePtr(std::fopen(path, "rb"));
#endif
}

const char kCtrlZ = '\x1A';

} // namespace

int TranslateTextMode(char* bytes, int length)
{
    int out = 0;
    for (int i = 0; i < length; ++i) {
        const char c = bytes[i];
        if (c == kCtrlZ)
            break;
        if (c == '\r' && i + 1 < length && bytes[i + 1] == '\n')
            continue;
        bytes[out++] = c;
    }
    return out;
}

bool ReadTextModeFile(const char* path, std::vector<char>& text)
{
    text.clear();
    if (!path || !*path)
        return false;
    FilePtr file = OpenUnshared(path);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long size = std::ftell(file.get());
    if (size < 0 || size > kMaxTextFileSize || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    try {
        text.resize(static_cast<size_t>(size) + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The file may have shrunk since its size was taken: keep what was read.
    const size_t read = std::fread(text.data(), 1, static_cast<size_t>(size), file.get());
    if (std::ferror(file.get())) {
        text.clear();
        return false;
    }
    const int length = TranslateTextMode(text.data(), static_cast<int>(read));
    text.resize(static_cast<size_t>(length) + 1);
    text[static_cast<size_t>(length)] = '\0';
    return true;
}
