#include "tools/uidriver/Json.h"

#include <cstdio>

namespace uidriver {

namespace {

void AppendEscaped(std::string& out, unsigned code)
{
    switch (code) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (code >= 0x20 && code < 0x7F) {
        out += static_cast<char>(code);
        return;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code & 0xFFFF);
    out += buf;
}

} // namespace

std::string JsonString(const std::wstring& text)
{
    std::string out = "\"";
    for (wchar_t c : text)
        AppendEscaped(out, static_cast<unsigned>(c) & 0xFFFF);
    return out + "\"";
}

std::string JsonString(const std::string& ascii)
{
    std::string out = "\"";
    for (char c : ascii)
        AppendEscaped(out, static_cast<unsigned char>(c));
    return out + "\"";
}

JsonObject& JsonObject::Raw(const char* key, const std::string& json)
{
    if (!m_body.empty())
        m_body += ",";
    m_body += JsonString(std::string(key)) + ":" + json;
    return *this;
}

JsonObject& JsonObject::Str(const char* key, const std::wstring& text)
{
    return Raw(key, JsonString(text));
}

JsonObject& JsonObject::Str(const char* key, const std::string& ascii)
{
    return Raw(key, JsonString(ascii));
}

JsonObject& JsonObject::Int(const char* key, long long value)
{
    return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(const char* key, bool value)
{
    return Raw(key, value ? "true" : "false");
}

JsonObject& JsonObject::Merge(const JsonObject& other)
{
    if (!other.m_body.empty())
        m_body += (m_body.empty() ? "" : ",") + other.m_body;
    return *this;
}

JsonArray& JsonArray::Push(const std::string& json)
{
    if (!m_body.empty())
        m_body += ",";
    m_body += json;
    return *this;
}

} // namespace uidriver
