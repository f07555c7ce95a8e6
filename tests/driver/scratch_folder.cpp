#include "scratch_folder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

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
