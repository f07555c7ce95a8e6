// Owners for the handles that the driver opens through Platform.
//
// Each wrapper holds at most one handle and releases it through the same Platform when it goes
// out of scope, so that every path out of a function that opened a registry key or loaded a
// library gives it back exactly once. They are neither copied nor moved: an owner stays where
// the handle was obtained.
#ifndef WQDUPDATE_DRIVER_PLATFORM_HANDLES_H
#define WQDUPDATE_DRIVER_PLATFORM_HANDLES_H

#include "driver/platform.h"

// An open registry key (RegOpenKeyExA ... RegCloseKey).
class ScopedKey {
 public:
  explicit ScopedKey(Platform& platform) : platform_(platform) {}
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  ~ScopedKey() {
    if (key_ != nullptr) platform_.regCloseKey(key_);
  }

  // Opens subKey under root for reading. Returns the system error code, 0 on success.
  // REQUIRES: no key is held yet.
  int32_t open(KeyHandle root, const char* subKey) {
    KeyHandle key = nullptr;
    int32_t error = platform_.regOpenKeyEx(root, subKey, kKeyRead, &key);
    if (error == kErrorSuccess) key_ = key;
    return error;
  }
  KeyHandle get() const { return key_; }

 private:
  Platform& platform_;
  KeyHandle key_ = nullptr;
};

// A loaded library (LoadLibraryExA ... FreeLibrary).
class ScopedLibrary {
 public:
  explicit ScopedLibrary(Platform& platform) : platform_(platform) {}
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  ~ScopedLibrary() {
    if (module_ != nullptr) platform_.freeLibrary(module_);
  }

  // Loads path with flags; true when a module is now held.
  // REQUIRES: no module is held yet.
  bool load(const char* path, uint32_t flags) {
    module_ = platform_.loadLibraryEx(path, flags);
    return module_ != nullptr;
  }
  ModuleHandle get() const { return module_; }

 private:
  Platform& platform_;
  ModuleHandle module_ = nullptr;
};

#endif  // WQDUPDATE_DRIVER_PLATFORM_HANDLES_H
