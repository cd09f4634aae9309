#include "text/Csv.h"

#include <algorithm>
#include <utility>

namespace {

bool IsControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

} // namespace

CString QuoteCsvField(const CString& field)
{
    const std::string& bytes = field.str();
    const bool needsQuotes = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        return c == ',' || c == '"' || IsControlByte(static_cast<unsigned char>(c));
    });
    if (!needsQuotes)
        return field;
    std::string quoted = "\"";
    for (char c : bytes) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return CString(quoted);
}

bool CCsvReader::Next(std::vector<std::string>* fields)
{
    if (fields)
        fields->clear();
    if (m_pos >= m_size)
        return false;

    std::size_t count = 0;
    for (;;) {
        // Fields past the limit are walked over, not kept.
        const bool keep = fields && count < kMaxFields;
        std::string field;
        if (m_data[m_pos] == '"') {
            ++m_pos;
            while (m_pos < m_size) {
                const char c = m_data[m_pos++];
                if (c == '"') {
                    if (m_pos < m_size && m_data[m_pos] == '"') {
                        ++m_pos;
                    } else {
                        break;
                    }
                }
                if (keep)
                    field += c;
            }
        }
        // An unquoted field, or what follows a closing quote.
        while (m_pos < m_size) {
            const char c = m_data[m_pos];
            if (c == ',' || c == '\r' || c == '\n')
                break;
            if (keep)
                field += c;
            ++m_pos;
        }
        if (keep)
            fields->push_back(std::move(field));
        ++count;

        if (m_pos >= m_size)
            return true;
        const char end = m_data[m_pos++];
        if (end == ',') {
            if (m_pos >= m_size) { // a trailing comma: one more, empty field
                if (fields && count < kMaxFields)
                    fields->emplace_back();
                return true;
            }
            continue;
        }
        if (end == '\r' && m_pos < m_size && m_data[m_pos] == '\n')
            ++m_pos;
        return true;
    }
}
