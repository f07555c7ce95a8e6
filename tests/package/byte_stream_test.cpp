#include "package/byte_stream.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "package_builder.h"

// ---- MemoryStream ----

class MemoryStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (uint8_t i = 0; i < 10; ++i) block_[i] = i;
    ASSERT_TRUE(stream_.attach(block_, 10));
  }
  uint8_t block_[10];
  MemoryStream stream_;
};

TEST_F(MemoryStreamTest, ShortReadSucceedsThenReadAtEndFails) {
  uint8_t buffer[16] = {};
  uint32_t count = 99;
  EXPECT_TRUE(stream_.read(buffer, 4, &count));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(stream_.position(), 4u);
  EXPECT_TRUE(stream_.read(buffer, 10, &count));
  EXPECT_EQ(count, 6u);
  EXPECT_EQ(stream_.position(), 10u);
  EXPECT_EQ(std::memcmp(buffer, block_ + 4, 6), 0);
  count = 99;
  EXPECT_FALSE(stream_.read(buffer, 1, &count));
  EXPECT_EQ(count, 99u) << "a failed read leaves the count alone";
  EXPECT_FALSE(stream_.read(buffer, 0, nullptr));
}

TEST_F(MemoryStreamTest, BorrowLendsInPlaceAndRefusesWhatIsNotThere) {
  stream_.seek(8, 0);
  EXPECT_EQ(stream_.borrowBlock(3), nullptr);
  EXPECT_EQ(stream_.position(), 8u);
  EXPECT_EQ(stream_.borrowBlock(2), block_ + 8);
  EXPECT_EQ(stream_.position(), 10u);
  EXPECT_EQ(stream_.borrowBlock(0), block_ + 10);
  EXPECT_EQ(stream_.position(), 10u);
  stream_.releaseBlock(block_ + 8);  // gives nothing back: the block is not the stream's
  EXPECT_EQ(block_[8], 8);
}

TEST_F(MemoryStreamTest, BorrowWhoseEndPasses4GiBIsRefused) {
  stream_.seek(8, 0);
  for (uint32_t length : {0xFFFFFFF8u, 0xFFFFFFF9u, 0xFFFFFFFFu}) {
    EXPECT_EQ(stream_.borrowBlock(length), nullptr) << length;
    EXPECT_EQ(stream_.position(), 8u);
  }
}

TEST_F(MemoryStreamTest, PositionBeyondTheEndStaysAndBlocksAccess) {
  EXPECT_EQ(stream_.seek(20, 0), 20u);
  uint8_t byte = 0x55;
  EXPECT_FALSE(stream_.read(&byte, 1));
  EXPECT_FALSE(stream_.write(&byte, 1));
  EXPECT_EQ(stream_.borrowBlock(0), nullptr);
  EXPECT_EQ(stream_.position(), 20u);
}

TEST_F(MemoryStreamTest, SeekOrigins) {
  struct Case {
    int line;
    uint32_t from;
    int32_t offset;
    int origin;
    uint32_t expected;
  };
  const Case cases[] = {
      {__LINE__, 5, 3, 0, 3},  {__LINE__, 5, 3, 1, 8},
      {__LINE__, 5, -2, 1, 3}, {__LINE__, 2, -3, 1, 0xFFFFFFFFu},  // modulo 2^32, not clamped
      {__LINE__, 5, 0, 2, 10},  // origin 2 is the size plus the offset
      {__LINE__, 5, -4, 2, 6}, {__LINE__, 5, 7, 2, 17},
      {__LINE__, 5, 1, 3, 5},  // an unknown origin changes nothing
      {__LINE__, 5, 1, -1, 5},
  };
  for (const Case& c : cases) {
    stream_.seek(static_cast<int32_t>(c.from), 0);
    EXPECT_EQ(stream_.seek(c.offset, c.origin), c.expected) << "line " << c.line;
    EXPECT_EQ(stream_.position(), c.expected) << "line " << c.line;
  }
}

TEST_F(MemoryStreamTest, WriteCopiesInPlaceAndNeverGrows) {
  stream_.seek(7, 0);
  const uint8_t source[5] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4};
  uint32_t count = 0;
  EXPECT_TRUE(stream_.write(source, 5, &count));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(stream_.position(), 10u);
  EXPECT_EQ(block_[6], 6);
  EXPECT_EQ(block_[7], 0xA0);
  EXPECT_EQ(block_[9], 0xA2);
  EXPECT_EQ(stream_.size(), 10u);
  EXPECT_FALSE(stream_.write(source, 1, &count));
}

