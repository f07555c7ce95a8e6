// The content digest: the 16-byte MD5 digest (RFC 1321) that every signature trailer protects,
// computed over the signed content after the normalisation of the trailer's kind.
//
// md5Digest takes the bytes unchanged (binary trailers); digestPrintable keeps only the bytes
// 0x20 to 0x7F, so line ends, tabs and 8-bit characters do not matter (text DSA trailers);
// digestTextLines does the same and may also leave out whole lines that start with a prefix
// (text MD5 trailers). The normalised text is streamed through a small fixed working buffer, so
// none of them allocates memory and none of them can fail; the digest is the same as if the kept
// bytes had been gathered in one buffer first.
#ifndef WQDUPDATE_SIGNATURE_CONTENT_DIGEST_H
#define WQDUPDATE_SIGNATURE_CONTENT_DIGEST_H

#include <cstdint>

constexpr uint32_t kDigestLength = 16;

// Writes the MD5 digest of length bytes at data to out (16 bytes). A length of 0 gives the digest
// of empty input; data may then be null.
void md5Digest(uint8_t* out, const uint8_t* data, uint32_t length);

// Writes to out the MD5 digest of those bytes of data whose value lies between 0x20 and 0x7F
// inclusive, in their order. Every control byte (CR, LF, tab, ...) and every byte from 0x80 to
// 0xFF is left out.
void digestPrintable(uint8_t* out, const uint8_t* data, uint32_t length);

// With linePrefix null, exactly digestPrintable. Otherwise the line filter decides which bytes
// enter the digest. The filter starts at a line start; the byte met at a line start is consumed
// and never kept, and the prefix is compared with the bytes that follow it: when the content goes
// on with all of the prefix's characters, the line is dropped up to and including its next CR or
// LF; otherwise its printable bytes are kept up to the next CR or LF, which starts a new line.
// An empty prefix therefore drops every line. linePrefix is zero-terminated.
void digestTextLines(uint8_t* out, const uint8_t* data, uint32_t length, const char* linePrefix);

#endif  // WQDUPDATE_SIGNATURE_CONTENT_DIGEST_H
