// The trailer finders over arbitrary file bytes: no crash, no read or seek outside the bytes, and
// every trailer found lies wholly inside them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/byte_stream.h"
#include "signature/signature_trailer.h"

namespace {

// Aborts on any access that leaves the file: the finders check every offset before they use it.
class StrictStream : public MemoryStream {
 public:
  explicit StrictStream(std::vector<uint8_t>& bytes) : size(bytes.size()) {
    static uint8_t empty = 0;
    attach(bytes.empty() ? &empty : bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  bool read(void* dst, uint32_t length, uint32_t* count) override {
    if (position() > size || length > size - position()) std::abort();
    return MemoryStream::read(dst, length, count);
  }
  uint32_t seek(int32_t offset, int origin) override {
    const uint32_t to = MemoryStream::seek(offset, origin);
    if (to > size) std::abort();
    return to;
  }
  const size_t size;
};

void check(bool found, uint32_t signedLength, uint32_t trailerLength, size_t size, size_t slack) {
  if (!found) return;
  // The trailer starts at the signed length and fits in the file; a text trailer's closing magic
  // lies within the last 107 bytes.
  if (signedLength > size || trailerLength > size - signedLength) std::abort();
  if (size - signedLength - trailerLength > slack) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kLargestSearchableFile) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  StrictStream stream(bytes);
  uint8_t signature[kTrailerSignatureLength];
  uint32_t signedLength = 0;

  // Binary trailers may stand anywhere before a certificate table: only the bounds are checked.
  const bool binary = findBinaryTrailer(stream, signature, &signedLength);
  check(binary, signedLength, kBinaryTrailerLength, size, size);
  if (binary && std::memcmp(bytes.data() + signedLength + 40, kBinaryMagic, 8) != 0) std::abort();

  const bool textDsa = findTextDsaTrailer(stream, signature, &signedLength);
  check(textDsa, signedLength, kTextDsaTrailerLength, size, kTextTrailerSlack);

  std::memset(signature, 0xA5, sizeof signature);
  const bool textMd5 = findTextMd5Trailer(stream, signature, &signedLength);
  check(textMd5, signedLength, kTextMd5TrailerLength, size, kTextTrailerSlack);
  // A TextMd5 trailer fills only the first 16 signature bytes.
  for (uint32_t i = 16; i < kTrailerSignatureLength; ++i) {
    if (signature[i] != 0xA5) std::abort();
  }
  stream.close();
  return 0;
}
