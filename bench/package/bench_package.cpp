// Reading a package of 64 MiB payload (one large non-PART chunk and 1,000 PARTs) with
// readPackageFile, against the least a reader must do: read the file's packed bytes and inflate
// them with uncompress. Both run in this process, in alternating pairs, and the benchmark prints
// the median of the per-pair time ratios, by wall clock and by process CPU time (the latter is
// steadier on a machine that other work shares). It also prints the peak memory of each way,
// measured as the peak resident set of a fresh child process that reads the package once, above
// that of a child that does nothing, against the budget of unpacked + packed size + 1 MiB.
//
// Usage: bench_package [Google Benchmark flags]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "common/peak_memory.h"
#include "driver/component_record.h"
#include "package/package_file.h"

static const uint32_t kPayloadLength = 64u << 20;
static const int kPartCount = 1000;

static std::string packagePath;
static uint32_t packedLength = 0;
// Per pair of reads: the time ratio package / direct, by wall clock and by process CPU time.
static std::vector<double> wallRatios;
static std::vector<double> cpuRatios;

static void appendU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

static void appendChunk(std::vector<uint8_t>* out, const char* tag,
                        const std::vector<uint8_t>& body) {
  out->insert(out->end(), tag, tag + 4);
  appendU32(out, static_cast<uint32_t>(body.size()));
  out->insert(out->end(), body.begin(), body.end());
}

static void appendText(std::vector<uint8_t>* out, const char* tag, const std::string& text) {
  appendChunk(out, tag, std::vector<uint8_t>(text.begin(), text.end()));
}

// Text-like filler that zlib packs about three to one, so that inflating is real work.
static void fillText(uint8_t* out, size_t length) {
  static const char* const kWords[] = {"teskor", "database", "update",  "record", "value ", "12345",
                                       "zuk",    "mendrik",  "package", "chunk",  "\r\n",   "alpha",
                                       "omega",  "0x7F",     "section", "parts"};
  uint32_t seed = 0x12345678;
  size_t at = 0;
  while (at < length) {
    seed = seed * 1103515245u + 12345u;
    const char* word = kWords[(seed >> 16) % 16];
    if ((seed >> 8) % 7 == 0) {
      char number[16];
      std::snprintf(number, sizeof number, "%u ", (seed >> 3) % 100000);
      word = number;
      for (const char* p = word; *p && at < length; ++p) out[at++] = static_cast<uint8_t>(*p);
      continue;
    }
    for (const char* p = word; *p && at < length; ++p) out[at++] = static_cast<uint8_t>(*p);
    if (at < length) out[at++] = ' ';
  }
}

static std::vector<uint8_t> makePayload() {
  std::vector<uint8_t> parts;
  for (int i = 0; i < kPartCount; ++i) {
    std::vector<uint8_t> body;
    appendText(&body, "NAME", "component-" + std::to_string(i));
    appendText(&body, "TYPE", i % 2 == 0 ? "wqd" : "setup");
    std::vector<uint8_t> version;
    appendU32(&version, 0x070000u + static_cast<uint32_t>(i));
    appendChunk(&body, "VERS", version);
    appendChunk(&parts, "PART", body);
  }
  std::vector<uint8_t> payload;
  payload.reserve(kPayloadLength);
  const uint32_t dataLength = kPayloadLength - static_cast<uint32_t>(parts.size()) - 8;
  payload.insert(payload.end(), {'D', 'A', 'T', 'A'});
  appendU32(&payload, dataLength);
  payload.resize(payload.size() + dataLength);
  fillText(payload.data() + 8, dataLength);
  payload.insert(payload.end(), parts.begin(), parts.end());
  return payload;
}

static bool writePackage(const std::string& path) {
  std::vector<uint8_t> payload = makePayload();
  uLongf length = compressBound(static_cast<uLong>(payload.size()));
  std::vector<uint8_t> file(kPackageHeaderLength + length);
  if (compress2(file.data() + kPackageHeaderLength, &length, payload.data(),
                static_cast<uLong>(payload.size()), 6) != Z_OK) {
    return false;
  }
  packedLength = static_cast<uint32_t>(length);
  std::memcpy(file.data(), kPackageMagic, kPackageMagicLength);
  std::vector<uint8_t> sizes;
  appendU32(&sizes, static_cast<uint32_t>(payload.size()));
  appendU32(&sizes, packedLength);
  std::memcpy(file.data() + kPackageMagicLength, sizes.data(), 8);
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(file.data(), 1, kPackageHeaderLength + length, out) ==
            kPackageHeaderLength + length;
  return std::fclose(out) == 0 && ok;
}

static bool readWithPackageReader(const char* path) {
  resetComponentRecords();
  return readPackageFile(path) == 0 && componentRecord(1)->packageVersion == 0x070000 + 998;
}

