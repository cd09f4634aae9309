#include "text/LanguageTable.h"

#include "framework/Mbcs.h"
#include "text/TextFile.h"

#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <vector>

namespace {

// Key number of each text every language file holds, in text-number order.
const int kKeys[] = {
    10000001, 10000101, 10000102, 10000103, 10000201, 10000202, 10000203, 10000204, 10000205, 10001001,
    10001002, 10001003, 10001004, 10001005, 10001006, 10002001, 10002002, 10002003, 10002004, 10002005,
    10002006, 10002007, 10003001, 10003002, 10003003, 10003101, 10003201, 10003301, 10005001, 10005002,
    10005003, 10005004, 10005101, 10005102, 10010001, 10010002, 10010003, 10010004, 10010005, 10010006,
    10010007, 10010008, 10010009, 10020001, 10020002, 10020003, 10020004, 10020005,
};

// Texts added later, in text-number order after kKeys: their key and the
// English text a language file from before them is given instead.
struct LaterText {
    int key;
    const char* english;
};
const LaterText kLaterTexts[] = {
    {10030001, "The upgrade history cannot keep the option record read from the transceiver:\n%1\n\n"
               "Record read (hex):\n%2\n\nWrite the new options without a history entry?"},
};
constexpr int kKeyCount = static_cast<int>(sizeof(kKeys) / sizeof(kKeys[0]));

const int kKeyWidth = 8;
const char kSeparator = ',';
const char kNumberMarker[] = "^#";

// Shared by every lookup of a text that does not exist.
const char kNoText[] = "";

// Replaces every occurrence of from, left to right without overlap, looking
// only at character starts, so the trail byte of a double-byte character
// never begins a match (the same result as CString::Replace, in one pass).
int ReplaceChars(CString& text, const char* from, const char* to)
{
    const int length = text.GetLength();
    const int fromLength = static_cast<int>(std::strlen(from));
    const char* s = text.GetString();
    std::string result;
    int count = 0;
    int copied = 0;
    for (int pos = 0; pos + fromLength <= length;) {
        if (std::memcmp(s + pos, from, static_cast<size_t>(fromLength)) != 0) {
            pos += AnsiCharLength(s, pos, length);
            continue;
        }
        result.append(s + copied, static_cast<size_t>(pos - copied));
        result += to;
        ++count;
        // Carry on from the first character start at or after the match.
        const int next = pos + fromLength;
        while (pos < next)
            pos += AnsiCharLength(s, pos, length);
        copied = next;
    }
    if (count) {
        result.append(s + copied, static_cast<size_t>(length - copied));
        text = CString(result);
    }
    return count;
}

} // namespace

CLanguageTable::CLanguageTable() : m_path{}, m_keyEntryLength(0), m_fileName("ORVELLE.lng")
{
    static_assert(kKeyCount + sizeof(kLaterTexts) / sizeof(kLaterTexts[0]) == kTextCount, "one key per text");
    std::vector<int> keys(std::begin(kKeys), std::end(kKeys));
    for (const LaterText& later : kLaterTexts)
        keys.push_back(later.key);
    for (int key : keys) {
        CString entry;
        entry.Format("%0*d\n", kKeyWidth, key);
        m_keyEntryLength = entry.GetLength();
        m_keyList += entry;
    }
}

CLanguageTable::~CLanguageTable()
{
    FreeTexts();
}

int CLanguageTable::Load(const char* language)
{
    std::vector<char> bytes;
    if (!ReadTextModeFile(m_path, bytes))
        return 0;
    return Parse(bytes.data(), static_cast<int>(bytes.size()) - 1, language);
}

