// Peak memory of one measured step, for the benchmarks. Each step runs in a fresh copy of the
// benchmark program that reports its own peak resident set: a fork's rusage would also count
// the memory of the parent it was copied from.
#ifndef WQDUPDATE_BENCH_COMMON_PEAK_MEMORY_H
#define WQDUPDATE_BENCH_COMMON_PEAK_MEMORY_H

#include <cstdio>
#include <string>

#include <unistd.h>

// The peak resident set (VmHWM, KiB) of this process since it started; -1 when unknown.
inline long ownPeakKiB() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long peak = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
  }
  std::fclose(status);
  return peak;
}

// Runs this program again as "PROGRAM --measure ARGUMENTS" and returns the number the child
// prints (its own ownPeakKiB()); -1 when the child fails. ARGUMENTS is passed to the shell as
// it stands, so the caller quotes paths.
inline long childPeakKiB(const std::string& arguments) {
  std::string command = "/proc/" + std::to_string(getpid()) + "/exe --measure " + arguments;
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return -1;
  long peak = -1;
  if (std::fscanf(child, "%ld", &peak) != 1) peak = -1;
  return pclose(child) == 0 ? peak : -1;
}

#endif  // WQDUPDATE_BENCH_COMMON_PEAK_MEMORY_H
