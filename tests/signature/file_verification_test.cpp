#include "signature/file_verification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "key_files.h"
#include "signature/content_digest.h"
#include "signature/dsa_verify.h"
#include "signed_file.h"
#include "test_support.h"

namespace {

const char kText[] =
    "[Parts]\r\n"
    "part.wqd=wqd-0701E2\r\n"
    "; maintained by the maker\r\n"
    "part.setup=setup-0002A0\r\n";

class FileVerificationTest : public ::testing::Test {
 protected:
  // Signs content with the test key into a file and returns its path.
  std::string signedFile(const Bytes& content, TrailerKind kind, const char* prefix = nullptr,
                         const char* name = "signed") {
    SignedFile result;
    std::string error;
    EXPECT_TRUE(makeSignedFile(content, kind, &rfc6979Key(), prefix, &result, &error)) << error;
    const std::string path = folder_.path(name);
    writeFile(path, result.bytes);
    signature_ = result.signature;
    signedLength_ = result.signedLength;
    return path;
  }

  bool verify(const std::string& path, int mode, const char* prefix = nullptr,
              const Bytes* expected = nullptr) {
    return verifySignedFileWithKey(rfc6979PublicKey(), path.c_str(),
                                   expected != nullptr ? expected->data() : nullptr, mode, prefix);
  }

  ScratchFolder folder_;
  Bytes signature_;
  uint32_t signedLength_ = 0;
};

Bytes binaryContent() {
  Bytes content(5000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7 + 3);
  return content;
}

TEST_F(FileVerificationTest, ModeZeroAcceptsWithoutOpeningTheFile) {
  EXPECT_TRUE(verifySignedFile(folder_.path("does-not-exist").c_str(), 0, nullptr));
  EXPECT_TRUE(verify(folder_.path("does-not-exist"), 0));
}

TEST_F(FileVerificationTest, ModesAcceptTheirKinds) {
  const std::string binary = signedFile(binaryContent(), BinaryDsa, nullptr, "binary");
  const std::string textDsa = signedFile(bytesOf(kText), TextDsa, nullptr, "text-dsa");
  const std::string textMd5 = signedFile(bytesOf(kText), TextMd5, nullptr, "text-md5");
  const std::string plain = folder_.path("plain");
  writeFile(plain, binaryContent());
  struct Case {
    int mode;
    bool binary, textDsa, textMd5;
  };
  const Case cases[] = {
      {1, true, true, true}, {2, true, true, false}, {3, false, false, true},
      {4, true, true, true}, {-1, true, true, true}, {0x7FFFFFFF, true, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(verify(binary, c.mode), c.binary) << "binary, mode " << c.mode;
    EXPECT_EQ(verify(textDsa, c.mode), c.textDsa) << "text-dsa, mode " << c.mode;
    EXPECT_EQ(verify(textMd5, c.mode), c.textMd5) << "text-md5, mode " << c.mode;
    EXPECT_FALSE(verify(plain, c.mode)) << "no trailer, mode " << c.mode;
    EXPECT_FALSE(verify(folder_.path("missing"), c.mode)) << "missing file, mode " << c.mode;
  }
}

TEST_F(FileVerificationTest, AnyChangedContentByteBreaksABinarySignature) {
  const std::string path = signedFile(binaryContent(), BinaryDsa);
  ASSERT_TRUE(verify(path, 2));
  const Bytes good = readFile(path);
  for (size_t at : {size_t{0}, size_t{1}, size_t{2500}, size_t{signedLength_ - 1}}) {
    for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}}) {
      Bytes bad = good;
      bad[at] ^= flip;
      writeFile(path, bad);
      EXPECT_FALSE(verify(path, 2)) << "byte " << at << " ^ " << int(flip);
    }
  }
  // So does any bit of the signature in the trailer.
  for (size_t at : {size_t{signedLength_}, size_t{signedLength_ + 39}}) {
    Bytes bad = good;
    bad[at] ^= 0x10;
    writeFile(path, bad);
    EXPECT_FALSE(verify(path, 2)) << "trailer byte " << at - signedLength_;
  }
}

TEST_F(FileVerificationTest, TextDsaSurvivesLineEndsTabsAndEightBitBytes) {
  const std::string path = signedFile(bytesOf(kText), TextDsa);
  ASSERT_TRUE(verify(path, 2));
  const std::string trailer = [&] {
    const Bytes all = readFile(path);
    return std::string(all.begin() + signedLength_, all.end());
  }();
  auto replaceAll = [](std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
      text.replace(at, from.size(), to);
    }
    return text;
  };
  const std::string lf = replaceAll(kText, "\r\n", "\n");
  const std::string variants[] = {
      lf,
      replaceAll(lf, "\n", "\r\n\r\n"),
      replaceAll(kText, "=", "\t=\t"),
      replaceAll(kText, "maker",
                 "ma\xe4"
                 "ker\xff\x80"),
      "\xef\xbb\xbf" + lf + "\x1a",
  };
  for (const std::string& variant : variants) {
    writeFile(path, bytesOf(variant + trailer));
    EXPECT_TRUE(verify(path, 2)) << variant;
  }
  for (const std::string& variant :
       {replaceAll(kText, "0701E2", "0701E3"), replaceAll(kText, "; ", ";"), lf + "x"}) {
    writeFile(path, bytesOf(variant + trailer));
    EXPECT_FALSE(verify(path, 2)) << variant;
  }
}

