// The signature subsystem against OpenSSL, both measured in this process:
//   md5Digest over 64 MiB against OpenSSL's MD5 (throughput ratio; target >= 0.9);
//   verifyDsaSignature against OpenSSL's DSA verification with the same key, digest and
//     signature (time ratio; target <= 1.6);
//   verifySignedFile of a 64 MiB file with a binary trailer against OpenSSL's MD5 over the same
//     bytes, read from the same file the same way (time ratio; target <= 1.2);
//   the peak memory of verifySignedFile for each trailer kind, as the peak resident set of a
//     fresh child process above that of an idle one (target: file size + 1 MiB).
// Each comparison runs in alternating pairs; the medians of the per-pair ratios are printed at
// the end, by wall clock and by process CPU time.
//
// Usage: bench_signature [Google Benchmark flags]
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/dsa.h>
#include <openssl/evp.h>
#include <unistd.h>

#include "common/peak_memory.h"
#include "key_files.h"
#include "package/byte_stream.h"
#include "signature/content_digest.h"
#include "signature/dsa_verify.h"
#include "signature/file_verification.h"
#include "signed_file.h"

namespace {

constexpr uint32_t kContentLength = 64u << 20;

struct Ratios {
  std::vector<double> wall, cpu;
};
std::map<std::string, Ratios> ratios;

std::string binaryPath, textDsaPath, textMd5Path;
std::vector<uint8_t> content;
uint8_t digest[kDigestLength];
uint8_t signature[kDsaSignatureLength];

double cpuSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Timing {
  double wall, cpu;
};

template <typename Work>
Timing timed(Work work) {
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = cpuSeconds();
  work();
  const double cpu = cpuSeconds() - cpuStart;
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpu};
}

// One pair per iteration, the order alternating. The ratio is ours / peer by time, or, for a
// throughput comparison, peer / ours.
template <typename Ours, typename Peer>
void runPairs(benchmark::State& state, const char* name, Ours ours, Peer peer,
              bool throughput = false) {
  Ratios& list = ratios[name];
  int pair = 0;
  for (auto _ : state) {
    Timing a, b;
    if (pair++ % 2 == 0) {
      a = timed(ours);
      b = timed(peer);
    } else {
      b = timed(peer);
      a = timed(ours);
    }
    list.wall.push_back(throughput ? b.wall / a.wall : a.wall / b.wall);
    list.cpu.push_back(throughput ? b.cpu / a.cpu : a.cpu / b.cpu);
    state.SetIterationTime(a.wall);
  }
}

void opensslMd5(const uint8_t* data, size_t length, uint8_t* out) {
  unsigned int size = 0;
  EVP_Digest(data, length, out, &size, EVP_md5(), nullptr);
}

void BM_Md5DigestVsOpenssl(benchmark::State& state) {
  uint8_t a[16], b[16];
  runPairs(
      state, "md5Digest 64 MiB throughput / OpenSSL MD5 throughput",
      [&] { md5Digest(a, content.data(), kContentLength); },
      [&] { opensslMd5(content.data(), kContentLength, b); }, true);
  if (std::memcmp(a, b, 16) != 0) state.SkipWithError("the digests differ");
}
BENCHMARK(BM_Md5DigestVsOpenssl)
    ->UseManualTime()
    ->Iterations(4)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

BIGNUM* bignum(const uint8_t* bytes, size_t length) {
  return BN_bin2bn(bytes, static_cast<int>(length), nullptr);
}

// OpenSSL's DSA object for the built-in key, made once, as a user of OpenSSL would keep it.
DSA* opensslKey() {
  DSA* dsa = DSA_new();
  DSA_set0_pqg(dsa, bignum(DsaPublicKey.p, 128), bignum(DsaPublicKey.q, 20),
               bignum(DsaPublicKey.g, 128));
  DSA_set0_key(dsa, bignum(DsaPublicKey.y, 128), nullptr);
  return dsa;
}

DSA_SIG* opensslSignature() {
  DSA_SIG* sig = DSA_SIG_new();
  DSA_SIG_set0(sig, bignum(signature, 20), bignum(signature + 20, 20));
  return sig;
}

constexpr int kVerificationsPerPair = 100;

