#include "test_text.h"

#include <cstdio>

namespace {

struct Mapping {
  uint16_t unit;
  uint8_t byte;
};

// The Czech and Slovak letters outside ASCII; in 1250 every one of them has a byte.
constexpr Mapping kCodePage1250[] = {
    {0x00E1, 0xE1}, {0x00E9, 0xE9}, {0x00ED, 0xED}, {0x00F3, 0xF3}, {0x00FA, 0xFA}, {0x016F, 0xF9},
    {0x00FD, 0xFD}, {0x010D, 0xE8}, {0x010F, 0xEF}, {0x011B, 0xEC}, {0x0148, 0xF2}, {0x0159, 0xF8},
    {0x0161, 0x9A}, {0x0165, 0x9D}, {0x017E, 0x9E}, {0x00C1, 0xC1}, {0x00C9, 0xC9}, {0x00CD, 0xCD},
    {0x00D3, 0xD3}, {0x00DA, 0xDA}, {0x016E, 0xD9}, {0x00DD, 0xDD}, {0x010C, 0xC8}, {0x010E, 0xCF},
    {0x011A, 0xCC}, {0x0147, 0xD2}, {0x0158, 0xD8}, {0x0160, 0x8A}, {0x0164, 0x8D}, {0x017D, 0x8E},
    {0x00E4, 0xE4}, {0x00F4, 0xF4}, {0x013A, 0xE5}, {0x013E, 0xBE}, {0x0155, 0xE0}, {0x00C4, 0xC4},
    {0x00D4, 0xD4}, {0x0139, 0xC5}, {0x013D, 0xBC}, {0x0154, 0xC0},
};

}  // namespace

std::vector<uint16_t> utf16FromUtf8(const std::string& text) {
  std::vector<uint16_t> units;
  for (size_t i = 0; i < text.size();) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    auto next = [&](size_t k) { return static_cast<uint8_t>(text[i + k]) & 0x3F; };
    if (lead < 0x80) {
      units.push_back(lead);
      i += 1;
    } else if ((lead & 0xE0) == 0xC0 && i + 1 < text.size()) {
      units.push_back(static_cast<uint16_t>((lead & 0x1F) << 6 | next(1)));
      i += 2;
    } else if ((lead & 0xF0) == 0xE0 && i + 2 < text.size()) {
      units.push_back(static_cast<uint16_t>((lead & 0x0F) << 12 | next(1) << 6 | next(2)));
      i += 3;
    } else {
      units.push_back(0xFFFD);
      i += 1;
    }
  }
  return units;
}

bool encodeUnit(uint32_t codePage, uint16_t unit, char* byte) {
  if (codePage != 1250 && codePage != 1252) return false;
  if (unit < 0x80) {
    *byte = static_cast<char>(unit);
    return true;
  }
  if (codePage == 1252) {
    // Latin-1 letters keep their numbers in 1252; no Czech-only letter is among them.
    if (unit >= 0xA0 && unit <= 0xFF) {
      *byte = static_cast<char>(unit);
      return true;
    }
    constexpr Mapping kBeyondLatin1[] = {
        {0x0160, 0x8A}, {0x0161, 0x9A}, {0x017D, 0x8E}, {0x017E, 0x9E}};
    for (const Mapping& mapping : kBeyondLatin1) {
      if (mapping.unit == unit) {
        *byte = static_cast<char>(mapping.byte);
        return true;
      }
    }
    return false;
  }
  for (const Mapping& mapping : kCodePage1250) {
    if (mapping.unit == unit) {
      *byte = static_cast<char>(mapping.byte);
      return true;
    }
  }
  return false;
}

std::string inCodePage(uint32_t codePage, const std::string& utf8) {
  std::string bytes;
  for (uint16_t unit : utf16FromUtf8(utf8)) {
    char byte = '?';
    if (!encodeUnit(codePage, unit, &byte)) byte = '?';
    bytes.push_back(byte);
  }
  return bytes;
}

std::string printable(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    const uint8_t byte = static_cast<uint8_t>(c);
    if (byte == '\n') {
      text += "\\n";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
      text += escaped;
    } else {
      text.push_back(c);
    }
  }
  return text;
}
