#include "signature/signature_trailer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "test_support.h"

namespace {

const Bytes kSignature =
    fromHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021222324252627ff");

Bytes binaryTrailer(const Bytes& signature = kSignature) {
  return concat({signature, bytesOf("ZUKSignd")});
}
Bytes textDsaTrailer(const Bytes& signature = kSignature) {
  return concat({bytesOf("ZUKSignA"), bytesOf(toHex(signature)), bytesOf("ZUKSignA")});
}
Bytes textMd5Trailer(const Bytes& digest = Bytes(kSignature.begin(), kSignature.begin() + 16)) {
  return concat({bytesOf("ZUK_MD5a"), bytesOf(toHex(digest)), bytesOf("ZUK_MD5a")});
}
Bytes filler(size_t length, uint8_t value = 'x') { return Bytes(length, value); }

struct Found {
  bool found = false;
  TrailerKind kind = TextDsa;
  uint32_t signedLength = 0;
  Bytes signature;
};

// Searches the bytes twice: through findSignatureTrailer on a file, and through the three
// finders on a stream that counts every access outside the bytes. Both must agree, and the
// search must never aim outside the file.
Found search(const Bytes& bytes) {
  static ScratchFolder folder;
  const std::string path = folder.path("searched");
  writeFile(path, bytes);
  Found result;
  result.signature.assign(kTrailerSignatureLength, 0xEE);
  result.found = findSignatureTrailer(path.c_str(), result.signature.data(), &result.kind,
                                      &result.signedLength);

  WatchedStream stream(bytes);
  Bytes signature(kTrailerSignatureLength, 0xEE);
  uint32_t signedLength = 0;
  TrailerKind kind = TextDsa;
  bool found = true;
  if (findBinaryTrailer(stream, signature.data(), &signedLength)) {
    kind = BinaryDsa;
  } else if (findTextDsaTrailer(stream, signature.data(), &signedLength)) {
    kind = TextDsa;
  } else if (findTextMd5Trailer(stream, signature.data(), &signedLength)) {
    kind = TextMd5;
  } else {
    found = false;
  }
  EXPECT_EQ(stream.strayAccesses(), 0)
      << "the search aimed outside the " << bytes.size() << " bytes";
  EXPECT_EQ(found, result.found);
  if (found && result.found) {
    EXPECT_EQ(kind, result.kind);
    EXPECT_EQ(signedLength, result.signedLength);
    EXPECT_EQ(signature, result.signature);
  }
  return result;
}

void expectFound(const Found& found, TrailerKind kind, uint32_t signedLength) {
  ASSERT_TRUE(found.found);
  EXPECT_EQ(found.kind, kind);
  EXPECT_EQ(found.signedLength, signedLength);
}

// ---- Binary trailers at the end of a file ----

TEST(SignatureTrailerTest, SmallestFilesAreTheTrailersAlone) {
  Found binary = search(binaryTrailer());
  expectFound(binary, BinaryDsa, 0);
  EXPECT_EQ(binary.signature, kSignature);
  Found textDsa = search(textDsaTrailer());
  expectFound(textDsa, TextDsa, 0);
  EXPECT_EQ(textDsa.signature, kSignature);
  expectFound(search(textMd5Trailer()), TextMd5, 0);
}

TEST(SignatureTrailerTest, FilesShorterThanABinaryTrailerHaveNone) {
  for (size_t length : {0, 1, 7, 8, 40, 47}) {
    const Bytes tail = bytesOf("ZUKSignd");
    Bytes bytes = filler(length);
    if (length >= 8) std::copy(tail.begin(), tail.end(), bytes.end() - 8);
    EXPECT_FALSE(search(bytes).found) << length << " bytes";
  }
}

TEST(SignatureTrailerTest, BinaryMagicAtTheEndNeedsNoPeHeader) {
  expectFound(search(concat({filler(12), binaryTrailer()})), BinaryDsa, 12);
  // A PE header with a certificate table elsewhere does not matter either.
  expectFound(search(concat({bytesOf("MZ"), filler(500), binaryTrailer()})), BinaryDsa, 502);
}

TEST(SignatureTrailerTest, BinaryKindWinsOverTextMagicsNearTheEnd) {
  const Bytes bytes = concat({textDsaTrailer(), textMd5Trailer(), binaryTrailer()});
  expectFound(search(bytes), BinaryDsa, 96 + 48);
}

// ---- Text trailers ----

TEST(SignatureTrailerTest, TextTrailerMayBeFollowedByUpTo99Bytes) {
  for (size_t after : {0, 1, 2, 50, 99, 100, 101}) {
    const bool expected = after <= 99;
    Found dsa = search(concat({filler(10), textDsaTrailer(), filler(after, '\n')}));
    EXPECT_EQ(dsa.found, expected) << "TextDsa followed by " << after;
    if (expected) expectFound(dsa, TextDsa, 10);
    Found md5 = search(concat({filler(10), textMd5Trailer(), filler(after, 0)}));
    EXPECT_EQ(md5.found, expected) << "TextMd5 followed by " << after;
    if (expected) expectFound(md5, TextMd5, 10);
  }
}

TEST(SignatureTrailerTest, TheClosingMagicNearestTheEndDecides) {
  // The later "ZUKSignA" is taken as the closing magic; 88 bytes before it there is none, so the
  // valid trailer before it is not found.
  const Bytes bytes = concat({filler(5), textDsaTrailer(), filler(3), bytesOf("ZUKSignA")});
  EXPECT_FALSE(search(bytes).found);
  // A block whose opening magic is damaged is no trailer, and the search does not go on.
  Bytes damaged = concat({textDsaTrailer(), textDsaTrailer()});
  damaged[96] = 'z';
  EXPECT_FALSE(search(damaged).found);
}

TEST(SignatureTrailerTest, TextMd5SearchFillsOnly16SignatureBytes) {
  const Found found = search(concat({filler(3), textMd5Trailer()}));
  expectFound(found, TextMd5, 3);
  EXPECT_EQ(Bytes(found.signature.begin(), found.signature.begin() + 16),
            Bytes(kSignature.begin(), kSignature.begin() + 16));
  EXPECT_EQ(Bytes(found.signature.begin() + 16, found.signature.end()), Bytes(24, 0xEE));
}

TEST(SignatureTrailerTest, HexDigitsOfEitherCaseDecodeAlike) {
  std::string upper = toHex(kSignature);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Bytes bytes =
      concat({bytesOf("ZUKSignA"), bytesOf(upper), bytesOf("ZUKSignA"), bytesOf("\r\n")});
  EXPECT_EQ(search(bytes).signature, kSignature);
}

TEST(SignatureTrailerTest, NoTrailerLeavesEveryOutputAlone) {
  static ScratchFolder folder;
  const std::string path = folder.path("plain");
  writeFile(path, filler(5000));
  Bytes signature(kTrailerSignatureLength, 0x5A);
  TrailerKind kind = TextMd5;
  uint32_t signedLength = 1234;
  EXPECT_FALSE(findSignatureTrailer(path.c_str(), signature.data(), &kind, &signedLength));
  EXPECT_EQ(signature, Bytes(kTrailerSignatureLength, 0x5A));
  EXPECT_EQ(kind, TextMd5);
  EXPECT_EQ(signedLength, 1234u);
  EXPECT_FALSE(findSignatureTrailer(folder.path("missing").c_str(), nullptr, nullptr, nullptr));
}

TEST(SignatureTrailerTest, OutputsMayBeAbsent) {
  static ScratchFolder folder;
  const std::string path = folder.path("signed");
  writeFile(path, concat({filler(100), binaryTrailer()}));
  EXPECT_TRUE(findSignatureTrailer(path.c_str(), nullptr, nullptr, nullptr));
}

// ---- Binary trailers before a PE certificate table ----

struct PeShape {
  uint16_t dosMagic = 0x5A4D;
  uint32_t peOffset = 0x80;
  const char* peSignature = "PE\0\0";
  uint16_t optionalHeaderSize = 0xE0;
  uint32_t directoryCount = 16;
  bool trailer = true;
  size_t alignment = 0;
  // Replaces the real table offset when not 0xFFFFFFFF'FFFFFFFF.
  uint64_t certificateOffset = ~uint64_t{0};
  Bytes afterTable;
};

constexpr size_t kPeHeaderBytes = 0x200;
constexpr size_t kPeContentBytes = 0x300;

void putLe(Bytes* bytes, size_t offset, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) (*bytes)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A PE32 layout: header, content, optionally the trailer, alignment zeros, a certificate table.
Bytes peFile(const PeShape& shape) {
  Bytes bytes(kPeHeaderBytes + kPeContentBytes, 0x90);
  putLe(&bytes, 0, shape.dosMagic, 2);
  putLe(&bytes, 60, shape.peOffset, 4);
  if (shape.peOffset <= kPeHeaderBytes - 160) {
    std::memcpy(&bytes[shape.peOffset], shape.peSignature, 4);
    putLe(&bytes, shape.peOffset + 20, shape.optionalHeaderSize, 2);
    putLe(&bytes, shape.peOffset + 116, shape.directoryCount, 4);
  }
  if (shape.trailer) bytes = concat({bytes, binaryTrailer()});
  bytes.insert(bytes.end(), shape.alignment, 0);
  const uint32_t table = static_cast<uint32_t>(bytes.size());
  // A WIN_CERTIFICATE header (length 0x210, revision 2, PKCS#7) and its body.
  const Bytes certificates = concat({fromHex("1002000000020200"), filler(0x208, 0x30)});
  bytes = concat({bytes, certificates, shape.afterTable});
  if (shape.peOffset <= kPeHeaderBytes - 160) {
    const uint32_t offset = shape.certificateOffset == ~uint64_t{0}
                                ? table
                                : static_cast<uint32_t>(shape.certificateOffset);
    putLe(&bytes, shape.peOffset + 152, offset, 4);
    putLe(&bytes, shape.peOffset + 156, static_cast<uint32_t>(certificates.size()), 4);
  }
  return bytes;
}

TEST(PeCertificateTableTest, UpToSevenAlignmentBytesAreSteppedOver) {
  for (size_t alignment = 0; alignment <= 9; ++alignment) {
    PeShape shape;
    shape.alignment = alignment;
    const Found found = search(peFile(shape));
    if (alignment <= 7) {
      expectFound(found, BinaryDsa, kPeHeaderBytes + kPeContentBytes);
      EXPECT_EQ(found.signature, kSignature);
    } else {
      EXPECT_FALSE(found.found) << alignment << " alignment bytes";
    }
  }
}

TEST(PeCertificateTableTest, HeaderFieldRows) {
  struct Case {
    int line;
    PeShape shape;
    bool found;
  };
  auto shape = [](auto change) {
    PeShape s;
    change(s);
    return s;
  };
  const Case cases[] = {
      {__LINE__, shape([](PeShape&) {}), true},
      {__LINE__, shape([](PeShape& s) { s.dosMagic = 0x4D5A; }), true},  // "ZM"
      {__LINE__, shape([](PeShape& s) { s.dosMagic = 0x584D; }), false},
      {__LINE__, shape([](PeShape& s) { s.peSignature = "PE\0\1"; }), false},
      {__LINE__, shape([](PeShape& s) { s.peSignature = "pe\0\0"; }), false},
      {__LINE__, shape([](PeShape& s) { s.optionalHeaderSize = 95; }), false},
      {__LINE__, shape([](PeShape& s) { s.optionalHeaderSize = 96; }), true},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 0; }), false},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 1; }), false},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 2; }), false},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 3; }), false},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 4; }), false},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 5; }), true},
      {__LINE__, shape([](PeShape& s) { s.directoryCount = 0xFFFFFFFF; }), true},
      {__LINE__, shape([](PeShape& s) { s.certificateOffset = 0; }), false},
      {__LINE__, shape([](PeShape& s) { s.trailer = false; }), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(search(peFile(c.shape)).found, c.found) << "row at line " << c.line;
  }
}

