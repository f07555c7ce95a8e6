#include "signature/dsa_verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <cryptopp/sha.h>

#include "dsa_sign.h"
#include "key_files.h"
#include "test_support.h"

namespace {

using CryptoPP::Integer;

Bytes digestOf(uint32_t number) {
  Bytes digest(16, 0);
  for (int i = 0; i < 4; ++i) digest[15 - i] = static_cast<uint8_t>(number >> (8 * i));
  digest[0] = 0x5A;
  return digest;
}

Bytes signWith(const DsaPrivateKey& key, const Bytes& digest) {
  Bytes signature(kDsaSignatureLength);
  signDsa(key, digest.data(), digest.size(), signature.data());
  return signature;
}

bool verifyWith(const DsaKey& key, const Bytes& digest, const Bytes& signature) {
  return verifyDsaSignatureWithKey(key, digest.data(), static_cast<uint32_t>(digest.size()),
                                   signature.data(), static_cast<int32_t>(signature.size()));
}

Bytes fixedWidth(const Integer& value, size_t width) {
  Bytes bytes(width);
  value.Encode(bytes.data(), width, Integer::UNSIGNED);
  return bytes;
}

TEST(DsaVerifyTest, AcceptsASignatureMadeWithTheMatchingPrivateKey) {
  const Bytes digest = digestOf(1);
  EXPECT_TRUE(verifyWith(rfc6979PublicKey(), digest, signWith(rfc6979Key(), digest)));
}

TEST(DsaVerifyTest, AllZeroDigestIsAnOrdinaryDigest) {
  const Bytes zero(16, 0);
  const Bytes signature = signWith(rfc6979Key(), zero);
  EXPECT_TRUE(verifyWith(rfc6979PublicKey(), zero, signature));
  EXPECT_FALSE(verifyWith(rfc6979PublicKey(), digestOf(0), signature));
}

TEST(DsaVerifyTest, EveryChangedBitInDigestOrSignatureIsRejected) {
  const Bytes digest = digestOf(2);
  const Bytes signature = signWith(rfc6979Key(), digest);
  ASSERT_TRUE(verifyWith(rfc6979PublicKey(), digest, signature));
  for (size_t bit = 0; bit < 8 * signature.size(); ++bit) {
    Bytes changed = signature;
    changed[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    EXPECT_FALSE(verifyWith(rfc6979PublicKey(), digest, changed))
        << (bit < 160 ? "r" : "s") << " bit " << bit % 160;
  }
  for (size_t bit = 0; bit < 8 * digest.size(); ++bit) {
    Bytes changed = digest;
    changed[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    EXPECT_FALSE(verifyWith(rfc6979PublicKey(), changed, signature)) << "digest bit " << bit;
  }
}

// r and s are fixed-width fields: a value with leading zero bytes is still read whole.
TEST(DsaVerifyTest, ValuesWithLeadingZeroBytesVerify) {
  bool smallR = false, smallS = false;
  for (uint32_t i = 0; i < 20000 && !(smallR && smallS); ++i) {
    const Bytes digest = digestOf(1000 + i);
    const Bytes signature = signWith(rfc6979Key(), digest);
    const bool rShort = signature[0] == 0, sShort = signature[kDsaOrderLength] == 0;
    if ((rShort && !smallR) || (sShort && !smallS)) {
      EXPECT_TRUE(verifyWith(rfc6979PublicKey(), digest, signature)) << toHex(signature);
      smallR = smallR || rShort;
      smallS = smallS || sShort;
    }
  }
  EXPECT_TRUE(smallR && smallS);
}

// Every pair from {0, 1, q-1, q, q+1, 2^160-1}: none is a signature. (1, 0) and (1, q) are the
// classic forgeries: were the range checks missing, s^-1 would be taken of 0, u1 = u2 = 0, and
// v = 1 = r would accept any digest.
TEST(DsaVerifyTest, RangeChecksRejectEveryBoundaryPair) {
  const Integer q = rfc6979Key().q;
  const Integer values[] = {Integer::Zero(), Integer::One(),          q - 1, q,
                            q + 1,           Integer::Power2(160) - 1};
  const char* names[] = {"0", "1", "q-1", "q", "q+1", "2^160-1"};
  for (const Bytes& digest : {digestOf(3), Bytes(16, 0)}) {
    for (int r = 0; r < 6; ++r) {
      for (int s = 0; s < 6; ++s) {
        const Bytes signature = concat({fixedWidth(values[r], 20), fixedWidth(values[s], 20)});
        EXPECT_FALSE(verifyWith(rfc6979PublicKey(), digest, signature))
            << "r = " << names[r] << ", s = " << names[s] << ", digest " << toHex(digest);
      }
    }
  }
}

// The core does the same for any key of the form, so keys chosen to make the equation hold show
// each range check by itself. With s = r, w * r = 1 and so u2 = 1; with H = 0, u1 = 0; then
// v = y mod p mod q, and y = r satisfies it. With y = 1, v = g^u1 mod p mod q. The bounds 1 and
// q-1 must therefore verify, and r = 0 must be refused even under a key (g = q) for which the
// equation alone would accept it.
TEST(DsaVerifyTest, EachRangeBoundHoldsWhereTheEquationWould) {
  const DsaPrivateKey& base = rfc6979Key();
  const Integer q = base.q;
  auto keyWith = [&](const Integer& g, const Integer& y) {
    DsaPrivateKey parts = base;
    parts.g = g;
    parts.y = y;
    return publicKeyOf(parts);
  };
  struct Case {
    int line;
    Integer g, y, h, r, s;
    bool valid;
  };
  const Case cases[] = {
      // r = 1 and s = 1 as 19 zero bytes and 0x01: v = 1^1 = 1.
      {__LINE__, base.g, Integer::One(), Integer::Zero(), Integer::One(), Integer::One(), true},
      // u2 = q-1, v = 1^(q-1) = 1.
      {__LINE__, base.g, Integer::One(), Integer::Zero(), Integer::One(), q - 1, true},
      // w = q-1 (its own inverse), u2 = 1, v = y = q-1.
      {__LINE__, base.g, q - 1, Integer::Zero(), q - 1, q - 1, true},
      // H = 1, s = 1: u1 = 1, u2 = q-1, v = g = q-1.
      {__LINE__, q - 1, Integer::One(), Integer::One(), q - 1, Integer::One(), true},
      // The same keys one step outside: s = q makes w = 0 and v = 1 = r without the check.
      {__LINE__, base.g, Integer::One(), Integer::Zero(), Integer::One(), q, false},
      {__LINE__, base.g, Integer::One(), Integer::Zero(), Integer::One(), Integer::Zero(), false},
      // r = 0, s = 1, H = 1: u1 = 1, u2 = 0, v = q mod q = 0 = r without the check.
      {__LINE__, q, Integer::One(), Integer::One(), Integer::Zero(), Integer::One(), false},
  };
  for (const Case& c : cases) {
    const Bytes h = fixedWidth(c.h, 16);
    const Bytes signature = concat({fixedWidth(c.r, 20), fixedWidth(c.s, 20)});
    EXPECT_EQ(verifyWith(keyWith(c.g, c.y), h, signature), c.valid) << "row at line " << c.line;
  }
}

// The length is settled before either buffer is read: null pointers must not be touched.
TEST(DsaVerifyTest, WrongSignatureLengthReadsNeitherBuffer) {
  for (int32_t length : {0, 1, 39, 41, 80, -40, 0x7FFFFFFF}) {
    EXPECT_FALSE(verifyDsaSignature(nullptr, nullptr, length)) << length;
    EXPECT_FALSE(verifyDsaSignatureWithKey(rfc6979PublicKey(), nullptr, 16, nullptr, length))
        << length;
  }
}

TEST(DsaVerifyTest, KeysWithoutAnOddModulusVerifyNothing) {
  const Bytes digest = digestOf(4);
  const Bytes signature = signWith(rfc6979Key(), digest);
  DsaKey even = rfc6979PublicKey();
  even.p[kDsaModulusLength - 1] &= 0xFE;
  EXPECT_FALSE(verifyWith(even, digest, signature));
  DsaKey noOrder = rfc6979PublicKey();
  std::fill(std::begin(noOrder.q), std::end(noOrder.q), 0);
  EXPECT_FALSE(verifyWith(noOrder, digest, Bytes()));
}

// The built-in key is the public half of the build's signing key.
TEST(DsaVerifyTest, BuiltInKeyIsThePublicHalfOfTheSigningKey) {
  DsaPrivateKey signingKey;
  std::string error;
  ASSERT_TRUE(loadPrivateKey(WQD_SIGNING_PRIVATE_KEY, &signingKey, &error)) << error;
  const DsaKey expected = publicKeyOf(signingKey);
  EXPECT_EQ(0, std::memcmp(&expected, &DsaPublicKey, sizeof expected));
  const Bytes digest = digestOf(5);
  const Bytes signature = signWith(signingKey, digest);
  EXPECT_TRUE(verifyDsaSignature(digest.data(), signature.data(), 40));
  EXPECT_FALSE(verifyDsaSignature(digestOf(6).data(), signature.data(), 40));
}

DsaKey keyFromVector(const VectorCase& c) {
  DsaKey key;
  auto place = [](const Bytes& value, uint8_t* field, size_t width) {
    size_t first = 0;
    while (first < value.size() && value[first] == 0) ++first;
    const size_t length = value.size() - first;
    ASSERT_LE(length, width);
    std::fill(field, field + width, 0);
    std::copy(value.begin() + static_cast<std::ptrdiff_t>(first), value.end(),
              field + width - length);
  };
  place(c.bytes("Modulus"), key.p, sizeof key.p);
  place(c.bytes("SubgroupOrder"), key.q, sizeof key.q);
  place(c.bytes("SubgroupGenerator"), key.g, sizeof key.g);
  place(c.bytes("PublicElement"), key.y, sizeof key.y);
  return key;
}

// Crypto++'s own DSA test vectors (FIPS 186 cases, 1024-bit p, SHA-1), run through the
// verification core with the SHA-1 of each message as H.
TEST(DsaVerifyTest, ReplaysTheDsaSha1TestVectorsOfCryptopp) {
  const std::vector<VectorCase> cases = readVectorFile(testVectorPath("dsa.txt"));
  ASSERT_FALSE(cases.empty()) << "cannot read " << testVectorPath("dsa.txt");
  int verified = 0, rejected = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const VectorCase& c = cases[i];
    if (c.field("Name") != "DSA/SHA-1") break;
    if (c.test != "Verify" && c.test != "NotVerify") continue;
    const DsaKey key = keyFromVector(c);
    const Bytes message = c.bytes("Message");
    Bytes h(CryptoPP::SHA1::DIGESTSIZE);
    CryptoPP::SHA1().CalculateDigest(h.data(), message.data(), message.size());
    const Bytes signature = c.bytes("Signature");
    ASSERT_EQ(signature.size(), 40u) << "case " << i;
    const bool valid = verifyWith(key, h, signature);
    if (c.test == "Verify") {
      EXPECT_TRUE(valid) << "Verify case " << i << ": " << toHex(signature);
      ++verified;
    } else {
      EXPECT_FALSE(valid) << "NotVerify case " << i << ": " << toHex(signature);
      ++rejected;
    }
  }
  EXPECT_GT(verified, 0);
  EXPECT_GT(rejected, 0);
  std::printf("dsa.txt, DSA/SHA-1: %d Verify and %d NotVerify cases\n", verified, rejected);
}

}  // namespace
