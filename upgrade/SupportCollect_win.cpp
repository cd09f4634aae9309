#include "upgrade/SupportCollect.h"

#include "Version.h"
#include "files/DataFile.h"
#include "files/FileHandle.h"
#include "files/FindHandle.h"
#include "files/ReplacingWrite.h"
#include "framework/CodePage.h"
#include "framework/Path.h"
#include "framework/SystemText.h"
#include "text/LanguageTable.h"
#include "text/TextNumbers.h"
#include "upgrade/HistoryFolder.h"
#include "upgrade/OptionLocation.h"
#include "upgrade/ProgramSettings.h"
#include "upgrade/SupportFile.h"

#include <algorithm>
#include <cstdint>

namespace {

std::string Utf8FromAnsiCodePage(const std::string& ansi)
{
    std::string utf8;
    // A character the code page lacks has come as '?' already.
    ConvertCodePage(ansi, AnsiCodePage(), CP_UTF8, utf8);
    return utf8;
}

CString Number(unsigned long long value)
{
    CString text;
    text.Format("%llu", value);
    return text;
}

// "not found" for a file or folder that is not there, else the system's words.
CString ReadFailure(DWORD error)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return "not found";
    return SystemText(error, SystemTextForms::kReason);
}

// Which part of a file longer than the limit is read.
enum class FilePart { Start, End };

// Up to `limit` bytes of a file, from its start or its end; shared with
// writers, so a file another program holds open is read all the same.
bool ReadFilePart(const CString& path, std::size_t limit, FilePart part, std::string& bytes,
                  unsigned long long& size, CString& reason)
{
    CFileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length = {};
    if (!file.IsValid() || !::GetFileSizeEx(file.Get(), &length)) {
        reason = ReadFailure(::GetLastError());
        return false;
    }
    size = static_cast<unsigned long long>(length.QuadPart);
    const std::size_t wanted = static_cast<std::size_t>(std::min<unsigned long long>(size, limit));
    LARGE_INTEGER start = {};
    start.QuadPart = part == FilePart::End ? static_cast<LONGLONG>(size - wanted) : 0;
    bytes.assign(wanted, '\0');
    DWORD read = 0;
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) ||
        (wanted > 0 && !::ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(wanted), &read, nullptr))) {
        reason = ReadFailure(::GetLastError());
        return false;
    }
    bytes.resize(read); // a file cut meanwhile
    return true;
}

// A file shown whole: its end when it is long (a trace's last run).
SupportFileRead ShownFile(const CString& path)
{
    SupportFileRead file;
    file.path = path;
    unsigned long long size = 0;
    file.read = ReadFilePart(path, Support::kMaxShownBytes, FilePart::End, file.bytes, size, file.reason);
    file.size = static_cast<std::size_t>(size);
    return file;
}

// An option file's start: its header and the entries after it.
SupportOptionFile ReadOptionFile(const CString& path, const CString& name)
{
    SupportOptionFile file;
    file.name = name;
    std::string bytes;
    file.read =
        ReadFilePart(path, Support::kMaxOptionFileBytes, FilePart::Start, bytes, file.size, file.reason);
    file.bytes.assign(bytes.begin(), bytes.end());
    return file;
}

CString WindowsVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info))
        return "unknown";
    CString text;
    text.Format("%lu.%lu build %lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
    if (info.szCSDVersion[0] != '\0')
        text += CString(" ") + info.szCSDVersion;
    return text;
}

CString ProgramName()
{
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "unknown";
    const CString whole(path, static_cast<int>(length));
    return whole.Mid(whole.ReverseFind('\\') + 1);
}

void AddProgram(const SupportSources&, CSupportText& text)
{
    text.Fact("program", ProgramName());
    text.Fact("version", ORVELLE_VERSION_TEXT);
    text.Fact("build", sizeof(void*) == 8 ? "64-bit" : "32-bit");
    text.Fact("Windows", WindowsVersion());
    text.Fact("ANSI code page", Number(::GetACP()));
    const UINT console = ::GetConsoleOutputCP();
    text.Fact("console code page", console == 0 ? CString("none (no console)") : Number(console));
}

void AddLanguage(const SupportSources& sources, CSupportText& text)
{
    if (!sources.texts) {
        text.Fact("not loaded",
                  sources.languageFailure.IsEmpty() ? CString("unknown") : sources.languageFailure);
        return;
    }
    const CString path = sources.texts->GetPath();
    text.Fact("file", path.IsEmpty() ? CString(sources.texts->GetFileName()) : path);
    text.Fact("language", sources.texts->GetText(TextNo::kLanguageName));
}

CString SettingsPath(const SupportSources& sources)
{
    return sources.programFolder.IsEmpty() ? CString() : JoinPath(sources.programFolder, Settings::kFileName);
}

