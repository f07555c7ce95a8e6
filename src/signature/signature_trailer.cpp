#include "signature/signature_trailer.h"

#include <cstring>

#include "common/hex_number.h"
#include "package/byte_stream.h"

const char kBinaryMagic[] = "ZUKSignd";
const char kTextDsaMagic[] = "ZUKSignA";
const char kTextMd5Magic[] = "ZUK_MD5a";

namespace {

// "PE" followed by two zero bytes, the signature at the start of a PE header.
const char kPeSignature[] = {'P', 'E', '\0', '\0'};
constexpr uint32_t kPeSignatureLength = 4;

constexpr uint16_t kDosMagic = 0x5A4D;             // "MZ"
constexpr uint16_t kDosMagicSwapped = 0x4D5A;      // "ZM"
constexpr uint32_t kPeHeaderOffsetField = 60;      // e_lfanew
constexpr uint32_t kOptionalHeaderSizeField = 20;  // from the PE header
constexpr uint32_t kDirectoryCountField = 116;     // optional header + 92
constexpr uint32_t kCertificateOffsetField = 152;  // optional header + 128: directory entry 4
constexpr uint16_t kOptionalHeaderSizeMin = 96;
constexpr uint32_t kDirectoryCountMin = 5;  // entry 4 must exist

constexpr uint32_t kTextSearchPositions = 100;

// Moves the stream to offset when length bytes there lie wholly inside it. The bounds are
// checked by subtraction, so no offset wraps, and every offset passed to the signed 32-bit seek
// is at most kLargestSearchableFile.
bool seekInside(ByteStream& stream, uint32_t offset, uint32_t length) {
  const uint32_t size = stream.size();
  if (size > kLargestSearchableFile || offset > size || length > size - offset) return false;
  return stream.seek(static_cast<int32_t>(offset), 0) == offset;
}

// Reads length bytes at offset into buffer, only when all of them lie inside the stream, and
// reports whether all arrived.
bool readAt(ByteStream& stream, uint32_t offset, void* buffer, uint32_t length) {
  if (!seekInside(stream, offset, length)) return false;
  uint32_t count = 0;
  return stream.read(buffer, length, &count) && count == length;
}

// A little-endian header field of width 2 or 4 at base + delta, read with the stream's own
// readers. A field that does not lie wholly inside the file cannot describe a certificate table
// there, so it fails the search rather than giving a value.
bool readField(ByteStream& stream, uint32_t base, uint32_t delta, uint32_t width, uint32_t* value) {
  const uint32_t size = stream.size();
  if (base > size || delta > size - base) return false;
  if (!seekInside(stream, base + delta, width)) return false;
  *value = width == 2 ? stream.readU16() : stream.readU32();
  return true;
}

// A byte beyond the end of the file is not a zero byte.
bool byteIsZeroAt(ByteStream& stream, uint32_t offset) {
  return seekInside(stream, offset, 1) && stream.readU8() == 0;
}

// The end of a binary trailer that stands before a PE certificate table, or 0 when the file has
// no such table or no trailer before it.
uint32_t binaryTrailerEndBeforeCertificates(ByteStream& stream) {
  uint32_t dosMagic = 0;
  if (!readField(stream, 0, 0, 2, &dosMagic)) return 0;
  if (dosMagic != kDosMagic && dosMagic != kDosMagicSwapped) return 0;
  uint32_t peHeader = 0;
  if (!readField(stream, 0, kPeHeaderOffsetField, 4, &peHeader)) return 0;
  if (!matchesAt(stream, peHeader, kPeSignature, kPeSignatureLength)) return 0;
  uint32_t optionalHeaderSize = 0;
  if (!readField(stream, peHeader, kOptionalHeaderSizeField, 2, &optionalHeaderSize)) return 0;
  if (optionalHeaderSize < kOptionalHeaderSizeMin) return 0;
  uint32_t directoryCount = 0;
  if (!readField(stream, peHeader, kDirectoryCountField, 4, &directoryCount)) return 0;
  if (directoryCount < kDirectoryCountMin) return 0;
  uint32_t certificates = 0;
  if (!readField(stream, peHeader, kCertificateOffsetField, 4, &certificates)) return 0;
  if (certificates == 0) return 0;

  // Step back over the zero bytes that align the table; a byte beyond the end is not zero.
  for (uint32_t step = 0; step < kCertificateAlignmentMax && certificates != 0; ++step) {
    if (!byteIsZeroAt(stream, certificates - 1)) break;
    --certificates;
  }
  if (certificates < kBinaryTrailerLength) return 0;
  if (!matchesAt(stream, certificates - kMagicLength, kBinaryMagic, kMagicLength)) return 0;
  return certificates;
}

// The search shared by the two text kinds: the closing magic within the last 107 bytes (the
// occurrence nearest the end decides), the opening magic distance bytes before it.
bool findTextTrailer(ByteStream& stream, const char* magic, uint32_t distance, uint32_t blockLength,
                     uint32_t decodedLength, uint8_t* signatureOut, uint32_t* signedLengthOut) {
  const uint32_t size = stream.size();
  if (size < kMagicLength || size > kLargestSearchableFile) return false;
  uint32_t closing = size - kMagicLength;
  if (closing == 0) return false;
  uint32_t tried = 0;
  while (!matchesAt(stream, closing, magic, kMagicLength)) {
    --closing;
    ++tried;
    if (closing == 0 || tried == kTextSearchPositions) return false;
  }
  if (closing < distance) return false;
  const uint32_t begin = closing - distance;

  uint8_t block[kTextDsaTrailerLength];
  if (!readAt(stream, begin, block, blockLength)) return false;
  if (std::memcmp(block, magic, kMagicLength) != 0) return false;

  if (signatureOut != nullptr) {
    // The characters are not validated: decodeHex converts whatever stands there.
    char text[2 * kTrailerSignatureLength];
    std::memcpy(text, block + kMagicLength, 2 * decodedLength);
    decodeHex(signatureOut, decodedLength, text);
  }
  if (signedLengthOut != nullptr) *signedLengthOut = begin;
  return true;
}

// strtoul(text, nullptr, 16) of a string of at most two characters, modulo 256. A "0x" prefix
// needs a third character to count as one, so it never applies here.
uint8_t convertPair(char first, char second) {
  const char pair[3] = {first, first != '\0' ? second : '\0', '\0'};
  return static_cast<uint8_t>(parseUnsignedHex(pair) & 0xFF);
}

}  // namespace