void BM_VerifyDsaVsOpenssl(benchmark::State& state) {
  DSA* dsa = opensslKey();
  DSA_SIG* sig = opensslSignature();
  bool ok = true;
  runPairs(
      state, "verifyDsaSignature / OpenSSL DSA_do_verify",
      [&] {
        for (int i = 0; i < kVerificationsPerPair; ++i) {
          ok = verifyDsaSignature(digest, signature, 40) && ok;
        }
      },
      [&] {
        for (int i = 0; i < kVerificationsPerPair; ++i) {
          ok = DSA_do_verify(digest, 16, sig, dsa) == 1 && ok;
        }
      });
  if (!ok) state.SkipWithError("a verification failed");
  DSA_SIG_free(sig);
  DSA_free(dsa);
}
BENCHMARK(BM_VerifyDsaVsOpenssl)
    ->UseManualTime()
    ->Iterations(20)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// The same with OpenSSL decoding the key for every verification, as verifyDsaSignature does.
void BM_VerifyDsaVsOpensslFreshKey(benchmark::State& state) {
  DSA_SIG* sig = opensslSignature();
  bool ok = true;
  runPairs(
      state, "verifyDsaSignature / OpenSSL DSA_do_verify with the key decoded each time",
      [&] {
        for (int i = 0; i < kVerificationsPerPair; ++i) {
          ok = verifyDsaSignature(digest, signature, 40) && ok;
        }
      },
      [&] {
        for (int i = 0; i < kVerificationsPerPair; ++i) {
          DSA* dsa = opensslKey();
          ok = DSA_do_verify(digest, 16, sig, dsa) == 1 && ok;
          DSA_free(dsa);
        }
      });
  if (!ok) state.SkipWithError("a verification failed");
  DSA_SIG_free(sig);
}
BENCHMARK(BM_VerifyDsaVsOpensslFreshKey)
    ->UseManualTime()
    ->Iterations(20)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// The peer of verifySignedFile: the same FileStream read of the signed length into one buffer,
// then OpenSSL's MD5.
bool readAndOpensslMd5(const char* path, uint32_t length) {
  FileStream file;
  if (!file.open(path)) return false;
  uint8_t* buffer = static_cast<uint8_t*>(std::malloc(length));
  uint32_t count = 0;
  const bool ok = buffer != nullptr && file.read(buffer, length, &count) && count == length;
  file.close();
  uint8_t out[16];
  if (ok) opensslMd5(buffer, length, out);
  benchmark::DoNotOptimize(out[0]);
  std::free(buffer);
  return ok;
}

void BM_VerifySignedFileVsReadAndOpensslMd5(benchmark::State& state) {
  bool ok = true;
  runPairs(
      state, "verifySignedFile 64 MiB binary / (same read + OpenSSL MD5)",
      [&] { ok = verifySignedFile(binaryPath.c_str(), 2, nullptr) && ok; },
      [&] { ok = readAndOpensslMd5(binaryPath.c_str(), kContentLength) && ok; });
  if (!ok) state.SkipWithError("a verification failed");
}
BENCHMARK(BM_VerifySignedFileVsReadAndOpensslMd5)
    ->UseManualTime()
    ->Iterations(4)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// The peak resident set (KiB) of a fresh copy of this program that verifies the file once in the
// given mode, or does nothing when path is "idle".
long childPeakKiB(const std::string& path, int mode, const char* prefix) {
  std::string arguments = "'" + path + "' " + std::to_string(mode);
  if (prefix != nullptr) arguments += std::string(" '") + prefix + "'";
  return ::childPeakKiB(arguments);
}

// Text-like content: short lines with CR LF ends, a comment line now and then, some tabs.
void fillText(std::vector<uint8_t>* out, size_t length) {
  static const char* const kLines[] = {"part.wqd=wqd-0701E2\r\n", "; a comment line\r\n",
                                       "value\t= 12345 alpha omega\r\n", "[Section]\r\n"};
  uint32_t seed = 12345;
  while (out->size() < length) {
    seed = seed * 1103515245u + 12345u;
    const char* line = kLines[(seed >> 16) % 4];
    for (const char* p = line; *p && out->size() < length; ++p) out->push_back(uint8_t(*p));
  }
}

