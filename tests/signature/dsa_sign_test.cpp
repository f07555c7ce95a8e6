// The signing tool's DSA signer: RFC 6979 nonces with HMAC-SHA-256.
#include "dsa_sign.h"

#include <gtest/gtest.h>

#include <cryptopp/sha.h>

#include "signature/dsa_verify.h"
#include "test_support.h"

namespace {

using CryptoPP::Integer;

Integer integerOf(const Bytes& bytes) { return Integer(bytes.data(), bytes.size()); }

// RFC 6979's own DSA examples with SHA-256 (1024- and 2048-bit keys), as Crypto++ ships them:
// the nonce derivation is right exactly when every signature comes out byte for byte.
TEST(DsaSignTest, ReplaysTheRfc6979Sha256Examples) {
  const std::vector<VectorCase> cases = readVectorFile(testVectorPath("dsa_rfc6979.txt"));
  ASSERT_FALSE(cases.empty()) << "cannot read " << testVectorPath("dsa_rfc6979.txt");
  int signedCount = 0, checkedByVerifier = 0;
  for (const VectorCase& c : cases) {
    if (c.field("Name") != "DSA-RFC6979/SHA-256" || c.test != "DeterministicSign") continue;
    DsaPrivateKey key;
    key.p = integerOf(c.bytes("Modulus"));
    key.q = integerOf(c.bytes("SubgroupOrder"));
    key.g = integerOf(c.bytes("SubgroupGenerator"));
    key.y = integerOf(c.bytes("PublicElement"));
    key.x = integerOf(c.bytes("PrivateExponent"));
    const Bytes message = c.bytes("Message");
    Bytes h1(CryptoPP::SHA256::DIGESTSIZE);
    CryptoPP::SHA256().CalculateDigest(h1.data(), message.data(), message.size());
    const Bytes expected = c.bytes("Signature");
    Bytes signature(2 * key.q.ByteCount());
    signDsa(key, h1.data(), h1.size(), signature.data());
    EXPECT_EQ(toHex(signature), toHex(expected)) << "message " << toHex(message);
    ++signedCount;
    if (key.p.BitCount() == 1024 && key.q.BitCount() == 160) {
      // H is the leftmost 160 bits of the SHA-256 digest.
      EXPECT_TRUE(verifyDsaSignatureWithKey(publicKeyOf(key), h1.data(), 20, signature.data(),
                                            static_cast<int32_t>(signature.size())));
      ++checkedByVerifier;
    }
  }
  EXPECT_GE(signedCount, 4);
  EXPECT_GE(checkedByVerifier, 2);
}

TEST(DsaSignTest, NonceCandidatesAreDeterministicAndInRange) {
  const Bytes h1 = fromHex("00112233445566778899aabbccddeeff");
  DeterministicNonce first(rfc6979Key().x, rfc6979Key().q, h1.data(), h1.size());
  DeterministicNonce second(rfc6979Key().x, rfc6979Key().q, h1.data(), h1.size());
  Integer previous;
  for (int i = 0; i < 5; ++i) {
    const Integer k = first.next();
    EXPECT_EQ(k, second.next());
    EXPECT_TRUE(k >= Integer::One() && k < rfc6979Key().q);
    EXPECT_NE(k, previous);
    previous = k;
  }
  const Bytes other = fromHex("00112233445566778899aabbccddeefe");
  DeterministicNonce third(rfc6979Key().x, rfc6979Key().q, other.data(), other.size());
  EXPECT_NE(third.next(),
            DeterministicNonce(rfc6979Key().x, rfc6979Key().q, h1.data(), h1.size()).next());
}

TEST(DsaSignTest, BitsToIntegerKeepsTheLeftmostBits) {
  const Bytes bytes = fromHex("ffeeddccbbaa99887766554433221100ffeeddcc00");
  EXPECT_EQ(bitsToInteger(bytes.data(), bytes.size(), 160),
            integerOf(fromHex("ffeeddccbbaa99887766554433221100ffeeddcc")));
  EXPECT_EQ(bitsToInteger(bytes.data(), 16, 160),
            integerOf(fromHex("ffeeddccbbaa99887766554433221100")));
  EXPECT_EQ(bitsToInteger(bytes.data(), 1, 4), Integer(15));
}

}  // namespace
