#include "cli/ConsoleBatch.h"

#include "cli/ConsoleReport.h"
#include "cli/ConsoleText.h"
#include "text/FillText.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/OptionFormat.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

// What a line shows for a fact the radio did not tell.
constexpr const char* kNotTold = "-";

// The index of a report column, by its name.
constexpr std::size_t ColumnOf(const char* name)
{
    for (std::size_t i = 0; i < kBatchReportColumnCount; ++i) {
        const char* column = kBatchReportColumns[i];
        std::size_t at = 0;
        while (column[at] && column[at] == name[at])
            ++at;
        if (column[at] == name[at])
            return i;
    }
    return kBatchReportColumnCount;
}

constexpr std::size_t kNumber = ColumnOf("number");
constexpr std::size_t kTime = ColumnOf("time");
constexpr std::size_t kPort = ColumnOf("port");
constexpr std::size_t kModel = ColumnOf("model");
constexpr std::size_t kIdentityText = ColumnOf("identity_text");
constexpr std::size_t kVersion = ColumnOf("version");
constexpr std::size_t kRecordBefore = ColumnOf("record_before");
constexpr std::size_t kRecordAfter = ColumnOf("record_after");
constexpr std::size_t kOutcome = ColumnOf("outcome");
constexpr std::size_t kVerified = ColumnOf("verified");
constexpr std::size_t kSources = ColumnOf("sources");
static_assert(kNumber < kBatchReportColumnCount && kTime < kBatchReportColumnCount &&
                  kPort < kBatchReportColumnCount && kModel < kBatchReportColumnCount &&
                  kIdentityText < kBatchReportColumnCount && kVersion < kBatchReportColumnCount &&
                  kRecordBefore < kBatchReportColumnCount && kRecordAfter < kBatchReportColumnCount &&
                  kOutcome < kBatchReportColumnCount && kVerified < kBatchReportColumnCount &&
                  kSources < kBatchReportColumnCount,
              "every column a line shows is a report column");

CString OrNotTold(const CString& value)
{
    return value.IsEmpty() ? CString(kNotTold) : value;
}

// The option bytes of a record given in hex, as hex; "-" without a record.
CString OptionBytesOf(const CString& recordHex)
{
    const std::string& hex = recordHex.str();
    if (hex.size() < 2 * (OptionRecord::kOptionBytes + kOptionBytesSize))
        return kNotTold;
    return CString(hex.substr(2 * OptionRecord::kOptionBytes, 2 * kOptionBytesSize));
}

} // namespace

CString BatchRowLine(const BatchRow& row, CLanguageTable& texts)
{
    const auto values = BatchReportValues(row);
    CString line = FillText(texts.GetText(TextNo::kCliBatchRow),
                            {values[kNumber], OrNotTold(values[kTime]), values[kPort],
                             OrNotTold(values[kModel]), OrNotTold(values[kIdentityText]),
                             OrNotTold(values[kVersion]), OptionBytesOf(values[kRecordBefore]),
                             OptionBytesOf(values[kRecordAfter]), values[kOutcome]});
    if (!values[kVerified].IsEmpty())
        line += FillText(texts.GetText(TextNo::kCliBatchVerified), {values[kVerified]});
    return line;
}

CString BatchSummaryLine(const BatchSummary& summary, CLanguageTable& texts)
{
    return FillText(texts.GetText(TextNo::kCliBatchSummary),
                    {Number(summary.Total()), Number(summary.written), Number(summary.unchanged),
                     Number(summary.failed), Number(summary.refused), Number(summary.skippedAsDone),
                     Number(summary.stopped)});
}

CString BatchStatusLine(BatchState state, int port, int seconds, CLanguageTable& texts)
{
    int number = TextNo::kCliBatchWaiting;
    switch (state) {
    case BatchState::WaitingForRadio:
        break;
    case BatchState::PortMissing:
        number = TextNo::kCliBatchPortMissing;
        break;
    case BatchState::Upgrading:
        number = TextNo::kCliBatchUpgrading;
        break;
    case BatchState::RemoveRadio:
        number = TextNo::kCliBatchRemove;
        break;
    }
    return FillText(texts.GetText(number), {Number(port), Number(seconds)});
}

