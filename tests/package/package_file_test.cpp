#include "package/package_file.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "driver/component_record.h"
#include "package_builder.h"

static const uint32_t kFailed = kPackageFailed;

class PackageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { resetComponentRecords(); }
  void TearDown() override { resetComponentRecords(); }

  static ComponentRecord& wqd() { return *componentRecord(1); }
  static ComponentRecord& setup() { return *componentRecord(3); }

  // Gives both records values that no package in these tests writes, so that a test can see
  // whether a read touched them.
  static void markRecords() {
    wqd().packageName = "old-wqd";
    wqd().packageVersion = 0x111;
    setup().packageName = "old-setup";
    setup().packageVersion = 0x333;
  }
  static bool wqdMarked() {
    return wqd().packageName == "old-wqd" && wqd().packageVersion == 0x111;
  }
  static bool setupMarked() {
    return setup().packageName == "old-setup" && setup().packageVersion == 0x333;
  }

  static uint32_t readBytes(const Bytes& file) {
    TempFile temp(file);
    return readPackageFile(temp.path());
  }
  static uint32_t readPayload(const Bytes& payload) { return readBytes(packageOf(payload)); }
};

// A zlib stream that asks for a preset dictionary.
static Bytes deflateWithDictionary(const Bytes& payload) {
  z_stream z = {};
  EXPECT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
  static const char kDictionary[] = "NAMETYPEVERSPART";
  deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(kDictionary), sizeof kDictionary - 1);
  Bytes out(deflateBound(&z, static_cast<uLong>(payload.size())));
  Bytes in = payload;
  z.next_in = in.data();
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST_F(PackageFileTest, ContainerFaultsFailAndTouchNoRecord) {
  const Bytes payload = validPart("wqd-1", "wqd", 0x0701E2);
  const Bytes packed = deflatePayload(payload);
  const uint32_t unpacked = static_cast<uint32_t>(payload.size());
  const uint32_t packedSize = static_cast<uint32_t>(packed.size());
  const Bytes good = container(unpacked, packedSize, packed);

  Bytes corrupt = good;
  corrupt[kPackageHeaderLength + 4] ^= 0x55;
  Bytes wrongAdler = good;
  wrongAdler.back() ^= 0x01;
  Bytes truncated(packed.begin(), packed.end() - 6);
  const Bytes dictionaryStream = deflateWithDictionary(payload);
  // zlib's uncompress, given no room at all, inflates into a byte of its own and reports success
  // for a stream of exactly one byte.
  const Bytes oneByte = deflatePayload(Bytes{0x00});

  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"empty file", {}},
      {"shorter than the magic", Bytes(good.begin(), good.begin() + 15)},
      {"magic in other letter case", container(unpacked, packedSize, packed, "ZUKSETUPFPKGFILE")},
      {"magic with one byte off", container(unpacked, packedSize, packed, "ZUKsetupFPkgFilf")},
      {"header cut after the unpacked size", Bytes(good.begin(), good.begin() + 20)},
      {"header cut inside the packed size", Bytes(good.begin(), good.begin() + 22)},
      {"header only", Bytes(good.begin(), good.begin() + 24)},
      {"corrupt deflate data", corrupt},
      {"wrong Adler-32", wrongAdler},
      {"truncated stream", container(unpacked, static_cast<uint32_t>(truncated.size()), truncated)},
      {"packed size 0", container(unpacked, 0, packed)},
      {"packed size cuts the stream", container(unpacked, packedSize - 1, packed)},
      {"unpacked size one short", container(unpacked - 1, packedSize, packed)},
      {"unpacked size 0", container(0, packedSize, packed)},
      {"unpacked size 0 for a one-byte payload",
       container(0, static_cast<uint32_t>(oneByte.size()), oneByte)},
      {"stream wants a preset dictionary",
       container(unpacked, static_cast<uint32_t>(dictionaryStream.size()), dictionaryStream)},
  };
  for (const Case& c : cases) {
    markRecords();
    EXPECT_EQ(readBytes(c.file), kFailed) << c.what;
    EXPECT_TRUE(wqdMarked() && setupMarked()) << c.what;
  }
  markRecords();
  EXPECT_EQ(readPackageFile(missingPath().c_str()), kFailed);
  EXPECT_EQ(readPackageFile(std::filesystem::temp_directory_path().string().c_str()), kFailed)
      << "a folder";
  EXPECT_EQ(readPackageFile(nullptr), kFailed);
  EXPECT_TRUE(wqdMarked() && setupMarked());
  EXPECT_EQ(readBytes(good), 0u) << "the good package the cases were made from";
}

