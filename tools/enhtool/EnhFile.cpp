#include "tools/enhtool/EnhFile.h"

#include "framework/Hex.h"
#include "upgrade/OptionFileView.h"
#include "upgrade/OptionFormat.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

// Exactly 2 * count hex digits into out, after an optional "0x".
bool ParseHexField(const std::string& text, unsigned char* out, std::size_t count)
{
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::size_t skip = prefixed ? 2 : 0;
    return ParseHexBytes(text.c_str() + skip, text.size() - skip, out, count);
}

// Splits a line into tokens: bare words, or double-quoted text with \xNN,
// \\ and \" escapes (kept as their byte values). A '#' outside quotes ends the
// line. key="..." keeps the key with the unquoted value.
bool Tokenize(const std::string& line, std::vector<std::string>& tokens, std::string& error)
{
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        std::string token;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '#') {
            if (line[i] != '"') {
                token += line[i++];
                continue;
            }
            ++i; // opening quote
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    token += c;
                    continue;
                }
                if (i >= line.size())
                    break;
                const char e = line[i++];
                if (e == 'x') {
                    unsigned char byte = 0;
                    if (i + 2 > line.size() || !ParseHexField(line.substr(i, 2), &byte, 1)) {
                        error = "bad \\x escape";
                        return false;
                    }
                    token += static_cast<char>(byte);
                    i += 2;
                } else {
                    token += e;
                }
            }
            if (!closed) {
                error = "unterminated quote";
                return false;
            }
        }
        tokens.push_back(token);
    }
    return true;
}

bool ParseNumber(const std::string& text, long long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return *end == '\0' && value >= 0;
}

bool ParseEntry(const std::vector<std::string>& tokens, EnhEntry& entry, std::string& error)
{
    bool haveCode = false;
    bool haveMask = false;
    long long type = -1;
    for (std::size_t t = 1; t < tokens.size(); ++t) {
        const std::string& token = tokens[t];
        const std::size_t eq = token.find('=');
        if (eq == std::string::npos) {
            error = "expected key=value, got '" + token + "'";
            return false;
        }
        const std::string key = token.substr(0, eq);
        const std::string value = token.substr(eq + 1);
        if (key == "code") {
            // 8 hex digits, or exactly 4 characters of text.
            if (ParseHexField(value, entry.code.data(), entry.code.size())) {
                haveCode = true;
            } else if (value.size() == entry.code.size()) {
                std::memcpy(entry.code.data(), value.data(), entry.code.size());
                haveCode = true;
            } else {
                error = "code needs 8 hex digits or 4 characters";
                return false;
            }
        } else if (key == "mask") {
            if (!ParseHexField(value, entry.mask.data(), entry.mask.size())) {
                error = "mask needs 16 hex digits";
                return false;
            }
            haveMask = true;
        } else if (key == "type") {
            if (!ParseNumber(value, type) || type > 15) {
                error = "type must be 0 to 15";
                return false;
            }
        } else {
            error = "unknown entry field '" + key + "'";
            return false;
        }
    }
    if (!haveCode) {
        error = "entry without code=";
        return false;
    }
    if (!haveMask)
        entry.mask.fill(0xFF);
    if (type >= 0)
        entry.mask[0] = static_cast<unsigned char>((type << 4) | (entry.mask[0] & 0x0F));
    return true;
}

std::string Printable(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char buffer[8];
        if (bytes[i] == 0)
            break;
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '"' && bytes[i] != '\\')
            text += static_cast<char>(bytes[i]);
        else {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", bytes[i]);
            text += buffer;
        }
    }
    return text;
}

std::string Hex(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%s%02X", i ? " " : "", bytes[i]);
        text += buffer;
    }
    return text;
}

} // namespace

std::vector<unsigned char> BuildEnhFile(const EnhDescription& d)
{
    std::vector<unsigned char> bytes(OptionFile::kHeaderSize, 0);
    std::memcpy(&bytes[OptionFile::kModelName], d.model.data(),
                d.model.size() < kModelNameSize ? d.model.size() : kModelNameSize);
    std::memcpy(&bytes[OptionFile::kMinVersion], d.minVersion.data(),
                d.minVersion.size() < OptionFile::kMinVersionSize ? d.minVersion.size()
                                                                  : OptionFile::kMinVersionSize);
    bytes[OptionFile::kVersionRule] = d.rule;
    for (const EnhEntry& e : d.entries) {
        unsigned char entry[OptionEntry::kSize] = {};
        std::memcpy(entry + OptionEntry::kOptionCode, e.code.data(), e.code.size());
        std::memcpy(entry + OptionEntry::kMask, e.mask.data(), e.mask.size());
        bytes.insert(bytes.end(), entry, entry + sizeof entry);
    }
    // A partial entry: recognisable filler, never a whole entry.
    bytes.insert(bytes.end(), d.tail, 0xEE);
    if (d.size >= 0)
        bytes.resize(static_cast<std::size_t>(d.size), 0);
    return bytes;
}

