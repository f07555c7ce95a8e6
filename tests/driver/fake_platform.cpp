#include "fake_platform.h"

#include <cstring>

#include "message_texts.h"
#include "test_text.h"

FakePlatform* FakePlatform::active = nullptr;

namespace {

constexpr uint32_t kEntriesPerBlock = 16;

template <typename Map>
auto findFolded(Map& map, const std::string& key) -> decltype(map.begin()) {
  const std::string folded = foldCase(key);
  for (auto it = map.begin(); it != map.end(); ++it) {
    if (foldCase(it->first) == folded) return it;
  }
  return map.end();
}

std::string trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Splits a block into its 16 entries (an absent or short block gives empty entries).
std::vector<std::vector<uint16_t>> blockEntries(const std::vector<uint16_t>& block) {
  std::vector<std::vector<uint16_t>> entries(kEntriesPerBlock);
  size_t position = 0;
  for (uint32_t i = 0; i < kEntriesPerBlock && position < block.size(); ++i) {
    const size_t count = block[position++];
    entries[i].assign(block.begin() + position, block.begin() + position + count);
    position += count;
  }
  return entries;
}

std::vector<uint16_t> joinEntries(const std::vector<std::vector<uint16_t>>& entries) {
  std::vector<uint16_t> block;
  for (const auto& entry : entries) {
    block.push_back(static_cast<uint16_t>(entry.size()));
    block.insert(block.end(), entry.begin(), entry.end());
  }
  return block;
}

int32_t KOVREL_CALL fakeUpdatePackages(const char* oem, const char* command, int32_t first,
                                       int32_t second, uint32_t* status) {
  FakePlatform* fake = FakePlatform::active;
  FakeLibrary* library = fake->calledLibrary;
  fake->installerCalls.push_back({"kovrelUpdatePackages", oem == nullptr, oem ? oem : "",
                                  command ? command : "", first, second, *status});
  if (library->packagesWritesStatus) *status = library->packagesStatus;
  return library->packagesResult;
}

int32_t KOVREL_CALL fakeUpdateFilesEx(const char* oem, const char* command, int32_t first,
                                      int32_t second, uint32_t* status) {
  FakePlatform* fake = FakePlatform::active;
  FakeLibrary* library = fake->calledLibrary;
  fake->installerCalls.push_back({"kovrelUpdateFilesEx", oem == nullptr, oem ? oem : "",
                                  command ? command : "", first, second, *status});
  if (library->filesWritesStatus) *status = library->filesStatus;
  return library->filesResult;
}

}  // namespace

std::string foldCase(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

FakePlatform::FakePlatform() { active = this; }

FakePlatform::~FakePlatform() {
  if (active == this) active = nullptr;
}

void FakePlatform::addStrings(uint16_t language,
                              const std::vector<std::pair<uint32_t, std::string>>& texts) {
  for (const auto& text : texts) {
    const uint16_t blockNumber = static_cast<uint16_t>((text.first >> 4) + 1);
    std::vector<uint16_t>& block = stringBlocks[{language, blockNumber}];
    auto entries = blockEntries(block);
    entries[text.first & 15] = utf16FromUtf8(text.second);
    block = joinEntries(entries);
  }
}

void FakePlatform::addProgramStrings() {
  std::vector<std::pair<uint32_t, std::string>> english;
  std::vector<std::pair<uint32_t, std::string>> czech;
#define WQD_FAKE_ROW(id, englishText, czechText) \
  english.emplace_back(id, englishText);         \
  czech.emplace_back(id, czechText);
  WQD_MESSAGE_TEXTS(WQD_FAKE_ROW)
#undef WQD_FAKE_ROW
  addStrings(1033, english);
  addStrings(1029, czech);
}

void FakePlatform::removeString(uint16_t language, uint32_t id) {
  auto it = stringBlocks.find({language, static_cast<uint16_t>((id >> 4) + 1)});
  if (it == stringBlocks.end()) return;
  auto entries = blockEntries(it->second);
  entries[id & 15].clear();
  it->second = joinEntries(entries);
}

void FakePlatform::addKey(const std::string& keyPath) { registry_[foldCase(keyPath)]; }

void FakePlatform::setText(const std::string& keyPath, const std::string& name,
                           const std::string& text) {
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  setValue(keyPath, name, kRegSz, data);
}

void FakePlatform::setNumber(const std::string& keyPath, const std::string& name, int32_t number) {
  const uint32_t bits = static_cast<uint32_t>(number);
  setValue(keyPath, name, kRegDword,
           {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)});
}

