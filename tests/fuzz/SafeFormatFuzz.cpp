// The About box's formatter over arbitrary format texts and arguments: no
// crash, no read outside the two strings, and an output no longer than the
// format, the argument and the largest width together.
#include "app/SafeFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // format NUL argument
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string format = input.substr(0, split);
    const std::string argument = split == std::string::npos ? std::string() : input.substr(split + 1);
    const std::string argumentText = argument.c_str(); // up to its own NUL

    const CString shown = FormatOneString(format.c_str(), argumentText.c_str());
    if (static_cast<size_t>(shown.GetLength()) > format.size() + argumentText.size() + 999)
        std::abort();
    return 0;
}