TEST(PeCertificateTableTest, WithoutACertificateOffsetTheTextKindsAreStillTried) {
  PeShape shape;
  shape.certificateOffset = 0;
  shape.afterTable = textMd5Trailer();
  const Bytes bytes = peFile(shape);
  expectFound(search(bytes), TextMd5, static_cast<uint32_t>(bytes.size() - 48));
}

// PE header offsets that point at or past the end of the file: no field there can be read, and
// the search must neither find anything nor read outside the file.
TEST(PeCertificateTableTest, PeHeaderOffsetsOutsideTheFile) {
  const Bytes base = peFile(PeShape());
  const uint32_t size = static_cast<uint32_t>(base.size());
  for (uint32_t peOffset : {0xFFFFFFFFu, 0xFFFFFFFCu, 0x80000000u, size, size - 1, size - 3,
                            size - 4, size - 20, size - 116, size - 152, size - 155}) {
    Bytes bytes = base;
    putLe(&bytes, 60, peOffset, 4);
    if (peOffset <= size - 4) std::memcpy(&bytes[peOffset], "PE\0\0", 4);
    EXPECT_FALSE(search(bytes).found) << "e_lfanew " << peOffset << " of " << size;
  }
}

// Certificate offsets whose neighbourhood (the alignment bytes before it and the trailer magic
// 8 bytes before that) lies outside the file or would wrap below 0 or past 2^32.
TEST(PeCertificateTableTest, CertificateOffsetsOutsideTheFile) {
  const Bytes base = peFile(PeShape());
  const uint32_t size = static_cast<uint32_t>(base.size());
  for (uint64_t offset :
       {uint64_t{0xFFFFFFFF}, uint64_t{0xFFFFFFFC}, uint64_t{0xFFFFFFF8}, uint64_t{0x80000000},
        uint64_t{0x7FFFFFFF}, uint64_t{size} + 1, uint64_t{size} + 7, uint64_t{size} + 8,
        uint64_t{1}, uint64_t{2}, uint64_t{7}, uint64_t{8}, uint64_t{47}}) {
    PeShape shape;
    shape.certificateOffset = offset;
    EXPECT_FALSE(search(peFile(shape)).found) << "certificate offset " << offset;
  }
}

