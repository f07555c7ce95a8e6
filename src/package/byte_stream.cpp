#include "package/byte_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#if defined(_WIN32)
// Binary mode: the package and signed files must arrive without newline translation.
static const int kOpenFlags = _O_RDONLY | _O_BINARY;
static int lowOpen(const char* path) { return _open(path, kOpenFlags); }
static int lowRead(int handle, void* dst, uint32_t length) { return _read(handle, dst, length); }
static int lowWrite(int handle, const void* src, uint32_t length) {
  return _write(handle, src, length);
}
static uint32_t lowSeek(int handle, int32_t offset, int origin) {
  return static_cast<uint32_t>(_lseek(handle, offset, origin));
}
static void lowClose(int handle) { _close(handle); }
#else
static const int kOpenFlags = O_RDONLY;
static int lowOpen(const char* path) { return ::open(path, kOpenFlags); }
static int lowRead(int handle, void* dst, uint32_t length) {
  return static_cast<int>(::read(handle, dst, length));
}
static int lowWrite(int handle, const void* src, uint32_t length) {
  return static_cast<int>(::write(handle, src, length));
}
static uint32_t lowSeek(int handle, int32_t offset, int origin) {
  // The stream's positions are 32-bit; -1 from a failed seek becomes 0xFFFFFFFF.
  return static_cast<uint32_t>(::lseek(handle, offset, origin));
}
static void lowClose(int handle) { ::close(handle); }
#endif

uint32_t systemErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return 2;  // ERROR_FILE_NOT_FOUND
    case E2BIG:
      return 10;  // ERROR_BAD_ENVIRONMENT
    case ENOEXEC:
      return 11;  // ERROR_BAD_FORMAT
    case EBADF:
      return 6;  // ERROR_INVALID_HANDLE
    case ECHILD:
      return 128;  // ERROR_WAIT_NO_CHILDREN
    case EAGAIN:
      return 89;  // ERROR_NO_PROC_SLOTS
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EACCES:
      return 5;  // ERROR_ACCESS_DENIED
    case EEXIST:
      return 183;  // ERROR_ALREADY_EXISTS
    case EXDEV:
      return 17;  // ERROR_NOT_SAME_DEVICE
    case ENODEV:
      return 15;  // ERROR_INVALID_DRIVE
    case ENOTDIR:
      return 3;  // ERROR_PATH_NOT_FOUND
    case EINVAL:
      return 87;  // ERROR_INVALID_PARAMETER
    case EMFILE:
      return 4;  // ERROR_TOO_MANY_OPEN_FILES
    case ENOSPC:
      return 112;  // ERROR_DISK_FULL
    case EPIPE:
      return 109;  // ERROR_BROKEN_PIPE
    case ENOTEMPTY:
      return 145;  // ERROR_DIR_NOT_EMPTY
    default:
      return kErrorCallNotImplemented;
  }
}

// ---- ByteStream ----

ByteStream::~ByteStream() = default;

bool ByteStream::read(void*, uint32_t, uint32_t*) { return false; }

uint32_t ByteStream::size() { return size_; }

uint8_t ByteStream::readU8() {
  // Preset to zero: a read that delivers nothing leaves the byte alone.
  uint8_t byte = 0;
  read(&byte, 1);
  return byte;
}

uint16_t ByteStream::readU16() {
  uint16_t value = readU8();
  value = static_cast<uint16_t>(value | (readU8() << 8));
  return value;
}

uint32_t ByteStream::readU32() {
  uint32_t value = readU8();
  value |= static_cast<uint32_t>(readU8()) << 8;
  value |= static_cast<uint32_t>(readU8()) << 16;
  value |= static_cast<uint32_t>(readU8()) << 24;
  return value;
}

// ---- MemoryStream ----

MemoryStream::~MemoryStream() = default;

bool MemoryStream::attach(uint8_t* block, uint32_t size) {
  if (attached_ || block == nullptr) return false;
  data_ = block;
  size_ = size;
  position_ = 0;
  attached_ = true;
  return true;
}

bool MemoryStream::read(void* dst, uint32_t length, uint32_t* count) {
  if (!attached_ || position_ >= size_) return false;
  uint32_t left = size_ - position_;
  uint32_t n = length < left ? length : left;
  if (n != 0) std::memcpy(dst, data_ + position_, n);
  if (count != nullptr) *count = n;
  position_ += n;
  return true;
}

