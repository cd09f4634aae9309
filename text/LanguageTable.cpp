#include "text/LanguageTable.h"

#include "text/ConsoleHelpText.h"
#include "text/TextFile.h"

#ifdef _WIN32
#include "framework/CodePage.h"
#endif

#include <cstring>
#include <iterator>
#include <new>
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

// Key number and built-in English text of each added text, in number order.
struct AddedText {
    int key;
    const char* english;
};
const AddedText kAdded[] = {
    {10005103, "&Other ports:"},
    {10020006, "The transceiver acknowledged the new options, but reading them back did not find them.\n"
               "Check the transceiver before it goes back into service."},
    {10003202, "&Preview upgrade..."},
    {10030001, "Upgrade preview"},
    {10030002, "Transceiver model:"},
    {10030003, "Option bytes now:"},
    {10030004, "Option bytes after the upgrade:"},
    {10030005, "Option files that would be used:"},
    {10030006, "The upgrade would change nothing: the transceiver already has these options."},
    {10030007, "Preview only: nothing has been written to the transceiver."},
    {10030008, "The upgrade history cannot keep the option record read from the transceiver:\n%1\n\n"
               "Record read (hex):\n%2\n\nWrite the new options without a history entry?"},
    {10040001, "No error occurred."},
    {10040002, "An unknown error occurred while accessing %1."},
    {10040003, "%1 was not found."},
    {10040004, "%1 contains an invalid path."},
    {10040005, "%1 could not be opened because there are too many open files."},
    {10040006, "Access to %1 was denied."},
    {10040007, "An invalid file handle was associated with %1."},
    {10040008, "%1 could not be removed because it is the current directory."},
    {10040009, "%1 could not be created because the directory is full."},
    {10040010, "Seek failed on %1"},
    {10040011, "A hardware I/O error was reported while accessing %1."},
    {10040012, "A sharing violation occurred while accessing %1."},
    {10040013, "A locking violation occurred while accessing %1."},
    {10040014, "Disk full while accessing %1."},
    {10040015, "An attempt was made to access %1 past its end."},
    {10040016, "an unnamed file"},
    {10040017, "Upgrade Option File"},
    {10040018, "retrying (%1 of %2)"},
    {10040019, "no retries left (--retries %1): giving up"},
    {10040020, "warning: %1"},
    {10040021, "restore refused: the transceiver is %1 %2, but row %3 was read from %4 %5; nothing was "
               "written (--force writes it all the same)"},
    {10040022, "not written: the history could not keep the record read (--no-history writes without one)"},
    {10040023, "interrupted: cancelled"},
    {10040024, "interrupted (%1)"},
    {10040025, "interrupted: programming mode ended, nothing written"},
    {10040026, "the history could not keep the record read, so nothing was written; record_before below is "
               "that record"},
    {10040027, "COM%1 cannot be opened: %2"},
    {10040028, "in use"},
    {10040029, "not present"},
    {10040030, "restore refused: the record is for %1, but the transceiver is %2 %3; nothing was written "
               "(--force does not change that)"},
    {10040031, "restore refused: the record is blank (every byte %1); nothing was written"},
    {10070001, "Upgrade &radio after radio..."},
    {10070002, "Upgrade radio after radio"},
    {10070003, "&Stop"},
    {10070004, "Save &report..."},
    {10070005, "&Close"},
    {10070006, "No."},
    {10070007, "Model"},
    {10070008, "Identity"},
    {10070009, "Option bytes before"},
    {10070010, "Option bytes after"},
    {10070011, "Outcome"},
    {10070012, "Waiting for a radio on COM%1 (%2 s)"},
    {10070013, "Upgrading radio %1..."},
    {10070014, "Remove this radio"},
    {10070015, "COM%1 is not present"},
    {10070016, "Stopped: %1 radios"},
    {10070017, "Written"},
    {10070018, "Unchanged"},
    {10070019, "Failed"},
    {10070020, "Refused"},
    {10070021, "Done earlier in this batch"},
    {10070022, "Stopped"},
    {10070023, "Batch report"},
    {10070024, "The report could not be saved:\n%1"},
    {10080001, "The programming cable came back as COM%2 instead of COM%1.\n"
               "Choose COM%2 as the port and start again."},
    {10080002, "the cable came back as COM%2 instead of COM%1: run again with --port %2"},
    {10060001, "%1  %2  COM%3  %4  %5  version %6  options %7 -> %8  %9"},
    {10060002, "  verified: %1"},
    {10060003, "%1 radios: %2 written, %3 unchanged, %4 failed, %5 refused, %6 skipped as done, %7 stopped"},
    {10060004, "waiting for a radio on COM%1 (%2 s)"},
    {10060005, "COM%1 is not present (cable?) (%2 s)"},
    {10060006, "upgrading the radio on COM%1"},
    {10060007, "remove the radio from COM%1 (%2 s)"},
    {10060008, "the report could not be written: %1"},
    {10080003, "Windows reports a problem with this port's device (code %1)"},
    {10080004,
     "Unplug the cable and plug it in again; if the problem stays, install the cable's driver again."},
    {10080005, "The cable's driver refuses its chip"},
    {10080006, "Use another programming cable, or a driver version that supports its chip."},
    {10094001, "error: %1"},
    {10094002,
     "no valid answer from the transceiver: check the cable and that the transceiver is switched on"},
    {10094003, "the COM port cannot be opened: check the port number and that no other program is using it"},
    {10094004, "the history cannot keep the record read: %1"},
    {10094005, "the record has been written back to the transceiver"},
    {10094006, "unchanged: the transceiver already had the record written back"},
    {10094007, "usable"},
    {10094008, "not an RS-232 port"},
    {10094009, "cannot be opened: %1"},
    {10090001, "&Save support file..."},
    {10090002, "The support file was saved:\n%1\nSend it with your support case."},
    {10090003, "The support file could not be saved:\n%1"},
    {10095001, "no command given (see orvelle-cli --help)"},
    {10095002, "unknown command %1 (see orvelle-cli --help)"},
    {10095003, "unknown command %1 (did you mean %2?)"},
    {10095004, "help on an unknown command %1"},
    {10095005, "help on an unknown command %1 (did you mean %2?)"},
    {10095006, "%1 takes one command at most, not also %2"},
    {10095007, "%1 stands alone, not with %2"},
    {10095008, "%1 stands alone, without a command"},
    {10095009, "unexpected argument %1"},
    {10095010, "unknown option %1"},
    {10095011, "unknown option %1 (did you mean %2?)"},
    {10095012, "%1 is not an option of %2"},
    {10095013, "%1 is given twice"},
    {10095014, "%1 takes no value"},
    {10095015, "%1 needs a value"},
    {10095016, "%1 needs %2"},
    {10095017, "%1 needs %2 or %3"},
    {10095018, "%1 needs %2 or %3, not both"},
    {10095019, "%1 writes nothing: not with %2"},
    {10095020, "%1 writes radio after radio: not with %2"},
    {10095021, "%1 must be a COM port number from %2 to %3, not %4"},
    {10095022, "%1 must be a number from 0 to %2, not %3"},
    {10095023, "%1 must be a history row number from 1, not %2"},
    {10095024, "%1 must be a number of rows from 1, not %2"},
    {10095025, "%1 must be a number of radios from 1, not %2"},
    {10095026, "%1 must be %2 hex digits, not %3 (%4 is not a hex digit)"},
    {10095027, "%1 must be %2 hex digits, not %3 (byte 0x%4 is not a hex digit)"},
    {10095028, "%1 must be %2 hex digits, in pairs if spaced, not %3"},
    {10095029, "%1 must be %2 hex digits, not %3: %4"},
    {10095030, "damaged row"},
    {10095031, "the history has no rows"},
    {10095032, "--entry: no history yet (%1)"},
    {10095033, "--entry: the history has no row %1 (it has %2)"},
    {10095034, "--entry: row %1 holds no record: its %2 is not %3 hex digits"},
    {10096001, kCliUsageText},
    {10096002, kCliHelpTopics},
    {10096003, "Exit codes:"},
    {10096011, "done: written, identified or restored; planned or unchanged; saved"},
    {10096012, "the transceiver refused the record"},
    {10096013, "usage error (also --entry naming no row, --out unwritable): nothing sent"},
    {10096014, "the port could not be opened"},
    {10096015, "the transceiver did not answer or the link failed"},
    {10096016, "refused model"},
    {10096017, "no option for this transceiver"},
    {10096018, "a newer transceiver version is required"},
    {10096019, "the option file or folder is missing or unreadable, or no option file"},
    {10096020, "restore refused: not the row's radio; a record of another model or blank"},
    {10096021, "the language file ORVELLE.lng beside the program is missing or damaged"},
    {10096022, "interrupted by Ctrl+C, Ctrl+Break or closing the console"},
    {10096023, "the history could not keep the record read (or has none): nothing written"},
    {10096024, "--verify: the record read back is not the one written"},
    {10096025, "--each: a radio failed or was refused"},
};