// A trailer before the table needs 48 bytes in front of the table. With the magic planted in the
// DOS header 8 bytes before a certificate offset of 40, the trailer would begin below offset 0;
// the search must refuse it also when nobody asks for the signature bytes (which could not be
// read there), rather than report a wrapped signed length. At offset 48 the trailer is the file's
// first 48 bytes.
TEST(PeCertificateTableTest, TheTrailerMustFitBeforeTheTable) {
  for (uint32_t offset : {40u, 47u, 48u}) {
    PeShape shape;
    shape.trailer = false;
    shape.certificateOffset = offset;
    Bytes bytes = peFile(shape);
    std::memcpy(&bytes[offset - 8], "ZUKSignd", 8);
    const bool expected = offset >= 48;
    WatchedStream stream(bytes);
    uint32_t signedLength = 0x12345678;
    EXPECT_EQ(findBinaryTrailer(stream, nullptr, &signedLength), expected) << offset;
    EXPECT_EQ(signedLength, expected ? 0u : 0x12345678u) << offset;
    EXPECT_EQ(stream.strayAccesses(), 0) << offset;
    const Found found = search(bytes);
    EXPECT_EQ(found.found, expected) << offset;
    if (expected) expectFound(found, BinaryDsa, 0);
  }
}

// ---- decodeHex ----

