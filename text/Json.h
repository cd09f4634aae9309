// JSON written member by member: the console tool's --json answer and the UI
// driver's answers. Strings may hold any bytes; they are read as UTF-8 (the
// callers convert ANSI or UTF-16 texts first), and what is not valid UTF-8
// becomes U+FFFD, so the output is valid JSON whatever it is given. The
// output is plain ASCII (every other character escaped), so it survives any
// console code page or pipe. Portable: no windows.h.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A JSON string literal, quotes included.
std::string JsonString(const std::string& utf8);

// A JSON array of values already written as JSON.
std::string JsonList(const std::vector<std::string>& values);

class CJsonObject {
public:
    // Each setter adds the member, or replaces the value of a member of that
    // name where it stands.
    CJsonObject& String(const char* key, const std::string& utf8);
    CJsonObject& Number(const char* key, long long value);
    CJsonObject& Bool(const char* key, bool value);
    CJsonObject& Null(const char* key);
    CJsonObject& Object(const char* key, const CJsonObject& value);
    CJsonObject& StringList(const char* key, const std::vector<std::string>& items);
    CJsonObject& ObjectList(const char* key, const std::vector<CJsonObject>& items);
    // A value already written as JSON (an object or a list built elsewhere).
    CJsonObject& Raw(const char* key, std::string json);

    bool Has(const char* key) const;
    // The object on one line, without a line break.
    std::string Text() const;

private:
    CJsonObject& Set(const char* key, std::string json);

    std::vector<std::pair<std::string, std::string>> m_members; // key, rendered value
};
