// CLanguageTable: the program's texts by number (0 to 47, and the added texts
// from TextNo::kFirstAdded on), loaded once at start-up from the language file
// "ORVELLE.lng" in the requested language.
// Portable except for Open, which finds the file with the platform's search.
//
// The file is comma-separated text: a "*Language" row names the language of
// each column, an optional "*Font" row follows the same layout, and each
// numbered row ("^#" and an eight-digit key in its first field) holds one
// text per language. Every other row is ignored. Quoting as CDelimitedText
// undoes it; texts may hold the escapes \n, \t and \a (comma). A file may
// lack the rows of texts added after the first files (TextNumbers.h says
// from which number): those get their English texts built in.
//
// A "*CodePage" row (its second field a Windows code page number, 1252 or
// 932) says which code page the file's bytes are in. Where that is not the
// ANSI code page in force (a German file on Windows set to UTF-8, 65001), the
// texts are converted on loading; a file without the row is taken as it is.
#pragma once

#include "framework/CString.h"
#include "framework/Path.h"
#include "text/DelimitedText.h"
#include "text/TextNumbers.h"

#include <memory>

class CLanguageTable {
public:
    CLanguageTable();
    CLanguageTable(const CLanguageTable&) = delete;
    CLanguageTable& operator=(const CLanguageTable&) = delete;
    virtual ~CLanguageTable();

#ifdef _WIN32
    // Finds and loads the file; 1 loaded, 0 after the user has been told the
    // file is missing or damaged (a message box with no owner).
    int Open(const char* language);
#endif
    // Loads the file found by Open: 1 loaded, 0 damaged. Shows nothing.
    // On Windows its texts come in the ANSI code page in force.
    int Load(const char* language);
#ifdef _WIN32
    // Parse, the file's bytes first taken from the code page its
    // "*CodePage" row declares into codePage, when it declares another one.
    int ParseInCodePage(const char* bytes, int length, const char* language, unsigned codePage);
#endif
    // The code page the file's "*CodePage" row declares, or 0 when it has
    // none (or a number that is no code page).
    static unsigned DeclaredCodePage(const char* bytes, int length);
    // The part of Load after the file read: bytes is the file's content as
    // text mode delivers it (it need not end in a NUL; the text ends at the
    // first NUL or after length bytes). 1 loaded, 0 damaged.
    int Parse(const char* bytes, int length, const char* language);

    // Text number, with its escapes turned into line feeds, tabs and commas.
    // Owned by the table and valid until the next load. An added text the
    // file lacks (or leaves empty) is the built-in English one. Other numbers
    // outside 0 to 47, and any number while no texts are loaded, give an
    // empty text.
    const char* GetText(int number);
    // The built-in English of an added text, for words that are shown
    // without a language file (and never turned by one); empty for others.
    static const char* BuiltInText(int number);
    int GetCount() const
    {
        return kTextCount;
    }

    // Selects the column of name in the language row (1 or more); a name
    // that is not there selects column 1. 0 if no texts are allocated.
    int SelectLanguage(const char* name);
    // Text number of a key (first match in the key list), or -1.
    int KeyIndex(const char* key) const;

    // Store the first row of the document (among its first lineCount lines)
    // whose first field is "*Language" or "*Font"; 1 found, 0 not.
    int FindLanguageRow(const CDelimitedText& document, int lineCount);
    int FindFontRow(const CDelimitedText& document, int lineCount);

    // Replaces any texts with count empty ones: 1 done, 0 out of memory.
    int AllocTexts(int count);
    // 1 if texts were released, 0 if there were none.
    int FreeTexts();

    // The name searched for, and the full path Open found (empty until then
    // or when the search failed).
    const char* GetFileName() const
    {
        return m_fileName;
    }
    const char* GetPath() const
    {
        return m_path;
    }
    const CDelimitedText& GetLanguageRow() const
    {
        return m_languageRow;
    }
    const CDelimitedText& GetFontRow() const
    {
        return m_fontRow;
    }

private:
    static const int kTextCount = TextNo::kCount;
    static const int kAddedCount = TextNo::kAddedEnd - TextNo::kFirstAdded;

    int FindRow(const CDelimitedText& document, int lineCount, const char* marker, CDelimitedText& row);

    char m_path[kLongestPath];
    int m_keyEntryLength;
    CDelimitedText m_fontRow;
    CString m_keyList;
    std::unique_ptr<CString[]> m_texts;
    int m_textCount = 0;
    CString m_addedTexts[kAddedCount]; // as the file has them; empty: not there
    CDelimitedText m_languageRow;
    int m_column = 0;
    const char* const m_fileName;
};
