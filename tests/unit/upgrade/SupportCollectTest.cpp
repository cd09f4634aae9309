// What the support file gathers from a program folder under Wine: with each
// part there, and with none of them (no language file, no settings, no
// history, no trace, no option files, no ports): every part keeps its
// heading and says why it is empty, and nothing fails.
#include "upgrade/SupportCollect.h"

#include "tests/support/FileTestSupport.h"
#include "tests/support/TempFolder.h"
#include "text/LanguageTable.h"
#include "upgrade/OptionFormat.h"
#include "upgrade/ProgramSettings.h"
#include "upgrade/SupportFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const kPartTitles[] = {"== Program ==",
                                   "== Language file ==",
                                   "== Settings ==",
                                   "== Serial ports ==",
                                   "== Option location ==",
                                   "== History ==",
                                   "== Last run's byte trace =="};

// What a program folder holds.
struct FolderParts {
    bool languageLoaded = false;
    std::string settings; // ORVELLE.ini; empty: none (%s: the folder)
    bool history = false;
    bool trace = false;
    bool optionFile = false; // opts\a.ENH
    bool port = false;
};

std::string OptionFileBytes()
{
    std::string bytes(OptionFile::kHeaderSize + 2 * OptionEntry::kSize, '\0');
    bytes.replace(OptionFile::kModelName, 7, "QM-5200");
    bytes.replace(OptionFile::kHeaderSize + OptionEntry::kOptionCode, kOptionCodeSize, "\x01\x02\x03\x04");
    bytes.replace(OptionFile::kHeaderSize + OptionEntry::kSize + OptionEntry::kOptionCode, kOptionCodeSize,
                  "\xA0\xB0\xC0\xD0");
    return bytes;
}

std::string Replaced(std::string text, const std::string& folder)
{
    for (std::size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + folder.size()))
        text.replace(at, 2, folder);
    return text;
}

class SupportCollect : public ::testing::Test {
protected:
    // The text gathered from a folder holding the parts.
    std::string Gather(const FolderParts& parts)
    {
        const std::string folder = Folder();
        std::filesystem::create_directories(temp / "History");
        if (!parts.settings.empty())
            WriteWholeFile(temp / Settings::kFileName, Replaced(parts.settings, folder));
        if (parts.history) {
            HistoryRow row;
            row.time = "2026-01-02T03:04:05";
            row.program = History::kProgramWindow;
            row.port = "3";
            row.model = "QM-5200";
            row.recordBefore = CString(std::string(2 * OptionRecord::kSize, 'a'));
            row.outcome = History::Outcome::kWritten;
            WriteWholeFile(temp / "History\\upgrades.csv",
                           (HistoryHeaderLine() + FormatHistoryLine(row) + FormatHistoryLine(row)).str());
        }
        if (parts.trace)
            WriteWholeFile(temp / "History\\last-run.trace",
                           "       0.0 open COM3 9600,N,8,2\r\n      1.0 close\r\n");
        if (parts.optionFile) {
            std::filesystem::create_directories(temp / "opts");
            WriteWholeFile(temp / "opts\\a.ENH", OptionFileBytes());
        }
        CLanguageTable texts;
        SupportSources sources;
        sources.programFolder = CString(folder);
        if (parts.languageLoaded) {
            // As text mode delivers it to the table: lines end in LF.
            std::string lng = ReadWholeFile(ORVELLE_SOURCE_DIR "/res/ORVELLE.lng");
            lng.erase(std::remove(lng.begin(), lng.end(), '\r'), lng.end());
            EXPECT_EQ(texts.Parse(lng.data(), static_cast<int>(lng.size()), "English"), 1);
            sources.texts = &texts;
        } else {
            sources.languageFailure = "Can't read language file.";
        }
        sources.ports = [&parts] {
            std::vector<SerialPortEntry> ports;
            if (parts.port) {
                SerialPortEntry port;
                port.number = 3;
                port.friendlyName = "USB Serial Port (COM3)";
                port.hardwareId = "FTDIBUS\\VID_0403+PID_6001";
                port.driverProvider = "FTDI";
                port.driverVersion = "2.12.36.4";
                port.problemCode = 28;
                ports.push_back(port);
            }
            return ports;
        };
        return SupportFileText(sources);
    }
    std::string Folder() const { return temp.Path() + "\\"; }

    TempFolder temp;
};

} // namespace

