#include "tools/uidriver/Args.h"

#include "framework/Hex.h"

#include <windows.h>

#include <cwchar>

namespace uidriver {

namespace {

std::wstring KeyName(const char* key)
{
    std::wstring name;
    for (const char* p = key; *p; ++p)
        name += static_cast<wchar_t>(*p);
    return name;
}

} // namespace

bool Args::Has(const char* key) const
{
    return m_values.count(KeyName(key)) != 0;
}

std::wstring Args::Str(const char* key) const
{
    auto it = m_values.find(KeyName(key));
    if (it == m_values.end())
        throw DriverError(std::string("missing --") + key);
    return it->second;
}

std::wstring Args::Str(const char* key, const std::wstring& fallback) const
{
    auto it = m_values.find(KeyName(key));
    return it == m_values.end() ? fallback : it->second;
}

long long Args::Int(const char* key) const
{
    try {
        return ParseNumber(Str(key));
    } catch (const DriverError&) {
        throw DriverError(std::string("--") + key + " needs a number");
    }
}

long long Args::Int(const char* key, long long fallback) const
{
    return Has(key) ? Int(key) : fallback;
}

Args ParseArgs(const std::vector<std::wstring>& tokens)
{
    Args args;
    if (tokens.empty())
        throw DriverError("no command");
    args.command = tokens[0];
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::wstring& token = tokens[i];
        if (token.size() < 3 || token.compare(0, 2, L"--") != 0)
            throw DriverError("unexpected argument " + WideToUtf8(token));
        std::wstring key = token.substr(2);
        if (i + 1 < tokens.size() && tokens[i + 1].compare(0, 2, L"--") != 0) {
            args.Set(key, tokens[i + 1]);
            ++i;
        } else {
            args.Set(key, L"1");
        }
    }
    return args;
}

namespace {

std::wstring PercentDecode(const std::string& raw)
{
    std::string bytes;
    for (size_t i = 0; i < raw.size(); ++i) {
        const int byte = raw[i] == '%' && i + 2 < raw.size() ? HexByte(raw[i + 1], raw[i + 2]) : -1;
        if (byte >= 0) {
            bytes += static_cast<char>(byte);
            i += 2;
        } else {
            bytes += raw[i];
        }
    }
    return Utf8ToWide(bytes);
}

} // namespace

Args ParseServeLine(const std::string& line)
{
    std::vector<std::string> raw;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t end = line.find_first_of(" \t\r\n", pos);
        if (end == std::string::npos)
            end = line.size();
        if (end > pos)
            raw.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    Args args;
    if (raw.empty())
        throw DriverError("no command");
    args.command = PercentDecode(raw[0]);
    for (size_t i = 1; i < raw.size(); ++i) {
        if (raw[i].size() < 3 || raw[i].compare(0, 2, "--") != 0)
            throw DriverError("unexpected argument " + raw[i]);
        std::wstring key = Utf8ToWide(raw[i].substr(2));
        if (i + 1 < raw.size() && raw[i + 1].compare(0, 2, "--") != 0) {
            args.Set(key, PercentDecode(raw[i + 1]));
            ++i;
        } else {
            args.Set(key, L"1");
        }
    }
    return args;
}

std::wstring Utf8ToWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

long long ParseNumber(const std::wstring& text)
{
    if (text.empty())
        throw DriverError("empty number");
    wchar_t* end = nullptr;
    long long value = std::wcstoll(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != L'\0')
        throw DriverError("not a number: " + WideToUtf8(text));
    return value;
}

std::vector<long long> ParseNumberList(const std::wstring& text)
{
    std::vector<long long> values;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(L", ", pos);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > pos)
            values.push_back(ParseNumber(text.substr(pos, end - pos)));
        pos = end + 1;
    }
    return values;
}

} // namespace uidriver
