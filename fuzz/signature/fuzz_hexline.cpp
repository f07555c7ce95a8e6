// decodeHex and the line filter over arbitrary bytes. decodeHex must agree with strtoul on every
// pair; the streaming line filter must digest exactly the bytes that the filter, applied to the
// whole content at once, keeps.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "signature/content_digest.h"
#include "signature/signature_trailer.h"

namespace {

std::vector<uint8_t> keptBytes(const uint8_t* data, size_t size, const std::string* prefix) {
  std::vector<uint8_t> kept;
  enum { LineStart, Skip, Keep } state = prefix != nullptr ? LineStart : Keep;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    const bool printable = b >= 0x20 && b <= 0x7F;
    if (prefix == nullptr) {
      if (printable) kept.push_back(b);
      continue;
    }
    const bool lineEnd = b == '\r' || b == '\n';
    if (state == LineStart) {
      const bool match = size - i - 1 >= prefix->size() &&
                         std::memcmp(data + i + 1, prefix->data(), prefix->size()) == 0;
      state = match ? Skip : Keep;
    } else if (state == Skip) {
      if (lineEnd) state = LineStart;
    } else {
      if (printable) kept.push_back(b);
      if (lineEnd) state = LineStart;
    }
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 24)) return 0;
  // The first byte chooses the prefix: 0xFF none, otherwise its low 3 bits give its length, and
  // that many following bytes (without zero bytes, which would end it) are the prefix.
  const uint8_t selector = data[0];
  size_t at = 1;
  std::string prefix;
  const bool hasPrefix = selector != 0xFF;
  if (hasPrefix) {
    const size_t length = selector & 7;
    while (prefix.size() < length && at < size && data[at] != 0) prefix += char(data[at++]);
  }
  const uint8_t* content = data + at;
  const size_t contentSize = size - at;

  uint8_t streamed[kDigestLength], whole[kDigestLength];
  digestTextLines(streamed, content, static_cast<uint32_t>(contentSize),
                  hasPrefix ? prefix.c_str() : nullptr);
  const std::vector<uint8_t> kept = keptBytes(content, contentSize, hasPrefix ? &prefix : nullptr);
  md5Digest(whole, kept.data(), static_cast<uint32_t>(kept.size()));
  if (std::memcmp(streamed, whole, kDigestLength) != 0) std::abort();

  // decodeHex reads exactly 2 * count characters.
  const uint32_t count = static_cast<uint32_t>(contentSize / 2);
  std::vector<char> text(content, content + 2 * count);
  std::vector<uint8_t> decoded(count);
  decodeHex(decoded.data(), count, text.data());
  for (uint32_t i = 0; i < count; ++i) {
    const char pair[3] = {text[2 * i], text[2 * i + 1], '\0'};
    if (decoded[i] != static_cast<uint8_t>(std::strtoul(pair, nullptr, 16) & 0xFF)) std::abort();
  }
  return 0;
}