TEST_F(SupportCollect, EveryPartSaysWhatItFoundOrWhyNot)
{
    const std::string everything = "[INIT]\r\nFolder=%sopts\r\nMode=1\r\nComPort=3\r\n";
    const struct {
        const char* name;
        FolderParts parts;
        std::vector<std::string> lines; // each in the text, in this order (%s: the folder)
    } cases[] = {
        {"nothing there",
         {},
         {"== Language file ==\r\nnot loaded: Can't read language file.\r\n",
          "== Settings ==\r\nfile: %sORVELLE.ini\r\nnot shown: not found\r\n",
          "== Serial ports ==\r\n(no serial ports)\r\n",
          "== Option location ==\r\nmode: Folder\r\nfolder: %sData\r\n(no option files)\r\n",
          "== History ==\r\nfile: %sHistory\\upgrades.csv\r\n(the history has no rows)\r\n",
          "== Last run's byte trace ==\r\nfile: %sHistory\\last-run.trace\r\nnot shown: not found\r\n"}},
        {"everything there",
         {true, everything, true, true, true, true},
         {"language: English\r\n", "[INIT]\r\nFolder=%sopts\r\nMode=1\r\n",
          "COM3  USB Serial Port\r\n  status: problem 28\r\n  driver: FTDI 2.12.36.4\r\n"
          "  hardware id: FTDIBUS\\VID_0403+PID_6001\r\n",
          "mode: Folder\r\nfolder: %sopts\r\na.ENH  528 bytes  model QM-5200  option codes 01020304 "
          "a0b0c0d0\r\n",
          "rows: 2\r\n",
          "2,  2026-01-02T03:04:05,ORVELLE,3,QM-5200,,," + std::string(2 * OptionRecord::kSize, 'a') +
              ",,,written\r\n",
          "0.0 open COM3 9600,N,8,2\r\n      1.0 close\r\n"}},
        {"File mode, its file gone",
         {false, "[INIT]\r\nMode=2\r\nFile=%sgone.ENH\r\n"},
         {"mode: File\r\nfile: %sgone.ENH\r\ngone.ENH  0 bytes  not read: not found\r\n"}},
        {"an empty settings file",
         {false, "\r\n"},
         {"size: 2 bytes\r\n", "mode: Folder\r\nfolder: %sData\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = Gather(c.parts);
        // Every part, in order, whatever is missing.
        std::size_t at = 0;
        for (const char* title : kPartTitles) {
            at = text.find(title, at);
            EXPECT_NE(at, std::string::npos) << title << "\n" << text;
        }
        at = 0;
        for (const std::string& line : c.lines) {
            const std::string wanted = Replaced(line, Folder());
            at = text.find(wanted, at);
            EXPECT_NE(at, std::string::npos) << wanted << "\n" << text;
            if (at == std::string::npos)
                at = 0;
        }
        std::filesystem::remove_all(temp / "History");
        std::filesystem::remove(temp / Settings::kFileName);
    }
}

TEST_F(SupportCollect, ProgramPartNamesBuildAndCodePages)
{
    const std::string text = Gather({});
    for (const std::string& line : {std::string("program: upgrade_support_collect_test.exe\r\n"),
                                    std::string("build: ") + (sizeof(void*) == 8 ? "64-bit" : "32-bit"),
                                    std::string("ANSI code page: ") + std::to_string(GetACP()) + "\r\n",
                                    std::string("Windows: "), std::string("version: ")})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST_F(SupportCollect, TheDialogsLocationComesBeforeTheSettings)
{
    WriteWholeFile(temp / Settings::kFileName, "[INIT]\r\nMode=1\r\nFolder=C:\\elsewhere\r\n");
    std::filesystem::create_directories(temp / "opts");
    WriteWholeFile(temp / "opts\\b.ENH", OptionFileBytes().substr(0, 100));
    SupportSources sources;
    sources.programFolder = CString(Folder());
    sources.hasLocation = true;
    sources.folderMode = true;
    sources.location = CString(temp / "opts");
    sources.ports = [] { return std::vector<SerialPortEntry>(); };
    const std::string text = SupportFileText(sources);
    EXPECT_NE(text.find("folder: " + (temp / "opts") + "\r\nb.ENH  100 bytes  no option file"),
              std::string::npos)
        << text;
}

TEST_F(SupportCollect, WrittenWholeUnderItsDefaultName)
{
    HistoryTime time;
    time.year = 2026;
    time.month = 12;
    time.day = 31;
    time.hour = 23;
    time.minute = 59;
    time.second = 58;
    const CString path = DefaultSupportFilePath(CString(Folder()), time);
    EXPECT_EQ(path.str(), Folder() + "History\\support-20261231-235958.txt");
    EXPECT_TRUE(std::filesystem::is_directory(temp / "History")) << "the History folder is made";
    SupportSources sources;
    sources.programFolder = CString(Folder());
    sources.ports = [] { return std::vector<SerialPortEntry>(); };
    ASSERT_EQ(WriteSupportFile(path, sources), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadWholeFile(path.str()), SupportFileText(sources));
    // No program folder: no default place, and nothing written anywhere.
    EXPECT_TRUE(DefaultSupportFilePath(CString(), time).IsEmpty());
    EXPECT_NE(WriteSupportFile(CString(Folder() + "no such folder\\s.txt"), sources),
              static_cast<DWORD>(ERROR_SUCCESS));
}
