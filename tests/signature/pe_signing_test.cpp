// Real PE files: a small program built by the Windows cross compiler, a binary trailer, and an
// Authenticode certificate table added by osslsigncode with a throw-away certificate.
#include <gtest/gtest.h>

#include <cstring>

#include "signature/file_verification.h"
#include "signature/signature_trailer.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

const std::string kZuksign = ZUKSIGN;
const std::string kOpenssl = OPENSSL;
const std::string kOsslsigncode = OSSLSIGNCODE;
const std::string kPeSample = PE_SAMPLE;

uint32_t le32(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

void putLe32(Bytes* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The file offset of the certificate-table entry in the data directory of a PE32 file.
size_t certificateEntry(const Bytes& pe) { return le32(pe, 60) + 152; }

class PeSigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kPeSample.empty() || kOsslsigncode.empty()) {
      GTEST_SKIP() << "needs the Windows cross compiler and osslsigncode";
    }
    certificate_ = folder_.path("cert.pem");
    certificateKey_ = folder_.path("cert.key");
    const ToolRun req = runTool(
        kOpenssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", certificateKey_,
                   "-out", certificate_, "-subj", "/CN=wqdupdate test", "-days", "2"});
    ASSERT_EQ(req.exitCode, 0) << req.err;
    original_ = readFile(kPeSample);
    ASSERT_EQ(original_[0], 'M');
    ASSERT_EQ(le32(original_, certificateEntry(original_)), 0u) << "the sample is not signed";
  }

  std::string authenticode(const std::string& in, const std::string& out) {
    const ToolRun sign = runTool(kOsslsigncode, {"sign", "-certs", certificate_, "-key",
                                                 certificateKey_, "-in", in, "-out", out});
    EXPECT_EQ(sign.exitCode, 0) << sign.out << sign.err;
    return out;
  }

  ToolRun zuksign(const std::vector<std::string>& arguments) {
    return runTool(kZuksign, arguments);
  }

  std::string copyOfSample(const std::string& name) {
    const std::string path = folder_.path(name);
    writeFile(path, original_);
    return path;
  }

  ScratchFolder folder_;
  std::string certificate_, certificateKey_;
  Bytes original_;
};

// zuksign first, then Authenticode: the table lands behind the trailer, and the search finds the
// trailer before it. The signature no longer verifies, since osslsigncode rewrote the header
// (checksum and table entry), which the signature covers.
TEST_F(PeSigningTest, TrailerIsFoundBeforeATableAddedLater) {
  const std::string path = copyOfSample("sample.exe");
  const ToolRun sign =
      zuksign({"sign", "--key", WQD_SIGNING_PRIVATE_KEY, "--kind", "binary", path});
  ASSERT_EQ(sign.exitCode, 0) << sign.err;
  const Bytes signedBytes = readFile(path);
  const uint32_t size = static_cast<uint32_t>(original_.size());
  const std::string withTable = authenticode(path, folder_.path("sample-authenticode.exe"));
  const Bytes table = readFile(withTable);
  const uint32_t tableOffset = le32(table, certificateEntry(table));
  ASSERT_GE(tableOffset, size + 48);
  ASSERT_LE(tableOffset - (size + 48), 7u);

  uint8_t signature[kTrailerSignatureLength];
  TrailerKind kind;
  uint32_t signedLength = 0;
  ASSERT_TRUE(findSignatureTrailer(withTable.c_str(), signature, &kind, &signedLength));
  EXPECT_EQ(kind, BinaryDsa);
  EXPECT_EQ(signedLength, size);
  EXPECT_EQ(0, std::memcmp(signature, signedBytes.data() + size, kTrailerSignatureLength));
  EXPECT_TRUE(verifySignedFile(path.c_str(), 2, nullptr));
  EXPECT_FALSE(verifySignedFile(withTable.c_str(), 2, nullptr));

  // The same real file with 0 to 8 alignment bytes between trailer and table: up to 7 are
  // stepped over, 8 are not.
  const Bytes head(table.begin(), table.begin() + size + 48);
  const Bytes certificates(table.begin() + tableOffset, table.end());
  for (uint32_t gap = 0; gap <= 8; ++gap) {
    Bytes variant = concat({head, Bytes(gap, 0), certificates});
    putLe32(&variant, certificateEntry(variant), size + 48 + gap);
    const std::string variantPath = folder_.path("gap-" + std::to_string(gap) + ".exe");
    writeFile(variantPath, variant);
    uint32_t found = 0;
    EXPECT_EQ(findSignatureTrailer(variantPath.c_str(), nullptr, nullptr, &found), gap <= 7)
        << gap << " alignment bytes";
    if (gap <= 7) {
      EXPECT_EQ(found, size) << gap << " alignment bytes";
    }
  }
}

// Authenticode first, then zuksign: the trailer goes where the table stood, the table moves
// behind it, its directory entry follows, and the signature covers the final header.
TEST_F(PeSigningTest, SigningAFileWithATableMovesTheTable) {
  const std::string path = authenticode(copyOfSample("plain.exe"), folder_.path("auth.exe"));
  const Bytes before = readFile(path);
  const uint32_t oldTable = le32(before, certificateEntry(before));
  const uint32_t tableSize = le32(before, certificateEntry(before) + 4);
  ASSERT_NE(oldTable, 0u);
  const Bytes certificates(before.begin() + oldTable, before.begin() + oldTable + tableSize);

  const ToolRun sign =
      zuksign({"sign", "--key", WQD_SIGNING_PRIVATE_KEY, "--kind", "binary", path});
  ASSERT_EQ(sign.exitCode, 0) << sign.err;
  EXPECT_NE(sign.err.find("warning"), std::string::npos) << sign.err;
  EXPECT_NE(sign.err.find("Authenticode"), std::string::npos) << sign.err;

  const Bytes after = readFile(path);
  const uint32_t newTable = le32(after, certificateEntry(after));
  EXPECT_EQ(newTable, (oldTable + 48 + 7) / 8 * 8);
  EXPECT_EQ(le32(after, certificateEntry(after) + 4), tableSize);
  EXPECT_EQ(Bytes(after.begin() + newTable, after.begin() + newTable + tableSize), certificates);
  EXPECT_EQ(0, std::memcmp(after.data() + oldTable + 40, "ZUKSignd", 8));

  const ToolRun verify = zuksign({"verify", "--mode", "2", path});
  EXPECT_EQ(verify.exitCode, 0) << verify.out;
  EXPECT_EQ(verify.out,
            "valid\nkind: binary (ZUKSignd)\nsigned length: " + std::to_string(oldTable) + "\n");
  EXPECT_TRUE(verifySignedFile(path.c_str(), 2, nullptr));

  // The table lies beyond the signed length; its directory entry lies inside.
  Bytes changedTable = after;
  changedTable[newTable + tableSize / 2] ^= 0x55;
  const std::string tablePath = folder_.path("changed-table.exe");
  writeFile(tablePath, changedTable);
  EXPECT_TRUE(verifySignedFile(tablePath.c_str(), 2, nullptr));
  Bytes changedEntry = after;
  changedEntry[certificateEntry(after) + 4] ^= 0x01;
  const std::string entryPath = folder_.path("changed-entry.exe");
  writeFile(entryPath, changedEntry);
  EXPECT_FALSE(verifySignedFile(entryPath.c_str(), 2, nullptr));
}

}  // namespace
