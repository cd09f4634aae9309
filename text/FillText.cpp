#include "text/FillText.h"

#include <string>
#include <vector>

CString FillText(const CString& text, std::initializer_list<CString> values)
{
    // '%' and the digits are never the trail byte of a double-byte character.
    const std::string& format = text.str();
    std::vector<bool> used(values.size(), false);
    std::string filled;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const std::size_t which =
            format[i] == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '9'
                ? static_cast<std::size_t>(format[i + 1] - '1')
                : values.size();
        if (which < values.size() && !used[which]) {
            used[which] = true;
            filled += values.begin()[which].str();
            ++i;
        } else {
            filled += format[i];
        }
    }
    return CString(filled.c_str());
}