// The peer: read the packed bytes and inflate them, nothing else.
static bool readAndUncompress(const char* path) {
  int handle = ::open(path, O_RDONLY);
  if (handle < 0) return false;
  uint8_t header[kPackageHeaderLength];
  bool ok = ::read(handle, header, sizeof header) == static_cast<ssize_t>(sizeof header);
  uint32_t unpacked = 0;
  uint32_t packed = 0;
  std::memcpy(&unpacked, header + 16, 4);
  std::memcpy(&packed, header + 20, 4);
  uint8_t* source = static_cast<uint8_t*>(std::malloc(packed));
  uint8_t* payload = static_cast<uint8_t*>(std::malloc(unpacked));
  size_t got = 0;
  while (ok && got < packed) {
    ssize_t n = ::read(handle, source + got, packed - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(handle);
  uLongf produced = unpacked;
  ok = ok && got == packed && uncompress(payload, &produced, source, packed) == Z_OK &&
       produced == kPayloadLength;
  benchmark::DoNotOptimize(payload[produced / 2]);
  std::free(source);
  std::free(payload);
  return ok;
}

struct Timing {
  double wall;
  double cpu;
};

static double processCpuSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

static Timing timeOf(bool (*read)(const char*), bool* ok) {
  auto start = std::chrono::steady_clock::now();
  double cpuStart = processCpuSeconds();
  *ok = read(packagePath.c_str()) && *ok;
  double cpu = processCpuSeconds() - cpuStart;
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpu};
}

// Each iteration is one pair of reads, the order alternating from pair to pair so that a drift
// in the machine's speed falls on both ways alike.
static void BM_ReadPackageFileVsUncompress(benchmark::State& state) {
  double packageSeconds = 0;
  double directSeconds = 0;
  bool ok = true;
  int pair = 0;
  for (auto _ : state) {
    Timing p;
    Timing d;
    if (pair++ % 2 == 0) {
      p = timeOf(readWithPackageReader, &ok);
      d = timeOf(readAndUncompress, &ok);
    } else {
      d = timeOf(readAndUncompress, &ok);
      p = timeOf(readWithPackageReader, &ok);
    }
    packageSeconds += p.wall;
    directSeconds += d.wall;
    wallRatios.push_back(p.wall / d.wall);
    cpuRatios.push_back(p.cpu / d.cpu);
    state.SetIterationTime(p.wall);
  }
  if (!ok) state.SkipWithError("a read failed");
  state.counters["ratio"] = packageSeconds / directSeconds;
  state.counters["direct_ms"] = directSeconds * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReadPackageFileVsUncompress)
    ->UseManualTime()
    ->Iterations(4)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);

// The peak resident set (KiB) of a fresh copy of this program that reads the package once in the
// given way ("package", "direct" or "idle").
static long childPeakKiB(const char* way) {
  return childPeakKiB(std::string(way) + " '" + packagePath + "'");
}

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
    std::string way = argv[2];
    bool ok = true;
    if (way == "package") ok = readWithPackageReader(argv[3]);
    if (way == "direct") ok = readAndUncompress(argv[3]);
    std::printf("%ld\n", ownPeakKiB());
    return ok ? 0 : 1;
  }
  packagePath = (std::filesystem::temp_directory_path() /
                 ("wqd-bench-package-" + std::to_string(getpid()) + ".wqu"))
                    .string();
  if (!writePackage(packagePath)) {
    std::fprintf(stderr, "bench_package: cannot write %s\n", packagePath.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  long idle = childPeakKiB("idle");
  long package = childPeakKiB("package");
  long direct = childPeakKiB("direct");
  std::remove(packagePath.c_str());

  const double budgetMiB = (kPayloadLength + static_cast<double>(packedLength)) / 1048576.0 + 1.0;
  std::printf("\npayload %.1f MiB, packed %.1f MiB, %d PARTs\n", kPayloadLength / 1048576.0,
              packedLength / 1048576.0, kPartCount);
  for (auto* list : {&wallRatios, &cpuRatios}) {
    if (list->empty()) continue;
    std::sort(list->begin(), list->end());
    std::printf(
        "time ratio readPackageFile / (read + uncompress), %s: median %.3f over %zu pairs "
        "(min %.3f, max %.3f; target <= 1.05)\n",
        list == &wallRatios ? "wall clock" : "process CPU", (*list)[list->size() / 2], list->size(),
        list->front(), list->back());
  }
  if (idle < 0 || package < 0 || direct < 0) {
    std::printf("peak memory: a measuring child failed\n");
    return 1;
  }
  std::printf(
      "peak memory above an idle process: readPackageFile %.1f MiB, read + uncompress "
      "%.1f MiB; budget unpacked + packed + 1 MiB = %.1f MiB\n",
      (package - idle) / 1024.0, (direct - idle) / 1024.0, budgetMiB);
  return 0;
}
