// Builds real update package files for the run tests: chunks, PART bodies and the container
// (magic, unpacked size, packed size, zlib stream), written into a scratch folder.
#ifndef WQDUPDATE_TESTS_DRIVER_PACKAGE_BUILDER_H
#define WQDUPDATE_TESTS_DRIVER_PACKAGE_BUILDER_H

#include <cstdint>
#include <string>

// A chunk: 4-byte tag, little-endian length, body.
std::string packageChunk(const char* tag, const std::string& body);
// A PART chunk with NAME, TYPE and a 4-byte VERS.
std::string partChunk(const std::string& name, const std::string& type, int32_t version);
// The package file for payload: header and the zlib-compressed payload.
std::string packageFile(const std::string& payload);

// A folder of its own under the system's temporary folder, removed with everything in it when
// the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes bytes to path, making the folders before its last separator as needed.
bool writeFile(const std::string& path, const std::string& bytes);

#endif  // WQDUPDATE_TESTS_DRIVER_PACKAGE_BUILDER_H
