// Making signed files: the bytes of a file with a trailer of the chosen kind, laid out so that the
// verifier's own trailer search finds it.
//
// Binary trailers go at the end of the file, except in a PE file that carries a certificate table
// (the search looks for one exactly as the verifier does): there the trailer goes where the table
// stood, the table moves behind it (8-byte aligned, the alignment bytes zero) and the table's
// directory entry is updated before the digest is taken, so the signature covers the final
// header. The Authenticode signature in that table no longer matches the file afterwards.
// Text trailers are appended, followed by a line end in the file's own style.
#ifndef WQDUPDATE_TOOLS_ZUKSIGN_SIGNED_FILE_H
#define WQDUPDATE_TOOLS_ZUKSIGN_SIGNED_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "dsa_sign.h"
#include "signature/signature_trailer.h"

struct SignedFile {
  std::vector<uint8_t> bytes;
  uint32_t signedLength = 0;
  // The signature as the trailer carries it (40 bytes, or the 16-byte digest of TextMd5).
  std::vector<uint8_t> signature;
  // A PE certificate table was moved behind the trailer.
  bool movedCertificateTable = false;
};

// Builds the signed form of content. key is needed for the DSA kinds and ignored for TextMd5;
// linePrefix (null for none) only matters for TextMd5. False, with *error set, when the content
// already carries a trailer, when its certificate table is malformed, or when the result would be
// too large for the verifier.
bool makeSignedFile(const std::vector<uint8_t>& content, TrailerKind kind, const DsaPrivateKey* key,
                    const char* linePrefix, SignedFile* result, std::string* error);

// Which trailer the verifier's search finds in bytes: true with kind, signature and signed length
// when one is found.
bool findTrailerInBytes(const std::vector<uint8_t>& bytes, TrailerKind* kind, uint8_t* signature,
                        uint32_t* signedLength);

#endif  // WQDUPDATE_TOOLS_ZUKSIGN_SIGNED_FILE_H