int CLanguageTable::Parse(const char* bytes, int length, const char* language)
{
    if (!bytes || length < 0)
        length = 0;
    CDelimitedText document;
    try {
        const void* nul = length ? std::memchr(bytes, '\0', static_cast<size_t>(length)) : nullptr;
        const int textLength = nul ? static_cast<int>(static_cast<const char*>(nul) - bytes) : length;
        document.m_text = CString(bytes, textLength);

        const int lineCount = document.CountLines(length);
        FreeTexts();
        if (!AllocTexts(GetCount()))
            return 0;
        if (!FindLanguageRow(document, lineCount))
            return 0;
        FindFontRow(document, lineCount);
        document.Unquote();
        SelectLanguage(language);

        const int rows = document.CountLines(document.m_text.GetLength());
        std::vector<bool> given(static_cast<size_t>(m_textCount), false);
        int accepted = 0;
        int position = 0;
        CDelimitedText line;
        for (int i = 0; i < rows; ++i) {
            line.m_text = document.NextLine(position);
            // Most rows of a large file are no numbered rows: look for the
            // marker's bytes before taking the first field apart.
            if (!std::strstr(line.m_text.GetString(), kNumberMarker))
                continue;
            CString key = line.GetField(0, kSeparator);
            if (ReplaceChars(key, kNumberMarker, "") == 0)
                continue; // headings, comments, blank lines
            const int n = KeyIndex(key);
            if (n < 0 || n >= m_textCount)
                return 0;
            if (!m_texts[n].IsEmpty())
                return 0; // a second row for a key that already has its text
            m_texts[n] = line.GetField(m_column, kSeparator);
            given[static_cast<size_t>(n)] = true;
            ++accepted;
        }
        // A later text missing from an older file is its English default;
        // the rows of the first files are all required.
        for (int n = kKeyCount; n < m_textCount; ++n) {
            if (given[static_cast<size_t>(n)])
                continue;
            m_texts[n] = kLaterTexts[n - kKeyCount].english;
            ++accepted;
        }
        return accepted == GetCount() ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

const char* CLanguageTable::GetText(int number)
{
    if (number < 0 || number >= GetCount() || number >= m_textCount)
        return kNoText;
    CString& text = m_texts[number];
    // In place: once turned, a text holds no escape any more.
    ReplaceChars(text, "\\n", "\n");
    ReplaceChars(text, "\\t", "\t");
    ReplaceChars(text, "\\a", ",");
    return text.GetString();
}

int CLanguageTable::SelectLanguage(const char* name)
{
    if (!m_texts)
        return 0;
    const int column = m_languageRow.FindField(name, kSeparator);
    m_column = column >= 1 ? column : 1;
    return m_column;
}

int CLanguageTable::KeyIndex(const char* key) const
{
    const int pos = m_keyList.Find(key ? key : "");
    return pos < 0 ? -1 : pos / m_keyEntryLength;
}

int CLanguageTable::FindRow(const CDelimitedText& document, int lineCount, const char* marker,
                            CDelimitedText& row)
{
    // Line i is what document.GetLine(i) gives, and it is the row when
    // FindField(marker) on it is 0, that is when its first field is the
    // marker. Both are worked out where the line lies in the document, so a
    // file of millions of short lines costs no copies.
    const CString& text = document.m_text;
    const char* s = text.GetString();
    const int length = text.GetLength();
    const int markerLength = static_cast<int>(std::strlen(marker));
    int start = 0;
    // Once past the last line end every further line is empty: stop there.
    for (int i = 0; i < lineCount && start >= 0; ++i) {
        const void* lineEnd = std::memchr(s + start, '\n', static_cast<size_t>(length - start));
        const int end = lineEnd ? static_cast<int>(static_cast<const char*>(lineEnd) - s) : length;
        const int firstEnd = start + markerLength;
        if (firstEnd <= end && std::memcmp(s + start, marker, static_cast<size_t>(markerLength)) == 0 &&
            (firstEnd == end || s[firstEnd] == kSeparator)) {
            row.m_text = text.Mid(start, end - start);
            return 1;
        }
        start = lineEnd ? end + 1 : -1;
    }
    row.m_text.Empty();
    return 0;
}

int CLanguageTable::FindLanguageRow(const CDelimitedText& document, int lineCount)
{
    return FindRow(document, lineCount, "*Language", m_languageRow);
}

int CLanguageTable::FindFontRow(const CDelimitedText& document, int lineCount)
{
    return FindRow(document, lineCount, "*Font", m_fontRow);
}

int CLanguageTable::AllocTexts(int count)
{
    FreeTexts();
    if (count <= 0)
        return 0;
    try {
        m_texts = std::make_unique<CString[]>(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    m_textCount = count;
    return 1;
}

int CLanguageTable::FreeTexts()
{
    if (!m_texts)
        return 0;
    m_texts.reset();
    m_textCount = 0;
    return 1;
}
