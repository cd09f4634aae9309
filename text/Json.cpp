#include "text/Json.h"

#include <cstdio>

namespace {

constexpr unsigned kReplacement = 0xFFFD;

void AppendEscape(std::string& out, unsigned unit)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", unit);
    out += escape;
}

void AppendCodePoint(std::string& out, unsigned code)
{
    switch (code) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
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
    } else if (code < 0x10000) {
        AppendEscape(out, code);
    } else {
        const unsigned offset = code - 0x10000;
        AppendEscape(out, 0xD800 + (offset >> 10));
        AppendEscape(out, 0xDC00 + (offset & 0x3FF));
    }
}

// The code point of the UTF-8 sequence at s[pos], advancing pos past it. An
// ill-formed sequence gives U+FFFD and pos moves past its longest valid
// beginning (at least one byte), as Unicode recommends.
unsigned DecodeUtf8(const std::string& s, std::size_t& pos)
{
    const unsigned char lead = static_cast<unsigned char>(s[pos++]);
    if (lead < 0x80)
        return lead;
    int more = 0;
    unsigned code = 0;
    // The second byte's range excludes overlong forms, surrogates and code
    // points above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        code = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        code = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return kReplacement;
    }
    for (int i = 0; i < more; ++i) {
        if (pos >= s.size())
            return kReplacement;
        const unsigned char next = static_cast<unsigned char>(s[pos]);
        if (next < low || next > high)
            return kReplacement;
        code = (code << 6) | (next & 0x3F);
        ++pos;
        low = 0x80;
        high = 0xBF;
    }
    return code;
}

} // namespace

std::string JsonString(const std::string& utf8)
{
    std::string out = "\"";
    std::size_t pos = 0;
    while (pos < utf8.size())
        AppendCodePoint(out, DecodeUtf8(utf8, pos));
    out += '"';
    return out;
}

std::string JsonList(const std::vector<std::string>& values)
{
    std::string json = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            json += ',';
        json += values[i];
    }
    return json + "]";
}

CJsonObject& CJsonObject::Set(const char* key, std::string json)
{
    for (auto& member : m_members) {
        if (member.first == key) {
            member.second = std::move(json);
            return *this;
        }
    }
    m_members.emplace_back(key, std::move(json));
    return *this;
}

CJsonObject& CJsonObject::String(const char* key, const std::string& utf8)
{
    return Set(key, JsonString(utf8));
}

CJsonObject& CJsonObject::Number(const char* key, long long value)
{
    return Set(key, std::to_string(value));
}

CJsonObject& CJsonObject::Bool(const char* key, bool value)
{
    return Set(key, value ? "true" : "false");
}

CJsonObject& CJsonObject::Null(const char* key)
{
    return Set(key, "null");
}

CJsonObject& CJsonObject::Object(const char* key, const CJsonObject& value)
{
    return Set(key, value.Text());
}

CJsonObject& CJsonObject::StringList(const char* key, const std::vector<std::string>& items)
{
    std::vector<std::string> values;
    for (const std::string& item : items)
        values.push_back(JsonString(item));
    return Set(key, JsonList(values));
}

CJsonObject& CJsonObject::ObjectList(const char* key, const std::vector<CJsonObject>& items)
{
    std::vector<std::string> values;
    for (const CJsonObject& item : items)
        values.push_back(item.Text());
    return Set(key, JsonList(values));
}

CJsonObject& CJsonObject::Raw(const char* key, std::string json)
{
    return Set(key, std::move(json));
}

bool CJsonObject::Has(const char* key) const
{
    for (const auto& member : m_members) {
        if (member.first == key)
            return true;
    }
    return false;
}

std::string CJsonObject::Text() const
{
    std::string text = "{";
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        if (i)
            text += ',';
        text += JsonString(m_members[i].first) + ':' + m_members[i].second;
    }
    return text + "}";
}