bool matchesAt(ByteStream& stream, uint32_t offset, const char* magic, uint32_t length) {
  uint8_t bytes[16];
  uint32_t done = 0;
  while (done < length) {
    const uint32_t piece = length - done < sizeof bytes ? length - done : sizeof bytes;
    if (offset > kLargestSearchableFile - done) return false;
    if (!readAt(stream, offset + done, bytes, piece)) return false;
    if (std::memcmp(bytes, magic + done, piece) != 0) return false;
    done += piece;
  }
  return true;
}

void decodeHex(uint8_t* out, uint32_t count, const char* text) {
  for (uint32_t i = 0; i < count; ++i) out[i] = convertPair(text[2 * i], text[2 * i + 1]);
}

bool findBinaryTrailer(ByteStream& stream, uint8_t* signatureOut, uint32_t* signedLengthOut) {
  const uint32_t size = stream.size();
  if (size < kBinaryTrailerLength || size > kLargestSearchableFile) return false;
  uint32_t end = size;
  if (!matchesAt(stream, size - kMagicLength, kBinaryMagic, kMagicLength)) {
    end = binaryTrailerEndBeforeCertificates(stream);
    if (end == 0) return false;
  }
  const uint32_t begin = end - kBinaryTrailerLength;
  if (signatureOut != nullptr) {
    uint8_t signature[kTrailerSignatureLength];
    if (!readAt(stream, begin, signature, kTrailerSignatureLength)) return false;
    std::memcpy(signatureOut, signature, kTrailerSignatureLength);
  }
  if (signedLengthOut != nullptr) *signedLengthOut = begin;
  return true;
}

bool findTextDsaTrailer(ByteStream& stream, uint8_t* signatureOut, uint32_t* signedLengthOut) {
  return findTextTrailer(stream, kTextDsaMagic, kTextDsaTrailerLength - kMagicLength,
                         kTextDsaTrailerLength, kTrailerSignatureLength, signatureOut,
                         signedLengthOut);
}

bool findTextMd5Trailer(ByteStream& stream, uint8_t* signatureOut, uint32_t* signedLengthOut) {
  return findTextTrailer(stream, kTextMd5Magic, kTextMd5TrailerLength - kMagicLength,
                         kTextMd5TrailerLength, 16, signatureOut, signedLengthOut);
}

namespace {

// A file stream's size comes from a 32-bit seek result: a file of more than 4 GiB shows a wrapped
// size, and on Windows one of more than 2 GiB shows 0xFFFFFFFF. Only a file whose reported size
// fits the searchable range and that holds no byte at that offset is what the stream says it is.
bool sizeIsTrue(FileStream& file) {
  const uint32_t size = file.size();
  if (size > kLargestSearchableFile) return false;
  if (file.seek(static_cast<int32_t>(size), 0) != size) return false;
  uint8_t probe = 0;
  uint32_t count = 0;
  return file.read(&probe, 1, &count) && count == 0;
}

}  // namespace

bool findSignatureTrailer(const char* path, uint8_t* signatureOut, TrailerKind* kindOut,
                          uint32_t* signedLengthOut) {
  FileStream file;
  if (!file.open(path)) return false;
  bool found = false;
  TrailerKind kind = BinaryDsa;
  if (sizeIsTrue(file)) {
    if (findBinaryTrailer(file, signatureOut, signedLengthOut)) {
      kind = BinaryDsa;
      found = true;
    } else if (findTextDsaTrailer(file, signatureOut, signedLengthOut)) {
      kind = TextDsa;
      found = true;
    } else if (findTextMd5Trailer(file, signatureOut, signedLengthOut)) {
      kind = TextMd5;
      found = true;
    }
  }
  file.close();
  if (found && kindOut != nullptr) *kindOut = kind;
  return found;
}