const int kKeyWidth = 8;
const char kSeparator = ',';
const char kNumberMarker[] = "^#";
const char kCodePageMarker[] = "*CodePage";
// How many of the file's first rows may hold the "*CodePage" row.
const std::size_t kCodePageRowLimit = 20;

// Shared by every lookup of a text that does not exist.
const char kNoText[] = "";

// Turns the escapes in place: once turned, a text holds no escape any more.
const char* TurnEscapes(CString& text)
{
    text.Replace("\\n", "\n");
    text.Replace("\\t", "\t");
    text.Replace("\\a", ",");
    return text.GetString();
}

} // namespace

CLanguageTable::CLanguageTable() : m_path{}, m_keyEntryLength(0), m_fileName("ORVELLE.lng")
{
    static_assert(sizeof(kKeys) / sizeof(kKeys[0]) == kTextCount, "one key per text");
    static_assert(sizeof(kAdded) / sizeof(kAdded[0]) == kAddedCount, "one key per added text");
    // The added texts' keys follow, so their index is kTextCount on.
    auto addKey = [this](int key) {
        CString entry;
        entry.Format("%0*d\n", kKeyWidth, key);
        m_keyEntryLength = entry.GetLength();
        m_keyList += entry;
    };
    for (int key : kKeys)
        addKey(key);
    for (const AddedText& added : kAdded)
        addKey(added.key);
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
#ifdef _WIN32
    return ParseInCodePage(bytes.data(), static_cast<int>(bytes.size()) - 1, language, AnsiCodePage());
#else
    return Parse(bytes.data(), static_cast<int>(bytes.size()) - 1, language);
#endif
}