TEST(MemoryStream, AttachRules) {
  uint8_t first[4] = {1, 2, 3, 4};
  uint8_t second[2] = {9, 8};
  MemoryStream stream;
  EXPECT_FALSE(stream.isAttached());
  EXPECT_FALSE(stream.attach(nullptr, 4));
  EXPECT_FALSE(stream.isAttached());
  ASSERT_TRUE(stream.attach(first, 4));
  stream.seek(3, 0);
  EXPECT_FALSE(stream.attach(second, 2)) << "attached streams are closed first";
  EXPECT_EQ(stream.size(), 4u);
  EXPECT_EQ(stream.position(), 3u);
  EXPECT_EQ(stream.readU8(), 4);

  stream.close();
  EXPECT_FALSE(stream.isAttached());
  EXPECT_EQ(stream.size(), 4u) << "close keeps position and size";
  EXPECT_EQ(stream.position(), 4u);
  uint8_t byte = 0;
  EXPECT_FALSE(stream.read(&byte, 1));
  EXPECT_EQ(stream.borrowBlock(0), nullptr);
  EXPECT_EQ(stream.seek(1, 0), 1u) << "seek works on the fields while detached";

  ASSERT_TRUE(stream.attach(second, 2));
  EXPECT_EQ(stream.position(), 0u);
  EXPECT_EQ(stream.size(), 2u);
  EXPECT_EQ(stream.readU16(), 0x0809);
}

TEST(MemoryStream, EmptyBlockAttachesAndLendsNothing) {
  uint8_t block[1] = {7};
  MemoryStream stream;
  ASSERT_TRUE(stream.attach(block, 0));
  uint8_t byte = 0;
  EXPECT_FALSE(stream.read(&byte, 1));
  EXPECT_EQ(stream.borrowBlock(0), block);
  EXPECT_EQ(stream.borrowBlock(1), nullptr);
}

TEST(ByteStreamReaders, LittleEndianInReadOrder) {
  uint8_t bytes[7] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  MemoryStream stream;
  ASSERT_TRUE(stream.attach(bytes, 7));
  EXPECT_EQ(stream.readU8(), 0x01);
  EXPECT_EQ(stream.readU16(), 0x0302);
  EXPECT_EQ(stream.readU32(), 0x07060504u);
  EXPECT_EQ(stream.position(), 7u);
}

TEST(ByteStreamReaders, MissingBytesCountAsZero) {
  uint8_t bytes[3] = {0xAA, 0xBB, 0xCC};
  MemoryStream stream;
  ASSERT_TRUE(stream.attach(bytes, 3));
  stream.seek(1, 0);
  EXPECT_EQ(stream.readU32(), 0x0000CCBBu);
  EXPECT_EQ(stream.readU16(), 0u);
  EXPECT_EQ(stream.readU8(), 0u);
  stream.close();
  EXPECT_EQ(stream.readU32(), 0u) << "a detached stream delivers nothing";
}

// The base class's own read, and its size, as a stream that overrides only what it must sees
// them.
class BareStream : public ByteStream {
 public:
  explicit BareStream(uint32_t size) { size_ = size; }
  bool write(const void*, uint32_t, uint32_t*) override { return false; }
  uint8_t* borrowBlock(uint32_t) override { return nullptr; }
  void releaseBlock(uint8_t*) override {}
  uint32_t seek(int32_t, int) override { return position_; }
  void close() override {}
};

TEST(ByteStream, BaseReadFailsAndTouchesNothing) {
  BareStream stream(5);
  uint8_t buffer[2] = {0x11, 0x22};
  uint32_t count = 77;
  EXPECT_FALSE(stream.read(buffer, 2, &count));
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(stream.size(), 5u);
  EXPECT_EQ(stream.readU32(), 0u);
}

// ---- FileStream ----

// Records every low-level read and can cap or break them.
class WatchedFileStream : public FileStream {
 public:
  std::vector<uint32_t> asked;
  uint32_t cap = 0xFFFFFFFFu;  // the most one piece delivers
  int failAfter = -1;          // the piece number that fails, with errno failErrno
  int failErrno = EIO;

 protected:
  int readPiece(void* dst, uint32_t length) override {
    asked.push_back(length);
    if (failAfter >= 0 && static_cast<int>(asked.size()) > failAfter) {
      errno = failErrno;
      return -1;
    }
    return FileStream::readPiece(dst, length < cap ? length : cap);
  }
};

static Bytes countingBytes(size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  return bytes;
}

