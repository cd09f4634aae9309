#include "upgrade/SupportFile.h"

#include "framework/Hex.h"
#include "upgrade/OptionFileView.h"
#include "upgrade/OptionFormat.h"

#include <algorithm>

CString SupportFileName(const HistoryTime& time)
{
    CString name;
    name.Format("%s%04d%02d%02d-%02d%02d%02d%s", Support::kFilePrefix, time.year, time.month, time.day,
                time.hour, time.minute, time.second, Support::kFileSuffix);
    return name;
}

CSupportText::CSupportText(Utf8Of utf8) : m_utf8(std::move(utf8))
{
}

std::string CSupportText::Utf8(const CString& ansi) const
{
    return m_utf8 ? m_utf8(ansi.str()) : ansi.str();
}

void CSupportText::Raw(const std::string& utf8Line)
{
    m_text += utf8Line;
    m_text += Support::kLineEnd;
}

void CSupportText::Part(const char* title)
{
    if (!m_text.empty())
        Raw("");
    Raw(std::string("== ") + title + " ==");
}

void CSupportText::Fact(const char* name, const CString& value)
{
    Raw(std::string(name) + ": " + Utf8(value));
}

void CSupportText::Line(const CString& text)
{
    Raw(Utf8(text));
}

void CSupportText::File(const SupportFileRead& file)
{
    Fact("file", file.path);
    if (!file.read) {
        Fact("not shown", file.reason);
        return;
    }
    CString size;
    size.Format("%llu bytes", static_cast<unsigned long long>(file.size));
    Fact("size", size);
    if (file.bytes.size() < file.size) {
        CString cut;
        cut.Format("its last %llu bytes only", static_cast<unsigned long long>(file.bytes.size()));
        Fact("shown", cut);
    }
    if (file.bytes.empty()) {
        Line("(empty)");
        return;
    }
    // Line by line, each ended as this file's lines are, whatever the file
    // used; a NUL would end the text in many readers, so it shows as '?'.
    std::string line;
    const auto flush = [this, &line] {
        Raw(m_utf8 ? m_utf8(line) : line);
        line.clear();
    };
    for (std::size_t i = 0; i < file.bytes.size(); ++i) {
        const char c = file.bytes[i];
        if (c == '\n') {
            flush();
        } else if (c == '\r') {
            if (i + 1 < file.bytes.size() && file.bytes[i + 1] == '\n')
                ++i;
            flush();
        } else {
            line += c == '\0' ? '?' : c;
        }
    }
    if (!line.empty())
        flush();
}

void CSupportText::HistoryRows(const std::vector<HistoryListing>& rows)
{
    if (rows.empty()) {
        Line("(the history has no rows)");
        return;
    }
    CString count;
    count.Format("%llu", static_cast<unsigned long long>(rows.size()));
    Fact("rows", count);
    std::string header = HistoryHeaderLine().str();
    header.resize(header.size() - std::char_traits<char>::length(History::kLineEnd));
    Raw("#,  " + header);
    const std::size_t first = rows.size() > Support::kHistoryRows ? rows.size() - Support::kHistoryRows : 0;
    for (std::size_t i = first; i < rows.size(); ++i) {
        CString number;
        number.Format("%d,  ", rows[i].number);
        if (rows[i].damaged) {
            Line(number + "damaged row");
            continue;
        }
        std::string line = FormatHistoryLine(rows[i].row).str();
        line.resize(line.size() - std::char_traits<char>::length(History::kLineEnd));
        Line(number + CString(line));
    }
}

void CSupportText::OptionFile(const SupportOptionFile& file)
{
    CString line;
    line.Format("%s  %llu bytes", file.name.GetString(), file.size);
    if (!file.read) {
        Line(line + "  not read: " + file.reason);
        return;
    }
    const COptionFileView view(file.bytes);
    if (!view.HasHeader()) {
        Line(line + "  no option file: shorter than its header");
        return;
    }
    line += "  model " + OptionFileModelName(view.Header());
    // The entries read; a file longer than what was read has more.
    const std::size_t count = view.EntryCount();
    CString codes;
    for (std::size_t i = 0; i < count && i < Support::kShownOptionCodes; ++i) {
        codes += i == 0 ? "" : " ";
        codes += HexLower(view.Entry(i) + OptionEntry::kOptionCode, kOptionCodeSize);
    }
    if (count > Support::kShownOptionCodes) {
        CString more;
        more.Format(" (+%llu more)", static_cast<unsigned long long>(count - Support::kShownOptionCodes));
        codes += more;
    }
    Line(line + "  option codes " + (count == 0 ? CString("none") : codes));
}
