#include "signed_file.h"

#include <cstring>

#include "package/byte_stream.h"
#include "signature/content_digest.h"

namespace {

constexpr uint32_t kPeHeaderOffsetField = 60;
constexpr uint32_t kOptionalHeaderSizeField = 20;
constexpr uint32_t kOptionalHeaderMagicField = 24;
constexpr uint32_t kDirectoryCountField = 116;
constexpr uint32_t kCertificateOffsetField = 152;
constexpr uint32_t kCertificateSizeField = 156;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kCertificateAlignment = 8;

uint32_t readLe(const std::vector<uint8_t>& bytes, uint32_t offset, uint32_t width) {
  uint32_t value = 0;
  for (uint32_t i = width; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

void writeLe32(std::vector<uint8_t>* bytes, uint32_t offset, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool fieldFits(const std::vector<uint8_t>& bytes, uint32_t base, uint32_t delta, uint32_t width) {
  const uint64_t end = uint64_t{base} + delta + width;
  return end <= bytes.size();
}

enum class Table { None, Present, Malformed };

// Looks at the header fields that the verifier's binary search reads, with its rules: when it
// would look for a trailer before a certificate table, so must the signer place one there.
Table certificateTable(const std::vector<uint8_t>& bytes, uint32_t* peHeader, uint32_t* offset,
                       uint32_t* size, std::string* error) {
  if (!fieldFits(bytes, 0, kPeHeaderOffsetField, 4)) return Table::None;
  const uint32_t dosMagic = readLe(bytes, 0, 2);
  if (dosMagic != 0x5A4D && dosMagic != 0x4D5A) return Table::None;
  const uint32_t e = readLe(bytes, kPeHeaderOffsetField, 4);
  if (!fieldFits(bytes, e, 0, 4) || std::memcmp(bytes.data() + e, "PE\0\0", 4) != 0) {
    return Table::None;
  }
  if (!fieldFits(bytes, e, kOptionalHeaderSizeField, 2) ||
      readLe(bytes, e + kOptionalHeaderSizeField, 2) < 96) {
    return Table::None;
  }
  if (!fieldFits(bytes, e, kDirectoryCountField, 4) ||
      readLe(bytes, e + kDirectoryCountField, 4) < 5) {
    return Table::None;
  }
  if (!fieldFits(bytes, e, kCertificateOffsetField, 4)) return Table::None;
  const uint32_t c = readLe(bytes, e + kCertificateOffsetField, 4);
  if (c == 0) return Table::None;

  if (readLe(bytes, e + kOptionalHeaderMagicField, 2) == kPe32PlusMagic) {
    *error = "a 64-bit (PE32+) file with a certificate table cannot carry a trailer before it";
    return Table::Malformed;
  }
  if (!fieldFits(bytes, e, kCertificateSizeField, 4)) {
    *error = "the certificate table's directory entry is cut off";
    return Table::Malformed;
  }
  const uint32_t s = readLe(bytes, e + kCertificateSizeField, 4);
  if (c > bytes.size() || s > bytes.size() - c) {
    *error = "the certificate table lies outside the file";
    return Table::Malformed;
  }
  if (c < e + kCertificateSizeField + 4) {
    *error = "the certificate table overlaps the PE header";
    return Table::Malformed;
  }
  *peHeader = e;
  *offset = c;
  *size = s;
  return Table::Present;
}

void appendText(std::vector<uint8_t>* to, const char* text, size_t length) {
  to->insert(to->end(), text, text + length);
}

void appendHex(std::vector<uint8_t>* to, const uint8_t* bytes, size_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < length; ++i) {
    to->push_back(static_cast<uint8_t>(kDigits[bytes[i] >> 4]));
    to->push_back(static_cast<uint8_t>(kDigits[bytes[i] & 0x0F]));
  }
}

// The file's own line end: CR LF when it uses one anywhere, LF otherwise.
const char* lineEndOf(const std::vector<uint8_t>& content) {
  for (size_t i = 1; i < content.size(); ++i) {
    if (content[i - 1] == '\r' && content[i] == '\n') return "\r\n";
  }
  return "\n";
}

}  // namespace

bool findTrailerInBytes(const std::vector<uint8_t>& bytes, TrailerKind* kind, uint8_t* signature,
                        uint32_t* signedLength) {
  if (bytes.size() > kLargestSearchableFile) return false;
  // The finders only read, so the stream may view the caller's bytes.
  MemoryStream stream;
  uint8_t empty = 0;
  stream.attach(bytes.empty() ? &empty : const_cast<uint8_t*>(bytes.data()),
                static_cast<uint32_t>(bytes.size()));
  bool found = true;
  if (findBinaryTrailer(stream, signature, signedLength)) {
    *kind = BinaryDsa;
  } else if (findTextDsaTrailer(stream, signature, signedLength)) {
    *kind = TextDsa;
  } else if (findTextMd5Trailer(stream, signature, signedLength)) {
    *kind = TextMd5;
  } else {
    found = false;
  }
  stream.close();
  return found;
}

bool makeSignedFile(const std::vector<uint8_t>& content, TrailerKind kind, const DsaPrivateKey* key,
                    const char* linePrefix, SignedFile* result, std::string* error) {
  // Room for the largest trailer, its line end and the alignment bytes.
  constexpr uint32_t kGrowthMax = kTextDsaTrailerLength + 2 + kCertificateAlignment;
  if (content.size() > kLargestSearchableFile - kGrowthMax) {
    *error = "too large for a signature trailer (at most 2 GiB)";
    return false;
  }
  {
    TrailerKind existing;
    uint8_t signature[kTrailerSignatureLength];
    uint32_t length;
    if (findTrailerInBytes(content, &existing, signature, &length)) {
      *error = "already carries a signature trailer (signed length " + std::to_string(length) + ")";
      return false;
    }
  }
  if (kind != TextMd5 && key == nullptr) {
    *error = "a DSA trailer needs a private key";
    return false;
  }

  *result = SignedFile();
  uint8_t digest[kDigestLength];
  uint8_t signature[kTrailerSignatureLength];
  switch (kind) {
    case BinaryDsa: {
      uint32_t peHeader = 0, tableOffset = 0, tableSize = 0;
      const Table table = certificateTable(content, &peHeader, &tableOffset, &tableSize, error);
      if (table == Table::Malformed) return false;
      if (table == Table::None) {
        result->bytes = content;
      } else {
        result->bytes.assign(content.begin(), content.begin() + tableOffset);
        const uint32_t trailerEnd = tableOffset + kBinaryTrailerLength;
        const uint32_t movedTable =
            (trailerEnd + kCertificateAlignment - 1) & ~(kCertificateAlignment - 1);
        // The header is part of the signed content: the entry must point to the table's new
        // place before the digest is taken.
        writeLe32(&result->bytes, peHeader + kCertificateOffsetField, movedTable);
        result->movedCertificateTable = true;
      }
      result->signedLength = static_cast<uint32_t>(result->bytes.size());
      md5Digest(digest, result->bytes.data(), result->signedLength);
      signDsa(*key, digest, kDigestLength, signature);
      result->bytes.insert(result->bytes.end(), signature, signature + kTrailerSignatureLength);
      appendText(&result->bytes, kBinaryMagic, kMagicLength);
      if (table == Table::Present) {
        while (result->bytes.size() % kCertificateAlignment != 0) result->bytes.push_back(0);
        result->bytes.insert(result->bytes.end(), content.begin() + tableOffset, content.end());
      }
      result->signature.assign(signature, signature + kTrailerSignatureLength);
      break;
    }
    case TextDsa: {
      result->bytes = content;
      result->signedLength = static_cast<uint32_t>(content.size());
      digestPrintable(digest, content.data(), result->signedLength);
      signDsa(*key, digest, kDigestLength, signature);
      appendText(&result->bytes, kTextDsaMagic, kMagicLength);
      appendHex(&result->bytes, signature, kTrailerSignatureLength);
      appendText(&result->bytes, kTextDsaMagic, kMagicLength);
      const char* lineEnd = lineEndOf(content);
      appendText(&result->bytes, lineEnd, std::strlen(lineEnd));
      result->signature.assign(signature, signature + kTrailerSignatureLength);
      break;
    }
    case TextMd5: {
      result->bytes = content;
      result->signedLength = static_cast<uint32_t>(content.size());
      digestTextLines(digest, content.data(), result->signedLength, linePrefix);
      appendText(&result->bytes, kTextMd5Magic, kMagicLength);
      appendHex(&result->bytes, digest, kDigestLength);
      appendText(&result->bytes, kTextMd5Magic, kMagicLength);
      const char* lineEnd = lineEndOf(content);
      appendText(&result->bytes, lineEnd, std::strlen(lineEnd));
      result->signature.assign(digest, digest + kDigestLength);
      break;
    }
  }

  // The verifier's own search must find exactly this trailer in the result.
  TrailerKind foundKind;
  uint8_t foundSignature[kTrailerSignatureLength] = {};
  uint32_t foundLength = 0;
  if (!findTrailerInBytes(result->bytes, &foundKind, foundSignature, &foundLength) ||
      foundKind != kind || foundLength != result->signedLength ||
      std::memcmp(foundSignature, result->signature.data(), result->signature.size()) != 0) {
    *error = "the trailer would not be found where it was placed (the content confuses the search)";
    return false;
  }
  return true;
}