TEST(DecodeHexTest, PairsConvertAsShortStrings) {
  struct Case {
    int line;
    const char pair[2];
    uint8_t value;
  };
  const Case cases[] = {
      {__LINE__, {'0', '0'}, 0x00},    {__LINE__, {'f', 'f'}, 0xFF},
      {__LINE__, {'F', 'f'}, 0xFF},    {__LINE__, {'a', 'B'}, 0xAB},
      {__LINE__, {'4', 'G'}, 0x04},    {__LINE__, {'G', '4'}, 0x00},
      {__LINE__, {' ', '7'}, 0x07},    {__LINE__, {'\t', 'c'}, 0x0C},
      {__LINE__, {'+', 'f'}, 0x0F},    {__LINE__, {'-', '1'}, 0xFF},
      {__LINE__, {'-', 'f'}, 0xF1},    {__LINE__, {'-', '-'}, 0x00},
      {__LINE__, {'0', 'x'}, 0x00},    {__LINE__, {'7', '\0'}, 0x07},
      {__LINE__, {'\0', '7'}, 0x00},   {__LINE__, {'\xe9', '1'}, 0x00},
      {__LINE__, {'1', '\xe9'}, 0x01},
  };
  for (const Case& c : cases) {
    uint8_t out = 0x55;
    decodeHex(&out, 1, c.pair);
    EXPECT_EQ(out, c.value) << "row at line " << c.line;
  }
  uint8_t several[3];
  // The last pair is "7" and the string end.
  decodeHex(several, 3, "0aFf7");
  EXPECT_EQ(Bytes(several, several + 3), fromHex("0aff07"));
}