unsigned CLanguageTable::DeclaredCodePage(const char* bytes, int length)
{
    if (!bytes || length <= 0)
        return 0;
    const std::size_t size = static_cast<std::size_t>(length);
    const std::size_t markerLength = std::strlen(kCodePageMarker);
    // The row stands among the file's first rows, before its texts.
    for (std::size_t start = 0, row = 0; start < size && row < kCodePageRowLimit; ++row) {
        const void* lineEnd = std::memchr(bytes + start, '\n', size - start);
        const std::size_t end =
            lineEnd ? static_cast<std::size_t>(static_cast<const char*>(lineEnd) - bytes) : size;
        if (end - start > markerLength && std::memcmp(bytes + start, kCodePageMarker, markerLength) == 0 &&
            bytes[start + markerLength] == kSeparator) {
            unsigned number = 0;
            std::size_t at = start + markerLength + 1;
            const std::size_t first = at;
            while (at < end && bytes[at] >= '0' && bytes[at] <= '9' && at - first < 5)
                number = number * 10 + static_cast<unsigned>(bytes[at++] - '0');
            // Digits only, up to the line's end (a CR of CR LF allowed).
            const bool whole = at > first && (at == end || (bytes[at] == '\r' && at + 1 == end));
            return whole && number <= 65535 ? number : 0;
        }
        start = end + 1;
    }
    return 0;
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
        for (CString& added : m_addedTexts)
            added.Empty();
        if (!FindLanguageRow(document, lineCount))
            return 0;
        FindFontRow(document, lineCount);
        document.Unquote();
        SelectLanguage(language);

        const int rows = document.CountLines(document.m_text.GetLength());
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
            if (key.Replace(kNumberMarker, "") == 0)
                continue; // headings, comments, blank lines
            const int n = KeyIndex(key);
            if (n >= m_textCount && n < m_textCount + kAddedCount) {
                // Optional: not counted, and a second row does not damage it.
                CString& added = m_addedTexts[n - m_textCount];
                if (added.IsEmpty())
                    added = line.GetField(m_column, kSeparator);
                continue;
            }
            if (n < 0 || n >= m_textCount)
                return 0;
            if (!m_texts[n].IsEmpty())
                return 0; // a second row for a key that already has its text
            m_texts[n] = line.GetField(m_column, kSeparator);
            ++accepted;
        }
        return accepted == GetCount() ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

const char* CLanguageTable::GetText(int number)
{
    const bool added = number >= TextNo::kFirstAdded && number < TextNo::kAddedEnd;
    if (added && m_textCount > 0) {
        CString& text = m_addedTexts[number - TextNo::kFirstAdded];
        if (text.IsEmpty())
            text = BuiltInText(number);
        return TurnEscapes(text);
    }
    if (number < 0 || number >= GetCount() || number >= m_textCount)
        return kNoText;
    return TurnEscapes(m_texts[number]);
}

const char* CLanguageTable::BuiltInText(int number)
{
    const bool added = number >= TextNo::kFirstAdded && number < TextNo::kAddedEnd;
    return added ? kAdded[number - TextNo::kFirstAdded].english : kNoText;
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