TEST_F(PackageFileTest, LargerUnpackedSizeAndTrailingBytesAreAccepted) {
  const Bytes payload = validPart("wqd-1", "wqd", 5);
  const Bytes packed = deflatePayload(payload);
  const Bytes file = concat({container(static_cast<uint32_t>(payload.size()) + 1000,
                                       static_cast<uint32_t>(packed.size()), packed),
                             bytesOf("trailing bytes are not the package's")});
  TempFile temp(file);
  uint8_t* block = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(loadPackageContainer(temp.path(), &block, &length));
  EXPECT_EQ(length, payload.size()) << "the payload is what inflated, not the capacity";
  EXPECT_EQ(std::memcmp(block, payload.data(), length), 0);
  freePackagePayload(block);
  EXPECT_EQ(readPackageFile(temp.path()), 0u);
  EXPECT_EQ(wqd().packageVersion, 5);
}

TEST_F(PackageFileTest, PayloadsWithoutPartsChangeNothing) {
  markRecords();
  EXPECT_EQ(readPayload({}), 0u);
  EXPECT_EQ(readPayload(concat({textChunk("INFO", "x"), chunk("DATA", Bytes(100, 0x5A))})), 0u);
  EXPECT_TRUE(wqdMarked() && setupMarked());
}

TEST_F(PackageFileTest, ValidPartFillsItsRecord) {
  const Bytes payload = part(concat({textChunk("NAME", "wqd-2024"), textChunk("TYPE", "wqd"),
                                     chunk("VERS", Bytes{0x04, 0x03, 0x02, 0x01})}));
  EXPECT_EQ(readPayload(payload), 0u);
  EXPECT_EQ(wqd().packageVersion, 0x01020304);
  EXPECT_EQ(wqd().packageName, "wqd-2024");
  EXPECT_EQ(setup().packageVersion, -1);
  EXPECT_EQ(wqd().installedVersion, -1) << "the reader writes only the package fields";
}

TEST_F(PackageFileTest, TypeMatchesIgnoringCaseUpToItsFirstZeroByte) {
  struct Case {
    const char* what;
    std::string type;
    int component;
  };
  const Case cases[] = {
      {"upper case", "WQD", 1},
      {"zero byte and more", std::string("wqd\0trailing", 12), 1},
      {"mixed case", "SeTuP", 3},
  };
  for (const Case& c : cases) {
    resetComponentRecords();
    EXPECT_EQ(readPayload(validPart("name-x", c.type, 0x42)), 0u) << c.what;
    EXPECT_EQ(componentRecord(c.component)->packageVersion, 0x42) << c.what;
    EXPECT_EQ(componentRecord(c.component)->packageName, "name-x") << c.what;
  }
}

TEST_F(PackageFileTest, NameKeepsEveryByte) {
  const std::string name("a\0b\xFF", 4);
  EXPECT_EQ(readPayload(validPart(name, "wqd", 1)), 0u);
  EXPECT_EQ(wqd().packageName, name);
}

