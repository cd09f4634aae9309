#include "cli/ConsoleReport.h"

#include "cli/ConsoleText.h"
#include "framework/Hex.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeHistory.h"
#include "upgrade/UpgradeResult.h"

#include <windows.h>

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

void CConsoleReport::AddFacts(const UpgradeResult& result, const CliArgs& args)
{
    if (result.recordRead) {
        m_facts.push_back({"model", HistoryModelName(result.identity.data())});
        m_facts.push_back({"identity", HexLower(result.identity.data(), result.identity.size())});
        m_facts.push_back({"version", result.version});
        if (args.command == CliCommand::Identify) {
            const unsigned char* record = result.recordBefore.data();
            const unsigned type = OptionType(record[OptionRecord::kOptionBytes]);
            CString typeText;
            typeText.Format("%u", type);
            m_facts.push_back({"option_code", HexLower(record + OptionRecord::kOptionCode, kOptionCodeSize)});
            m_facts.push_back({"option_type", typeText, true, type});
            m_facts.push_back(
                {"option_bytes", HexLower(record + OptionRecord::kOptionBytes, kOptionBytesSize)});
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
        if (!result.writeTried) {
            // What a preview is for: the option bytes now and after; on the
            // line in pairs with the changed ones marked, in --json plain.
            const MarkedHex marked = MarkedOptionBytes(result.recordBefore, result.recordAfter);
            m_facts.push_back(
                {"option_bytes",
                 HexLower(result.recordBefore.data() + OptionRecord::kOptionBytes, kOptionBytesSize) +
                     " -> " +
                     HexLower(result.recordAfter.data() + OptionRecord::kOptionBytes, kOptionBytesSize),
                 false, 0, marked.before + " -> " + marked.after});
        }
        m_facts.push_back({"sources", JoinHistorySources(result.sources)});
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
            m_facts.push_back({"verified", result.verified ? "yes" : "no"});
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
        if (fact.isNumber)
            json.Number(fact.name, fact.number);
        else
            json.String(fact.name, Utf8FromAnsi(fact.text));
    }
    if (args.command == CliCommand::Ports)
        json.ObjectList("ports", ports);
    if (args.command == CliCommand::History || args.each)
        json.ObjectList("rows", rows);
    if (args.each)
        json.Object("summary", summary);
    std::vector<std::string> utf8Warnings;
    for (const CString& warning : warnings)
        utf8Warnings.push_back(Utf8FromAnsi(warning));
    json.StringList("warnings", utf8Warnings);
    if (!error.IsEmpty())
        json.String("error", Utf8FromAnsi(error));
    if (!portError.IsEmpty())
        json.String("port_error", Utf8FromAnsi(portError));
    Print(api, out, "%s\n", json.Text().c_str());
    std::fflush(out);
}
