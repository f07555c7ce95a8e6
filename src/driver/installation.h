// Installation discovery: where the installed product lives (registry), the paths inside it,
// and the installed component versions from its setup.ini.
//
// The registry readers open their key afresh for every value and close it before they return;
// they report the system error code and leave their output untouched on any failure, so that a
// caller can preset an output and look only at it. Nothing here shows a message.
#ifndef WQDUPDATE_DRIVER_INSTALLATION_H
#define WQDUPDATE_DRIVER_INSTALLATION_H

#include <cstdint>
#include <string>

#include "driver/platform.h"

// The product key under HKEY_LOCAL_MACHINE: "Software\Mendrik Software\Teskor\4.0", with a
// non-empty oemName as a sub-key before "4.0".
std::string productKeyPath(const std::string& oemName);

// Reads the value valueName of keyPath under root as text: the data up to its first zero byte,
// or all of it when it has none. The value's type is not checked. Returns the system error
// code, 0 on success; *text is replaced only on success.
int32_t readRegistryText(Platform& platform, KeyHandle root, const char* keyPath,
                         const char* valueName, std::string* text);

// Reads the value valueName of keyPath under root as a 32-bit little-endian number. The type is
// not checked, but the data must be exactly 4 bytes long: any other length reads as missing
// (kErrorInvalidData), since a shorter value would leave bytes of the number undefined. Returns
// the system error code, 0 on success; *number is replaced only on success.
int32_t readRegistryNumber(Platform& platform, KeyHandle root, const char* keyPath,
                           const char* valueName, int32_t* number);

// folder and name with one backslash between them: name alone when folder is empty; no backslash
// added when folder ends with one or name begins with one.
std::string joinPath(const std::string& folder, const std::string& name);

// The installation's setup folder: programFolder followed by "\setup\", always appended (a
// folder that ends with a backslash gives two in a row).
std::string setupFolderOf(const std::string& programFolder);

// Reads the keys part.program, part.wqd, part.news and part.setup of section "Parts" of
// setup.ini in setupFolder (default "") and hands each text to its component's record through
// setFromIniValue; the components without a record drop theirs.
void readSetupIni(Platform& platform, const std::string& setupFolder);

// Sizes of the setup.ini read: a key name ("part.%s") and a value.
constexpr uint32_t kIniKeyBufferSize = 256;
constexpr uint32_t kIniValueBufferSize = 32768;

#endif  // WQDUPDATE_DRIVER_INSTALLATION_H
