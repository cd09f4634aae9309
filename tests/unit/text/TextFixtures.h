// Helpers for the language-table tests: small language files built in code,
// and temporary folders that clean up after themselves.
#pragma once

#include "tests/support/TempFolder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace textfixtures {

// The key numbers of the texts every language file holds, in text-number
// order, as the file writes them.
inline const std::vector<std::string>& Keys()
{
    static const std::vector<std::string> keys = {
        "10000001", "10000101", "10000102", "10000103", "10000201", "10000202", "10000203", "10000204",
        "10000205", "10001001", "10001002", "10001003", "10001004", "10001005", "10001006", "10002001",
        "10002002", "10002003", "10002004", "10002005", "10002006", "10002007", "10003001", "10003002",
        "10003003", "10003101", "10003201", "10003301", "10005001", "10005002", "10005003", "10005004",
        "10005101", "10005102", "10010001", "10010002", "10010003", "10010004", "10010005", "10010006",
        "10010007", "10010008", "10010009", "10020001", "10020002", "10020003", "10020004", "10020005",
    };
    return keys;
}

inline int TextCount()
{
    return static_cast<int>(Keys().size());
}

// A language file as rows; Text() joins them with LF.
struct LanguageFile {
    std::vector<std::string> rows;

    // "*Language,English" and one row "^#<key>,Text <n>" per text.
    static LanguageFile Valid()
    {
        LanguageFile f;
        f.rows.push_back("*Language,English");
        for (size_t n = 0; n < Keys().size(); ++n)
            f.rows.push_back("^#" + Keys()[n] + ",Text " + std::to_string(n));
        return f;
    }
    // Row index of text n in a file made by Valid().
    static size_t RowOf(int n) { return static_cast<size_t>(n) + 1; }

    LanguageFile& Set(int n, const std::string& fields)
    {
        rows[RowOf(n)] = "^#" + Keys()[static_cast<size_t>(n)] + "," + fields;
        return *this;
    }
    std::string Text(const std::string& lineEnd = "\n") const
    {
        std::string text;
        for (const std::string& row : rows)
            text += row + lineEnd;
        return text;
    }
};

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace textfixtures
