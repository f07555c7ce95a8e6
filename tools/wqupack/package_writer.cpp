#include "package_writer.h"

#include <zlib.h>

#include "package/package_file.h"

static void appendU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

static void appendChunk(std::vector<uint8_t>* out, uint32_t tag, const uint8_t* body,
                        uint32_t length) {
  appendU32(out, tag);
  appendU32(out, length);
  out->insert(out->end(), body, body + length);
}

std::vector<uint8_t> buildPackagePayload(const std::vector<PackagePart>& parts) {
  std::vector<uint8_t> payload;
  for (const PackagePart& part : parts) {
    std::vector<uint8_t> body;
    appendChunk(&body, kTagName, reinterpret_cast<const uint8_t*>(part.name.data()),
                static_cast<uint32_t>(part.name.size()));
    appendChunk(&body, kTagType, reinterpret_cast<const uint8_t*>(part.type.data()),
                static_cast<uint32_t>(part.type.size()));
    std::vector<uint8_t> version;
    appendU32(&version, part.version);
    appendChunk(&body, kTagVers, version.data(), 4);
    appendChunk(&payload, kTagPart, body.data(), static_cast<uint32_t>(body.size()));
  }
  return payload;
}

bool buildPackageFile(const std::vector<uint8_t>& payload, const uint32_t* unpackedSize,
                      std::vector<uint8_t>* file) {
  uLongf packedLength = compressBound(static_cast<uLong>(payload.size()));
  std::vector<uint8_t> packed(packedLength);
  // zlib wants a non-null source even for an empty payload.
  static const uint8_t kNothing = 0;
  const uint8_t* source = payload.empty() ? &kNothing : payload.data();
  if (compress2(packed.data(), &packedLength, source, static_cast<uLong>(payload.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  file->assign(kPackageMagic, kPackageMagic + kPackageMagicLength);
  appendU32(file, unpackedSize != nullptr ? *unpackedSize : static_cast<uint32_t>(payload.size()));
  appendU32(file, static_cast<uint32_t>(packedLength));
  file->insert(file->end(), packed.begin(), packed.begin() + packedLength);
  return true;
}