bool MemoryStream::write(const void* src, uint32_t length, uint32_t* count) {
  if (!attached_ || position_ >= size_) return false;
  uint32_t left = size_ - position_;
  uint32_t n = length < left ? length : left;
  if (n != 0) std::memcpy(data_ + position_, src, n);
  if (count != nullptr) *count = n;
  position_ += n;
  return true;
}

uint8_t* MemoryStream::borrowBlock(uint32_t length) {
  // By subtraction: position + length may pass 2^32.
  if (!attached_ || position_ > size_ || length > size_ - position_) return nullptr;
  uint8_t* block = data_ + position_;
  position_ += length;
  return block;
}

void MemoryStream::releaseBlock(uint8_t*) {}

uint32_t MemoryStream::seek(int32_t offset, int origin) {
  // Unsigned arithmetic: a negative offset moves back, modulo 2^32.
  uint32_t delta = static_cast<uint32_t>(offset);
  switch (origin) {
    case 0:
      position_ = delta;
      break;
    case 1:
      position_ += delta;
      break;
    case 2:
      position_ = size_ + delta;
      break;
    default:
      break;
  }
  return position_;
}

void MemoryStream::close() {
  data_ = nullptr;
  attached_ = false;
}

// ---- FileStream ----

FileStream::~FileStream() { close(); }

bool FileStream::open(const char* path) {
  if (isOpen_) {
    ioError_ = kErrorInvalidHandle;
    return false;
  }
  if (path == nullptr) {
    ioError_ = kErrorInvalidParameter;
    return false;
  }
  handle_ = lowOpen(path);
  if (handle_ == -1) {
    ioError_ = systemErrorFromErrno(errno);
    return false;
  }
  isOpen_ = true;
  size_ = lowSeek(handle_, 0, SEEK_END);
  position_ = lowSeek(handle_, 0, SEEK_SET);
  return true;
}

int FileStream::readPiece(void* dst, uint32_t length) { return lowRead(handle_, dst, length); }

bool FileStream::read(void* dst, uint32_t length, uint32_t* count) {
  if (!isOpen_) {
    ioError_ = kErrorInvalidHandle;
    return false;
  }
  uint8_t* destination = static_cast<uint8_t*>(dst);
  uint32_t remaining = length;
  uint32_t total = 0;
  int n = 0;
  do {
    uint32_t piece = remaining < kFileReadPieceMax ? remaining : kFileReadPieceMax;
    n = readPiece(destination, piece);
    if (n <= 0) break;
    uint32_t got = static_cast<uint32_t>(n);
    total += got;
    destination += got;
    remaining -= got;
  } while (remaining != 0);
  if (count != nullptr) *count = total;
  if (n < 0) {
    ioError_ = systemErrorFromErrno(errno);
    return false;
  }
  position_ = lowSeek(handle_, 0, SEEK_CUR);
  return true;
}

bool FileStream::write(const void* src, uint32_t length, uint32_t* count) {
  if (!isOpen_) {
    ioError_ = kErrorInvalidHandle;
    return false;
  }
  int n = lowWrite(handle_, src, length);
  if (count != nullptr) *count = static_cast<uint32_t>(n);
  if (n < 0) {
    ioError_ = systemErrorFromErrno(errno);
    return false;
  }
  position_ = lowSeek(handle_, 0, SEEK_CUR);
  sizeStale_ = true;
  return true;
}

uint8_t* FileStream::borrowBlock(uint32_t length) {
  // At least one byte, so that a borrow of 0 bytes is a valid block rather than a failure.
  uint8_t* block = static_cast<uint8_t*>(std::calloc(length != 0 ? length : 1, 1));
  if (block == nullptr) return nullptr;
  read(block, length);
  return block;
}

void FileStream::releaseBlock(uint8_t* block) { std::free(block); }

uint32_t FileStream::seek(int32_t offset, int origin) {
  // A closed stream answers as a failed seek would, without handing -1 to the C run time:
  // Microsoft's run time treats an invalid handle as a fault of the program, not as an error.
  position_ = handle_ != -1 ? lowSeek(handle_, offset, origin) : kSeekFailed;
  return position_;
}

void FileStream::close() {
  if (handle_ != -1) lowClose(handle_);
  handle_ = -1;
  isOpen_ = false;
  sizeStale_ = false;
}

uint32_t FileStream::size() {
  if (sizeStale_ && handle_ != -1) {
    size_ = lowSeek(handle_, 0, SEEK_END);
    lowSeek(handle_, static_cast<int32_t>(position_), SEEK_SET);
  }
  return size_;
}
