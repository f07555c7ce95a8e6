// Byte streams: the one abstraction through which every file and memory block is read.
//
// A ByteStream has a position and a size and offers reading, writing, block borrowing and
// seeking; MemoryStream views a block owned by somebody else, FileStream reads a file through the
// C run time's low-level handles. No operation throws: failures are reported by the result
// (false, a null block, or -1 from a FileStream seek), and a FileStream also records a Windows
// system error code in ioError(). The little-endian readers of the base work on either kind.
//
// Streams are single-owner objects and are not copied. A block returned by borrowBlock goes back
// through releaseBlock of the same stream before that stream is destroyed.
#ifndef WQDUPDATE_PACKAGE_BYTE_STREAM_H
#define WQDUPDATE_PACKAGE_BYTE_STREAM_H

#include <cstdint>

// Windows system error codes that the streams record.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorInvalidHandle = 6;         // also: an operation in the wrong state
constexpr uint32_t kErrorInvalidParameter = 87;     // also: open of a null path
constexpr uint32_t kErrorCallNotImplemented = 120;  // an errno without a mapping
// What a failed FileStream seek returns and stores as the position.
constexpr uint32_t kSeekFailed = 0xFFFFFFFF;

// The largest piece a FileStream hands to one low-level read (8 MiB).
constexpr uint32_t kFileReadPieceMax = 0x800000;

// Maps a C run time errno to the Windows system error code of the same meaning (ENOENT -> 2,
// EACCES -> 5, ...); an errno without a counterpart gives 120. The lookup goes by the errno's
// name, so it is right on platforms that number errno values differently.
uint32_t systemErrorFromErrno(int error);

class ByteStream {
 public:
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  virtual ~ByteStream();

  // Reads up to length bytes at the position into dst. On success stores the number of bytes
  // read through count (when count is not null) and returns true, also for a short read. The
  // base class reads nothing and returns false.
  virtual bool read(void* dst, uint32_t length, uint32_t* count = nullptr);
  // Writes up to length bytes from src at the position; the count as for read.
  virtual bool write(const void* src, uint32_t length, uint32_t* count = nullptr) = 0;
  // Returns a block holding the stream's next length bytes and advances the position, or null.
  // REQUIRES: the block goes back through releaseBlock of this stream.
  virtual uint8_t* borrowBlock(uint32_t length) = 0;
  // Gives back a block that borrowBlock of this stream returned; null is ignored.
  virtual void releaseBlock(uint8_t* block) = 0;
  // Moves the position: origin 0 from the start, 1 from the position, 2 from the end. Returns
  // the new position (0xFFFFFFFF from a failed FileStream seek).
  virtual uint32_t seek(int32_t offset, int origin) = 0;
  virtual void close() = 0;
  virtual uint32_t size();

  uint32_t position() const { return position_; }

  // Little-endian readers: one read of one byte per byte, first byte least significant. Bytes
  // that the stream could not deliver count as zero, so the value is always defined.
  uint8_t readU8();
  uint16_t readU16();
  uint32_t readU32();

 protected:
  uint32_t position_ = 0;
  uint32_t size_ = 0;
};

// A view over a block of memory. The stream never owns, frees or grows its block; the owner keeps
// the block alive while the stream, and every pointer that borrowBlock handed out, is in use.
class MemoryStream : public ByteStream {
 public:
  MemoryStream() = default;
  ~MemoryStream() override;

  // Attaches block (size bytes) at position 0. Fails, changing nothing, when a block is already
  // attached or block is null. A size of 0 is accepted.
  bool attach(uint8_t* block, uint32_t size);
  bool isAttached() const { return attached_; }

  bool read(void* dst, uint32_t length, uint32_t* count = nullptr) override;
  bool write(const void* src, uint32_t length, uint32_t* count = nullptr) override;
  // Returns a pointer into the attached block: nothing is copied or allocated.
  uint8_t* borrowBlock(uint32_t length) override;
  void releaseBlock(uint8_t* block) override;
  // Never compared with the size: a position beyond the end makes read, write and borrowBlock
  // fail. Origin 2 moves to size + offset; any other origin leaves the position as it is.
  uint32_t seek(int32_t offset, int origin) override;
  // Detaches the block; position and size keep their values.
  void close() override;

 private:
  bool attached_ = false;
  uint8_t* data_ = nullptr;
};

// A file opened read-only in binary mode through the C run time's low-level handle. The position
// mirrors the handle's file offset; the size is measured at open.
class FileStream : public ByteStream {
 public:
  FileStream() = default;
  ~FileStream() override;

  // Opens path (8-bit, the system's ANSI code page) for reading, without sharing restrictions.
  // Fails with ioError 6 when the stream is already open (the open file stays open), otherwise
  // with the mapped errno of the failed open.
  bool open(const char* path);
  bool isOpen() const { return isOpen_; }
  // The system error code of the last failure; 0 until one happens.
  uint32_t ioError() const { return ioError_; }

  // Reads in pieces of at most kFileReadPieceMax bytes until length bytes, the end of the file
  // or a failure. The count (when given) receives the total also when the read fails.
  bool read(void* dst, uint32_t length, uint32_t* count = nullptr) override;
  // One low-level write; the count receives its result (0xFFFFFFFF on failure).
  bool write(const void* src, uint32_t length, uint32_t* count = nullptr) override;
  // Allocates a zero-filled heap block of length bytes and reads into it what the file holds;
  // bytes beyond the end of the file stay zero. Null only when the heap has no such block.
  uint8_t* borrowBlock(uint32_t length) override;
  // Frees a block that borrowBlock of a FileStream returned; null is ignored.
  void releaseBlock(uint8_t* block) override;
  // Passes offset and origin to the low-level seek; a failure gives (and stores) 0xFFFFFFFF.
  uint32_t seek(int32_t offset, int origin) override;
  void close() override;
  // Measures the file again only after a write.
  uint32_t size() override;

 protected:
  // One low-level read from the handle; the result as the C run time's read (-1 with errno
  // set on failure). A seam for tests that watch or break the piecewise read.
  virtual int readPiece(void* dst, uint32_t length);

 private:
  bool isOpen_ = false;
  bool sizeStale_ = false;
  int handle_ = -1;
  uint32_t ioError_ = 0;
};

#endif  // WQDUPDATE_PACKAGE_BYTE_STREAM_H
