#include "signature/content_digest.h"

#include <cstddef>
#include <cstring>

// MD5 lives in Crypto++'s namespace for weak algorithms, which must be asked for explicitly.
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

namespace {

// The kept bytes of a text normalisation pass through this many bytes on the stack before they
// enter MD5; large enough that MD5 sees long runs, small enough to cost no allocation.
constexpr size_t kWorkingBufferSize = 8192;

constexpr uint8_t kCarriageReturn = 0x0D;
constexpr uint8_t kLineFeed = 0x0A;

bool isPrintable(uint8_t byte) { return byte >= 0x20 && byte <= 0x7F; }
bool isLineEnd(uint8_t byte) { return byte == kCarriageReturn || byte == kLineFeed; }

// Gathers kept bytes and feeds them to MD5 a buffer at a time. MD5 is a stream function, so the
// digest equals that of all kept bytes in one piece.
class KeptBytes {
 public:
  void keep(uint8_t byte) {
    buffer_[used_++] = byte;
    if (used_ == kWorkingBufferSize) flush();
  }
  void finish(uint8_t* out) {
    flush();
    md5_.Final(out);
  }

 private:
  void flush() {
    md5_.Update(buffer_, used_);
    used_ = 0;
  }

  CryptoPP::Weak::MD5 md5_;
  uint8_t buffer_[kWorkingBufferSize];
  size_t used_ = 0;
};

}  // namespace

void md5Digest(uint8_t* out, const uint8_t* data, uint32_t length) {
  CryptoPP::Weak::MD5 md5;
  if (length != 0) md5.Update(data, length);
  md5.Final(out);
}

void digestPrintable(uint8_t* out, const uint8_t* data, uint32_t length) {
  KeptBytes kept;
  for (uint32_t i = 0; i < length; ++i) {
    if (isPrintable(data[i])) kept.keep(data[i]);
  }
  kept.finish(out);
}

void digestTextLines(uint8_t* out, const uint8_t* data, uint32_t length, const char* linePrefix) {
  if (linePrefix == nullptr) {
    digestPrintable(out, data, length);
    return;
  }
  const size_t prefixLength = std::strlen(linePrefix);
  enum class State { LineStart, Skip, Keep };
  State state = State::LineStart;
  KeptBytes kept;
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t byte = data[i];
    switch (state) {
      case State::LineStart: {
        // The byte at a line start is consumed unseen; the prefix is compared with what follows,
        // and never past the end of the content.
        const uint32_t rest = length - i - 1;
        const bool matches =
            prefixLength <= rest && std::memcmp(data + i + 1, linePrefix, prefixLength) == 0;
        state = matches ? State::Skip : State::Keep;
        break;
      }
      case State::Skip:
        if (isLineEnd(byte)) state = State::LineStart;
        break;
      case State::Keep:
        if (isPrintable(byte)) kept.keep(byte);
        if (isLineEnd(byte)) state = State::LineStart;
        break;
    }
  }
  kept.finish(out);
}