bool writeSigned(const std::string& path, const std::vector<uint8_t>& bytes, TrailerKind kind,
                 const DsaPrivateKey& key, const char* prefix) {
  SignedFile result;
  std::string error;
  if (!makeSignedFile(bytes, kind, &key, prefix, &result, &error)) {
    std::fprintf(stderr, "bench_signature: %s\n", error.c_str());
    return false;
  }
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool ok =
      std::fwrite(result.bytes.data(), 1, result.bytes.size(), out) == result.bytes.size();
  return std::fclose(out) == 0 && ok;
}

void printRatios(const std::string& name, Ratios& list) {
  for (auto* values : {&list.wall, &list.cpu}) {
    if (values->empty()) continue;
    std::sort(values->begin(), values->end());
    std::printf("%s, %s: median %.3f over %zu pairs (min %.3f, max %.3f)\n", name.c_str(),
                values == &list.wall ? "wall clock" : "process CPU", (*values)[values->size() / 2],
                values->size(), values->front(), values->back());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--measure") == 0) {
    const int mode = std::atoi(argv[3]);
    const char* prefix = argc >= 5 ? argv[4] : nullptr;
    const bool ok = std::strcmp(argv[2], "idle") == 0 || verifySignedFile(argv[2], mode, prefix);
    std::printf("%ld\n", ownPeakKiB());
    return ok ? 0 : 1;
  }

  DsaPrivateKey key;
  std::string error;
  if (!loadPrivateKey(WQD_SIGNING_PRIVATE_KEY, &key, &error)) {
    std::fprintf(stderr, "bench_signature: %s: %s\n", WQD_SIGNING_PRIVATE_KEY, error.c_str());
    return 1;
  }
  content.resize(kContentLength);
  uint32_t seed = 1;
  for (auto& b : content) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  md5Digest(digest, content.data(), 1000);
  signDsa(key, digest, sizeof digest, signature);

  const auto folder = std::filesystem::temp_directory_path();
  const std::string tag = std::to_string(getpid());
  binaryPath = (folder / ("wqd-bench-binary-" + tag)).string();
  textDsaPath = (folder / ("wqd-bench-text-dsa-" + tag)).string();
  textMd5Path = (folder / ("wqd-bench-text-md5-" + tag)).string();
  std::vector<uint8_t> text;
  text.reserve(kContentLength);
  fillText(&text, kContentLength);
  if (!writeSigned(binaryPath, content, BinaryDsa, key, nullptr) ||
      !writeSigned(textDsaPath, text, TextDsa, key, nullptr) ||
      !writeSigned(textMd5Path, text, TextMd5, key, ";")) {
    std::fprintf(stderr, "bench_signature: cannot write the signed files\n");
    return 1;
  }

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const long idle = childPeakKiB("idle", 0, nullptr);
  const long binary = childPeakKiB(binaryPath, 2, nullptr);
  const long textDsa = childPeakKiB(textDsaPath, 2, nullptr);
  const long textMd5 = childPeakKiB(textMd5Path, 3, ";");
  for (const auto& path : {binaryPath, textDsaPath, textMd5Path}) std::remove(path.c_str());

  std::printf("\nsigned content %.1f MiB per file\n", kContentLength / 1048576.0);
  for (auto& [name, list] : ratios) printRatios(name, list);
  std::printf(
      "targets: md5Digest throughput >= 0.9 x OpenSSL's; verifyDsaSignature time "
      "<= 1.6 x; verifySignedFile time <= 1.2 x\n");
  if (idle < 0 || binary < 0 || textDsa < 0 || textMd5 < 0) {
    std::printf("peak memory: a measuring child failed\n");
    return 1;
  }
  std::printf(
      "peak memory above an idle process: binary %.2f MiB, text-dsa %.2f MiB, text-md5 (prefix) "
      "%.2f MiB; budget file size + 1 MiB = %.2f MiB\n",
      (binary - idle) / 1024.0, (textDsa - idle) / 1024.0, (textMd5 - idle) / 1024.0,
      kContentLength / 1048576.0 + 1.0);
  return 0;
}
