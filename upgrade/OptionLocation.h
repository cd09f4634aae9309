// Where the option files are: the folder's search pattern, the paths of the
// files found, the check that the location of a mode exists and the folder
// collection of a Folder run.
#pragma once

#include "framework/CString.h"

#include <vector>

class CDataFile;
class COptionLogic;

// The pattern that finds the option files of folder.
CString OptionFolderPattern(const CString& folder);

// True when the path holds a wildcard character: a pattern, never a file.
bool HasWildcard(const CString& path);

// Non-zero when the folder exists, whether or not the path ends in a
// backslash (a drive root always does). Empty: 0.
int OptionFolderExists(CDataFile& dataFile, const CString& folder);

// Non-zero when the location of the mode exists: Folder mode needs at least
// one match of the option-file pattern in the folder, File mode the file
// itself; a pattern is not a file.
int CheckLocation(CDataFile& dataFile, bool folderMode, const CString& folder, const CString& file);

// The warning (a language text number) shown when CheckLocation found
// nothing in that mode.
int MissingLocationText(bool folderMode);

// The folder collection: every option file of folder made for the identity
// block's model goes into list, in the order the folder lists them. Non-zero
// when at least one was found.
int CollectOptionFiles(CDataFile& dataFile, COptionLogic& logic, const CString& folder,
                       const unsigned char* identity, std::vector<CString>& list);
