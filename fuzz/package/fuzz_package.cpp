// Fuzzes the package reader without a file. An input that starts with the container magic is
// decoded as a container through a MemoryStream and its payload walked; any other input is
// walked as a payload directly, so that mutations reach the chunk walk without having to keep a
// zlib stream intact.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/component_record.h"
#include "package/byte_stream.h"
#include "package/package_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // The streams view writable memory; an empty input still needs a valid block.
  std::vector<uint8_t> bytes(data, data + size);
  bytes.push_back(0);
  const uint32_t length = static_cast<uint32_t>(size);
  resetComponentRecords();

  uint32_t status = kPackageFailed;
  if (size >= kPackageMagicLength && std::memcmp(data, kPackageMagic, kPackageMagicLength) == 0) {
    MemoryStream stream;
    if (!stream.attach(bytes.data(), length)) std::abort();
    uint8_t* payload = nullptr;
    uint32_t payloadLength = 0;
    if (decodePackageContainer(stream, &payload, &payloadLength)) {
      status = readPackagePayload(payload, payloadLength);
      freePackagePayload(payload);
    }
    stream.close();
  } else {
    status = readPackagePayload(bytes.data(), length);
  }
  if (status != 0 && status != kPackageFailed) std::abort();
  return 0;
}