// Every pair of characters converts as the C library's strtoul converts that string (ASCII
// pairs; with 8-bit characters the Windows run time's classification differs from glibc's).
TEST(DecodeHexTest, AgreesWithStrtoulForEveryPair) {
#if defined(_WIN32)
  const int last = 0x7F;
#else
  const int last = 0xFF;
#endif
  for (int first = 0; first <= last; ++first) {
    for (int second = 0; second <= last; ++second) {
      const char pair[3] = {static_cast<char>(first), static_cast<char>(second), '\0'};
      uint8_t out = 0;
      decodeHex(&out, 1, pair);
      const uint8_t expected = static_cast<uint8_t>(std::strtoul(pair, nullptr, 16) & 0xFF);
      ASSERT_EQ(out, expected) << "pair " << first << ", " << second;
    }
  }
}

// ---- Files the 32-bit offsets cannot describe ----

#if !defined(_WIN32)
struct Piece {
  uint64_t at;
  Bytes bytes;
};

// A sparse file of the given size with the pieces written into it.
bool makeSparse(const std::string& path, uint64_t size, const std::vector<Piece>& pieces) {
  const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (handle < 0) return false;
  bool ok = ::ftruncate(handle, static_cast<off_t>(size)) == 0;
  for (const Piece& piece : pieces) {
    ok = ok && ::pwrite(handle, piece.bytes.data(), piece.bytes.size(),
                        static_cast<off_t>(piece.at)) == static_cast<ssize_t>(piece.bytes.size());
  }
  ::close(handle);
  return ok;
}
#endif

TEST(LargeFileTest, FilesBeyondTheOffsetRangeHaveNoTrailer) {
#if defined(_WIN32)
  GTEST_SKIP() << "sparse files are made on the host only";
#else
  ScratchFolder folder;
  const std::string path = folder.path("large");
  // 2^32 + 100 bytes: a 32-bit size wraps to 100, where a trailer has been planted; the real end
  // carries one too.
  const uint64_t wrapped = (uint64_t{1} << 32) + 100;
  if (!makeSparse(path, wrapped, {{52, binaryTrailer()}, {wrapped - 48, binaryTrailer()}})) {
    GTEST_SKIP() << "no sparse files here";
  }
  EXPECT_FALSE(findSignatureTrailer(path.c_str(), nullptr, nullptr, nullptr));
  // 2^31 + 48 bytes with a trailer at its end: beyond what a signed 32-bit seek reaches.
  ASSERT_TRUE(makeSparse(path, (uint64_t{1} << 31) + 48, {{uint64_t{1} << 31, binaryTrailer()}}));
  EXPECT_FALSE(findSignatureTrailer(path.c_str(), nullptr, nullptr, nullptr));
  // Just inside the range the same trailer is found.
  ASSERT_TRUE(makeSparse(path, 0x7FFFFFFF, {{0x7FFFFFFF - 48, binaryTrailer()}}));
  uint32_t signedLength = 0;
  EXPECT_TRUE(findSignatureTrailer(path.c_str(), nullptr, nullptr, &signedLength));
  EXPECT_EQ(signedLength, 0x7FFFFFFFu - 48);
#endif
}

}  // namespace
