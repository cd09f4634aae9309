#include "upgrade/UpgradeHistory.h"

#include "framework/Hex.h"
#include "text/Csv.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/UpgradeResult.h"

#include <algorithm>
#include <cstring>
#include <utility>

const char* const History::kColumnNames[History::kColumnCount] = {
    "time",    "program",       "port",         "model",   "identity",
    "version", "record_before", "record_after", "sources", "outcome",
};

namespace {

bool IsControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// The row's members in file order.
constexpr CString HistoryRow::*kRowColumns[History::kColumnCount] = {
    &HistoryRow::time,     &HistoryRow::program, &HistoryRow::port,         &HistoryRow::model,
    &HistoryRow::identity, &HistoryRow::version, &HistoryRow::recordBefore, &HistoryRow::recordAfter,
    &HistoryRow::sources,  &HistoryRow::outcome,
};

bool IsTextColumn(History::Column column)
{
    return column == History::kModel || column == History::kVersion || column == History::kSources;
}

bool IsHexColumn(History::Column column)
{
    return column == History::kIdentity || column == History::kRecordBefore ||
           column == History::kRecordAfter;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Bytes a spreadsheet takes as the start of a formula, or drops or bends at
// the start of a cell; the apostrophe itself so that every field reads back.
bool StartsLikeFormula(const std::string& text)
{
    return !text.empty() && text[0] != '\0' && std::strchr("=+-@\t\r'", text[0]) != nullptr;
}

// Decimal digits only, or digits around one e: a spreadsheet reads both as
// a number (rounding a long one, 12e45 as an exponent).
bool ReadsAsNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    if (i == 0)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != 'e' && text[i] != 'E')
        return false;
    const std::size_t exponent = ++i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i > exponent && i == text.size();
}

// A hex field as a formula that yields the text: a spreadsheet keeps it.
constexpr const char* kTextFormulaOpen = "=\"";
constexpr const char* kTextFormulaClose = "\"";

HistoryRow RowFromFields(const std::vector<std::string>& fields)
{
    HistoryRow row;
    for (std::size_t column = 0; column < History::kColumnCount && column < fields.size(); ++column)
        row.*kRowColumns[column] = HistoryFieldFromFile(static_cast<History::Column>(column), fields[column]);
    return row;
}

bool EndsWithLineBreak(const std::string& bytes)
{
    return !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r');
}

CString JoinFields(const std::vector<CString>& fields, const char* separator)
{
    CString line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += separator;
        line += fields[i];
    }
    return line;
}

} // namespace

CString History::RestoreRowSource(int row)
{
    CString source;
    source.Format("%s%d", kRestoreSourcePrefix, row);
    return source;
}

CString History::RestoreRecordSource()
{
    return CString(kRestoreSourcePrefix) + "record";
}

CString FormatHistoryTime(const HistoryTime& time)
{
    CString text;
    text.Format("%04d-%02d-%02dT%02d:%02d:%02d", time.year, time.month, time.day, time.hour, time.minute,
                time.second);
    return text + HistoryTimeOffset(time);
}

CString HistoryTimeOffset(const HistoryTime& time)
{
    CString offset;
    if (time.hasOffset) {
        const int minutes = time.offsetMinutes < 0 ? -time.offsetMinutes : time.offsetMinutes;
        offset.Format("%c%02d:%02d", time.offsetMinutes < 0 ? '-' : '+', minutes / 60, minutes % 60);
    }
    return offset;
}