TEST(FileStream, OpenFailuresAndWrongState) {
  FileStream stream;
  uint8_t byte = 0;
  EXPECT_FALSE(stream.read(&byte, 1));
  EXPECT_EQ(stream.ioError(), kErrorInvalidHandle);

  EXPECT_FALSE(stream.open(missingPath().c_str()));
  EXPECT_EQ(stream.ioError(), kErrorFileNotFound);
  EXPECT_FALSE(stream.isOpen());

  EXPECT_FALSE(stream.open(nullptr));
  EXPECT_EQ(stream.ioError(), kErrorInvalidParameter);

  TempFile file(bytesOf("abc"));
  ASSERT_TRUE(stream.open(file.path()));
  EXPECT_FALSE(stream.open(file.path()));
  EXPECT_EQ(stream.ioError(), kErrorInvalidHandle);
  EXPECT_TRUE(stream.isOpen()) << "the first file stays open";
  EXPECT_EQ(stream.readU8(), 'a');
}

TEST(FileStream, SizeAndPositionAfterOpen) {
  TempFile file(countingBytes(1234));
  FileStream stream;
  ASSERT_TRUE(stream.open(file.path()));
  EXPECT_EQ(stream.size(), 1234u);
  EXPECT_EQ(stream.position(), 0u);
}

TEST(FileStream, BinaryModeKeepsEveryByte) {
  // Text mode on Windows would turn CR LF into LF and stop at 0x1A.
  const Bytes content = {'a', '\r', '\n', 0x1A, 'b', '\n', 0x00, '\r'};
  TempFile file(content);
  FileStream stream;
  ASSERT_TRUE(stream.open(file.path()));
  uint8_t buffer[16] = {};
  uint32_t count = 0;
  EXPECT_TRUE(stream.read(buffer, 16, &count));
  ASSERT_EQ(count, content.size());
  EXPECT_EQ(std::memcmp(buffer, content.data(), content.size()), 0);
}

TEST(FileStream, LargeReadGoesInPiecesOf8MiB) {
  const uint32_t kLength = 20u << 20;
  const Bytes content = countingBytes(kLength);
  TempFile file(content);
  WatchedFileStream stream;
  ASSERT_TRUE(stream.open(file.path()));
  std::vector<uint8_t> buffer(kLength);
  uint32_t count = 0;
  EXPECT_TRUE(stream.read(buffer.data(), kLength, &count));
  EXPECT_EQ(count, kLength);
  EXPECT_EQ(stream.position(), kLength);
  EXPECT_EQ(stream.asked, (std::vector<uint32_t>{8u << 20, 8u << 20, 4u << 20}));
  EXPECT_TRUE(buffer == content);
}

TEST(FileStream, ShortPiecesDoNotEndTheRead) {
  const Bytes content = countingBytes(10);
  TempFile file(content);
  WatchedFileStream stream;
  stream.cap = 3;
  ASSERT_TRUE(stream.open(file.path()));
  uint8_t buffer[12] = {};
  uint32_t count = 0;
  EXPECT_TRUE(stream.read(buffer, 12, &count));
  EXPECT_EQ(count, 10u);
  // 3 + 3 + 3 + 1, then the end of the file.
  EXPECT_EQ(stream.asked, (std::vector<uint32_t>{12, 9, 6, 3, 2}));
  EXPECT_EQ(std::memcmp(buffer, content.data(), 10), 0);
}

