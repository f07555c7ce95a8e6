#include "package_builder.h"

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

namespace {

std::string u32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

}  // namespace

std::string packageChunk(const char* tag, const std::string& body) {
  return std::string(tag, 4) + u32(static_cast<uint32_t>(body.size())) + body;
}

std::string partChunk(const std::string& name, const std::string& type, int32_t version) {
  return packageChunk("PART", packageChunk("NAME", name) + packageChunk("TYPE", type) +
                                  packageChunk("VERS", u32(static_cast<uint32_t>(version))));
}

std::string packageFile(const std::string& payload) {
  uLongf packedLength = compressBound(static_cast<uLong>(payload.size()));
  std::vector<Bytef> packed(packedLength);
  compress(packed.data(), &packedLength, reinterpret_cast<const Bytef*>(payload.data()),
           static_cast<uLong>(payload.size()));
  return std::string("ZUKsetupFPkgFile", 16) + u32(static_cast<uint32_t>(payload.size())) +
         u32(static_cast<uint32_t>(packedLength)) +
         std::string(reinterpret_cast<const char*>(packed.data()), packedLength);
}

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("wqd_driver_" + std::to_string(stamp) + "_" + std::to_string(counter++));
  std::filesystem::create_directories(folder);
  path_ = folder.string();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool writeFile(const std::string& path, const std::string& bytes) {
  const std::filesystem::path file(path);
  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}