CJsonObject BatchRowJson(const BatchRow& row)
{
    const auto values = BatchReportValues(row);
    CJsonObject json;
    // Typed as a single run's report types them: numbers, verified true or
    // false (null without a read-back), the sources a list.
    for (std::size_t i = 0; i < kBatchReportColumnCount; ++i) {
        const char* name = kBatchReportColumns[i];
        if (i == kNumber || i == kPort)
            json.Number(name, i == kNumber ? row.number : row.port);
        else if (i == kVerified && values[i].IsEmpty())
            json.Null(name);
        else if (i == kVerified)
            json.Bool(name, row.result.verified);
        else if (i == kSources)
            json.StringList(name, Utf8List(row.result.sources));
        else
            json.String(name, Utf8FromAnsi(values[i]));
    }
    return json;
}

CJsonObject BatchSummaryJson(const BatchSummary& summary)
{
    CJsonObject json;
    json.Number("total", summary.Total())
        .Number("written", summary.written)
        .Number("unchanged", summary.unchanged)
        .Number("failed", summary.failed)
        .Number("refused", summary.refused)
        .Number("skipped_as_done", summary.skippedAsDone)
        .Number("stopped", summary.stopped);
    return json;
}

std::string BatchReportJson(const std::vector<BatchRow>& rows, const BatchSummary& summary)
{
    std::vector<CJsonObject> objects;
    for (const BatchRow& row : rows)
        objects.push_back(BatchRowJson(row));
    CJsonObject json;
    json.ObjectList("rows", objects).Object("summary", BatchSummaryJson(summary));
    return json.Text() + "\r\n";
}

CConsoleBatchView::CConsoleBatchView(std::FILE* out, std::FILE* err, const ConsoleApi& api,
                                     CLanguageTable& texts, bool rowLines)
    : m_out(out), m_err(err), m_api(api), m_texts(texts), m_rowLines(rowLines), m_inPlace(IsConsole(err, api))
{
}

void CConsoleBatchView::Status(BatchState state, int port, int seconds)
{
    const bool changed = !m_told || state != m_state;
    m_told = true;
    m_state = state;
    const CString line = BatchStatusLine(state, port, seconds, m_texts);
    // A radio's run may print questions and messages: its status stands
    // on a line of its own, above them.
    if (state == BatchState::Upgrading || !m_inPlace) {
        if (changed) {
            ClearStatus();
            Print(m_api, m_err, "%s\n", line.GetString());
            // Whoever watches a redirected stderr sees each change at once.
            std::fflush(m_err);
        }
        return;
    }
    if (m_shown && line == m_line)
        return;
    // Over the line shown, padded over what of it would stay.
    const std::size_t length = static_cast<std::size_t>(line.GetLength());
    const std::string padding(m_shown && m_shownLength > length ? m_shownLength - length : 0, ' ');
    Print(m_api, m_err, "\r%s%s", line.GetString(), padding.c_str());
    std::fflush(m_err);
    m_shown = true;
    m_shownLength = length;
    m_line = line;
}

void CConsoleBatchView::RadioDone(const BatchRow& row)
{
    ClearStatus();
    // The radio's reason goes with it: what failed, or why it was refused.
    if ((row.verdict == BatchVerdict::Failed || row.verdict == BatchVerdict::Refused) &&
        !row.message.IsEmpty()) {
        Print(m_api, m_err, "%s\n", row.message.GetString());
        std::fflush(m_err);
    }
    if (m_rowLines) {
        Print(m_api, m_out, "%s\n", BatchRowLine(row, m_texts).GetString());
        std::fflush(m_out);
    }
    m_told = false;
}

void CConsoleBatchView::EndStatus()
{
    if (m_shown)
        Print(m_api, m_err, "\n");
    m_shown = false;
}

void CConsoleBatchView::ClearStatus()
{
    if (!m_shown)
        return;
    const std::string blank(m_shownLength, ' ');
    Print(m_api, m_err, "\r%s\r", blank.c_str());
    m_shown = false;
}
