// Command arguments: a command name followed by "--key value" pairs and bare
// "--flag"s. The same shape serves the command line and the serve mode.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace uidriver {

// A failed command; the dispatcher turns it into {"ok":false,"error":...}.
class DriverError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Args {
public:
    std::wstring command;

    bool Has(const char* key) const;
    std::wstring Str(const char* key) const; // required
    std::wstring Str(const char* key, const std::wstring& fallback) const;
    long long Int(const char* key) const; // required; decimal or 0x hex
    long long Int(const char* key, long long fallback) const;
    bool Flag(const char* key) const { return Has(key); }

    void Set(const std::wstring& key, const std::wstring& value) { m_values[key] = value; }

private:
    std::map<std::wstring, std::wstring> m_values;
};

// tokens[0] is the command. A "--key" takes the next token as its value
// unless that token is another "--key" (then it is a flag).
Args ParseArgs(const std::vector<std::wstring>& tokens);

// Serve mode: one line of space-separated tokens. Keys are literal; the
// command and the values are percent-encoded UTF-8, so a value may hold
// spaces or begin with "--" without being taken for a key.
Args ParseServeLine(const std::string& line);

std::wstring Utf8ToWide(const std::string& text);
// Window texts are UTF-16; the JSON writer of the answers (text/Json.h) takes
// UTF-8, so every text goes through here on its way out.
std::string WideToUtf8(const std::wstring& text);
long long ParseNumber(const std::wstring& text);
// "7e,7f,0x80" or "126 127": a list of numbers.
std::vector<long long> ParseNumberList(const std::wstring& text);

} // namespace uidriver
