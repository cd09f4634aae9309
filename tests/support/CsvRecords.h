// Every record the CSV reader takes from a text, each as its fields.
#pragma once

#include "text/Csv.h"

#include <string>
#include <vector>

using CsvRecords = std::vector<std::vector<std::string>>;

inline CsvRecords ReadCsvRecords(const std::string& text)
{
    CCsvReader reader(text.data(), text.size());
    CsvRecords records;
    std::vector<std::string> fields;
    while (reader.Next(&fields))
        records.push_back(fields);
    return records;
}