void AddSettings(const SupportSources& sources, CSupportText& text)
{
    const CString path = SettingsPath(sources);
    if (path.IsEmpty()) {
        text.Fact("not shown", "the program's folder is unknown");
        return;
    }
    text.File(ShownFile(path));
}

void AddPorts(const SupportSources& sources, CSupportText& text)
{
    const std::vector<SerialPortEntry> ports = sources.ports ? sources.ports() : ListSerialPorts();
    if (ports.empty())
        text.Line("(no serial ports)");
    for (const SerialPortEntry& port : ports) {
        text.Line(PortLabel(port));
        CString status = "started";
        if (port.problemCode != 0)
            status.Format("problem %lu", port.problemCode);
        text.Line("  status: " + status);
        text.Line("  driver: " +
                  (port.driverProvider.IsEmpty() ? CString("(provider unknown)") : port.driverProvider) +
                  " " + (port.driverVersion.IsEmpty() ? CString("(version unknown)") : port.driverVersion));
        text.Line("  hardware id: " + (port.hardwareId.IsEmpty() ? CString("(none)") : port.hardwareId));
    }
}

// The location the program uses: the caller's, or the settings file's, as
// the dialog reads it at start-up.
void Location(const SupportSources& sources, bool& folderMode, CString& location)
{
    if (sources.hasLocation) {
        folderMode = sources.folderMode;
        location = sources.location;
        return;
    }
    const CString path = SettingsPath(sources);
    CDataFile settings;
    CString value;
    folderMode = path.IsEmpty() ||
                 settings.OpenInitFile(path, Settings::kSection, Settings::kModeKey, &value) == 0 ||
                 value != Number(Settings::kFileMode);
    value.Empty();
    if (!path.IsEmpty())
        settings.OpenInitFile(path, Settings::kSection,
                              folderMode ? Settings::kFolderKey : Settings::kFileKey, &value);
    location = value;
    if (folderMode && location.IsEmpty() && !sources.programFolder.IsEmpty())
        location = JoinPath(sources.programFolder, Settings::kDataFolderName);
}

void AddOptionLocation(const SupportSources& sources, CSupportText& text)
{
    bool folderMode = true;
    CString location;
    Location(sources, folderMode, location);
    text.Fact("mode", folderMode ? "Folder" : "File");
    text.Fact(folderMode ? "folder" : "file", location.IsEmpty() ? CString("(none)") : location);
    if (location.IsEmpty())
        return;
    if (!folderMode) {
        const int slash = location.ReverseFind('\\');
        text.OptionFile(ReadOptionFile(location, location.Mid(slash + 1)));
        return;
    }
    _finddata_t entry = {};
    CFindHandle search(_findfirst(OptionFolderPattern(location), &entry));
    if (!search.IsOpen()) {
        text.Line("(no option files)");
        return;
    }
    do {
        if (entry.attrib & _A_SUBDIR)
            continue;
        text.OptionFile(ReadOptionFile(JoinPath(location, entry.name), entry.name));
    } while (_findnext(search.Get(), &entry) == 0);
}

void AddHistory(const SupportSources& sources, CSupportText& text)
{
    const CHistoryFolder history(sources.programFolder);
    std::vector<HistoryListing> rows;
    CString reason;
    text.Fact("file", history.FilePath());
    if (!history.ListRows(rows, reason)) {
        text.Fact("not shown", reason);
        return;
    }
    text.HistoryRows(rows);
}

void AddLastRunTrace(const SupportSources& sources, CSupportText& text)
{
    const CString folder = CHistoryFolder(sources.programFolder).FolderPath();
    if (folder.IsEmpty()) {
        text.Fact("not shown", "the program's folder is unknown");
        return;
    }
    text.File(ShownFile(JoinPath(folder, History::kLastRunTraceName)));
}

// The parts in the file's order.
struct SupportPartSpec {
    const char* title;
    void (*add)(const SupportSources&, CSupportText&);
};

const SupportPartSpec kParts[] = {
    {"Program", AddProgram},
    {"Language file", AddLanguage},
    {"Settings", AddSettings},
    {"Serial ports", AddPorts},
    {"Option location", AddOptionLocation},
    {"History", AddHistory},
    {"Last run's byte trace", AddLastRunTrace},
};

} // namespace

std::string SupportFileText(const SupportSources& sources)
{
    CSupportText text(Utf8FromAnsiCodePage);
    text.Line("Orvelle support file");
    for (const SupportPartSpec& part : kParts) {
        text.Part(part.title);
        part.add(sources, text);
    }
    return text.Text();
}

CString DefaultSupportFilePath(const CString& programFolder, const HistoryTime& time)
{
    return CHistoryFolder(programFolder).PrepareFile(SupportFileName(time));
}

DWORD WriteSupportFile(const CString& path, const SupportSources& sources)
{
    return WriteFileReplacing(path, SupportFileText(sources));
}
