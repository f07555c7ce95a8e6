// The zuksign command line: exit codes, output, and key files that OpenSSL reads and writes.
#include <gtest/gtest.h>

#include <algorithm>

#include "signature/content_digest.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

const std::string kZuksign = ZUKSIGN;
const std::string kOpenssl = OPENSSL;

ToolRun zuksign(const std::vector<std::string>& arguments) { return runTool(kZuksign, arguments); }
ToolRun openssl(const std::vector<std::string>& arguments) { return runTool(kOpenssl, arguments); }

// Misuse is one line on stderr and exit code 2.
void expectMisuse(const ToolRun& run, const std::string& what) {
  EXPECT_EQ(run.exitCode, 2) << what << ": " << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
  EXPECT_EQ(run.err.rfind("zuksign: ", 0), 0u) << what << ": " << run.err;
}

Bytes content(size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>((i * 131) ^ (i >> 8));
  return bytes;
}

class ZuksignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    privateKey_ = folder_.path("key.der");
    publicKey_ = folder_.path("key.pub.der");
    const ToolRun keygen = zuksign({"keygen", privateKey_, publicKey_});
    ASSERT_EQ(keygen.exitCode, 0) << keygen.err;
  }

  std::string file(const std::string& name, const Bytes& bytes) {
    const std::string path = folder_.path(name);
    writeFile(path, bytes);
    return path;
  }

  ScratchFolder folder_;
  std::string privateKey_, publicKey_;
};

TEST_F(ZuksignTest, UsageErrorsExitWithTwo) {
  const std::string plain = file("plain", content(100));
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"sign", plain},
      {"sign", "--kind", "rsa", "--key", privateKey_, plain},
      {"sign", "--kind", "binary", plain},
      {"sign", "--kind", "binary", "--key", privateKey_},
      {"sign", "--kind", "binary", "--key", privateKey_, plain, plain},
      {"sign", "--kind", "text-dsa", "--key", privateKey_, "--line-prefix", ";", plain},
      {"sign", "--kind", "binary", "--colour", "red", "--key", privateKey_, plain},
      {"sign", "--kind"},
      {"verify"},
      {"verify", "--mode", "two", plain},
      {"verify", "--mode", "", plain},
      {"verify", "--mode", "99999999999", plain},
      {"show"},
      {"keygen", folder_.path("only-one")},
  };
  for (const auto& arguments : cases) {
    std::string line;
    for (const auto& a : arguments) line += a + " ";
    expectMisuse(zuksign(arguments), line);
  }
  const ToolRun help = zuksign({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: zuksign"), std::string::npos);
  EXPECT_EQ(zuksign({"verify", "--help"}).exitCode, 0);
}

TEST_F(ZuksignTest, UnreadableFilesAndBadKeysExitWithTwo) {
  const std::string plain = file("plain", content(100));
  const std::string missing = folder_.path("missing");
  const std::string garbage = file("garbage.der", bytesOf("this is no key"));
  expectMisuse(zuksign({"sign", "--kind", "binary", "--key", privateKey_, missing}), "sign");
  expectMisuse(zuksign({"sign", "--kind", "text-md5", missing}), "sign text-md5");
  expectMisuse(zuksign({"verify", missing}), "verify");
  expectMisuse(zuksign({"verify", "--mode", "0", missing}), "verify mode 0");
  expectMisuse(zuksign({"show", missing}), "show");
  expectMisuse(zuksign({"verify", folder_.path("")}), "verify a folder");
  expectMisuse(zuksign({"sign", "--kind", "binary", "--key", missing, plain}), "missing key");
  expectMisuse(zuksign({"sign", "--kind", "binary", "--key", garbage, plain}), "garbage key");
  expectMisuse(zuksign({"sign", "--kind", "binary", "--key", publicKey_, plain}),
               "public key as private key");
  expectMisuse(zuksign({"verify", "--public-key", garbage, plain}), "garbage public key");
  expectMisuse(zuksign({"verify", "--public-key", privateKey_, plain}),
               "private key as public key");
  EXPECT_EQ(readFile(plain), content(100)) << "a failed sign must leave the file alone";
}

TEST_F(ZuksignTest, KeysOfOtherSizesOrFormsAreRefused) {
  const std::string plain = file("plain", content(100));
  const std::string params = folder_.path("params.pem"), big = folder_.path("big.pem");
  ASSERT_EQ(
      openssl({"genpkey", "-genparam", "-algorithm", "DSA", "-pkeyopt", "dsa_paramgen_bits:2048",
               "-pkeyopt", "dsa_paramgen_q_bits:256", "-out", params})
          .exitCode,
      0);
  ASSERT_EQ(openssl({"genpkey", "-paramfile", params, "-out", big}).exitCode, 0);
  const ToolRun bigKey = zuksign({"sign", "--kind", "binary", "--key", big, plain});
  expectMisuse(bigKey, "2048-bit key");
  EXPECT_NE(bigKey.err.find("1024-bit"), std::string::npos) << bigKey.err;

  const std::string encrypted = folder_.path("encrypted.pem");
  ASSERT_EQ(openssl({"pkcs8", "-topk8", "-inform", "DER", "-in", privateKey_, "-passout",
                     "pass:secret", "-out", encrypted})
                .exitCode,
            0);
  expectMisuse(zuksign({"sign", "--kind", "binary", "--key", encrypted, plain}), "encrypted");

  const std::string traditional = folder_.path("traditional.pem");
  ASSERT_EQ(
      openssl({"pkey", "-inform", "DER", "-in", privateKey_, "-traditional", "-out", traditional})
          .exitCode,
      0);
  expectMisuse(zuksign({"sign", "--kind", "binary", "--key", traditional, plain}), "traditional");
}

TEST_F(ZuksignTest, SignVerifyShowRoundTrip) {
  const std::string path = file("program.bin", content(3000));
  const ToolRun sign = zuksign({"sign", "--key", privateKey_, "--kind", "binary", path});
  ASSERT_EQ(sign.exitCode, 0) << sign.err;
  EXPECT_EQ(sign.err, "");
  EXPECT_EQ(readFile(path).size(), 3048u);

  const ToolRun valid = zuksign({"verify", "--public-key", publicKey_, path});
  EXPECT_EQ(valid.exitCode, 0) << valid.err;
  EXPECT_EQ(valid.out, "valid\nkind: binary (ZUKSignd)\nsigned length: 3000\n");
  // Not signed with the build's key, so the built-in key rejects it; mode 3 wants text-md5.
  const ToolRun builtIn = zuksign({"verify", path});
  EXPECT_EQ(builtIn.exitCode, 1);
  EXPECT_EQ(builtIn.out, "invalid\nkind: binary (ZUKSignd)\nsigned length: 3000\n");
  EXPECT_EQ(zuksign({"verify", "--mode", "3", "--public-key", publicKey_, path}).exitCode, 1);
  EXPECT_EQ(zuksign({"verify", "--mode", "0", path}).exitCode, 0);

  const ToolRun show = zuksign({"show", path});
  EXPECT_EQ(show.exitCode, 0);
  const Bytes signed_ = readFile(path);
  EXPECT_EQ(show.out, "kind: binary (ZUKSignd)\nsigned length: 3000\nsignature: " +
                          toHex(Bytes(signed_.begin() + 3000, signed_.begin() + 3040)) + "\n");

  const ToolRun again = zuksign({"sign", "--key", privateKey_, "--kind", "binary", path});
  expectMisuse(again, "signing twice");
  EXPECT_EQ(readFile(path), signed_);

  Bytes changed = signed_;
  changed[1234] ^= 4;
  const std::string damaged = file("damaged.bin", changed);
  EXPECT_EQ(zuksign({"verify", "--public-key", publicKey_, damaged}).exitCode, 1);

  const std::string plain = file("plain", content(10));
  const ToolRun none = zuksign({"verify", "--public-key", publicKey_, plain});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.out, "invalid\n");
  const ToolRun noShow = zuksign({"show", plain});
  EXPECT_EQ(noShow.exitCode, 1);
  EXPECT_EQ(noShow.out, "no trailer\n");
}

