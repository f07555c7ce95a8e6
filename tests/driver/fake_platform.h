// A data-driven stand-in for the Windows platform layer.
//
// A test states what the machine holds (the program's path, the user's language, the ANSI code
// page, string-table blocks, registry keys and values, setup.ini texts, installer-library files
// and how their entry points answer) and reads back what the run did (message boxes, installer
// calls, library loads and copies, keys asked for). Paths, key paths and value names are
// compared as Windows does: without regard to ASCII letter case. Handles are counted so that a
// test can prove every key was closed and every library freed.
#ifndef WQDUPDATE_TESTS_DRIVER_FAKE_PLATFORM_H
#define WQDUPDATE_TESTS_DRIVER_FAKE_PLATFORM_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/installer_api.h"
#include "driver/platform.h"

// System error codes the fake reports, as Windows would.
constexpr uint32_t kFakeErrorFileNotFound = 2;
constexpr uint32_t kFakeErrorInvalidHandle = 6;
constexpr uint32_t kFakeErrorInsufficientBuffer = 122;
constexpr uint32_t kFakeErrorModNotFound = 126;
constexpr uint32_t kFakeErrorProcNotFound = 127;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

struct ShownBox {
  std::string text;
  std::string caption;
  uint32_t style;
};

// One installer-library file: whether it loads, which entry points it exports, and how each
// call answers (result returned, status word written unless the write is turned off).
struct FakeLibrary {
  bool loads = true;
  bool hasUpdatePackages = true;
  bool hasUpdateFilesEx = true;
  int32_t packagesResult = 0;
  uint32_t packagesStatus = kStatusDone;
  bool packagesWritesStatus = true;
  int32_t filesResult = 0;
  uint32_t filesStatus = kStatusDone;
  bool filesWritesStatus = true;
};

// One call of an installer entry point as the library saw it.
struct InstallerCall {
  std::string entry;
  bool oemIsNull;
  std::string oem;
  std::string command;
  int32_t first;
  int32_t second;
  uint32_t statusBefore;
};

struct RegistryValue {
  uint32_t type;
  std::vector<uint8_t> data;
};

class FakePlatform final : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // --- What the machine holds ---
  ModuleHandle instance = reinterpret_cast<ModuleHandle>(0x400000);
  std::string ownPath = "C:\\Downloads\\wqdupdate.exe";
  bool ownPathFails = false;
  uint16_t userLanguage = 1033;
  uint32_t codePage = 1252;
  bool conversionFails = false;
  bool resourceLoadFails = false;

  // String-table blocks by (language, block number): 16 entries of count and units.
  std::map<std::pair<uint16_t, uint16_t>, std::vector<uint16_t>> stringBlocks;
  // Places the texts (UTF-8) under their ids in the blocks of language.
  void addStrings(uint16_t language, const std::vector<std::pair<uint32_t, std::string>>& texts);
  // The program's own two string tables, from the shared text table.
  void addProgramStrings();
  // Removes the text of id in language (its entry becomes empty).
  void removeString(uint16_t language, uint32_t id);

  // Registry keys under HKEY_LOCAL_MACHINE by key path, each with its values by name.
  void addKey(const std::string& keyPath);
  void setText(const std::string& keyPath, const std::string& name, const std::string& text);
  void setNumber(const std::string& keyPath, const std::string& name, int32_t number);
  void setValue(const std::string& keyPath, const std::string& name, uint32_t type,
                std::vector<uint8_t> data);

  // setup.ini texts by file path.
  std::map<std::string, std::string> iniFiles;
  // Installer-library files by path; copyFile copies entries of this table.
  std::map<std::string, FakeLibrary> libraryFiles;

  // --- What the run did ---
  std::vector<ShownBox> boxes;
  std::vector<InstallerCall> installerCalls;
  std::vector<std::string> loadedPaths;
  std::vector<uint32_t> loadFlags;
  std::vector<std::string> procNames;
  struct Copy {
    std::string from;
    std::string to;
    bool failIfExists;
  };
  std::vector<Copy> copies;
  std::vector<std::string> openedKeys;
  std::vector<uint32_t> openAccess;
  struct ProfileRead {
    std::string section;
    std::string key;
    std::string defaultText;
    uint32_t size;
    std::string fileName;
  };
  std::vector<ProfileRead> profileReads;
  std::vector<ModuleHandle> resourceModules;
  std::vector<ModuleHandle> moduleFileNameModules;
  struct Conversion {
    uint32_t codePage;
    uint32_t flags;
  };
  std::vector<Conversion> conversions;
  int openKeyCount = 0;
  int loadedLibraryCount = 0;
  int freeCount = 0;

  // --- Platform ---
  uint32_t getModuleFileName(ModuleHandle module, char* buffer, uint32_t size) override;
  int32_t messageBox(const char* text, const char* caption, uint32_t style) override;
  uint16_t getUserDefaultLangId() override;
  ResourceHandle findResourceEx(ModuleHandle module, uint16_t type, uint16_t name,
                                uint16_t language) override;
  const uint8_t* loadResource(ModuleHandle module, ResourceHandle resource,
                              uint32_t* size) override;
  uint32_t getAcp() override;
  int32_t wideCharToMultiByte(uint32_t codePage, uint32_t flags, const uint16_t* wide,
                              int32_t wideLength, char* buffer, int32_t bufferSize) override;
  int32_t regOpenKeyEx(KeyHandle root, const char* subKey, uint32_t access,
                       KeyHandle* key) override;
  int32_t regQueryValueEx(KeyHandle key, const char* valueName, uint32_t* type, uint8_t* data,
                          uint32_t* size) override;
  int32_t regCloseKey(KeyHandle key) override;
  uint32_t getPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                   char* buffer, uint32_t size, const char* fileName) override;
  ModuleHandle loadLibraryEx(const char* path, uint32_t flags) override;
  ProcAddress getProcAddress(ModuleHandle module, const char* name) override;
  bool freeLibrary(ModuleHandle module) override;
  bool copyFile(const char* existingPath, const char* newPath, bool failIfExists) override;
  uint32_t getLastError() override;

  // The fake whose library the entry points answer for (one at a time).
  static FakePlatform* active;
  // The library whose entry point is being called.
  FakeLibrary* calledLibrary = nullptr;

 private:
  std::map<std::string, std::map<std::string, RegistryValue>> registry_;
  std::map<uintptr_t, std::string> openKeys_;
  uintptr_t nextKey_ = 0x1000;
  std::map<uintptr_t, std::unique_ptr<FakeLibrary>> loadedModules_;
  uintptr_t nextModule_ = 0x10000000;
  uint32_t lastError_ = 0;
};

// Lower-case ASCII copy, the fake's key for paths and names.
std::string foldCase(const std::string& text);

#endif  // WQDUPDATE_TESTS_DRIVER_FAKE_PLATFORM_H