TEST_F(FileVerificationTest, TextMd5LinePrefixLeavesCommentLinesOut) {
  const std::string path = signedFile(bytesOf(kText), TextMd5, ";");
  EXPECT_TRUE(verify(path, 3, ";"));
  EXPECT_FALSE(verify(path, 3, nullptr));
  EXPECT_FALSE(verify(path, 3, "#"));
  const Bytes good = readFile(path);
  std::string text(good.begin(), good.end());
  std::string comment = text;
  comment.replace(comment.find("maintained"), 10, "written   ");
  writeFile(path, bytesOf(comment));
  EXPECT_TRUE(verify(path, 3, ";"));
  std::string value = text;
  value.replace(value.find("0002A0"), 6, "0002A1");
  writeFile(path, bytesOf(value));
  EXPECT_FALSE(verify(path, 3, ";"));
}

TEST_F(FileVerificationTest, ExpectedSignatureIsComparedFirst) {
  const std::string path = signedFile(binaryContent(), BinaryDsa);
  Bytes expected = signature_;
  EXPECT_TRUE(verify(path, 2, nullptr, &expected));
  expected[39] ^= 1;
  EXPECT_FALSE(verify(path, 2, nullptr, &expected));
  expected = signature_;
  expected[0] ^= 1;
  EXPECT_FALSE(verify(path, 1, nullptr, &expected));
}

TEST_F(FileVerificationTest, ModeThreeComparesOnly16ExpectedBytes) {
  const std::string path = signedFile(bytesOf(kText), TextMd5);
  Bytes expected = concat({signature_, Bytes(24, 0xA5)});
  EXPECT_TRUE(verify(path, 3, nullptr, &expected));
  expected[15] ^= 1;
  EXPECT_FALSE(verify(path, 3, nullptr, &expected));
}

// A TextMd5 trailer fills 16 of the 40 signature bytes; the rest start out zero, so a 40-byte
// comparison in another mode has a defined outcome.
TEST_F(FileVerificationTest, OtherModesCompare40BytesAgainstAZeroedTail) {
  const std::string path = signedFile(bytesOf(kText), TextMd5);
  Bytes expected = concat({signature_, Bytes(24, 0)});
  EXPECT_TRUE(verify(path, 1, nullptr, &expected));
  expected[39] = 1;
  EXPECT_FALSE(verify(path, 1, nullptr, &expected));
}

TEST_F(FileVerificationTest, BuiltInKeyVerifiesFilesSignedWithTheBuildKey) {
  DsaPrivateKey buildKey;
  std::string error;
  ASSERT_TRUE(loadPrivateKey(WQD_SIGNING_PRIVATE_KEY, &buildKey, &error)) << error;
  SignedFile result;
  ASSERT_TRUE(makeSignedFile(binaryContent(), BinaryDsa, &buildKey, nullptr, &result, &error))
      << error;
  const std::string path = folder_.path("build-signed");
  writeFile(path, result.bytes);
  EXPECT_TRUE(verifySignedFile(path.c_str(), 2, nullptr));
  EXPECT_TRUE(verifySignedFileAgainst(path.c_str(), result.signature.data(), 2, nullptr));
  // The test key's signatures are not the build key's.
  EXPECT_FALSE(verifySignedFile(signedFile(binaryContent(), BinaryDsa).c_str(), 2, nullptr));
}

// A stream that ends early or fails part way, as a file that shrinks or breaks would.
class FailingStream : public FileStream {
 public:
  FailingStream(uint32_t deliver, bool fail) : deliver_(deliver), fail_(fail) {}

 protected:
  int readPiece(void* dst, uint32_t length) override {
    if (delivered_ >= deliver_) return fail_ ? -1 : 0;
    const uint32_t n = std::min(length, deliver_ - delivered_);
    const int got = FileStream::readPiece(dst, n);
    if (got > 0) delivered_ += static_cast<uint32_t>(got);
    return got;
  }

 private:
  uint32_t deliver_;
  uint32_t delivered_ = 0;
  bool fail_;
};

TEST_F(FileVerificationTest, ContentThatCannotBeReadInFullFails) {
  const std::string path = signedFile(binaryContent(), BinaryDsa);
  for (bool fail : {false, true}) {
    for (uint32_t deliver : {0u, 1u, signedLength_ - 1, signedLength_}) {
      FailingStream stream(deliver, fail);
      ASSERT_TRUE(stream.open(path.c_str()));
      const bool valid = verifySignedContent(rfc6979PublicKey(), stream, BinaryDsa, signedLength_,
                                             signature_.data(), nullptr);
      stream.close();
      EXPECT_EQ(valid, deliver == signedLength_)
          << deliver << " of " << signedLength_ << " bytes, then " << (fail ? "failure" : "end");
    }
  }
}

// The real executable that the build signed (the win32 tree's one is a PE file signed by the
// host zuksign): it verifies as the updater's self-check does, and a copy with one changed byte
// does not.
TEST_F(FileVerificationTest, SignedSampleProgramVerifies) {
  EXPECT_TRUE(verifySignedFile(WQD_SIGNED_SAMPLE, 2, nullptr));
  Bytes copy = readFile(WQD_SIGNED_SAMPLE);
  ASSERT_GT(copy.size(), 1000u);
  copy[copy.size() / 2] ^= 0x01;
  const std::string path = folder_.path("sample-changed");
  writeFile(path, copy);
  EXPECT_FALSE(verifySignedFile(path.c_str(), 2, nullptr));
}

}  // namespace