TEST_F(ZuksignTest, SigningIsDeterministicAndOutputLeavesTheInputAlone) {
  const std::string path = file("input.txt", bytesOf("first line\nsecond line\n"));
  const std::string one = folder_.path("one.txt"), two = folder_.path("two.txt");
  ASSERT_EQ(
      zuksign({"sign", "--key", privateKey_, "--kind", "text-dsa", "--output", one, path}).exitCode,
      0);
  ASSERT_EQ(zuksign({"sign", "--key", privateKey_, "--kind", "text-dsa", "--output=" + two, path})
                .exitCode,
            0);
  EXPECT_EQ(readFile(one), readFile(two));
  EXPECT_EQ(readFile(path), bytesOf("first line\nsecond line\n"));
  const Bytes signed_ = readFile(one);
  EXPECT_EQ(signed_.size(), 23u + 96u + 1u) << "the trailer, then the file's own LF";
  EXPECT_EQ(signed_.back(), '\n');
  EXPECT_EQ(zuksign({"verify", "--public-key", publicKey_, one}).exitCode, 0);
}

TEST_F(ZuksignTest, TextMd5NeedsNoKeyAndHonoursTheLinePrefix) {
  const std::string path = file("setup.ini", bytesOf("[Parts]\r\n;note\r\npart.wqd=wqd-1\r\n"));
  ASSERT_EQ(zuksign({"sign", "--kind", "text-md5", "--line-prefix", ";", path}).exitCode, 0);
  EXPECT_EQ(readFile(path).back(), '\n');
  EXPECT_EQ(zuksign({"verify", "--mode", "3", "--line-prefix", ";", path}).exitCode, 0);
  EXPECT_EQ(zuksign({"verify", "--mode", "3", path}).exitCode, 1);
  const ToolRun show = zuksign({"show", path});
  EXPECT_NE(show.out.find("kind: text-md5 (ZUK_MD5a)\n"), std::string::npos);
  const size_t at = show.out.find("signature: ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(show.out.size() - at, std::string("signature: ").size() + 32 + 1) << show.out;
}

// zuksign's key files are OpenSSL's, and so are its signatures (as DER r, s over the digest).
TEST_F(ZuksignTest, OpensslReadsZuksignKeysAndSignatures) {
  EXPECT_EQ(readFile(privateKey_)[0], 0x30);
  EXPECT_EQ(openssl({"pkey", "-inform", "DER", "-in", privateKey_, "-noout"}).exitCode, 0);
  const ToolRun pub =
      openssl({"pkey", "-pubin", "-inform", "DER", "-in", publicKey_, "-text", "-noout"});
  EXPECT_EQ(pub.exitCode, 0) << pub.err;
  EXPECT_NE(pub.out.find("1024 bit"), std::string::npos) << pub.out;

  const Bytes data = content(777);
  const std::string path = file("data.bin", data);
  ASSERT_EQ(zuksign({"sign", "--key", privateKey_, "--kind", "binary", path}).exitCode, 0);
  const Bytes signed_ = readFile(path);
  Bytes digest(kDigestLength);
  md5Digest(digest.data(), data.data(), static_cast<uint32_t>(data.size()));
  const std::string digestPath = file("digest.bin", digest);
  const std::string sigPath =
      file("sig.der", derSignature(Bytes(signed_.begin() + 777, signed_.begin() + 817)));
  const ToolRun check = openssl({"pkeyutl", "-verify", "-pubin", "-keyform", "DER", "-inkey",
                                 publicKey_, "-in", digestPath, "-sigfile", sigPath});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("Signature Verified Successfully"), std::string::npos) << check.out;
}

