#include "driver/installation.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "driver/component_record.h"
#include "driver/platform_handles.h"

namespace {

constexpr char kProductKeyStart[] = "Software\\Mendrik Software\\Teskor\\";
constexpr char kProductKeyVersion[] = "4.0";

}  // namespace

std::string productKeyPath(const std::string& oemName) {
  std::string path = kProductKeyStart;
  if (!oemName.empty()) {
    path += oemName;
    path += '\\';
  }
  path += kProductKeyVersion;
  return path;
}

// The first steps of both registry reads: opens keyPath under root into key (a fresh open for
// every read) and asks for the size of valueName's data without reading it.
static int32_t openValue(Platform& platform, ScopedKey& key, KeyHandle root, const char* keyPath,
                         const char* valueName, uint32_t* size) {
  int32_t error = key.open(root, keyPath);
  if (error != kErrorSuccess) return error;
  return platform.regQueryValueEx(key.get(), valueName, nullptr, nullptr, size);
}

int32_t readRegistryText(Platform& platform, KeyHandle root, const char* keyPath,
                         const char* valueName, std::string* text) {
  ScopedKey key(platform);
  uint32_t size = 0;
  int32_t error = openValue(platform, key, root, keyPath, valueName, &size);
  if (error != kErrorSuccess) return error;
  // One spare byte keeps the buffer non-empty for a value without data.
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (!data) return kErrorNotEnoughMemory;
  uint32_t length = size;
  error = platform.regQueryValueEx(key.get(), valueName, nullptr, data.get(), &length);
  if (error != kErrorSuccess) return error;
  // The value may have shrunk since its size was asked for; never trust a larger answer.
  if (length > size) length = size;
  const void* zero = std::memchr(data.get(), 0, length);
  if (zero != nullptr)
    length = static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - data.get());
  text->assign(reinterpret_cast<const char*>(data.get()), length);
  return kErrorSuccess;
}

int32_t readRegistryNumber(Platform& platform, KeyHandle root, const char* keyPath,
                           const char* valueName, int32_t* number) {
  ScopedKey key(platform);
  uint32_t size = 0;
  int32_t error = openValue(platform, key, root, keyPath, valueName, &size);
  if (error != kErrorSuccess) return error;
  if (size != 4) return kErrorInvalidData;
  uint8_t bytes[4] = {0, 0, 0, 0};
  uint32_t length = sizeof(bytes);
  error = platform.regQueryValueEx(key.get(), valueName, nullptr, bytes, &length);
  if (error != kErrorSuccess) return error;
  if (length != 4) return kErrorInvalidData;
  *number = static_cast<int32_t>(
      static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
      static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
  return kErrorSuccess;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  std::string path = folder;
  if (folder.back() != '\\' && (name.empty() || name.front() != '\\')) path += '\\';
  path += name;
  return path;
}

std::string setupFolderOf(const std::string& programFolder) { return programFolder + "\\setup\\"; }

void readSetupIni(Platform& platform, const std::string& setupFolder) {
  const std::string iniPath = joinPath(setupFolder, "setup.ini");
  char value[kIniValueBufferSize];
  for (int number = 0; number < kComponentCount; ++number) {
    char key[kIniKeyBufferSize];
    std::snprintf(key, sizeof(key), "part.%s", componentName(number));
    value[0] = '\0';
    platform.getPrivateProfileString("Parts", key, "", value, sizeof(value), iniPath.c_str());
    value[sizeof(value) - 1] = '\0';
    ComponentRecord* record = componentRecord(number);
    if (record != nullptr) record->setFromIniValue(value);
  }
}
