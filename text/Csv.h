// Comma-separated values as RFC 4180 has them: the quoting of one field, and
// a reader of records that takes damaged text as far as it goes. It knows
// nothing of what the fields mean (the upgrade history gives them columns).
// Portable: no windows.h.
#pragma once

#include "framework/CString.h"

#include <cstddef>
#include <string>
#include <vector>

// The field as RFC 4180 writes it: in double quotes, inner quotes doubled,
// when it holds a comma, a quote, a line break or another control byte;
// otherwise unchanged.
CString QuoteCsvField(const CString& field);

// Reads RFC 4180 records: fields separated by commas, records by CR LF, LF or
// a lone CR; a field in double quotes may hold commas, doubled quotes and line
// breaks. Damaged text is read as far as it goes and never refused: text
// after a closing quote joins the field, an unclosed quote runs to the end.
class CCsvReader {
public:
    CCsvReader(const char* data, std::size_t size) : m_data(data), m_size(size) {}

    // The next record. Its first kMaxFields fields go into *fields (cleared
    // first; null skips the record). False when no record is left; a line
    // break at the very end does not start another one.
    bool Next(std::vector<std::string>* fields);

    // Where the next record starts: the bytes before it have been read.
    std::size_t Position() const { return m_pos; }

    static constexpr std::size_t kMaxFields = 64;

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};
