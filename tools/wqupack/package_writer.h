// Writing update package files: the maker's side of the package reader.
//
// A package is made from a list of parts (package name, component type, version); each becomes a
// "PART" chunk holding "NAME", "TYPE" and a 4-byte "VERS". The payload is compressed with zlib
// and wrapped in the 24-byte container header.
#ifndef WQDUPDATE_TOOLS_WQUPACK_PACKAGE_WRITER_H
#define WQDUPDATE_TOOLS_WQUPACK_PACKAGE_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

struct PackagePart {
  std::string name;
  std::string type;
  uint32_t version = 0;
};

// The payload: one PART chunk per part, in order.
std::vector<uint8_t> buildPackagePayload(const std::vector<PackagePart>& parts);

// The whole package file for payload. The header's unpacked size is unpackedSize when given,
// otherwise the payload's length. Returns false only when zlib cannot compress.
bool buildPackageFile(const std::vector<uint8_t>& payload, const uint32_t* unpackedSize,
                      std::vector<uint8_t>* file);

#endif  // WQDUPDATE_TOOLS_WQUPACK_PACKAGE_WRITER_H
