#include "package_builder.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <zlib.h>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes u32le(uint32_t value) {
  return Bytes{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
               static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes chunkClaiming(const std::string& tag, uint32_t length, const Bytes& body) {
  if (tag.size() != 4) throw std::invalid_argument("a tag has four characters");
  return concat({bytesOf(tag), u32le(length), body});
}

Bytes chunk(const std::string& tag, const Bytes& body) {
  return chunkClaiming(tag, static_cast<uint32_t>(body.size()), body);
}

Bytes textChunk(const std::string& tag, const std::string& text) {
  return chunk(tag, bytesOf(text));
}

Bytes versChunk(uint32_t version) { return chunk("VERS", u32le(version)); }

Bytes part(const Bytes& body) { return chunk("PART", body); }

Bytes validPart(const std::string& name, const std::string& type, uint32_t version) {
  return part(concat({textChunk("NAME", name), textChunk("TYPE", type), versChunk(version)}));
}

Bytes deflatePayload(const Bytes& payload) {
  uLongf length = compressBound(static_cast<uLong>(payload.size()));
  Bytes packed(length);
  static const uint8_t kNothing = 0;
  if (compress(packed.data(), &length, payload.empty() ? &kNothing : payload.data(),
               static_cast<uLong>(payload.size())) != Z_OK) {
    throw std::runtime_error("compress failed");
  }
  packed.resize(length);
  return packed;
}

Bytes container(uint32_t unpackedSize, uint32_t packedSize, const Bytes& packed,
                const std::string& magic) {
  return concat({bytesOf(magic), u32le(unpackedSize), u32le(packedSize), packed});
}

Bytes packageOf(const Bytes& payload) {
  Bytes packed = deflatePayload(payload);
  return container(static_cast<uint32_t>(payload.size()), static_cast<uint32_t>(packed.size()),
                   packed);
}

// Unique across the test processes that CTest runs side by side: the process id and a counter.
static std::string freshTempPath() {
  static std::atomic<unsigned> counter{0};
#if defined(_WIN32)
  unsigned pid = static_cast<unsigned>(_getpid());
#else
  unsigned pid = static_cast<unsigned>(getpid());
#endif
  char name[64];
  std::snprintf(name, sizeof name, "wqd-package-test-%u-%u.bin", pid, counter++);
  return (std::filesystem::temp_directory_path() / name).string();
}

TempFile::TempFile(const Bytes& contents) : path_(freshTempPath()) {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(contents.data()),
            static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + path_);
}

TempFile::~TempFile() { std::remove(path_.c_str()); }

std::string missingPath() { return freshTempPath() + ".missing"; }

std::string fixturePath(const std::string& name) {
  return std::string(WQD_SOURCE_DIR) + "/tests/fixtures/package/" + name;
}

Bytes readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
