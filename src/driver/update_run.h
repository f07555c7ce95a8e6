// The update run: the whole life of the process, from the entry to the exit code.
//
// One pass in a fixed order: choose the language, verify the program's own file, read the
// command line, find the installation, read the edition's package and setup.ini, apply the
// database and program gates, hand over to the installer library, then show one message (none
// in silent mode) and return the RunState, which is the exit code. A step that settles the
// outcome goes straight to the message. The run resets the process-wide settings and component
// records to their presets when it starts, so that each run is a fresh one.
#ifndef WQDUPDATE_DRIVER_UPDATE_RUN_H
#define WQDUPDATE_DRIVER_UPDATE_RUN_H

#include <cstdint>
#include <string>

#include "driver/installer_library.h"
#include "driver/platform.h"
#include "driver/run_state.h"

// The check of the program's own file: verifySignedFile (path, mode, linePrefix) in the program.
using FileVerifier = bool (*)(const char* path, int mode, const char* linePrefix);

// Fixed sizes: the own path, each of caption and message text, and one placeholder value
// (at most 255 characters and its zero).
constexpr uint32_t kOwnPathSize = 260;
constexpr uint32_t kMessageBufferSize = 32768;
constexpr uint32_t kPlaceholderValueSize = 256;

// The verification mode for the own file: DSA trailers only.
constexpr int kOwnFileVerificationMode = 2;

// The lowest qn_pro build that the package may be installed on.
constexpr int32_t kLowestProBuild = 892;

class UpdateRun {
 public:
  // instance: the module whose string tables hold the messages. verifier: the check of the own
  // file, verifySignedFile unless a test gives another.
  // REQUIRES: platform outlives the run.
  UpdateRun(Platform& platform, ModuleHandle instance, FileVerifier verifier);
  UpdateRun(Platform& platform, ModuleHandle instance);
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  // Runs once with commandLine (without the program's own name; null counts as empty) and
  // returns the outcome, also kept in runState.
  RunState run(const char* commandLine);

  // The working values, readable after run(); they start at their presets.
  RunState runState = RunState::Completed;
  int32_t setupBuild = -1;
  std::string edition;
  std::string setupFolder;
  std::string packagePath;
  InstallerValues installer;

 private:
  RunState runSteps(const char* commandLine);
  void showFinalMessage();

  Platform& platform_;
  ModuleHandle instance_;
  FileVerifier verifier_;
};

// The texts that the final message puts in for its placeholders (each at most 255 characters):
// "%06X-%02X" / "?" for an installed version, "%04X-%02X" for a package version, "4.7.%d" for a
// package build, the product line of an installed build, and "0x%08X".
std::string formatInstalledVersion(int32_t version);
std::string formatPackageVersion(int32_t version);
std::string formatPackageBuild(int32_t build);
std::string formatInstalledBuild(int32_t build);
std::string formatCode(uint32_t code);

#endif  // WQDUPDATE_DRIVER_UPDATE_RUN_H
