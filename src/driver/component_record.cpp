#include "driver/component_record.h"

#include <climits>

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

static bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads text the way the C run time's strtol reads base 16 with a 32-bit long: white space, a
// sign, an optional "0x", then digits; the value is clamped to the signed 32-bit range.
static int32_t parseSignedHex(const char* text) {
  const char* p = text;
  while (isSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexDigit(p[2]) >= 0) p += 2;
  // The magnitude is kept just past the range, so that it cannot wrap however long the digits.
  const uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  uint32_t magnitude = 0;
  bool overflow = false;
  for (int digit; (digit = hexDigit(*p)) >= 0; ++p) {
    if (overflow) continue;
    if (magnitude > (limit - static_cast<uint32_t>(digit)) / 16) {
      overflow = true;
    } else {
      magnitude = magnitude * 16 + static_cast<uint32_t>(digit);
    }
  }
  if (overflow) return negative ? INT32_MIN : INT32_MAX;
  if (negative) return magnitude == 0x80000000u ? INT32_MIN : -static_cast<int32_t>(magnitude);
  return static_cast<int32_t>(magnitude);
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