void FakePlatform::setValue(const std::string& keyPath, const std::string& name, uint32_t type,
                            std::vector<uint8_t> data) {
  registry_[foldCase(keyPath)][foldCase(name)] = RegistryValue{type, std::move(data)};
}

uint32_t FakePlatform::getModuleFileName(ModuleHandle module, char* buffer, uint32_t size) {
  moduleFileNameModules.push_back(module);
  if (ownPathFails || size == 0) return 0;
  // As Windows does since Vista: a path that does not fit is cut, terminated, and the call
  // returns the buffer size.
  if (ownPath.size() >= size) {
    std::memcpy(buffer, ownPath.data(), size - 1);
    buffer[size - 1] = '\0';
    lastError_ = kFakeErrorInsufficientBuffer;
    return size;
  }
  std::memcpy(buffer, ownPath.c_str(), ownPath.size() + 1);
  return static_cast<uint32_t>(ownPath.size());
}

int32_t FakePlatform::messageBox(const char* text, const char* caption, uint32_t style) {
  boxes.push_back({text, caption, style});
  return 1;  // IDOK
}

uint16_t FakePlatform::getUserDefaultLangId() { return userLanguage; }

ResourceHandle FakePlatform::findResourceEx(ModuleHandle module, uint16_t type, uint16_t name,
                                            uint16_t language) {
  resourceModules.push_back(module);
  if (module != instance || type != kResourceTypeString) return nullptr;
  auto it = stringBlocks.find({language, name});
  if (it == stringBlocks.end()) return nullptr;
  return &it->second;
}

const uint8_t* FakePlatform::loadResource(ModuleHandle module, ResourceHandle resource,
                                          uint32_t* size) {
  if (module != instance || resourceLoadFails) return nullptr;
  const auto* block = static_cast<const std::vector<uint16_t>*>(resource);
  *size = static_cast<uint32_t>(block->size() * 2);
  return reinterpret_cast<const uint8_t*>(block->data());
}

uint32_t FakePlatform::getAcp() { return codePage; }

int32_t FakePlatform::wideCharToMultiByte(uint32_t page, uint32_t flags, const uint16_t* wide,
                                          int32_t wideLength, char* buffer, int32_t bufferSize) {
  conversions.push_back({page, flags});
  if (conversionFails || wideLength < 0 || bufferSize <= 0) return 0;
  std::string bytes;
  for (int32_t i = 0; i < wideLength; ++i) {
    char byte = '?';
    if (!encodeUnit(page, wide[i], &byte)) {
      if (page != 1250 && page != 1252) return 0;  // a code page the fake does not know
      byte = '?';
    }
    bytes.push_back(byte);
  }
  if (bytes.size() > static_cast<size_t>(bufferSize)) {
    // Windows fails with ERROR_INSUFFICIENT_BUFFER, having filled the buffer to its end.
    std::memcpy(buffer, bytes.data(), static_cast<size_t>(bufferSize));
    lastError_ = kFakeErrorInsufficientBuffer;
    return 0;
  }
  std::memcpy(buffer, bytes.data(), bytes.size());
  return static_cast<int32_t>(bytes.size());
}

int32_t FakePlatform::regOpenKeyEx(KeyHandle root, const char* subKey, uint32_t access,
                                   KeyHandle* key) {
  openedKeys.push_back(subKey);
  openAccess.push_back(access);
  if (root != kHkeyLocalMachine) return kFakeErrorInvalidHandle;
  auto it = registry_.find(foldCase(subKey));
  if (it == registry_.end()) return kFakeErrorFileNotFound;
  const uintptr_t handle = nextKey_++;
  openKeys_[handle] = it->first;
  ++openKeyCount;
  *key = reinterpret_cast<KeyHandle>(handle);
  return 0;
}