TEST_F(PackageFileTest, FaultsInPartsOfRecordedAndOtherComponents) {
  const Bytes shortVers = chunk("VERS", Bytes{1, 2});
  struct Case {
    const char* what;
    Bytes body;
    uint32_t status;
  };
  const Case cases[] = {
      {"news with a 2-byte VERS is ignored",
       concat({textChunk("NAME", "n"), textChunk("TYPE", "news"), shortVers}), 0},
      {"wqd with a 2-byte VERS",
       concat({textChunk("NAME", "n"), textChunk("TYPE", "wqd"), shortVers}), kFailed},
      {"setup with VERS and no NAME", concat({textChunk("TYPE", "setup"), versChunk(3)}), kFailed},
      {"wqd with an empty NAME",
       concat({textChunk("NAME", ""), textChunk("TYPE", "wqd"), versChunk(3)}), kFailed},
      {"program without NAME is ignored", concat({textChunk("TYPE", "program"), shortVers}), 0},
      {"an unknown TYPE is ignored", concat({textChunk("TYPE", "wqd "), shortVers}), 0},
      {"an empty TYPE is ignored", concat({textChunk("TYPE", ""), shortVers}), 0},
      {"no TYPE is ignored", concat({textChunk("NAME", "n"), shortVers}), 0},
      {"a later bad VERS stays an error",
       concat({textChunk("NAME", "n"), textChunk("TYPE", "wqd"), versChunk(3), shortVers}),
       kFailed},
      {"a later good VERS does not clear an error",
       concat({textChunk("NAME", "n"), textChunk("TYPE", "wqd"), shortVers, versChunk(3)}),
       kFailed},
  };
  for (const Case& c : cases) {
    markRecords();
    EXPECT_EQ(readPayload(part(c.body)), c.status) << c.what;
    EXPECT_TRUE(wqdMarked() && setupMarked()) << c.what;
  }
}

TEST_F(PackageFileTest, LastOccurrenceOfATagWins) {
  const Bytes body =
      concat({textChunk("NAME", "first"), versChunk(1), textChunk("TYPE", "news"),
              textChunk("NAME", "second"), textChunk("TYPE", "setup"), versChunk(2)});
  EXPECT_EQ(readPayload(part(body)), 0u);
  EXPECT_EQ(setup().packageName, "second");
  EXPECT_EQ(setup().packageVersion, 2);
}

TEST_F(PackageFileTest, PartWithoutVersOffersNoVersion) {
  markRecords();
  EXPECT_EQ(readPayload(part(concat({textChunk("NAME", "n"), textChunk("TYPE", "wqd")}))), 0u);
  EXPECT_EQ(wqd().packageName, "n");
  EXPECT_EQ(wqd().packageVersion, -1);
}

TEST_F(PackageFileTest, LaterPartsWinAndAFaultKeepsEarlierUpdates) {
  EXPECT_EQ(readPayload(concat({validPart("a", "wqd", 1), validPart("b", "wqd", 2)})), 0u);
  EXPECT_EQ(wqd().packageName, "b");
  EXPECT_EQ(wqd().packageVersion, 2);

  resetComponentRecords();
  markRecords();
  const Bytes badSetup = part(concat({textChunk("TYPE", "setup"), versChunk(9)}));
  EXPECT_EQ(readPayload(concat({validPart("a", "wqd", 1), badSetup, validPart("c", "setup", 3)})),
            kFailed);
  EXPECT_EQ(wqd().packageName, "a");
  EXPECT_EQ(wqd().packageVersion, 1);
  EXPECT_TRUE(setupMarked()) << "the walk stops at the faulty PART";
}

TEST_F(PackageFileTest, OtherChunksAreSkippedBetweenAndInsideParts) {
  const Bytes payload =
      concat({chunk("HEAD", Bytes(13, 0xEE)),
              part(concat({chunk("XTRA", bytesOf("PARTNAME")), textChunk("NAME", "a"),
                           chunk("NOTE", {}), textChunk("TYPE", "wqd"), versChunk(7)})),
              chunk("PAD ", Bytes(3, 0)), validPart("s", "setup", 8)});
  EXPECT_EQ(readPayload(payload), 0u);
  EXPECT_EQ(wqd().packageVersion, 7);
  EXPECT_EQ(setup().packageVersion, 8);
}

