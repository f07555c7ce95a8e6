// The command line: splits the text that the self-extracting package passes into tokens and
// takes up the four options /silent, /sfxstorage folder, /oem name and /lang code.
//
// Nothing on a command line is an error: unknown options, stray tokens and options without their
// argument are ignored. The only effects are the process-wide settings below (and uiLanguage of
// messages.h for /lang).
#ifndef WQDUPDATE_DRIVER_COMMAND_LINE_H
#define WQDUPDATE_DRIVER_COMMAND_LINE_H

#include <cstdint>
#include <string>
#include <vector>

// Process-wide settings, with their values before parsing: false, empty, empty.
extern bool silentMode;            // no final message box
extern std::string storageFolder;  // folder of the package file; part of the installer command
extern std::string oemName;        // registry sub-key, default edition, installer argument

// Puts silentMode, storageFolder and oemName back to their values before parsing.
void resetCommandLineSettings();

// The arguments of a whole process command line (what GetCommandLineA gives): the text after
// the program's own name and the separators that follow it. The name runs up to the first byte
// of 0x20 or below that is not between double quotes; bytes of 0x80 and above belong to it, so
// that an unquoted program path with an accented letter leaves nothing of itself behind.
// Returns a pointer into line, or "" for null.
const char* argumentsAfterProgramName(const char* line);

// Splits line (zero-terminated 8-bit text, or null for none) into tokens. Token characters are
// the bytes 0x21..0x7E; every other byte separates tokens outside double quotes. A token that
// starts with a double quote runs to the next double quote, separators included, and is taken
// without the quotes; a double quote inside a plain token is part of it. A token still open at
// the end of the line is taken with the bytes it has.
std::vector<std::string> tokenizeCommandLine(const char* line);

// The LANGID that a /lang code gives: the table of codes (compared exactly, with case), else the
// low 16 bits of the code read as a hexadecimal number (parseUnsignedHex). Not yet collapsed.
uint16_t languageForCode(const char* code);

// Parses commandLine (without the program's own name) and sets the settings: /silent,
// /sfxstorage, /oem and /lang, each also with '-' for '/' and in any letter case. An option that
// takes an argument takes the next token whatever it is; given last, it has no effect. A later
// occurrence of an option wins. /lang sets uiLanguage to the collapsed LANGID of its code.
void parseCommandLine(const char* commandLine);

#endif  // WQDUPDATE_DRIVER_COMMAND_LINE_H