namespace {

// count decimal digits at text[at]; false when any is not one.
bool ReadDigits(const std::string& text, std::size_t at, std::size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

bool ParseHistoryTime(const CString& text, HistoryTime& time)
{
    // "YYYY-MM-DDTHH:MM:SS", then nothing, "Z" or "+HH:MM" / "-HH:MM".
    constexpr std::size_t kLocalLength = 19;
    const std::string& t = text.str();
    HistoryTime read;
    if (t.size() < kLocalLength || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
        t[16] != ':' || !ReadDigits(t, 0, 4, read.year) || !ReadDigits(t, 5, 2, read.month) ||
        !ReadDigits(t, 8, 2, read.day) || !ReadDigits(t, 11, 2, read.hour) ||
        !ReadDigits(t, 14, 2, read.minute) || !ReadDigits(t, 17, 2, read.second))
        return false;
    if (t.size() == kLocalLength + 1 && t[kLocalLength] == 'Z') {
        read.hasOffset = true;
    } else if (t.size() == kLocalLength + 6) {
        const char sign = t[kLocalLength];
        int hours = 0;
        int minutes = 0;
        if ((sign != '+' && sign != '-') || t[kLocalLength + 3] != ':' ||
            !ReadDigits(t, kLocalLength + 1, 2, hours) || !ReadDigits(t, kLocalLength + 4, 2, minutes) ||
            minutes > 59)
            return false;
        read.hasOffset = true;
        read.offsetMinutes = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
    } else if (t.size() != kLocalLength) {
        return false;
    }
    time = read;
    return true;
}

CString HistoryHeaderLine()
{
    const std::vector<CString> names(std::begin(History::kColumnNames), std::end(History::kColumnNames));
    return JoinFields(names, ",") + History::kLineEnd;
}

CString JoinHistorySources(const std::vector<CString>& sources)
{
    return JoinFields(sources, CString(History::kSourceSeparator));
}

std::vector<CString> SplitHistorySources(const CString& column)
{
    std::vector<CString> sources;
    const std::string& text = column.str();
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(History::kSourceSeparator, start);
        if (end == std::string::npos)
            end = text.size();
        sources.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return sources;
}

CString FormatHistoryLine(const HistoryRow& row)
{
    std::vector<CString> fields;
    for (std::size_t column = 0; column < History::kColumnCount; ++column)
        fields.push_back(QuoteCsvField(
            HistoryFieldToFile(static_cast<History::Column>(column), row.*kRowColumns[column])));
    return JoinFields(fields, ",") + History::kLineEnd;
}

CString HistoryFieldToFile(History::Column column, const CString& value)
{
    if (IsTextColumn(column) && StartsLikeFormula(value.str()))
        return "'" + value;
    if (IsHexColumn(column) && ReadsAsNumber(value.str()))
        return kTextFormulaOpen + value + kTextFormulaClose;
    return value;
}

CString HistoryFieldFromFile(History::Column column, const std::string& field)
{
    if (IsTextColumn(column) && !field.empty() && field[0] == '\'')
        return CString(field.substr(1));
    const std::size_t open = std::strlen(kTextFormulaOpen);
    const std::size_t close = std::strlen(kTextFormulaClose);
    if (IsHexColumn(column) && field.size() >= open + close &&
        field.compare(0, open, kTextFormulaOpen) == 0 &&
        field.compare(field.size() - close, close, kTextFormulaClose) == 0)
        return CString(field.substr(open, field.size() - open - close));
    return CString(field);
}

CString HistorySideFileName(const HistoryTime& time, unsigned long processId)
{
    CString name;
    name.Format("%s%04d%02d%02d-%02d%02d%02d-%lu%s", History::kSideFilePrefix, time.year, time.month,
                time.day, time.hour, time.minute, time.second, processId, History::kSideFileSuffix);
    return name;
}

bool IsHistorySideFileName(const char* name)
{
    // upgrades-, 8 digits, -, 6 digits, -, 1 to 10 digits, .csv
    const std::string text = name ? name : "";
    const std::string prefix = History::kSideFilePrefix;
    const std::string suffix = History::kSideFileSuffix;
    if (text.size() < prefix.size() + suffix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string middle = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    const auto digits = [&](std::size_t from, std::size_t count) {
        return from + count <= middle.size() &&
               std::all_of(middle.begin() + from, middle.begin() + from + count, IsDigit);
    };
    const std::size_t pid = 8 + 1 + 6 + 1;
    return middle.size() > pid && middle.size() <= pid + 10 && digits(0, 8) && middle[8] == '-' &&
           digits(9, 6) && middle[15] == '-' && digits(pid, middle.size() - pid);
}

void AppendHistoryDataRows(std::string& history, const std::string& file)
{
    CCsvReader reader(file.data(), file.size());
    if (!reader.Next(nullptr)) // the header
        return;
    const std::size_t rows = reader.Position();
    if (rows >= file.size())
        return;
    if (!history.empty() && !EndsWithLineBreak(history))
        history += History::kLineEnd;
    history.append(file, rows, std::string::npos);
    if (!EndsWithLineBreak(history))
        history += History::kLineEnd;
}

namespace {

CString ModelNameText(const unsigned char* name)
{
    std::size_t length = 0;
    while (length < kModelNameSize && name[length] != 0)
        ++length;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    std::string model(reinterpret_cast<const char*>(name), length);
    for (char& c : model) {
        if (IsControlByte(static_cast<unsigned char>(c)))
            c = '?';
    }
    return CString(model);
}

} // namespace

CString HistoryModelName(const unsigned char* identity)
{
    return ModelNameText(identity + IdentityBlock::kModelName);
}

CString RecordModelName(const unsigned char* record)
{
    return ModelNameText(record + OptionRecord::kModelName);
}

CString OptionFileModelName(const unsigned char* header)
{
    return ModelNameText(header + OptionFile::kModelName);
}

bool HistoryRowMatches(const HistoryRow& row, const unsigned char* identity)
{
    unsigned char rowIdentity[IdentityBlock::kSize];
    return row.model == HistoryModelName(identity) &&
           ParseHexBytes(row.identity, rowIdentity, IdentityBlock::kSize) &&
           std::equal(rowIdentity, rowIdentity + IdentityBlock::kSize, identity);
}

bool CheckHistorySize(unsigned long long size, CString& error)
{
    if (size <= History::kMaxFileSize)
        return true;
    error.Format("the history is larger than %u MiB", static_cast<unsigned>(History::kMaxFileSize >> 20));
    return false;
}

bool FindHistoryRow(const char* data, std::size_t size, int k, HistoryRow& row, CString& error)
{
    if (!CheckHistorySize(size, error))
        return false;
    if (k < 1) {
        error.Format("there is no row %d: rows count from 1", k);
        return false;
    }
    CCsvReader reader(data, size);
    if (!reader.Next(nullptr)) {
        error = "the history is empty";
        return false;
    }
    std::vector<std::string> fields;
    for (int read = 0; read < k; ++read) {
        if (!reader.Next(read + 1 == k ? &fields : nullptr)) {
            error.Format("the history has no row %d (it has %d)", k, read);
            return false;
        }
    }

    HistoryRow found = RowFromFields(fields);
    unsigned char record[OptionRecord::kSize];
    if (!ParseHexBytes(found.recordBefore, record, sizeof record)) {
        error.Format("row %d holds no record: its %s is not %u hex digits", k,
                     History::kColumnNames[History::kRecordBefore],
                     static_cast<unsigned>(2 * OptionRecord::kSize));
        return false;
    }
    row = std::move(found);
    return true;
}

bool ListHistoryRows(const char* data, std::size_t size, std::vector<HistoryListing>& rows, CString& error)
{
    if (!CheckHistorySize(size, error))
        return false;
    std::vector<HistoryListing> listed;
    CCsvReader reader(data, size);
    if (reader.Next(nullptr)) { // the header
        std::vector<std::string> fields;
        while (reader.Next(&fields)) {
            HistoryListing listing;
            listing.number = static_cast<int>(listed.size()) + 1;
            listing.row = RowFromFields(fields);
            unsigned char record[OptionRecord::kSize];
            listing.damaged = fields.size() != History::kColumnCount ||
                              !ParseHexBytes(listing.row.recordBefore, record, sizeof record);
            listed.push_back(std::move(listing));
        }
    }
    rows = std::move(listed);
    return true;
}

CHistoryJournal::CHistoryJournal(CHistoryStore& store, const char* program, int port)
    : m_store(store), m_program(program), m_port(port)
{
}

void CHistoryJournal::RecordRead(const UpgradeResult& result)
{
    m_row = HistoryRow{};
    m_row.program = m_program;
    m_row.port.Format("%d", m_port);
    m_row.model = HistoryModelName(result.identity.data());
    m_row.identity = HexLower(result.identity.data(), result.identity.size());
    m_row.version = result.version;
    m_row.recordBefore = HexLower(result.recordBefore.data(), result.recordBefore.size());
    m_recordRead = true;
    m_writing = m_pendingKept = false;
}

bool CHistoryJournal::BeforeWrite(const UpgradeResult& result, CString& reason)
{
    if (!m_recordRead || m_writing)
        return true;
    m_row.recordAfter = HexLower(result.recordAfter.data(), result.recordAfter.size());
    m_row.sources = JoinHistorySources(result.sources);
    m_writing = true;
    m_pendingKept = Append(History::Outcome::kPending, reason);
    return m_pendingKept;
}

void CHistoryJournal::WriteEnded(WriteResult result)
{
    if (!m_recordRead || !m_writing)
        return;
    const char* outcome = History::Outcome::kFailed;
    if (result == WriteResult::Written)
        outcome = History::Outcome::kWritten;
    else if (result == WriteResult::Refused)
        outcome = History::Outcome::kRefused;
    Append(outcome);
    m_recordRead = m_writing = false;
}

void CHistoryJournal::WriteFoundOther(const UpgradeResult& result)
{
    if (!m_recordRead || !m_writing)
        return;
    // As after a failed verification: what the transceiver holds now, beside
    // the record read before the write.
    m_row.recordAfter = HexLower(result.recordReadBack.data(), result.recordReadBack.size());
    Append(History::Outcome::kFailed);
    m_recordRead = m_writing = false;
}

void CHistoryJournal::NotUpgraded()
{
    // Also after a pending row that never reached the file: the run did not
    // write, and the row may get through now.
    if (!m_recordRead || (m_writing && m_pendingKept))
        return;
    m_row.recordAfter.Empty();
    m_row.sources.Empty();
    Append(History::Outcome::kNotUpgraded);
    m_recordRead = m_writing = false;
}

void CHistoryJournal::Identified()
{
    if (!m_recordRead || m_writing)
        return;
    m_row.recordAfter.Empty();
    m_row.sources.Empty();
    Append(History::Outcome::kRead);
    m_recordRead = false;
}

void CHistoryJournal::NotWritten(const UpgradeResult& result)
{
    if (!m_recordRead || m_writing)
        return;
    m_row.recordAfter = HexLower(result.recordAfter.data(), result.recordAfter.size());
    m_row.sources = JoinHistorySources(result.sources);
    Append(result.outcome == UpgradeOutcome::Unchanged ? History::Outcome::kUnchanged
                                                       : History::Outcome::kPlanned);
    m_recordRead = false;
}

void CHistoryJournal::Verified(const UpgradeResult& result)
{
    if (!m_recordRead || !m_writing)
        return;
    if (result.verified) {
        Append(History::Outcome::kWritten);
    } else {
        // What the transceiver holds, as far as anyone knows: a restore
        // takes record_before, never this.
        m_row.recordAfter = result.readBack
                                ? HexLower(result.recordReadBack.data(), result.recordReadBack.size())
                                : CString();
        Append(History::Outcome::kVerifyFailed);
    }
    m_recordRead = m_writing = false;
}

bool CHistoryJournal::Append(const char* outcome)
{
    CString error;
    return Append(outcome, error);
}

bool CHistoryJournal::Append(const char* outcome, CString& error)
{
    m_row.time = FormatHistoryTime(m_store.Now());
    m_row.outcome = outcome;
    CString notice;
    const bool kept = m_store.KeepLine(FormatHistoryLine(m_row), error, notice);
    if (kept && notice.IsEmpty())
        return true;
    Warn(kept ? notice : CString("history not written: ") + error);
    return kept;
}

void CHistoryJournal::Warn(const CString& warning)
{
    if (std::find(m_warnings.begin(), m_warnings.end(), warning) == m_warnings.end())
        m_warnings.push_back(warning);
}