// Chunk lengths at the payload level. The payload is a valid wqd PART, then the chunk under test,
// then, where the row says so, a valid setup PART.
TEST_F(PackageFileTest, PayloadChunkLengths) {
  const Bytes wqdPart = validPart("w", "wqd", 1);
  const Bytes setupPart = validPart("s", "setup", 2);
  const Bytes setupBody(setupPart.begin() + kChunkHeaderLength, setupPart.end());
  const uint32_t partLeft = static_cast<uint32_t>(setupBody.size());
  const uint32_t junkLeft = static_cast<uint32_t>(setupPart.size());
  struct Case {
    int line;
    const char* tag;
    uint32_t length;
    Bytes body;
    bool setupFollows;
    uint32_t status;
    bool setupSet;
  };
  const Case cases[] = {
      {__LINE__, "JUNK", 0, {}, true, 0, true},
      {__LINE__, "JUNK", 3, Bytes(3, 0x50), true, 0, true},
      {__LINE__, "JUNK", junkLeft, setupPart, false, 0, false},
      {__LINE__, "JUNK", junkLeft + 1, setupPart, false, 0, false},
      // Ends past 2^32: a walk that wrapped would come back to this chunk or the one before.
      {__LINE__, "JUNK", 0xFFFFFFF8u, setupPart, false, 0, false},
      {__LINE__, "JUNK", 0xFFFFFFFFu, setupPart, false, 0, false},
      {__LINE__, "PART", 0, {}, true, 0, true},
      {__LINE__, "PART", 3, Bytes(3, 0x50), true, 0, true},
      {__LINE__, "PART", partLeft, setupBody, false, 0, true},
      {__LINE__, "PART", partLeft + 1, setupBody, false, kFailed, false},
      {__LINE__, "PART", 0xFFFFFFF8u, setupBody, false, kFailed, false},
      {__LINE__, "PART", 0xFFFFFFFFu, setupBody, false, kFailed, false},
  };
  for (const Case& c : cases) {
    resetComponentRecords();
    Bytes payload = concat({wqdPart, chunkClaiming(c.tag, c.length, c.body)});
    if (c.setupFollows) payload = concat({payload, setupPart});
    EXPECT_EQ(readPayload(payload), c.status) << "line " << c.line;
    EXPECT_EQ(wqd().packageVersion, 1) << "line " << c.line;
    EXPECT_EQ(setup().packageVersion, c.setupSet ? 2 : -1) << "line " << c.line;
  }
}

// Chunk lengths inside a PART. The body is NAME "n", TYPE "wqd", VERS 5, then the chunk under
// test, then, where the row says so, VERS 6.
TEST_F(PackageFileTest, PartChunkLengths) {
  const Bytes head = concat({textChunk("NAME", "n"), textChunk("TYPE", "wqd"), versChunk(5)});
  const Bytes vers6 = versChunk(6);
  const uint32_t left = static_cast<uint32_t>(vers6.size());
  struct Case {
    int line;
    const char* tag;
    uint32_t length;
    Bytes body;
    bool vers6Follows;
    uint32_t status;
    int32_t version;  // of the wqd record; -1 when the PART changed nothing
    std::string name;
  };
  const std::string vers6Text(vers6.begin(), vers6.end());
  const Case cases[] = {
      {__LINE__, "JUNK", 0, {}, true, 0, 6, "n"},
      {__LINE__, "JUNK", 3, Bytes(3, 0x56), true, 0, 6, "n"},
      {__LINE__, "JUNK", left, vers6, false, 0, 5, "n"},
      {__LINE__, "JUNK", left + 1, vers6, false, 0, 5, "n"},
      {__LINE__, "JUNK", 0xFFFFFFF8u, vers6, false, 0, 5, "n"},
      {__LINE__, "JUNK", 0xFFFFFFFFu, vers6, false, 0, 5, "n"},
      // The last NAME wins, so an empty one leaves the PART without a name.
      {__LINE__, "NAME", 0, {}, true, kFailed, -1, ""},
      {__LINE__, "NAME", 3, bytesOf("abc"), true, 0, 6, "abc"},
      {__LINE__, "NAME", left, vers6, false, 0, 5, vers6Text},
      {__LINE__, "NAME", left + 1, vers6, false, kFailed, -1, ""},
      {__LINE__, "NAME", 0xFFFFFFF8u, vers6, false, kFailed, -1, ""},
      {__LINE__, "NAME", 0xFFFFFFFFu, vers6, false, kFailed, -1, ""},
      {__LINE__, "TYPE", left + 1, vers6, false, kFailed, -1, ""},
      {__LINE__, "TYPE", 0xFFFFFFFFu, vers6, false, kFailed, -1, ""},
      // A 4-byte VERS whose bytes run past the end of the PART.
      {__LINE__, "VERS", 4, Bytes{7, 7}, false, kFailed, -1, ""},
      {__LINE__, "VERS", 0, {}, true, kFailed, -1, ""},
      {__LINE__, "VERS", 0xFFFFFFFFu, vers6, false, kFailed, -1, ""},
  };
  for (const Case& c : cases) {
    resetComponentRecords();
    Bytes body = concat({head, chunkClaiming(c.tag, c.length, c.body)});
    if (c.vers6Follows) body = concat({body, vers6});
    EXPECT_EQ(readPayload(part(body)), c.status) << "line " << c.line;
    EXPECT_EQ(wqd().packageVersion, c.version) << "line " << c.line;
    EXPECT_EQ(wqd().packageName, c.name) << "line " << c.line;
  }
}

