#include "driver/component_record.h"

#include "common/hex_number.h"

static ComponentRecord wqdRecord;
static ComponentRecord setupRecord;

// Indexed by component number; the components without a record have no slot.
static ComponentRecord* const componentRecords[kComponentCount] = {nullptr, &wqdRecord, nullptr,
                                                                   &setupRecord};

static const char* const kComponentNames[kComponentCount] = {"program", "wqd", "news", "setup"};

ComponentRecord* componentRecord(int number) {
  if (number < 0 || number >= kComponentCount) return nullptr;
  return componentRecords[number];
}

const char* componentName(int number) {
  if (number < 0 || number >= kComponentCount) return nullptr;
  return kComponentNames[number];
}

static char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool equalsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (asciiLower(*a) != asciiLower(*b)) return false;
  }
  return *a == *b;
}

int componentFromName(const char* name) {
  if (name == nullptr) return -1;
  // The order in which the names are tried; each name matches only itself, so it does not
  // change the result.
  static const int kLookupOrder[] = {3, 0, 2, 1};
  for (int number : kLookupOrder) {
    if (equalsIgnoringCase(name, kComponentNames[number])) return number;
  }
  return -1;
}

void resetComponentRecords() {
  for (ComponentRecord* record : componentRecords) {
    if (record != nullptr) *record = ComponentRecord();
  }
}

void ComponentRecord::setFromIniValue(const char* text) {
  const char* dash = nullptr;
  if (text != nullptr) {
    for (const char* p = text; *p != '\0'; ++p) {
      if (*p == '-') {
        dash = p;
        break;
      }
    }
  }
  if (dash == nullptr) {
    installedVersion = -1;
    return;
  }
  installedName.assign(text, dash);
  installedVersion = parseSignedHex(dash + 1);
}
