// The console tool's output: its lines on a stream, text as --json takes it,
// and the report a command ends with (named facts as lines on stdout, or one
// --json object).
#pragma once

#include "cli/CliArgs.h"
#include "cli/RunOutcomes.h"
#include "framework/CString.h"
#include "text/Json.h"

#include <cstdio>
#include <string>
#include <vector>

struct ConsoleApi;
struct UpgradeResult;

// printf-style text onto the stream as WriteConsoleText writes it.
void Print(const ConsoleApi& api, std::FILE* stream, const char* format, ...);

// ANSI text (language texts, paths, the transceiver's version) as UTF-8 for
// --json. Text the code page cannot convert goes as it is; the JSON writer
// makes what is not UTF-8 into U+FFFD.
std::string Utf8FromAnsi(const CString& text);

// Each text as Utf8FromAnsi makes it, for a --json list.
std::vector<std::string> Utf8List(const std::vector<CString>& texts);

// A number as the console tool's lines fill it into a text's places.
CString Number(int value);

// What a command found, written once it has ended.
class CConsoleReport {
public:
    // What the run read and wrote, as the report's facts.
    void AddFacts(const UpgradeResult& result, const CliArgs& args);
    // Lines "name: value" and the outcome on out, or the --json object.
    void Write(const CliArgs& args, const CliEnding& ending, const ConsoleApi& api, std::FILE* out) const;

    // The outcome's text as the run named it; empty when it named none.
    CString message;
    std::vector<CString> warnings;
    // The tool's own reason: English for usage errors and a --trace,
    // --entry or --file it cannot use, found before the texts are read; a
    // language text for a refused restore.
    CString error;
    CString portError; // why the port could not be opened
    std::vector<CJsonObject> ports;
    std::vector<CJsonObject> devices; // ports: one per port, in the same order
    std::vector<CJsonObject> rows;    // history, upgrade --each
    CJsonObject summary;              // upgrade --each

private:
    // One named fact: a line "name: value" on stdout, or a member of the
    // --json object of its own type.
    struct Fact {
        enum class Kind { Text, Number, Flag, Pair, List };
        const char* name;
        CString text; // the line's value (and --json's, for Text)
        Kind kind = Kind::Text;
        long long number = 0;
        bool flag = false;
        // Pair: {"before", "after"} in --json, an empty after as null; List:
        // its items.
        std::vector<CString> items{};
        CString line{}; // the line's value where a person reads it otherwise than scripts; empty: text
    };
    std::vector<Fact> m_facts;
};
