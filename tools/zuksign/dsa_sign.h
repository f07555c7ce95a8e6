// DSA signing for the maker's tool: signatures over a message representative with a nonce derived
// deterministically as RFC 6979 (section 3.2) describes, with HMAC-SHA-256 over the private key
// and the representative. The same key and representative always give the same signature, and no
// random source takes part, so a weak one cannot leak the key.
//
// The signature has the layout that the verifier reads: r then s, each as wide as q has bytes,
// big-endian and left-padded with zeros.
#ifndef WQDUPDATE_TOOLS_ZUKSIGN_DSA_SIGN_H
#define WQDUPDATE_TOOLS_ZUKSIGN_DSA_SIGN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <cryptopp/integer.h>

#include "signature/dsa_verify.h"

struct DsaPrivateKey {
  CryptoPP::Integer p, q, g, y, x;
};

// The successive nonce candidates k of RFC 6979 for private key x, group order q and the
// representative h1 (hLength bytes): every value returned lies in 1..q-1.
// REQUIRES: q > 1.
class DeterministicNonce {
 public:
  DeterministicNonce(const CryptoPP::Integer& x, const CryptoPP::Integer& q, const uint8_t* h1,
                     size_t hLength);
  CryptoPP::Integer next();

 private:
  void mac(const std::vector<uint8_t>& message, uint8_t* out) const;

  CryptoPP::Integer q_;
  size_t orderBits_;
  std::vector<uint8_t> k_;
  std::vector<uint8_t> v_;
  bool first_ = true;
};

// The integer of the leftmost bits of an octet string, as many as q has (RFC 6979 bits2int).
CryptoPP::Integer bitsToInteger(const uint8_t* bytes, size_t length, size_t orderBits);

// Signs the representative h1 (its leftmost q-width bits are H) with key and writes the
// signature, 2 * (bytes of q) bytes, to signature.
// REQUIRES: key is a valid DSA key; signature has room for 2 * q.ByteCount() bytes.
void signDsa(const DsaPrivateKey& key, const uint8_t* h1, size_t hLength, uint8_t* signature);

// The public half in the verifier's fixed layout. REQUIRES: p, g, y fit 128 bytes and q 20 bytes.
DsaKey publicKeyOf(const DsaPrivateKey& key);

#endif  // WQDUPDATE_TOOLS_ZUKSIGN_DSA_SIGN_H
