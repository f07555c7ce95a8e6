// The driver's one door to the operating system.
//
// Every Windows call that the update run makes goes through Platform, and each method forwards
// to exactly one Windows function of the same name and meaning (the "A" variants), with the
// arguments in the same order. The run's logic above this interface is plain C++ that is built
// and tested on any host; the win32 build hands it Win32Platform (platform_win32.h), the tests a
// fake that holds registry values, setup.ini texts, string blocks and installer answers as data.
//
// Handles are opaque pointers of the same width as the Windows ones. A method promises no more
// than its Windows counterpart does; comments mention only where the forwarding is not literal.
#ifndef WQDUPDATE_DRIVER_PLATFORM_H
#define WQDUPDATE_DRIVER_PLATFORM_H

#include <cstdint>

using ModuleHandle = void*;      // HMODULE, HINSTANCE
using ResourceHandle = void*;    // HRSRC
using KeyHandle = void*;         // HKEY
using ProcAddress = void (*)();  // FARPROC

// HKEY_LOCAL_MACHINE, the predefined key ((HKEY)(LONG)0x80000002).
inline const KeyHandle kHkeyLocalMachine =
    reinterpret_cast<KeyHandle>(static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));

// Windows system error codes that the driver produces or names itself.
constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorNotEnoughMemory = 8;
constexpr int32_t kErrorInvalidData = 13;
constexpr int32_t kErrorMoreData = 234;

constexpr uint32_t kKeyRead = 0x20019;              // KEY_READ
constexpr uint16_t kResourceTypeString = 6;         // RT_STRING
constexpr uint32_t kWcCompositeCheck = 0x200;       // WC_COMPOSITECHECK
constexpr uint32_t kWcSepChars = 0x20;              // WC_SEPCHARS
constexpr uint32_t kLoadWithAlteredSearchPath = 8;  // LOAD_WITH_ALTERED_SEARCH_PATH
constexpr uint32_t kMbOk = 0x00;                    // MB_OK
constexpr uint32_t kMbIconError = 0x10;             // MB_ICONERROR
constexpr uint32_t kMbIconInformation = 0x40;       // MB_ICONINFORMATION

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // GetModuleFileNameA (module, buffer, size): null module = the program's own file.
  virtual uint32_t getModuleFileName(ModuleHandle module, char* buffer, uint32_t size) = 0;
  // MessageBoxA without an owner window.
  virtual int32_t messageBox(const char* text, const char* caption, uint32_t style) = 0;

  virtual uint16_t getUserDefaultLangId() = 0;
  // FindResourceExA (module, MAKEINTRESOURCE(type), MAKEINTRESOURCE(name), language).
  virtual ResourceHandle findResourceEx(ModuleHandle module, uint16_t type, uint16_t name,
                                        uint16_t language) = 0;
  // LoadResource, handing back the resource's bytes (what LockResource gives for the loaded
  // handle) and their number (SizeofResource) so that a reader can stay inside them. Null when
  // the resource cannot be loaded.
  virtual const uint8_t* loadResource(ModuleHandle module, ResourceHandle resource,
                                      uint32_t* size) = 0;
  virtual uint32_t getAcp() = 0;
  // WideCharToMultiByte (codePage, flags, wide, wideLength, buffer, bufferSize, null, null).
  virtual int32_t wideCharToMultiByte(uint32_t codePage, uint32_t flags, const uint16_t* wide,
                                      int32_t wideLength, char* buffer, int32_t bufferSize) = 0;

  // RegOpenKeyExA (root, subKey, 0, access, key).
  virtual int32_t regOpenKeyEx(KeyHandle root, const char* subKey, uint32_t access,
                               KeyHandle* key) = 0;
  // RegQueryValueExA (key, valueName, null, type, data, size).
  virtual int32_t regQueryValueEx(KeyHandle key, const char* valueName, uint32_t* type,
                                  uint8_t* data, uint32_t* size) = 0;
  virtual int32_t regCloseKey(KeyHandle key) = 0;
  virtual uint32_t getPrivateProfileString(const char* section, const char* key,
                                           const char* defaultText, char* buffer, uint32_t size,
                                           const char* fileName) = 0;

  // LoadLibraryExA (path, null, flags).
  virtual ModuleHandle loadLibraryEx(const char* path, uint32_t flags) = 0;
  virtual ProcAddress getProcAddress(ModuleHandle module, const char* name) = 0;
  virtual bool freeLibrary(ModuleHandle module) = 0;
  virtual bool copyFile(const char* existingPath, const char* newPath, bool failIfExists) = 0;
  virtual uint32_t getLastError() = 0;
};

#endif  // WQDUPDATE_DRIVER_PLATFORM_H