int32_t FakePlatform::regQueryValueEx(KeyHandle key, const char* valueName, uint32_t* type,
                                      uint8_t* data, uint32_t* size) {
  auto open = openKeys_.find(reinterpret_cast<uintptr_t>(key));
  if (open == openKeys_.end()) return kFakeErrorInvalidHandle;
  const auto& values = registry_[open->second];
  auto it = values.find(foldCase(valueName ? valueName : ""));
  if (it == values.end()) return kFakeErrorFileNotFound;
  const RegistryValue& value = it->second;
  if (type != nullptr) *type = value.type;
  const uint32_t needed = static_cast<uint32_t>(value.data.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return 0;
  }
  if (size == nullptr) return kFakeErrorInvalidHandle;
  if (*size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (needed > 0) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return 0;
}

int32_t FakePlatform::regCloseKey(KeyHandle key) {
  if (openKeys_.erase(reinterpret_cast<uintptr_t>(key)) == 0) return kFakeErrorInvalidHandle;
  --openKeyCount;
  return 0;
}

uint32_t FakePlatform::getPrivateProfileString(const char* section, const char* key,
                                               const char* defaultText, char* buffer, uint32_t size,
                                               const char* fileName) {
  profileReads.push_back({section, key, defaultText, size, fileName});
  std::string result = defaultText;
  auto file = findFolded(iniFiles, fileName);
  if (file != iniFiles.end()) {
    std::string current;
    size_t start = 0;
    const std::string& text = file->second;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = trim(text.substr(start, end - start));
      start = end + 1;
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        current = foldCase(line.substr(1, line.size() - 2));
        continue;
      }
      const size_t equals = line.find('=');
      if (equals == std::string::npos || current != foldCase(section)) continue;
      if (foldCase(trim(line.substr(0, equals))) == foldCase(key)) {
        result = trim(line.substr(equals + 1));
        break;
      }
    }
  }
  if (size == 0) return 0;
  const size_t length = result.size() < size - 1 ? result.size() : size - 1;
  std::memcpy(buffer, result.data(), length);
  buffer[length] = '\0';
  return static_cast<uint32_t>(length);
}

ModuleHandle FakePlatform::loadLibraryEx(const char* path, uint32_t flags) {
  loadedPaths.push_back(path);
  loadFlags.push_back(flags);
  auto it = findFolded(libraryFiles, path);
  if (it == libraryFiles.end() || !it->second.loads) {
    lastError_ = kFakeErrorModNotFound;
    return nullptr;
  }
  const uintptr_t handle = nextModule_;
  nextModule_ += 0x10000;
  loadedModules_[handle] = std::make_unique<FakeLibrary>(it->second);
  ++loadedLibraryCount;
  return reinterpret_cast<ModuleHandle>(handle);
}

ProcAddress FakePlatform::getProcAddress(ModuleHandle module, const char* name) {
  procNames.push_back(name);
  auto it = loadedModules_.find(reinterpret_cast<uintptr_t>(module));
  if (it == loadedModules_.end()) {
    lastError_ = kFakeErrorInvalidHandle;
    return nullptr;
  }
  FakeLibrary* library = it->second.get();
  active = this;
  calledLibrary = library;
  if (std::strcmp(name, kKovrelUpdatePackagesName) == 0 && library->hasUpdatePackages) {
    return reinterpret_cast<ProcAddress>(&fakeUpdatePackages);
  }
  if (std::strcmp(name, kKovrelUpdateFilesExName) == 0 && library->hasUpdateFilesEx) {
    return reinterpret_cast<ProcAddress>(&fakeUpdateFilesEx);
  }
  lastError_ = kFakeErrorProcNotFound;
  return nullptr;
}

bool FakePlatform::freeLibrary(ModuleHandle module) {
  ++freeCount;
  if (loadedModules_.erase(reinterpret_cast<uintptr_t>(module)) == 0) return false;
  --loadedLibraryCount;
  return true;
}

bool FakePlatform::copyFile(const char* existingPath, const char* newPath, bool failIfExists) {
  copies.push_back({existingPath, newPath, failIfExists});
  auto from = findFolded(libraryFiles, existingPath);
  if (from == libraryFiles.end()) {
    lastError_ = kFakeErrorFileNotFound;
    return false;
  }
  const FakeLibrary copy = from->second;
  auto to = findFolded(libraryFiles, newPath);
  if (to != libraryFiles.end()) {
    if (failIfExists) return false;
    to->second = copy;
  } else {
    libraryFiles[newPath] = copy;
  }
  return true;
}

uint32_t FakePlatform::getLastError() { return lastError_; }
