// Signature trailers: the short blocks appended to signed files, and the search that finds one.
//
// A trailer stands after the content that its signature covers, so the signed length (the number
// of leading file bytes covered) is always the file offset of the trailer's first byte. There are
// three kinds, each known by an 8-byte magic:
//   BinaryDsa "ZUKSignd": 40 raw signature bytes, then the magic (48 bytes), as the file's last
//             48 bytes, or in a PE file right before the certificate table, followed by 0 to 7
//             zero bytes of alignment;
//   TextDsa   "ZUKSignA": magic, 80 hexadecimal characters, magic (96 bytes);
//   TextMd5   "ZUK_MD5a": magic, 32 hexadecimal characters of an MD5 digest, magic (48 bytes).
// A text trailer may be followed by up to 99 bytes of anything (a line end, say).
//
// The search reads a handful of small pieces, never the content. Every read is checked against
// the stream's size first, so a field or magic beyond the end of the file never matches and no
// offset is ever computed with wrap-around. A file that the 32-bit offsets cannot describe (more
// than 2^31 - 1 bytes) has no trailer.
#ifndef WQDUPDATE_SIGNATURE_SIGNATURE_TRAILER_H
#define WQDUPDATE_SIGNATURE_SIGNATURE_TRAILER_H

#include <cstdint>

class ByteStream;

// The values are part of the interface: file verification selects by them.
enum TrailerKind : int { TextDsa = 0, BinaryDsa = 1, TextMd5 = 2 };

constexpr uint32_t kTrailerSignatureLength = 40;  // the caller's signature buffer
constexpr uint32_t kMagicLength = 8;
constexpr uint32_t kBinaryTrailerLength = 48;
constexpr uint32_t kTextDsaTrailerLength = 96;
constexpr uint32_t kTextMd5TrailerLength = 48;
// Bytes that may follow a text trailer's closing magic.
constexpr uint32_t kTextTrailerSlack = 99;
// Alignment bytes allowed between a binary trailer and a PE certificate table.
constexpr uint32_t kCertificateAlignmentMax = 7;
// The largest file the search handles: every offset in it can be reached by a seek from the
// start, whose offset is signed 32-bit.
constexpr uint32_t kLargestSearchableFile = 0x7FFFFFFF;

extern const char kBinaryMagic[];   // "ZUKSignd"
extern const char kTextDsaMagic[];  // "ZUKSignA"
extern const char kTextMd5Magic[];  // "ZUK_MD5a"

// Opens path, tries the binary, the text-DSA and the text-MD5 finder in this order, and closes the
// file again. On success writes the kind, the signature (40 bytes, of which a TextMd5 trailer
// fills only the first 16) and the signed length to those outputs that are not null, and returns
// true. False, with nothing written, when the file cannot be opened, is too large, or carries no
// trailer.
bool findSignatureTrailer(const char* path, uint8_t* signatureOut, TrailerKind* kindOut,
                          uint32_t* signedLengthOut);

// The three finders. Each positions the stream itself before every read and writes its outputs
// (when not null) only when it succeeds, so a failed finder leaves them for the next one.
// REQUIRES: stream is open; its size() is the number of bytes it holds.
bool findBinaryTrailer(ByteStream& stream, uint8_t* signatureOut, uint32_t* signedLengthOut);
bool findTextDsaTrailer(ByteStream& stream, uint8_t* signatureOut, uint32_t* signedLengthOut);
bool findTextMd5Trailer(ByteStream& stream, uint8_t* signatureOut, uint32_t* signedLengthOut);

// True when the length bytes at offset (from the start) exist and equal magic byte for byte.
// Bytes beyond the stream's end never match.
bool matchesAt(ByteStream& stream, uint32_t offset, const char* magic, uint32_t length);

// Writes count bytes to out from the first 2 * count characters of text: each pair is converted
// as strtoul(pair, nullptr, 16) converts that string of at most two characters (ended early by a
// zero byte), and the byte is the low 8 bits. So "4G" gives 0x04, "G4" 0x00, " 7" 0x07 and "-1"
// 0xFF. The result does not depend on the locale.
// REQUIRES: text holds at least 2 * count bytes.
void decodeHex(uint8_t* out, uint32_t count, const char* text);

#endif  // WQDUPDATE_SIGNATURE_SIGNATURE_TRAILER_H
