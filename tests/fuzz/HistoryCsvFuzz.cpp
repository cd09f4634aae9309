// The upgrade history's reader over damaged and foreign files. Every record
// read must come back unchanged through the row writer's quoting, and the
// look-up of a row must stay inside the bytes and agree with the reader. The
// first two bytes choose the row.
#include "framework/Hex.h"
#include "text/Csv.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string Written(const std::vector<std::string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i ? "," : "") + QuoteCsvField(CString(fields[i])).str();
    return line + History::kLineEnd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int k = static_cast<int>(data[0] | data[1] << 8) - 2; // also 0 and below
    // An exact copy, so a read past the end is a heap overflow.
    const std::vector<char> bytes(data + 2, data + size);

    CCsvReader reader(bytes.data(), bytes.size());
    std::vector<std::string> fields;
    std::vector<std::vector<std::string>> records;
    while (reader.Next(&fields)) {
        Check(!fields.empty() && fields.size() <= CCsvReader::kMaxFields);
        if (fields.size() < CCsvReader::kMaxFields) {
            const std::string again = Written(fields);
            CCsvReader check(again.data(), again.size());
            std::vector<std::string> reread;
            Check(check.Next(&reread) && reread == fields && !check.Next(&reread));
        }
        // A time column read back writes the same text (UTC as +00:00,
        // whether it was written "Z" or "-00:00").
        HistoryTime time;
        if (ParseHistoryTime(CString(fields[0]), time)) {
            std::string text = fields[0];
            if (!text.empty() && text.back() == 'Z')
                text.replace(text.size() - 1, 1, "+00:00");
            if (text.size() > 6 && text.compare(text.size() - 6, 6, "-00:00") == 0)
                text[text.size() - 6] = '+';
            Check(FormatHistoryTime(time).str() == text);
        }
        records.push_back(fields);
        Check(records.size() <= bytes.size());
    }

    HistoryRow row;
    CString error;
    const bool found = FindHistoryRow(bytes.data(), bytes.size(), k, row, error);
    Check(found == error.IsEmpty());
    if (found) {
        Check(k >= 1 && static_cast<std::size_t>(k) < records.size());
        unsigned char record[OptionRecord::kSize];
        Check(ParseHexBytes(row.recordBefore, record, sizeof record));
        Check(row.recordBefore.str() == records[static_cast<std::size_t>(k)].at(History::kRecordBefore));
    }
    return 0;
}