// A body cut short by the end of its PART fails the whole package, also in a PART that would
// otherwise be ignored (a component without a record, or no TYPE at all).
TEST_F(PackageFileTest, BodiesCutShortFailAlsoInIgnoredParts) {
  struct Case {
    const char* what;
    Bytes body;
  };
  const Case cases[] = {
      {"VERS in news", concat({textChunk("NAME", "n"), textChunk("TYPE", "news"),
                               chunkClaiming("VERS", 4, Bytes{1})})},
      {"NAME in news", concat({textChunk("TYPE", "news"), chunkClaiming("NAME", 5, bytesOf("n"))})},
      {"TYPE after news", concat({textChunk("NAME", "n"), textChunk("TYPE", "news"),
                                  chunkClaiming("TYPE", 9, bytesOf("news"))})},
      {"NAME without TYPE", concat({versChunk(1), chunkClaiming("NAME", 2, bytesOf("n"))})},
  };
  for (const Case& c : cases) {
    markRecords();
    EXPECT_EQ(readPayload(concat({part(c.body), validPart("w", "wqd", 1)})), kFailed) << c.what;
    EXPECT_TRUE(wqdMarked()) << c.what << ": the walk stops at the faulty PART";
  }
}

TEST_F(PackageFileTest, FragmentsShorterThanAHeaderEndTheWalk) {
  // "PART" with a length that the fragment cuts after three bytes, at the end of the payload.
  const Bytes payloadFragment = concat({validPart("w", "wqd", 1), bytesOf("PART"), Bytes{9, 0, 0}});
  EXPECT_EQ(readPayload(payloadFragment), 0u);
  EXPECT_EQ(wqd().packageVersion, 1);

  // "VERS" and one byte of its length at the end of a PART body.
  resetComponentRecords();
  const Bytes partFragment = part(concat(
      {textChunk("NAME", "n"), textChunk("TYPE", "wqd"), versChunk(5), bytesOf("VERS"), Bytes{4}}));
  EXPECT_EQ(readPayload(partFragment), 0u);
  EXPECT_EQ(wqd().packageVersion, 5);
}

// ---- bounds on allocation ----

TEST_F(PackageFileTest, UnpackedSizeIsBoundedByThePackedBytesTheFileHolds) {
  const Bytes payload = validPart("w", "wqd", 1);
  const Bytes packed = deflatePayload(payload);
  const uint32_t held = static_cast<uint32_t>(packed.size());
  const uint32_t bound = static_cast<uint32_t>(kMaxInflateRatio * held + kInflateSlack);
  EXPECT_EQ(readBytes(container(bound, held, packed)), 0u);
  EXPECT_EQ(readBytes(container(bound + 1, held, packed)), kFailed);
  // A packed size beyond the end of the file does not widen the bound.
  EXPECT_EQ(readBytes(container(bound, held + 5000, packed)), 0u);
  EXPECT_EQ(readBytes(container(bound + 1, held + 5000, packed)), kFailed);
}

