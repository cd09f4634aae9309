// Whole-file reads in the C runtime's Windows text mode, made the same on
// every build (the file is read as bytes and translated here):
// - CR LF becomes LF; a CR not followed by LF stays as it is;
// - a Ctrl-Z byte (0x1A) ends the text, as the old end-of-file mark does in
//   text mode; nothing after it is delivered.
// On Windows the file is opened without sharing: while another program has it
// open, the read fails. Portable: no windows.h.
#pragma once

#include <vector>

// Larger files are refused: no text file of the program comes near it, and
// positions in the text stay well inside an int even after unquoting.
const long kMaxTextFileSize = 256L * 1024 * 1024;

// Fills text with the translated content followed by one NUL (so
// text.size() - 1 bytes were read). False when the file cannot be opened or
// read, is larger than kMaxTextFileSize, or memory runs out; text is then
// empty.
bool ReadTextModeFile(const char* path, std::vector<char>& text);

// The text-mode translation in place over length bytes; returns the new length.
int TranslateTextMode(char* bytes, int length);
