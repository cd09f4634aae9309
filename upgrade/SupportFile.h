// The support file: one UTF-8 text that a technician sends with a support
// case, so that whoever answers sees the machine as the program saw it
// (program and Windows, language file, settings, ports, option files, the
// last history rows and the last run's byte trace). This part is portable:
// the text, part after part, from what the collector read
// (SupportCollect.h gathers it on Windows). Nothing in it is secret: paths,
// port and driver names, option files' headers and the history's rows.
// Portable: no windows.h.
#pragma once

#include "framework/CString.h"
#include "upgrade/UpgradeHistory.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace Support {
// History\support-YYYYMMDD-HHMMSS.txt beside the program by default.
constexpr const char* kFilePrefix = "support-";
constexpr const char* kFileSuffix = ".txt";
// The history's last rows shown.
constexpr std::size_t kHistoryRows = 20;
// A file shown whole (the settings, the trace) keeps its last bytes only
// beyond this, so a runaway file cannot make the support file huge.
constexpr std::size_t kMaxShownBytes = std::size_t{256} << 10;
// An option file is read up to this far: its header and entries.
constexpr std::size_t kMaxOptionFileBytes = std::size_t{64} << 10;
// How many of an option file's entry codes are listed.
constexpr std::size_t kShownOptionCodes = 16;
constexpr const char* kLineEnd = "\r\n";
} // namespace Support

// "support-YYYYMMDD-HHMMSS.txt".
CString SupportFileName(const HistoryTime& time);

// A file a part shows whole: its bytes as read (at most Support::kMaxShownBytes,
// the end kept), or why nothing could be read.
struct SupportFileRead {
    CString path;
    bool read = false;
    std::string bytes;
    std::size_t size = 0; // the whole file's, which may be more than bytes holds
    CString reason;       // when not read: "not found", or the system's words
};

// An option file as the support file lists it: its name and size, and its
// first bytes (header and entries), or why they could not be read.
struct SupportOptionFile {
    CString name;
    unsigned long long size = 0;
    bool read = false;
    std::vector<unsigned char> bytes;
    CString reason;
};

// The text, part after part: a part's heading, then its lines. Every value
// comes in the ANSI code page and goes through `utf8` (the portable build
// takes the bytes as they are). A missing piece is a line that says so,
// never an empty part.
class CSupportText {
public:
    using Utf8Of = std::function<std::string(const std::string& ansi)>;
    explicit CSupportText(Utf8Of utf8 = nullptr);

    // "== title ==" after an empty line.
    void Part(const char* title);
    // "name: value".
    void Fact(const char* name, const CString& value);
    void Line(const CString& text);
    // A file's path, size and lines, or the line that says why it is not shown.
    void File(const SupportFileRead& file);
    // The last Support::kHistoryRows rows, as upgrades.csv holds them, with
    // their numbers (as restore --entry counts); damaged rows as such.
    void HistoryRows(const std::vector<HistoryListing>& rows);
    // One option file: name, size, model and the entries' option codes.
    void OptionFile(const SupportOptionFile& file);

    const std::string& Text() const { return m_text; }

private:
    void Raw(const std::string& utf8Line);
    std::string Utf8(const CString& ansi) const;

    Utf8Of m_utf8;
    std::string m_text;
};
