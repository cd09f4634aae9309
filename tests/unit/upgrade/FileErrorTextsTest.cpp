// The file-error boxes in the language of the loaded texts, through the
// message-box seam: a shipped language file gives its own descriptions, its
// name for an unnamed file and its caption; a file from before the
// file-error rows still loads and gives the built-in English descriptions
// beside its own caption.
#include "upgrade/FileErrorTexts.h"

#include "files/DataFile.h"
#include "tests/support/ScriptedBoxes.h"
#include "tests/support/TempFolder.h"
#include "text/LanguageTable.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// A shipped language file as text mode reads it; without the rows of the
// texts added last (keys 1004xxxx) when older.
std::string ShippedFile(const char* name, bool older)
{
    std::ifstream in(std::string(ORVELLE_SOURCE_DIR "/res/") + name, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    std::istringstream lines(content.str());
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (older && line.compare(0, 6, "^#1004") == 0)
            continue;
        kept += line + "\n";
    }
    return kept;
}

// UTF-8 as the language file's code page holds it.
std::string InCodePage(const char* utf8, UINT codePage)
{
    const std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0)),
                            L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, const_cast<wchar_t*>(wide.data()),
                        static_cast<int>(wide.size()));
    std::string text(static_cast<std::size_t>(
                         WideCharToMultiByte(codePage, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(codePage, 0, wide.c_str(), -1, &text[0], static_cast<int>(text.size()), nullptr,
                        nullptr);
    text.resize(text.size() - 1);
    return text;
}

} // namespace

TEST(FileErrorTexts, BoxesSpeakTheLanguageFile)
{
    const struct {
        const char* name;
        const char* file;
        bool older;
        UINT codePage;
        const char* notFound; // "%1": the missing file's path
        const char* diskFullUnnamed;
        const char* caption;
    } cases[] = {
        {"English", "ORVELLE.lng", false, 1252, "%1 was not found.",
         "Disk full while accessing an unnamed file.", "Error"},
        {"German", "ORVELLE-de.lng", false, 1252, "%1 wurde nicht gefunden.",
         "Datenträger voll beim Zugriff auf eine unbenannte Datei.", "Fehler"},
        {"Japanese", "ORVELLE-ja.lng", false, 932, "%1 が見つかりませんでした。",
         "名前のないファイル へのアクセス中にディスクがいっぱいになりました。", "エラー"},
        {"German from before the file-error rows", "ORVELLE-de.lng", true, 1252, "%1 was not found.",
         "Disk full while accessing an unnamed file.", "Fehler"},
    };
    TempFolder folder;
    const std::string missing = folder / "missing.ENH";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = ShippedFile(c.file, c.older);
        CLanguageTable texts;
        ASSERT_EQ(texts.Parse(bytes.data(), static_cast<int>(bytes.size()), "English"), 1);
        CDataFile data;
        data.SetErrorTexts(FileErrorTextsFrom(texts));

        ScriptedBoxes boxes;
        char buffer[16] = {};
        EXPECT_EQ(data.DataFileOpen(nullptr, buffer, sizeof buffer, missing.c_str()), 0);
        // A network path's disk cannot be measured: disk full, no file named.
        EXPECT_EQ(data.DataFileSave(nullptr, buffer, sizeof buffer, "\\\\server\\share\\out.bin"), 0);

        std::string notFound = InCodePage(c.notFound, c.codePage);
        notFound.replace(notFound.find("%1"), 2, missing);
        const std::string caption = InCodePage(c.caption, c.codePage);
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].text, notFound);
        EXPECT_EQ(boxes.shown[0].caption, caption);
        EXPECT_EQ(boxes.shown[1].text, InCodePage(c.diskFullUnnamed, c.codePage));
        EXPECT_EQ(boxes.shown[1].caption, caption);
    }
}

// Texts that were never loaded keep every box as it was: English.
TEST(FileErrorTexts, NoTextsLoadedKeepsTheEnglishBoxes)
{
    CLanguageTable texts;
    CDataFile data;
    data.SetErrorTexts(FileErrorTextsFrom(texts));
    ScriptedBoxes boxes;
    char buffer[4] = {};
    EXPECT_EQ(data.DataFileSave(nullptr, buffer, sizeof buffer, "\\\\server\\share\\out.bin"), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Disk full while accessing an unnamed file.");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
}
