#include "driver/messages.h"

#include <cstring>

uint16_t uiLanguage = kLanguageEnglish;

namespace {

constexpr uint16_t kLanguageSlovak = 1051;
constexpr uint16_t kPrimaryLanguageMask = 0x3FF;
// WideCharToMultiByte takes its buffer size as a signed int.
constexpr uint32_t kMaxConversionBytes = 0x7FFFFFFF;

struct PrimaryLanguage {
  uint16_t primary;
  uint16_t langId;
};

constexpr PrimaryLanguage kPrimaryLanguages[] = {
    {0x05, kLanguageCzech},  // Czech
    {0x1B, kLanguageCzech},  // Slovak
    {0x07, 1031},            // German
    {0x0A, 1034},            // Spanish
    {0x0C, 1036},            // French
    {0x10, 1040},            // Italian
    {0x13, 1043},            // Dutch
    {0x15, 1045},            // Polish
};

uint16_t readU16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

}  // namespace

uint16_t collapseLanguage(uint16_t langId) {
  return langId == kLanguageCzech || langId == kLanguageSlovak ? kLanguageCzech : kLanguageEnglish;
}

uint16_t languageForUserDefault(uint16_t langId) {
  const uint16_t primary = langId & kPrimaryLanguageMask;
  for (const PrimaryLanguage& entry : kPrimaryLanguages) {
    if (entry.primary == primary) return entry.langId;
  }
  return kLanguageEnglish;
}

void chooseDefaultLanguage(Platform& platform) {
  uiLanguage = collapseLanguage(languageForUserDefault(platform.getUserDefaultLangId()));
}

bool findStringEntry(const uint8_t* block, uint32_t size, uint32_t index, const uint16_t** units,
                     uint32_t* count) {
  if (block == nullptr || index >= kStringBlockEntries) return false;
  uint32_t position = 0;
  for (uint32_t entry = 0; entry <= index; ++entry) {
    if (size - position < 2) return false;
    const uint32_t length = readU16(block + position);
    position += 2;
    // The entry's units must lie inside the block; checked by subtraction so it cannot wrap.
    if (length > (size - position) / 2) return false;
    if (entry == index) {
      if (length == 0) return false;  // an empty entry is no text
      *units = reinterpret_cast<const uint16_t*>(block + position);
      *count = length;
      return true;
    }
    position += length * 2;
  }
  return false;
}

uint32_t loadMessage(Platform& platform, ModuleHandle module, uint32_t id, char* buffer,
                     uint32_t bufferSize, uint16_t language) {
  if (bufferSize == 0) return 0;
  buffer[0] = '\0';
  const uint16_t blockNumber = static_cast<uint16_t>((id >> 4) + 1);
  ResourceHandle resource =
      platform.findResourceEx(module, kResourceTypeString, blockNumber, language);
  if (resource == nullptr) return 0;
  uint32_t size = 0;
  const uint8_t* block = platform.loadResource(module, resource, &size);
  if (block == nullptr) return 0;
  const uint16_t* units = nullptr;
  uint32_t count = 0;
  if (!findStringEntry(block, size, id & 15, &units, &count)) return 0;

  // One byte stays free for the terminating zero. A text that needs more fails to convert
  // rather than being cut, and whatever the failed conversion wrote is discarded.
  const uint32_t room = bufferSize - 1 < kMaxConversionBytes ? bufferSize - 1 : kMaxConversionBytes;
  if (room == 0) return 0;
  const int32_t written =
      platform.wideCharToMultiByte(platform.getAcp(), kWcCompositeCheck | kWcSepChars, units,
                                   static_cast<int32_t>(count), buffer, static_cast<int32_t>(room));
  if (written <= 0 || static_cast<uint32_t>(written) > room) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[written] = '\0';
  return static_cast<uint32_t>(written);
}

void replaceAll(std::string& text, const char* placeholder, const char* value) {
  // An empty placeholder would match everywhere and never let the search move on.
  if (placeholder == nullptr || placeholder[0] == '\0' || value == nullptr) return;
  const size_t placeholderLength = std::strlen(placeholder);
  const size_t valueLength = std::strlen(value);
  size_t position = text.find(placeholder, 0, placeholderLength);
  while (position != std::string::npos) {
    text.replace(position, placeholderLength, value, valueLength);
    position = text.find(placeholder, position + valueLength, placeholderLength);
  }
}
