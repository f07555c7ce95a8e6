#include "signature/file_verification.h"

#include <cstdlib>
#include <cstring>

#include "package/byte_stream.h"
#include "signature/content_digest.h"
#include "signature/dsa_verify.h"
#include "signature/signature_trailer.h"

namespace {

constexpr uint32_t kMd5SignatureLength = 16;

bool kindAccepted(int mode, TrailerKind kind) {
  if (mode == kModeDsa) return kind == TextDsa || kind == BinaryDsa;
  if (mode == kModeMd5) return kind == TextMd5;
  return true;
}

// Owns the content buffer, so that it is freed on every path.
class ContentBuffer {
 public:
  explicit ContentBuffer(uint32_t length)
      // At least one byte: an empty signed content is a valid buffer, not a failed allocation.
      : data_(static_cast<uint8_t*>(std::malloc(length != 0 ? length : 1))) {}
  ~ContentBuffer() { std::free(data_); }
  ContentBuffer(const ContentBuffer&) = delete;
  ContentBuffer& operator=(const ContentBuffer&) = delete;
  uint8_t* data() const { return data_; }

 private:
  uint8_t* data_;
};

}  // namespace

bool verifySignedFileWithKey(const DsaKey& key, const char* path, const uint8_t* expectedSignature,
                             int mode, const char* linePrefix) {
  if (mode == kModeNone) return true;

  // Zeroed, so that the 24 bytes a TextMd5 trailer leaves unfilled have a defined value when a
  // mode other than 3 compares 40 bytes of an expected signature.
  uint8_t signature[kTrailerSignatureLength] = {};
  TrailerKind kind = BinaryDsa;
  uint32_t signedLength = 0;
  if (!findSignatureTrailer(path, signature, &kind, &signedLength)) return false;
  if (!kindAccepted(mode, kind)) return false;

  if (expectedSignature != nullptr) {
    const uint32_t compared = mode == kModeMd5 ? kMd5SignatureLength : kTrailerSignatureLength;
    if (std::memcmp(expectedSignature, signature, compared) != 0) return false;
  }

  FileStream file;
  if (!file.open(path)) return false;
  const bool valid = verifySignedContent(key, file, kind, signedLength, signature, linePrefix);
  file.close();
  return valid;
}

bool verifySignedContent(const DsaKey& key, ByteStream& content, TrailerKind kind,
                         uint32_t signedLength, const uint8_t* signature, const char* linePrefix) {
  ContentBuffer buffer(signedLength);
  if (buffer.data() == nullptr) return false;
  uint32_t count = 0;
  // A short read would digest bytes that were never read: the file changed or failed under us.
  if (!content.read(buffer.data(), signedLength, &count) || count != signedLength) return false;

  uint8_t digest[kDigestLength];
  switch (kind) {
    case TextDsa:
      digestPrintable(digest, buffer.data(), signedLength);
      return verifyDsaSignatureWithKey(key, digest, kDigestLength, signature,
                                       kTrailerSignatureLength);
    case BinaryDsa:
      md5Digest(digest, buffer.data(), signedLength);
      return verifyDsaSignatureWithKey(key, digest, kDigestLength, signature,
                                       kTrailerSignatureLength);
    case TextMd5:
      digestTextLines(digest, buffer.data(), signedLength, linePrefix);
      return std::memcmp(digest, signature, kMd5SignatureLength) == 0;
  }
  return false;
}

bool verifySignedFileAgainst(const char* path, const uint8_t* expectedSignature, int mode,
                             const char* linePrefix) {
  return verifySignedFileWithKey(DsaPublicKey, path, expectedSignature, mode, linePrefix);
}

bool verifySignedFile(const char* path, int mode, const char* linePrefix) {
  return verifySignedFileAgainst(path, nullptr, mode, linePrefix);
}