TEST(FileStream, ReadsNearAndAtTheEnd) {
  TempFile file(countingBytes(100));
  WatchedFileStream stream;
  ASSERT_TRUE(stream.open(file.path()));
  uint8_t buffer[100] = {};
  uint32_t count = 0;
  EXPECT_EQ(stream.seek(90, 0), 90u);
  EXPECT_TRUE(stream.read(buffer, 100, &count));
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(stream.position(), stream.size());
  count = 99;
  EXPECT_TRUE(stream.read(buffer, 100, &count));
  EXPECT_EQ(count, 0u);

  stream.asked.clear();
  stream.seek(0, 0);
  count = 99;
  EXPECT_TRUE(stream.read(buffer, 0, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(stream.asked, (std::vector<uint32_t>{0}));
  EXPECT_EQ(stream.position(), 0u);
}

TEST(FileStream, FailedLowLevelReadRecordsTheMappedErrno) {
  TempFile file(countingBytes(100));
  WatchedFileStream stream;
  stream.cap = 40;
  stream.failAfter = 1;
  stream.failErrno = EACCES;
  ASSERT_TRUE(stream.open(file.path()));
  uint8_t buffer[100] = {};
  uint32_t count = 0;
  EXPECT_FALSE(stream.read(buffer, 100, &count));
  EXPECT_EQ(count, 40u) << "the count reports what arrived before the failure";
  EXPECT_EQ(stream.ioError(), 5u);
}

TEST(FileStream, BorrowZeroFillsBeyondTheFile) {
  TempFile file(bytesOf("0123456789"));
  FileStream stream;
  ASSERT_TRUE(stream.open(file.path()));
  stream.seek(4, 0);
  uint8_t* block = stream.borrowBlock(16);
  ASSERT_NE(block, nullptr);
  const uint8_t expected[16] = {'4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(std::memcmp(block, expected, 16), 0);
  EXPECT_EQ(stream.position(), 10u);
  stream.releaseBlock(block);
  stream.releaseBlock(nullptr);
  uint8_t* empty = stream.borrowBlock(0);
  EXPECT_NE(empty, nullptr) << "a borrow of nothing is not a failure";
  stream.releaseBlock(empty);
}

TEST(FileStream, SeekPassesThrough) {
  TempFile file(countingBytes(50));
  FileStream stream;
  ASSERT_TRUE(stream.open(file.path()));
  EXPECT_EQ(stream.seek(10, 0), 10u);
  EXPECT_EQ(stream.seek(5, 1), 15u);
  EXPECT_EQ(stream.seek(-1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(stream.position(), 0xFFFFFFFFu);
  EXPECT_EQ(stream.seek(-10, 2), 40u);
  EXPECT_EQ(stream.seek(100, 0), 100u) << "beyond the end is allowed";
  uint8_t buffer[4];
  uint32_t count = 9;
  EXPECT_TRUE(stream.read(buffer, 4, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(stream.ioError(), 0u) << "seeks record nothing";
}

TEST(FileStream, WriteToReadOnlyFileFails) {
  TempFile file(countingBytes(8));
  FileStream stream;
  const uint8_t byte = 1;
  uint32_t count = 0;
  EXPECT_FALSE(stream.write(&byte, 1, &count));
  EXPECT_EQ(stream.ioError(), kErrorInvalidHandle);
  ASSERT_TRUE(stream.open(file.path()));
  EXPECT_FALSE(stream.write(&byte, 1, &count));
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_EQ(stream.ioError(), kErrorInvalidHandle) << "EBADF: the handle is read-only";
  EXPECT_EQ(stream.size(), 8u);
}

TEST(FileStream, CloseKeepsFieldsAndAllowsReopen) {
  TempFile first(countingBytes(30));
  TempFile second(countingBytes(3));
  FileStream stream;
  ASSERT_TRUE(stream.open(first.path()));
  stream.seek(12, 0);
  stream.close();
  stream.close();
  EXPECT_FALSE(stream.isOpen());
  EXPECT_EQ(stream.position(), 12u);
  EXPECT_EQ(stream.size(), 30u);
  uint8_t byte = 0;
  EXPECT_FALSE(stream.read(&byte, 1));
  EXPECT_EQ(stream.ioError(), kErrorInvalidHandle);
  EXPECT_EQ(stream.seek(4, 0), 0xFFFFFFFFu) << "a closed stream seeks nowhere";
  ASSERT_TRUE(stream.open(second.path()));
  EXPECT_EQ(stream.size(), 3u);
  EXPECT_EQ(stream.position(), 0u);
}

TEST(SystemErrorFromErrno, MapsByMeaning) {
  struct Case {
    int line;
    int error;
    uint32_t code;
  };
  const Case cases[] = {
      {__LINE__, ENOENT, 2},  {__LINE__, E2BIG, 10},      {__LINE__, ENOEXEC, 11},
      {__LINE__, EBADF, 6},   {__LINE__, ECHILD, 128},    {__LINE__, EAGAIN, 89},
      {__LINE__, ENOMEM, 8},  {__LINE__, EACCES, 5},      {__LINE__, EEXIST, 183},
      {__LINE__, EXDEV, 17},  {__LINE__, ENODEV, 15},     {__LINE__, ENOTDIR, 3},
      {__LINE__, EINVAL, 87}, {__LINE__, EMFILE, 4},      {__LINE__, ENOSPC, 112},
      {__LINE__, EPIPE, 109}, {__LINE__, ENOTEMPTY, 145}, {__LINE__, EINTR, 120},
      {__LINE__, EIO, 120},   {__LINE__, 0, 120},         {__LINE__, 100000, 120},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(systemErrorFromErrno(c.error), c.code) << "line " << c.line;
  }
}
