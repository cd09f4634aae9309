#include "cli/ConsoleReport.h"

#include "cli/ConsoleText.h"
#include "framework/Hex.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"
#include "upgrade/UpgradeResult.h"

#include <windows.h>

#include <array>
#include <climits>
#include <cstdarg>

void Print(const ConsoleApi& api, std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
        WriteConsoleText(stream, text, api);
    }
    va_end(again);
}

CString Number(int value)
{
    CString text;
    text.Format("%d", value);
    return text;
}

std::string Utf8FromAnsi(const CString& text)
{
    const std::string& ansi = text.str();
    const std::wstring wide = WideFromAnsi(ansi);
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return ansi;
    const int wideSize = static_cast<int>(wide.size());
    const int utf8Size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    if (utf8Size <= 0)
        return ansi;
    std::string utf8(static_cast<std::size_t>(utf8Size), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, &utf8[0], utf8Size, nullptr, nullptr) !=
        utf8Size)
        return ansi;
    return utf8;
}

std::vector<std::string> Utf8List(const std::vector<CString>& texts)
{
    std::vector<std::string> utf8;
    for (const CString& text : texts)
        utf8.push_back(Utf8FromAnsi(text));
    return utf8;
}

void CConsoleReport::AddFacts(const UpgradeResult& result, const CliArgs& args)
{
    using Kind = Fact::Kind;
    const auto optionBytes = [](const std::array<unsigned char, OptionRecord::kSize>& record) {
        return HexLower(record.data() + OptionRecord::kOptionBytes, kOptionBytesSize);
    };
    // A refused model ends before its record is read: the model read is
    // what the technician needs to see then.
    if (result.recordRead || (result.identityRead && result.outcome == UpgradeOutcome::RefusedModel)) {
        m_facts.push_back({"model", HistoryModelName(result.identity.data())});
        m_facts.push_back({"identity", HexLower(result.identity.data(), result.identity.size())});
        // As the radio's label reads, where its bytes are printable.
        m_facts.push_back({"identity_text", PrintableIdentity(result.identity.data())});
    }
    if (result.recordRead) {
        m_facts.push_back({"version", result.version});
        if (args.command == CliCommand::Identify) {
            const unsigned char* record = result.recordBefore.data();
            const unsigned type = OptionType(record[OptionRecord::kOptionBytes]);
            CString typeText;
            typeText.Format("%u", type);
            m_facts.push_back({"option_code", HexLower(record + OptionRecord::kOptionCode, kOptionCodeSize)});
            m_facts.push_back({"option_type", typeText, Kind::Number, type});
            // The same object as a write's, with nothing after: identify
            // plans none.
            const CString now = optionBytes(result.recordBefore);
            m_facts.push_back({"option_bytes", now, Kind::Pair, 0, false, {now, CString()}});
        }
        m_facts.push_back(
            {"record_before", HexLower(result.recordBefore.data(), result.recordBefore.size())});
    }
    // The record after: the one sent, or the one a preview would send; a run
    // stopped before its write (interrupted, no history) names none.
    const bool previewed =
        result.outcome == UpgradeOutcome::Planned || result.outcome == UpgradeOutcome::Unchanged;
    if (result.recordPlanned && (result.writeTried || previewed)) {
        m_facts.push_back({"record_after", HexLower(result.recordAfter.data(), result.recordAfter.size())});
        // The option bytes now and after, written or previewed: on the line
        // in pairs with the changed ones marked, in --json plain.
        const MarkedHex marked = MarkedOptionBytes(result.recordBefore, result.recordAfter);
        const CString before = optionBytes(result.recordBefore);
        const CString after = optionBytes(result.recordAfter);
        m_facts.push_back({"option_bytes",
                           before + " -> " + after,
                           Kind::Pair,
                           0,
                           false,
                           {before, after},
                           marked.before + " -> " + marked.after});
        m_facts.push_back(
            {"sources", JoinHistorySources(result.sources), Kind::List, 0, false, result.sources});
    }
    if (args.verify && result.writeTried) {
        if (result.readBack && !result.verified) {
            if (result.identityReadBack != result.identity) {
                m_facts.push_back({"identity_read_back",
                                   HexLower(result.identityReadBack.data(), result.identityReadBack.size())});
            }
            m_facts.push_back(
                {"record_read_back", HexLower(result.recordReadBack.data(), result.recordReadBack.size())});
        }
        if (result.readBack || result.verifyStopped || result.outcome == UpgradeOutcome::VerifyFailed)
            m_facts.push_back({"verified", result.verified ? "yes" : "no", Kind::Flag, 0, result.verified});
    }
}

void CConsoleReport::Write(const CliArgs& args, const CliEnding& ending, const ConsoleApi& api,
                           std::FILE* out) const
{
    if (!args.json) {
        for (const Fact& fact : m_facts)
            Print(api, out, "%s: %s\n", fact.name, (fact.line.IsEmpty() ? fact.text : fact.line).GetString());
        // A listing ends with its lines; support with the path it printed.
        if (args.command != CliCommand::Ports && args.command != CliCommand::History &&
            args.command != CliCommand::Support)
            Print(api, out, "outcome: %s\n", ending.word);
        std::fflush(out);
        return;
    }
    CJsonObject json;
    json.String("command", CliCommandName(args.command));
    json.Number("exit", ending.exit);
    json.String("outcome", ending.word);
    if (args.port)
        json.Number("port", args.port);
    else
        json.Null("port");
    json.String("message", Utf8FromAnsi(message));
    for (const Fact& fact : m_facts) {
        switch (fact.kind) {
        case Fact::Kind::Number:
            json.Number(fact.name, fact.number);
            break;
        case Fact::Kind::Flag:
            json.Bool(fact.name, fact.flag);
            break;
        case Fact::Kind::Pair: {
            CJsonObject pair;
            pair.String("before", Utf8FromAnsi(fact.items.at(0)));
            if (fact.items.at(1).IsEmpty())
                pair.Null("after");
            else
                pair.String("after", Utf8FromAnsi(fact.items.at(1)));
            json.Object(fact.name, pair);
            break;
        }
        case Fact::Kind::List:
            json.StringList(fact.name, Utf8List(fact.items));
            break;
        case Fact::Kind::Text:
            json.String(fact.name, Utf8FromAnsi(fact.text));
            break;
        }
    }
    if (args.command == CliCommand::Ports) {
        json.ObjectList("ports", ports);
        json.ObjectList("devices", devices);
    }
    if (args.command == CliCommand::History || args.each)
        json.ObjectList("rows", rows);
    if (args.each)
        json.Object("summary", summary);
    json.StringList("warnings", Utf8List(warnings));
    if (!error.IsEmpty())
        json.String("error", Utf8FromAnsi(error));
    if (!portError.IsEmpty())
        json.String("port_error", Utf8FromAnsi(portError));
    Print(api, out, "%s\n", json.Text().c_str());
    std::fflush(out);
}
