#include "package/package_file.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <zlib.h>

#include "driver/component_record.h"

// The fault the chunk walk raises; caught at readPackagePayload's boundary.
static const int kChunkFault = 1;

// Gives a borrowed block back to its stream on every path, exceptions included.
class BorrowedBlock {
 public:
  BorrowedBlock(ByteStream& stream, uint8_t* block) : stream_(stream), block_(block) {}
  BorrowedBlock(const BorrowedBlock&) = delete;
  BorrowedBlock& operator=(const BorrowedBlock&) = delete;
  ~BorrowedBlock() {
    if (block_ != nullptr) stream_.releaseBlock(block_);
  }
  uint8_t* get() const { return block_; }

 private:
  ByteStream& stream_;
  uint8_t* block_;
};

// The bytes from the stream's position to its end; 0 when the position is beyond the end.
static uint32_t bytesLeft(ByteStream& stream) {
  uint32_t size = stream.size();
  uint32_t position = stream.position();
  return position < size ? size - position : 0;
}

// Where a body of length bytes at the position ends. A body that reaches past the end of the
// stream is cut at the end, so that the sum cannot wrap at 2^32 back into bytes already walked.
static uint32_t bodyEnd(ByteStream& stream, uint32_t length) {
  uint32_t left = bytesLeft(stream);
  return stream.position() + (length <= left ? length : left);
}

static void seekTo(ByteStream& stream, uint32_t position) {
  // Positions of 2 GiB and more travel as negative offsets; the stream takes them modulo 2^32.
  stream.seek(static_cast<int32_t>(position), 0);
}

// A text chunk's body, all length bytes of it, zero bytes included.
static std::string readTextBody(ByteStream& part, uint32_t length) {
  if (length > bytesLeft(part)) throw kChunkFault;
  BorrowedBlock block(part, part.borrowBlock(length));
  if (block.get() == nullptr) throw kChunkFault;
  return std::string(reinterpret_cast<const char*>(block.get()), length);
}

uint32_t readPartChunk(ByteStream& part) {
  uint32_t status = 0;
  std::string name;
  std::string type;
  // A PART without VERS offers no version.
  int32_t version = -1;
  // A fragment shorter than a chunk header at the end ends the walk; it holds no chunk.
  while (bytesLeft(part) >= kChunkHeaderLength) {
    uint32_t tag = part.readU32();
    uint32_t length = part.readU32();
    uint32_t end = bodyEnd(part, length);
    if (tag == kTagName) {
      name = readTextBody(part, length);
    } else if (tag == kTagType) {
      type = readTextBody(part, length);
    } else if (tag == kTagVers) {
      if (length == 4) {
        // A version cut short by the end of the part would be made up of bytes nobody wrote.
        if (length > bytesLeft(part)) throw kChunkFault;
        version = static_cast<int32_t>(part.readU32());
      } else {
        status = kPackageFailed;
      }
    }
    seekTo(part, end);
  }
  if (name.empty()) status = kPackageFailed;
  // TYPE counts up to its first zero byte.
  ComponentRecord* record = componentRecord(componentFromName(type.c_str()));
  // Components without a record ("program", "news") and unknown or missing types are ignored,
  // together with any fault found in their PART.
  if (record == nullptr) return 0;
  if (status == 0) {
    record->packageVersion = version;
    record->packageName = name;
  }
  return status;
}

// Walks the payload's chunks; raises kChunkFault on a faulty PART.
static void walkPayload(ByteStream& payload) {
  while (bytesLeft(payload) >= kChunkHeaderLength) {
    uint32_t tag = payload.readU32();
    uint32_t length = payload.readU32();
    uint32_t end = bodyEnd(payload, length);
    if (tag == kTagPart) {
      // A MemoryStream lends the body in place: the part stream views the payload block.
      BorrowedBlock body(payload, payload.borrowBlock(length));
      if (body.get() == nullptr) throw kChunkFault;
      MemoryStream part;
      if (!part.attach(body.get(), length)) throw kChunkFault;
      uint32_t status = readPartChunk(part);
      part.close();
      if (status != 0) throw kChunkFault;
    }
    // Other chunks are skipped; one that reaches past the end ends the walk.
    seekTo(payload, end);
  }
}

uint32_t readPackagePayload(uint8_t* payload, uint32_t length) {
  MemoryStream stream;
  if (!stream.attach(payload, length)) return kPackageFailed;
  uint32_t status = 0;
  try {
    walkPayload(stream);
  } catch (...) {
    // The int 1 of a faulty chunk, and anything else the walk raised (bad_alloc for one).
    status = kPackageFailed;
  }
  stream.close();
  return status;
}

void freePackagePayload(uint8_t* payload) { std::free(payload); }

bool decodePackageContainer(ByteStream& stream, uint8_t** payload, uint32_t* payloadLength) {
  uint8_t magic[kPackageMagicLength];
  uint32_t count = 0;
  if (!stream.read(magic, kPackageMagicLength, &count) || count != kPackageMagicLength ||
      std::memcmp(magic, kPackageMagic, kPackageMagicLength) != 0) {
    return false;
  }
  // A header cut short leaves zero bytes in these; the stream then fails to inflate below.
  uint32_t unpackedSize = stream.readU32();
  uint32_t packedSize = stream.readU32();

  // Bound every allocation by what the file holds, not by what the header claims. Bytes past
  // the end of the file read as zeros (a FileStream's borrowed block is zero-filled), and a few
  // of those can complete a stream; only a bounded number can, so borrowing up to the end of the
  // file plus kZeroTailAllowance inflates exactly what the full packed size would.
  uint32_t held = bytesLeft(stream);
  uint32_t packedHeld = packedSize <= held ? packedSize : held;
  uint32_t borrowLength = packedHeld;
  if (packedSize > held) {
    uint32_t missing = packedSize - held;
    borrowLength += missing < kZeroTailAllowance ? missing : kZeroTailAllowance;
  }
  // More than any zlib stream of the bytes at hand can inflate to: refuse before allocating.
  if (unpackedSize > kMaxInflateRatio * packedHeld + kInflateSlack) return false;

  // At least one byte, so that an unpacked size of 0 is not mistaken for a failed allocation.
  // uncompress is given that byte as room too: with no room at all it inflates into a byte of its
  // own and reports a one-byte payload as an empty success, so the count is checked instead.
  const uint32_t capacity = unpackedSize != 0 ? unpackedSize : 1;
  uint8_t* block = static_cast<uint8_t*>(std::malloc(capacity));
  if (block == nullptr) return false;
  int result = Z_MEM_ERROR;
  uLongf produced = capacity;
  {
    BorrowedBlock packed(stream, stream.borrowBlock(borrowLength));
    if (packed.get() != nullptr) {
      result = uncompress(block, &produced, packed.get(), borrowLength);
    }
  }
  if (result != Z_OK || produced > unpackedSize) {
    std::free(block);
    return false;
  }
  *payload = block;
  *payloadLength = static_cast<uint32_t>(produced);
  return true;
}

bool loadPackageContainer(const char* path, uint8_t** payload, uint32_t* payloadLength) {
  FileStream file;
  if (!file.open(path)) return false;
  bool loaded = decodePackageContainer(file, payload, payloadLength);
  file.close();
  return loaded;
}

uint32_t readPackageFile(const char* path) {
  uint8_t* payload = nullptr;
  uint32_t length = 0;
  if (!loadPackageContainer(path, &payload, &length)) return kPackageFailed;
  uint32_t status = readPackagePayload(payload, length);
  freePackagePayload(payload);
  return status;
}
