// The upgrade history's store in memory, for the tests of the journal and of
// the runs that write it: the lines as appended, their fields, appends that
// fail on request, and a clock that ticks a second per row (or stands still).
#pragma once

#include "text/Csv.h"
#include "upgrade/UpgradeHistory.h"

#include <cstddef>
#include <string>
#include <vector>

class CMemoryHistory : public CHistoryStore {
public:
    bool AppendLine(const CString& line, CString& error) override
    {
        if (failuresLeft > 0) {
            --failuresLeft;
            error = failure;
            return false;
        }
        lines.push_back(line.str());
        return true;
    }

    HistoryTime Now() override
    {
        const HistoryTime now = time;
        time.second += tick;
        return now;
    }

    // The fields of line i (each line is one record), as the history reads
    // them back (without their spreadsheet-safe forms).
    std::vector<std::string> Fields(std::size_t i) const
    {
        CCsvReader reader(lines.at(i).data(), lines.at(i).size());
        std::vector<std::string> fields;
        reader.Next(&fields);
        for (std::size_t column = 0; column < fields.size() && column < History::kColumnCount; ++column)
            fields[column] = HistoryFieldFromFile(static_cast<History::Column>(column), fields[column]).str();
        return fields;
    }

    // One column of every line, in order.
    std::vector<std::string> Column(std::size_t column) const
    {
        std::vector<std::string> values;
        for (std::size_t i = 0; i < lines.size(); ++i)
            values.push_back(Fields(i).at(column));
        return values;
    }

    std::vector<std::string> lines; // each with its CR LF
    int failuresLeft = 0;           // appends that fail from now on
    // The reason a failing append gives, as a history folder words it.
    CString failure = "C:\\app\\History\\upgrades.csv: Access is denied. (error 5)";
    HistoryTime time = {2024, 5, 6, 7, 8, 0};
    int tick = 1; // seconds the clock moves per row
};
