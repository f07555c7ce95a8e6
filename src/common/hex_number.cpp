#include "common/hex_number.h"

namespace {

int hexDigit(unsigned char byte) {
  if (byte >= '0' && byte <= '9') return byte - '0';
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  return -1;
}

bool isCSpace(unsigned char byte) { return byte == ' ' || (byte >= '\t' && byte <= '\r'); }

// The sign and the magnitude of the number in text. The magnitude stops growing once it passes
// 32 bits, so that it cannot wrap however long the digits run; overflow says so.
struct HexScan {
  bool negative = false;
  bool overflow = false;
  uint32_t magnitude = 0;
};

HexScan scanHex(const char* text) {
  HexScan scan;
  if (text == nullptr) return scan;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
  while (isCSpace(*at)) ++at;
  if (*at == '+' || *at == '-') {
    scan.negative = *at == '-';
    ++at;
  }
  if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X') && hexDigit(at[2]) >= 0) at += 2;
  for (int digit; (digit = hexDigit(*at)) >= 0; ++at) {
    if (scan.overflow) continue;
    if (scan.magnitude > (0xFFFFFFFFu - static_cast<uint32_t>(digit)) / 16) {
      scan.overflow = true;
    } else {
      scan.magnitude = scan.magnitude * 16 + static_cast<uint32_t>(digit);
    }
  }
  return scan;
}

}  // namespace

uint32_t parseUnsignedHex(const char* text) {
  const HexScan scan = scanHex(text);
  if (scan.overflow) return 0xFFFFFFFFu;
  return scan.negative ? 0u - scan.magnitude : scan.magnitude;
}

int32_t parseSignedHex(const char* text) {
  const HexScan scan = scanHex(text);
  if (scan.negative) {
    if (scan.overflow || scan.magnitude >= 0x80000000u) return INT32_MIN;
    return -static_cast<int32_t>(scan.magnitude);
  }
  if (scan.overflow || scan.magnitude > 0x7FFFFFFFu) return INT32_MAX;
  return static_cast<int32_t>(scan.magnitude);
}
