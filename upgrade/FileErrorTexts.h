// The file-error boxes' texts in the language of the loaded texts, for
// CDataFile::SetErrorTexts. Texts a language file lacks are the built-in
// English ones, as everywhere.
#pragma once

#include "files/FileError.h"

class CLanguageTable;

FileErrorTexts FileErrorTextsFrom(CLanguageTable& texts);
