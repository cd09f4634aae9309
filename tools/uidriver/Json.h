// A minimal JSON writer for the driver's one-line answers. Strings are
// written as pure ASCII (\uXXXX for everything else), so the answer survives
// any code page on the pipe.
#pragma once

#include <string>

namespace uidriver {

std::string JsonString(const std::wstring& text);
std::string JsonString(const std::string& ascii);

// Builds one JSON object: {"key": value, ...}.
class JsonObject {
public:
    JsonObject& Raw(const char* key, const std::string& json);
    JsonObject& Str(const char* key, const std::wstring& text);
    JsonObject& Str(const char* key, const std::string& ascii);
    JsonObject& Int(const char* key, long long value);
    JsonObject& Bool(const char* key, bool value);
    // Appends the fields of another object.
    JsonObject& Merge(const JsonObject& other);
    std::string Dump() const { return "{" + m_body + "}"; }

private:
    std::string m_body;
};

// Builds one JSON array of already rendered values.
class JsonArray {
public:
    JsonArray& Push(const std::string& json);
    std::string Dump() const { return "[" + m_body + "]"; }

private:
    std::string m_body;
};

} // namespace uidriver
