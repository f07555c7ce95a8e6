// Whole-file input for the signing tool: key files and the files it signs are small enough to
// read in one piece.
#ifndef WQDUPDATE_TOOLS_ZUKSIGN_FILE_BYTES_H
#define WQDUPDATE_TOOLS_ZUKSIGN_FILE_BYTES_H

#include <string>

// Reads every byte of the file at path into *bytes. On failure returns false and describes the
// fault in *error (a short phrase, without the path).
bool readFileBytes(const std::string& path, std::string* bytes, std::string* error);

#endif  // WQDUPDATE_TOOLS_ZUKSIGN_FILE_BYTES_H
