#include "key_files.h"

#include "file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cryptopp/base64.h>
#include <cryptopp/dsa.h>
#include <cryptopp/filters.h>
#include <cryptopp/osrng.h>
#include <cryptopp/queue.h>

using CryptoPP::Integer;

namespace {

constexpr unsigned kModulusBits = 1024;
constexpr unsigned kOrderBits = 160;
// Primality of p and q and the sizes of the group elements.
constexpr unsigned kValidationLevel = 2;

// The DER bytes of a key file: the file itself, or the body of its PEM block with the expected
// label (other blocks, such as parameters before the key, are passed over).
bool derOf(const std::string& file, const std::string& label, std::string* der,
           std::string* error) {
  const std::string header = "-----BEGIN " + label + "-----";
  const std::string footer = "-----END " + label + "-----";
  const size_t begin = file.find(header);
  if (begin == std::string::npos) {
    const size_t other = file.find("-----BEGIN ");
    if (other == std::string::npos) {
      if (file.empty() || static_cast<uint8_t>(file[0]) != 0x30) {
        *error = "neither DER nor PEM";
        return false;
      }
      *der = file;
      return true;
    }
    const size_t labelStart = other + std::strlen("-----BEGIN ");
    const std::string found = file.substr(labelStart, file.find("-----", labelStart) - labelStart);
    if (found == "ENCRYPTED PRIVATE KEY") {
      *error = "encrypted keys are not supported (openssl pkcs8 -topk8 -nocrypt decrypts one)";
    } else if (found == "DSA PRIVATE KEY") {
      *error = "traditional DSA key; PKCS#8 is needed (openssl pkcs8 -topk8 -nocrypt converts it)";
    } else {
      *error = "PEM block \"" + found + "\" where \"" + label + "\" is needed";
    }
    return false;
  }
  const size_t bodyStart = begin + header.size();
  const size_t end = file.find(footer, bodyStart);
  if (end == std::string::npos) {
    *error = "PEM block without its END line";
    return false;
  }
  der->clear();
  CryptoPP::StringSource(file.substr(bodyStart, end - bodyStart), true,
                         new CryptoPP::Base64Decoder(new CryptoPP::StringSink(*der)));
  if (der->empty()) {
    *error = "empty PEM block";
    return false;
  }
  return true;
}

bool checkGroup(const Integer& p, const Integer& q, std::string* error) {
  if (p.BitCount() != kModulusBits || q.BitCount() != kOrderBits) {
    *error = "not a DSA key with a 1024-bit p and a 160-bit q (p has " +
             std::to_string(p.BitCount()) + " bits, q " + std::to_string(q.BitCount()) + ")";
    return false;
  }
  return true;
}

bool writeNew(const std::string& path, const std::string& bytes, [[maybe_unused]] bool secret,
              std::string* error) {
#if defined(_WIN32)
  const int handle =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, secret ? 0600 : 0644);
#endif
  if (handle < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
#if defined(_WIN32)
    const int n = _write(handle, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
    const ssize_t n = ::write(handle, bytes.data() + done, bytes.size() - done);
#endif
    if (n <= 0) {
      ok = false;
    } else {
      done += static_cast<size_t>(n);
    }
  }
#if defined(_WIN32)
  ok = _close(handle) == 0 && ok;
#else
  ok = ::close(handle) == 0 && ok;
#endif
  if (!ok) *error = path + ": " + std::strerror(errno);
  return ok;
}

}  // namespace

bool loadPrivateKey(const std::string& path, DsaPrivateKey* key, std::string* error) {
  std::string file, der;
  if (!readFileBytes(path, &file, error) || !derOf(file, "PRIVATE KEY", &der, error)) return false;
  try {
    CryptoPP::DSA::PrivateKey decoded;
    CryptoPP::StringSource source(der, true);
    decoded.Load(source);
    const auto& group = decoded.GetGroupParameters();
    key->p = group.GetModulus();
    key->q = group.GetSubgroupOrder();
    key->g = group.GetSubgroupGenerator();
    key->x = decoded.GetPrivateExponent();
    if (!checkGroup(key->p, key->q, error)) return false;
    CryptoPP::AutoSeededRandomPool random;
    if (!decoded.Validate(random, kValidationLevel)) {
      *error = "the DSA key does not pass validation";
      return false;
    }
    key->y = a_exp_b_mod_c(key->g, key->x, key->p);
  } catch (const CryptoPP::Exception& e) {
    *error = "not a PKCS#8 DSA private key (" + e.GetWhat() + ")";
    return false;
  }
  return true;
}

bool loadPublicKey(const std::string& path, DsaKey* key, std::string* error) {
  std::string file, der;
  if (!readFileBytes(path, &file, error) || !derOf(file, "PUBLIC KEY", &der, error)) return false;
  try {
    CryptoPP::DSA::PublicKey decoded;
    CryptoPP::StringSource source(der, true);
    decoded.Load(source);
    const auto& group = decoded.GetGroupParameters();
    DsaPrivateKey parts;
    parts.p = group.GetModulus();
    parts.q = group.GetSubgroupOrder();
    parts.g = group.GetSubgroupGenerator();
    parts.y = decoded.GetPublicElement();
    if (!checkGroup(parts.p, parts.q, error)) return false;
    CryptoPP::AutoSeededRandomPool random;
    if (!decoded.Validate(random, kValidationLevel)) {
      *error = "the DSA key does not pass validation";
      return false;
    }
    *key = publicKeyOf(parts);
  } catch (const CryptoPP::Exception& e) {
    *error = "not an X.509 DSA public key (" + e.GetWhat() + ")";
    return false;
  }
  return true;
}

bool generateKeyPair(const std::string& privatePath, const std::string& publicPath,
                     std::string* error) {
  std::string privateDer, publicDer;
  try {
    CryptoPP::AutoSeededRandomPool random;
    CryptoPP::DSA::PrivateKey privateKey;
    privateKey.GenerateRandomWithKeySize(random, kModulusBits);
    CryptoPP::DSA::PublicKey publicKey;
    privateKey.MakePublicKey(publicKey);
    CryptoPP::StringSink privateSink(privateDer);
    privateKey.DEREncode(privateSink);
    CryptoPP::StringSink publicSink(publicDer);
    publicKey.DEREncode(publicSink);
  } catch (const CryptoPP::Exception& e) {
    *error = "key generation failed (" + e.GetWhat() + ")";
    return false;
  }
  if (!writeNew(privatePath, privateDer, true, error)) return false;
  if (!writeNew(publicPath, publicDer, false, error)) {
    std::remove(privatePath.c_str());
    return false;
  }
  return true;
}
