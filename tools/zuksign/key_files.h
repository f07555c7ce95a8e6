// The key files of the signing tool, in the encodings the rest of the world uses, so that OpenSSL
// reads what zuksign writes and zuksign reads what OpenSSL writes:
//   private key: PKCS#8 PrivateKeyInfo (unencrypted), DER or PEM ("PRIVATE KEY");
//   public key:  X.509 SubjectPublicKeyInfo, DER or PEM ("PUBLIC KEY").
// Only DSA keys with a 1024-bit p and a 160-bit q are accepted: the trailers carry 40-byte
// signatures and the verifier's built-in key has that form.
#ifndef WQDUPDATE_TOOLS_ZUKSIGN_KEY_FILES_H
#define WQDUPDATE_TOOLS_ZUKSIGN_KEY_FILES_H

#include <string>

#include "dsa_sign.h"

// Each returns false and describes the fault in *error (a short phrase, without the path).
bool loadPrivateKey(const std::string& path, DsaPrivateKey* key, std::string* error);
bool loadPublicKey(const std::string& path, DsaKey* key, std::string* error);

// Makes a new key pair and writes it in DER. Refuses to replace an existing file; the private key
// file is readable by its owner alone.
bool generateKeyPair(const std::string& privatePath, const std::string& publicPath,
                     std::string* error);

#endif  // WQDUPDATE_TOOLS_ZUKSIGN_KEY_FILES_H