EnhEntry MakeEnhEntry(const char* codeHex, unsigned type, const char* maskHex)
{
    EnhEntry entry;
    ParseHexField(codeHex, entry.code.data(), entry.code.size());
    ParseHexField(maskHex, entry.mask.data(), entry.mask.size());
    entry.mask[0] = static_cast<unsigned char>(((type & 0x0F) << 4) | (entry.mask[0] & 0x0F));
    return entry;
}

bool ParseEnhDescription(const std::string& text, EnhDescription& d, std::string& error)
{
    d = EnhDescription();
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    bool haveModel = false;
    std::vector<std::string> tokens;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        std::string why;
        if (!Tokenize(line, tokens, why)) {
            error = where + why;
            return false;
        }
        if (tokens.empty())
            continue;
        const std::string& key = tokens[0];
        const bool oneValue = tokens.size() == 2;
        long long number = 0;
        if (key == "entry") {
            EnhEntry entry;
            if (!ParseEntry(tokens, entry, why)) {
                error = where + why;
                return false;
            }
            d.entries.push_back(entry);
        } else if (!oneValue) {
            error = where + "'" + key + "' takes one value";
            return false;
        } else if (key == "model") {
            if (tokens[1].size() > kModelNameSize) {
                error = where + "a model name has at most 12 bytes";
                return false;
            }
            d.model = tokens[1];
            haveModel = true;
        } else if (key == "min-version") {
            if (tokens[1].size() > OptionFile::kMinVersionSize) {
                error = where + "a minimum version has at most 6 bytes";
                return false;
            }
            d.minVersion = tokens[1];
        } else if (key == "rule") {
            const std::string& v = tokens[1];
            if (v == "required")
                d.rule = OptionFile::kRuleRequired;
            else if (v == "recommended")
                d.rule = '0';
            else if (v.size() == 1)
                d.rule = static_cast<unsigned char>(v[0]);
            else if (ParseNumber(v, number) && number <= 255)
                d.rule = static_cast<unsigned char>(number);
            else {
                error = where + "rule is required, recommended, one character or a byte value";
                return false;
            }
        } else if (key == "tail") {
            if (!ParseNumber(tokens[1], number) || number >= static_cast<long long>(OptionEntry::kSize)) {
                error = where + "tail is 0 to 23 bytes";
                return false;
            }
            d.tail = static_cast<std::size_t>(number);
        } else if (key == "size") {
            if (!ParseNumber(tokens[1], number) || number > (1LL << 30)) {
                error = where + "size is a byte count";
                return false;
            }
            d.size = number;
        } else {
            error = where + "unknown keyword '" + key + "'";
            return false;
        }
    }
    if (!haveModel) {
        error = "no model line";
        return false;
    }
    return true;
}

int DescribeEnhFile(const std::vector<unsigned char>& bytes, std::string& report)
{
    std::ostringstream out;
    int warnings = 0;
    const COptionFileView file(bytes);
    out << "size:        " << bytes.size() << " bytes\n";
    if (!file.HasHeader()) {
        out << "warning: only " << bytes.size() << " of the " << OptionFile::kHeaderSize
            << " header bytes: not an option file\n";
        report = out.str();
        return 1;
    }
    const unsigned char* header = file.Header();
    const unsigned char rule = header[OptionFile::kVersionRule];
    out << "model:       \"" << Printable(header + OptionFile::kModelName, kModelNameSize) << "\"  ("
        << Hex(header + OptionFile::kModelName, kModelNameSize) << ")\n";
    out << "min version: \"" << Printable(header + OptionFile::kMinVersion, OptionFile::kMinVersionSize)
        << "\"  (" << Hex(header + OptionFile::kMinVersion, OptionFile::kMinVersionSize) << ")\n";
    out << "rule:        " << Hex(&rule, 1)
        << (rule == OptionFile::kRuleRequired ? "  required" : "  recommended") << "\n";
    const std::size_t count = file.EntryCount();
    out << "entries:     " << count << "\n";
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = file.Entry(i);
        out << "  #" << i << "  code " << Hex(entry + OptionEntry::kOptionCode, kOptionCodeSize) << "  type "
            << EntryType(entry) << "  mask " << Hex(entry + OptionEntry::kMask, kOptionBytesSize)
            << (EntryType(entry) == 0 ? "  (type 0: ends the folder selection)" : "") << "\n";
    }
    const std::size_t partial = (bytes.size() - OptionFile::kHeaderSize) % OptionEntry::kSize;
    if (partial != 0) {
        out << "warning: " << partial << " bytes after the last whole entry (a partial entry, ignored)\n";
        ++warnings;
    }
    report = out.str();
    return warnings;
}
