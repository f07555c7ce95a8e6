// Helpers shared by the signature tests: hexadecimal bytes, scratch folders and files, Crypto++'s
// test-vector files, the fixed test key and a stream that watches where it is read.
#ifndef WQDUPDATE_TESTS_SIGNATURE_TEST_SUPPORT_H
#define WQDUPDATE_TESTS_SIGNATURE_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "dsa_sign.h"
#include "package/byte_stream.h"

using Bytes = std::vector<uint8_t>;

// Bytes from hexadecimal text; white space is ignored.
Bytes fromHex(const std::string& text);
std::string toHex(const Bytes& bytes);
Bytes bytesOf(const std::string& text);
Bytes concat(std::initializer_list<Bytes> parts);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // The path of a file in the folder, as the narrow string the verifier takes.
  std::string path(const std::string& name) const;

 private:
  std::filesystem::path folder_;
};

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

// One case of a Crypto++ test-vector file: the fields in force when its "Test:" line came.
struct VectorCase {
  std::map<std::string, std::string> fields;
  std::string test;
  const std::string& field(const std::string& name) const;
  // A field's value as bytes: hexadecimal digits, or a "quoted" string.
  Bytes bytes(const std::string& name) const;
};

// Every case of the file, in order; empty when the file cannot be read.
std::vector<VectorCase> readVectorFile(const std::string& path);

std::string testVectorPath(const std::string& name);

// The DSA key of RFC 6979, appendix A.2.1 (1024-bit p, 160-bit q), published test data.
const DsaPrivateKey& rfc6979Key();
const DsaKey& rfc6979PublicKey();

// A memory stream over bytes that counts every read or seek aimed outside them.
class WatchedStream : public MemoryStream {
 public:
  explicit WatchedStream(Bytes bytes);
  bool read(void* dst, uint32_t length, uint32_t* count = nullptr) override;
  uint32_t seek(int32_t offset, int origin) override;
  int strayAccesses() const { return stray_; }

 private:
  Bytes bytes_;
  int stray_ = 0;
};

#endif  // WQDUPDATE_TESTS_SIGNATURE_TEST_SUPPORT_H
