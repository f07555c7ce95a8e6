// The only driver unit besides the program's entry that sees <windows.h>.
#include "driver/platform_win32.h"

#include <windows.h>

static_assert(sizeof(WCHAR) == sizeof(uint16_t), "UTF-16 units are 16 bits wide");
static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32 bits wide");

uint32_t Win32Platform::getModuleFileName(ModuleHandle module, char* buffer, uint32_t size) {
  return GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
}

int32_t Win32Platform::messageBox(const char* text, const char* caption, uint32_t style) {
  return MessageBoxA(nullptr, text, caption, style);
}

uint16_t Win32Platform::getUserDefaultLangId() { return GetUserDefaultLangID(); }

ResourceHandle Win32Platform::findResourceEx(ModuleHandle module, uint16_t type, uint16_t name,
                                             uint16_t language) {
  return FindResourceExA(static_cast<HMODULE>(module), MAKEINTRESOURCEA(type),
                         MAKEINTRESOURCEA(name), language);
}

const uint8_t* Win32Platform::loadResource(ModuleHandle module, ResourceHandle resource,
                                           uint32_t* size) {
  HGLOBAL loaded = LoadResource(static_cast<HMODULE>(module), static_cast<HRSRC>(resource));
  if (loaded == nullptr) return nullptr;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return nullptr;
  *size = SizeofResource(static_cast<HMODULE>(module), static_cast<HRSRC>(resource));
  return static_cast<const uint8_t*>(bytes);
}

uint32_t Win32Platform::getAcp() { return GetACP(); }

int32_t Win32Platform::wideCharToMultiByte(uint32_t codePage, uint32_t flags, const uint16_t* wide,
                                           int32_t wideLength, char* buffer, int32_t bufferSize) {
  return WideCharToMultiByte(codePage, flags, reinterpret_cast<const WCHAR*>(wide), wideLength,
                             buffer, bufferSize, nullptr, nullptr);
}

int32_t Win32Platform::regOpenKeyEx(KeyHandle root, const char* subKey, uint32_t access,
                                    KeyHandle* key) {
  HKEY opened = nullptr;
  LONG error = RegOpenKeyExA(static_cast<HKEY>(root), subKey, 0, access, &opened);
  *key = opened;
  return error;
}

int32_t Win32Platform::regQueryValueEx(KeyHandle key, const char* valueName, uint32_t* type,
                                       uint8_t* data, uint32_t* size) {
  return RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr,
                          reinterpret_cast<DWORD*>(type), data, reinterpret_cast<DWORD*>(size));
}

int32_t Win32Platform::regCloseKey(KeyHandle key) { return RegCloseKey(static_cast<HKEY>(key)); }

uint32_t Win32Platform::getPrivateProfileString(const char* section, const char* key,
                                                const char* defaultText, char* buffer,
                                                uint32_t size, const char* fileName) {
  return GetPrivateProfileStringA(section, key, defaultText, buffer, size, fileName);
}

ModuleHandle Win32Platform::loadLibraryEx(const char* path, uint32_t flags) {
  return LoadLibraryExA(path, nullptr, flags);
}

ProcAddress Win32Platform::getProcAddress(ModuleHandle module, const char* name) {
  return reinterpret_cast<ProcAddress>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool Win32Platform::freeLibrary(ModuleHandle module) {
  return FreeLibrary(static_cast<HMODULE>(module)) != FALSE;
}

bool Win32Platform::copyFile(const char* existingPath, const char* newPath, bool failIfExists) {
  return CopyFileA(existingPath, newPath, failIfExists ? TRUE : FALSE) != FALSE;
}

uint32_t Win32Platform::getLastError() { return GetLastError(); }
