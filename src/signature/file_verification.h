// File verification: does this file carry a valid signature of an accepted kind?
//
// The trailer is found, optionally compared with an expected signature, the signed content is
// read in one request into one buffer, digested with the normalisation of the trailer's kind, and
// then either the DSA signature is verified over the digest or the digest is compared with the
// one the trailer stores. Only true or false comes out; nothing is reported, logged or thrown,
// and every stream and buffer is released before the call returns.
//
// Modes: 0 accepts at once without opening the file; 2 accepts the DSA kinds (TextDsa,
// BinaryDsa); 3 accepts TextMd5; any other value accepts all three.
#ifndef WQDUPDATE_SIGNATURE_FILE_VERIFICATION_H
#define WQDUPDATE_SIGNATURE_FILE_VERIFICATION_H

#include <cstdint>

#include "signature/signature_trailer.h"

class ByteStream;
struct DsaKey;

constexpr int kModeNone = 0;       // true at once
constexpr int kModeAcceptAll = 1;  // as every value other than 0, 2 and 3
constexpr int kModeDsa = 2;        // TextDsa and BinaryDsa; the update run's mode
constexpr int kModeMd5 = 3;        // TextMd5

// expectedSignature: null, or the bytes the trailer must carry (16 in mode 3, 40 otherwise),
// compared before any content is read. linePrefix: null, or the prefix that a TextMd5 trailer's
// digest leaves out (see digestTextLines); it has no effect on the other kinds.
// False also when the content cannot be read in full (a read error, or a file that shrank after
// the trailer was found) and when there is no memory for the content.
bool verifySignedFileAgainst(const char* path, const uint8_t* expectedSignature, int mode,
                             const char* linePrefix);

// verifySignedFileAgainst with no expected signature. The update run calls it on its own file
// with mode 2 and no prefix.
bool verifySignedFile(const char* path, int mode, const char* linePrefix);

// verifySignedFileAgainst with a DSA public key other than the built-in one (the signing tool
// checks files against a key file with it).
bool verifySignedFileWithKey(const DsaKey& key, const char* path, const uint8_t* expectedSignature,
                             int mode, const char* linePrefix);

// The content half of the verification: reads signedLength bytes from the current position of
// content in one request, digests them as kind demands and checks them against signature (40
// bytes; a TextMd5 trailer's digest in the first 16). False when the read fails or delivers fewer
// bytes, or when there is no memory for them. The stream is left open for its owner to close.
bool verifySignedContent(const DsaKey& key, ByteStream& content, TrailerKind kind,
                         uint32_t signedLength, const uint8_t* signature, const char* linePrefix);

#endif  // WQDUPDATE_SIGNATURE_FILE_VERIFICATION_H
