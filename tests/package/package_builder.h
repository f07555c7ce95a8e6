// Test helpers that make package files byte by byte: chunks with any length field, zlib streams
// (zlib's compress), container headers with any sizes, and temporary files that remove themselves.
#ifndef WQDUPDATE_TESTS_PACKAGE_PACKAGE_BUILDER_H
#define WQDUPDATE_TESTS_PACKAGE_PACKAGE_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text);
Bytes u32le(uint32_t value);
Bytes concat(std::initializer_list<Bytes> parts);

// A chunk: the four tag characters, the body's length, the body.
Bytes chunk(const std::string& tag, const Bytes& body);
// A chunk whose length field says length, whatever the body that follows holds.
Bytes chunkClaiming(const std::string& tag, uint32_t length, const Bytes& body);
Bytes textChunk(const std::string& tag, const std::string& text);
Bytes versChunk(uint32_t version);

// A PART with NAME, TYPE and a 4-byte VERS, in that order.
Bytes validPart(const std::string& name, const std::string& type, uint32_t version);
Bytes part(const Bytes& body);

// zlib's compress of payload.
Bytes deflatePayload(const Bytes& payload);

// The 24-byte header and the packed bytes.
Bytes container(uint32_t unpackedSize, uint32_t packedSize, const Bytes& packed,
                const std::string& magic = "ZUKsetupFPkgFile");
// A well-formed package: the header sizes match the payload and its stream.
Bytes packageOf(const Bytes& payload);

// A file in the system's temporary folder, removed again when the object goes.
class TempFile {
 public:
  explicit TempFile(const Bytes& contents);
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// A path in the temporary folder where no file is.
std::string missingPath();

// The fixture file name in the source tree's package fixtures.
std::string fixturePath(const std::string& name);
Bytes readFileBytes(const std::string& path);

#endif  // WQDUPDATE_TESTS_PACKAGE_PACKAGE_BUILDER_H
