#include "dsa_sign.h"

#include <cryptopp/hmac.h>
#include <cryptopp/nbtheory.h>
#include <cryptopp/sha.h>

using CryptoPP::Integer;

namespace {

using Mac = CryptoPP::HMAC<CryptoPP::SHA256>;

std::vector<uint8_t> toOctets(const Integer& value, size_t length) {
  std::vector<uint8_t> octets(length);
  value.Encode(octets.data(), length, Integer::UNSIGNED);
  return octets;
}

void append(std::vector<uint8_t>* to, const std::vector<uint8_t>& bytes) {
  to->insert(to->end(), bytes.begin(), bytes.end());
}

}  // namespace

Integer bitsToInteger(const uint8_t* bytes, size_t length, size_t orderBits) {
  Integer value(bytes, length, Integer::UNSIGNED, CryptoPP::BIG_ENDIAN_ORDER);
  if (8 * length > orderBits) value >>= 8 * length - orderBits;
  return value;
}

DeterministicNonce::DeterministicNonce(const Integer& x, const Integer& q, const uint8_t* h1,
                                       size_t hLength)
    : q_(q), orderBits_(q.BitCount()), k_(Mac::DIGESTSIZE, 0x00), v_(Mac::DIGESTSIZE, 0x01) {
  const size_t orderBytes = (orderBits_ + 7) / 8;
  const std::vector<uint8_t> privateOctets = toOctets(x, orderBytes);
  Integer reduced = bitsToInteger(h1, hLength, orderBits_);
  if (reduced >= q_) reduced -= q_;
  const std::vector<uint8_t> digestOctets = toOctets(reduced, orderBytes);

  for (uint8_t separator : {uint8_t{0x00}, uint8_t{0x01}}) {
    std::vector<uint8_t> message = v_;
    message.push_back(separator);
    append(&message, privateOctets);
    append(&message, digestOctets);
    mac(message, k_.data());
    mac(v_, v_.data());
  }
}

void DeterministicNonce::mac(const std::vector<uint8_t>& message, uint8_t* out) const {
  Mac hmac(k_.data(), k_.size());
  hmac.Update(message.data(), message.size());
  hmac.Final(out);
}

Integer DeterministicNonce::next() {
  for (;;) {
    if (!first_) {
      // A candidate was out of range or gave r = 0 or s = 0: step the state on.
      std::vector<uint8_t> message = v_;
      message.push_back(0x00);
      mac(message, k_.data());
      mac(v_, v_.data());
    }
    first_ = false;
    std::vector<uint8_t> t;
    while (8 * t.size() < orderBits_) {
      mac(v_, v_.data());
      append(&t, v_);
    }
    const Integer k = bitsToInteger(t.data(), t.size(), orderBits_);
    if (k >= Integer::One() && k < q_) return k;
  }
}

void signDsa(const DsaPrivateKey& key, const uint8_t* h1, size_t hLength, uint8_t* signature) {
  const size_t width = key.q.ByteCount();
  const Integer h = bitsToInteger(h1, hLength, key.q.BitCount());
  DeterministicNonce nonce(key.x, key.q, h1, hLength);
  for (;;) {
    const Integer k = nonce.next();
    const Integer r = a_exp_b_mod_c(key.g, k, key.p) % key.q;
    if (r.IsZero()) continue;
    const Integer s = (k.InverseMod(key.q) * (h + key.x * r)) % key.q;
    if (s.IsZero()) continue;
    r.Encode(signature, width, Integer::UNSIGNED);
    s.Encode(signature + width, width, Integer::UNSIGNED);
    return;
  }
}

DsaKey publicKeyOf(const DsaPrivateKey& key) {
  DsaKey bytes;
  key.p.Encode(bytes.p, sizeof bytes.p, Integer::UNSIGNED);
  key.q.Encode(bytes.q, sizeof bytes.q, Integer::UNSIGNED);
  key.g.Encode(bytes.g, sizeof bytes.g, Integer::UNSIGNED);
  key.y.Encode(bytes.y, sizeof bytes.y, Integer::UNSIGNED);
  return bytes;
}