// Keys that OpenSSL made, in PEM and DER, and a signature that OpenSSL made.
TEST_F(ZuksignTest, ZuksignReadsOpensslKeysAndSignatures) {
  const std::string params = folder_.path("params.pem"), key = folder_.path("openssl.pem");
  const std::string pubPem = folder_.path("openssl.pub.pem");
  const std::string pubDer = folder_.path("openssl.pub.der");
  const std::string keyDer = folder_.path("openssl.p8.der");
  ASSERT_EQ(
      openssl({"genpkey", "-genparam", "-algorithm", "DSA", "-pkeyopt", "dsa_paramgen_bits:1024",
               "-pkeyopt", "dsa_paramgen_q_bits:160", "-out", params})
          .exitCode,
      0);
  ASSERT_EQ(openssl({"genpkey", "-paramfile", params, "-out", key}).exitCode, 0);
  ASSERT_EQ(openssl({"pkey", "-in", key, "-pubout", "-out", pubPem}).exitCode, 0);
  ASSERT_EQ(openssl({"pkey", "-in", key, "-pubout", "-outform", "DER", "-out", pubDer}).exitCode,
            0);
  ASSERT_EQ(openssl({"pkcs8", "-topk8", "-nocrypt", "-in", key, "-outform", "DER", "-out", keyDer})
                .exitCode,
            0);

  for (const std::string& signingKey : {key, keyDer}) {
    const std::string path = file("by-openssl-key", content(2000));
    const ToolRun sign = zuksign({"sign", "--key", signingKey, "--kind", "text-dsa", path});
    ASSERT_EQ(sign.exitCode, 0) << sign.err;
    EXPECT_EQ(zuksign({"verify", "--public-key", pubPem, path}).exitCode, 0);
    EXPECT_EQ(zuksign({"verify", "--public-key", pubDer, path}).exitCode, 0);
    EXPECT_EQ(zuksign({"verify", "--public-key", publicKey_, path}).exitCode, 1);
  }

  const Bytes data = content(4321);
  Bytes digest(kDigestLength);
  md5Digest(digest.data(), data.data(), static_cast<uint32_t>(data.size()));
  const std::string digestPath = file("digest.bin", digest), sigPath = folder_.path("sig.der");
  ASSERT_EQ(
      openssl({"pkeyutl", "-sign", "-inkey", key, "-in", digestPath, "-out", sigPath}).exitCode, 0);
  const Bytes raw = rawSignature(readFile(sigPath));
  const std::string path = file("openssl-signed", concat({data, raw, bytesOf("ZUKSignd")}));
  const ToolRun verify = zuksign({"verify", "--public-key", pubPem, path});
  EXPECT_EQ(verify.exitCode, 0) << verify.out;
  EXPECT_EQ(verify.out, "valid\nkind: binary (ZUKSignd)\nsigned length: 4321\n");
}

}  // namespace