// Records how much the reader borrows from the file.
class BorrowWatchingFileStream : public FileStream {
 public:
  std::vector<uint32_t> borrowed;
  uint8_t* borrowBlock(uint32_t length) override {
    borrowed.push_back(length);
    return FileStream::borrowBlock(length);
  }
};

TEST_F(PackageFileTest, SmallFileClaimingGigabytesFailsWithoutBigAllocations) {
  const std::string path = fixturePath("claims-4gib.wqu");
  EXPECT_EQ(readPackageFile(path.c_str()), kFailed);
  {
    // The unpacked size is refused before the reader allocates or borrows anything.
    BorrowWatchingFileStream stream;
    ASSERT_TRUE(stream.open(path.c_str()));
    uint8_t* block = nullptr;
    uint32_t length = 0;
    EXPECT_FALSE(decodePackageContainer(stream, &block, &length));
    EXPECT_TRUE(stream.borrowed.empty());
  }

  // The same header with a modest unpacked size gets as far as the borrow, which is bounded by
  // the six bytes the file still holds and the zero tail a stream may need.
  Bytes file = readFileBytes(path);
  ASSERT_EQ(file.size(), 30u);
  const Bytes modest = u32le(1000);
  std::copy(modest.begin(), modest.end(), file.begin() + 16);
  TempFile temp(file);
  BorrowWatchingFileStream stream;
  ASSERT_TRUE(stream.open(temp.path()));
  uint8_t* block = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(decodePackageContainer(stream, &block, &length));
  ASSERT_EQ(stream.borrowed.size(), 1u);
  EXPECT_EQ(stream.borrowed[0], 6u + kZeroTailAllowance);
}

TEST_F(PackageFileTest, PackedSizeBeyondTheFileDecodesWhenTheStreamIsComplete) {
  const Bytes payload = validPart("w", "wqd", 0x77);
  const Bytes packed = deflatePayload(payload);
  EXPECT_EQ(readBytes(container(static_cast<uint32_t>(payload.size()), 0xFFFFFFF0u, packed)), 0u);
  EXPECT_EQ(wqd().packageVersion, 0x77);
}

TEST_F(PackageFileTest, StreamCompletedByTheZerosBeyondTheFileStillDecodes) {
  // The file lacks the last 1,004 bytes of its stream, all of them zero; read as zeros they
  // complete it, and they are within what the reader lends beyond the end of a file.
  const std::string path = fixturePath("zero-tail.wqu");
  EXPECT_EQ(readPackageFile(path.c_str()), 0u);
  EXPECT_EQ(wqd().packageName, "wqd-zero-tail");
  EXPECT_EQ(wqd().packageVersion, 0x0701E2);

  // A memory stream lends only what it holds, so over the same bytes the container fails.
  Bytes file = readFileBytes(path);
  MemoryStream memory;
  ASSERT_TRUE(memory.attach(file.data(), static_cast<uint32_t>(file.size())));
  uint8_t* block = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(decodePackageContainer(memory, &block, &length));
}

TEST_F(PackageFileTest, DecodeFromMemoryStream) {
  const Bytes payload = concat({validPart("w", "wqd", 1), validPart("s", "setup", 2)});
  Bytes file = packageOf(payload);
  MemoryStream memory;
  ASSERT_TRUE(memory.attach(file.data(), static_cast<uint32_t>(file.size())));
  uint8_t* block = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(decodePackageContainer(memory, &block, &length));
  ASSERT_EQ(length, payload.size());
  EXPECT_EQ(std::memcmp(block, payload.data(), length), 0);
  EXPECT_EQ(readPackagePayload(block, length), 0u);
  freePackagePayload(block);
  EXPECT_EQ(setup().packageVersion, 2);
}
