// The update package reader.
//
// A package file is a 24-byte container header (the magic "ZUKsetupFPkgFile", the unpacked size,
// the packed size, all little-endian) followed by a zlib stream. Its payload is a list of tagged
// chunks (tag, 32-bit length, body); each "PART" chunk holds "NAME", "TYPE" and "VERS" chunks that
// describe one update component. readPackageFile stores, for every PART of a component that has a
// ComponentRecord ("wqd", "setup"), the package name and version in that record, and reports one
// status: 0 when the package was read, kPackageFailed when it was not.
//
// Only this reader uses exceptions: its chunk walk raises an int of value 1 on a fault, and
// readPackageFile/readPackagePayload catch every exception at their boundary. Allocation is
// bounded by the bytes the file holds, never by what a header claims.
#ifndef WQDUPDATE_PACKAGE_PACKAGE_FILE_H
#define WQDUPDATE_PACKAGE_PACKAGE_FILE_H

#include <cstdint>

#include "package/byte_stream.h"

constexpr uint32_t kPackageFailed = 0x20000011;

// The container's magic: 16 ASCII bytes, no terminator, compared byte for byte.
constexpr char kPackageMagic[] = "ZUKsetupFPkgFile";
constexpr uint32_t kPackageMagicLength = 16;
constexpr uint32_t kPackageHeaderLength = 24;
// Every chunk starts with a 4-byte tag and a 4-byte length.
constexpr uint32_t kChunkHeaderLength = 8;

// A tag as the little-endian number that readU32 gives for its four bytes in file order.
constexpr uint32_t chunkTag(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}
constexpr uint32_t kTagPart = chunkTag("PART");
constexpr uint32_t kTagName = chunkTag("NAME");
constexpr uint32_t kTagType = chunkTag("TYPE");
constexpr uint32_t kTagVers = chunkTag("VERS");

// zlib cannot inflate one byte to more than 1032 bytes (a 258-byte match per 2 bits); an unpacked
// size above kMaxInflateRatio * packed + kInflateSlack is therefore refused before allocation.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 0x10000;
// A file shorter than its packed size is read as if zero bytes followed it. No zlib stream that
// inflates successfully can consume more than this many of those zeros (the data of one final
// stored block, its NLEN field and the Adler-32), so the packed bytes are borrowed up to the end
// of the file plus at most this many zeros.
constexpr uint32_t kZeroTailAllowance = 0x10000 + 8;

// Reads the package file at path into the component records. Returns 0, or kPackageFailed when
// the file cannot be opened, is not a package, does not inflate, or holds a faulty chunk. The walk
// stops at the first faulty PART; records that earlier PARTs updated keep their new values.
// Never throws.
uint32_t readPackageFile(const char* path);

// Opens path, decodes the container and closes the file again on every path. On success the
// caller owns *payload (free it with freePackagePayload) holding *payloadLength payload bytes.
bool loadPackageContainer(const char* path, uint8_t** payload, uint32_t* payloadLength);

// Decodes the container that starts at stream's position. On success the caller owns *payload
// (free it with freePackagePayload); on failure nothing is allocated and the outputs are not
// written. The stream stays open. Never throws.
bool decodePackageContainer(ByteStream& stream, uint8_t** payload, uint32_t* payloadLength);

// Frees a payload block from loadPackageContainer or decodePackageContainer; null is ignored.
void freePackagePayload(uint8_t* payload);

// Walks a decoded payload (length bytes at payload; the block stays the caller's) and fills the
// records from its PART chunks. Returns 0 or kPackageFailed. Never throws.
uint32_t readPackagePayload(uint8_t* payload, uint32_t length);

// Reads one PART body from part (a stream over exactly that body) and, for a component with a
// record, stores NAME and VERS in it. Returns 0 or kPackageFailed.
// Throws int 1 when a NAME, TYPE or 4-byte VERS body runs past the end of the part.
// REQUIRES: called inside a handler for every exception, as readPackagePayload does.
uint32_t readPartChunk(ByteStream& part);

#endif  // WQDUPDATE_PACKAGE_PACKAGE_FILE_H
