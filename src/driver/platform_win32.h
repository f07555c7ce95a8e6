// The real platform layer: Platform forwarded to the Windows API (kernel32, user32, advapi32).
//
// Built only in the win32 tree. Each method is one call of the Windows function it is named
// after; nothing is cached and no handle is kept, so one object serves the whole process.
#ifndef WQDUPDATE_DRIVER_PLATFORM_WIN32_H
#define WQDUPDATE_DRIVER_PLATFORM_WIN32_H

#include "driver/platform.h"

class Win32Platform final : public Platform {
 public:
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
};

#endif  // WQDUPDATE_DRIVER_PLATFORM_WIN32_H
