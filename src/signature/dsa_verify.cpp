#include "signature/dsa_verify.h"

#include "signature/content_digest.h"

#include <cryptopp/integer.h>
#include <cryptopp/modarith.h>

using CryptoPP::Integer;
using CryptoPP::MontgomeryRepresentation;

namespace {

Integer fromBigEndian(const uint8_t* bytes, size_t length) {
  return Integer(bytes, length, Integer::UNSIGNED, CryptoPP::BIG_ENDIAN_ORDER);
}

bool verifyWithKey(const DsaKey& key, const uint8_t* h, uint32_t hLength, const uint8_t* signature,
                   int32_t signatureLength) {
  // 1. The key is decoded afresh on every call: nothing is kept between calls.
  const Integer p = fromBigEndian(key.p, sizeof key.p);
  const Integer q = fromBigEndian(key.q, sizeof key.q);
  const Integer g = fromBigEndian(key.g, sizeof key.g);
  const Integer y = fromBigEndian(key.y, sizeof key.y);

  // 2. The length is settled before a single byte of digest or signature is looked at.
  const int32_t n = static_cast<int32_t>(q.ByteCount());
  if (signatureLength != 2 * n) return false;

  // 3. Montgomery form needs an odd modulus; a key without one cannot vouch for anything (and
  // Crypto++ would throw).
  if (!p.IsOdd()) return false;
  const MontgomeryRepresentation montgomery(p);

  // 4.
  const Integer hValue = fromBigEndian(h, hLength);
  const Integer r = fromBigEndian(signature, static_cast<size_t>(n));
  const Integer s = fromBigEndian(signature + n, static_cast<size_t>(n));

  // 5. Both values must lie in 1..q-1. Without these checks (r, s) = (1, 0) or (1, q) would lead
  // to the inverse of 0 below, the classic forgeries.
  if (r >= q) return false;
  if (r < Integer::One()) return false;
  if (s >= q) return false;
  if (s < Integer::One()) return false;

  // 6.-8.
  const Integer w = s.InverseMod(q);
  const Integer u1 = (hValue * w) % q;
  const Integer u2 = (r * w) % q;

  // 9. Both powers in one two-base pass in Montgomery form.
  const Integer product = montgomery.ConvertOut(
      montgomery.CascadeExponentiate(montgomery.ConvertIn(g), u1, montgomery.ConvertIn(y), u2));
  const Integer v = product % q;

  // 10.
  return v == r;
}

}  // namespace

bool verifyDsaSignatureWithKey(const DsaKey& key, const uint8_t* h, uint32_t hLength,
                               const uint8_t* signature, int32_t signatureLength) {
  try {
    return verifyWithKey(key, h, hLength, signature, signatureLength);
  } catch (...) {
    // Only lack of memory can get here; it rejects like any other failure.
    return false;
  }
}

bool verifyDsaSignature(const uint8_t* digest, const uint8_t* signature, int32_t signatureLength) {
  return verifyDsaSignatureWithKey(DsaPublicKey, digest, kDigestLength, signature, signatureLength);
}
