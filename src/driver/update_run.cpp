#include "driver/update_run.h"

#include <cstdio>

#include "driver/command_line.h"
#include "driver/component_record.h"
#include "driver/installation.h"
#include "driver/messages.h"
#include "package/package_file.h"
#include "signature/file_verification.h"

namespace {

constexpr int kComponentWqd = 1;
constexpr int kComponentSetup = 3;

constexpr char kValueProgramFolder[] = "Teskor4ProgramFolder";
constexpr char kValueProduct[] = "Product";
constexpr char kValueSetupVersion[] = "SetupVersion";

constexpr char kEditionPro[] = "qn_pro";
constexpr char kEditionServer[] = "qn_srv";
constexpr char kEditionOem[] = "oem";

// Formats into a buffer of kPlaceholderValueSize, so that no value exceeds 255 characters.
template <typename... Args>
std::string formatValue(const char* format, Args... args) {
  char value[kPlaceholderValueSize];
  std::snprintf(value, sizeof(value), format, args...);
  return value;
}

// The two fields of a version that the messages show: bits 8..23 and bits 0..7.
uint32_t versionHigh(int32_t version) { return (static_cast<uint32_t>(version) >> 8) & 0xFFFF; }
uint32_t versionLow(int32_t version) { return static_cast<uint32_t>(version) & 0xFF; }

}  // namespace

std::string formatInstalledVersion(int32_t version) {
  if (version == -1) return "?";
  return formatValue("%06X-%02X", versionHigh(version), versionLow(version));
}

std::string formatPackageVersion(int32_t version) {
  return formatValue("%04X-%02X", versionHigh(version), versionLow(version));
}

std::string formatPackageBuild(int32_t build) { return formatValue("4.7.%d", build); }

std::string formatInstalledBuild(int32_t build) {
  // The product line that an installed build belongs to.
  const char* format = "4.1.%d";
  if (build >= 797) {
    format = "4.7.%d";
  } else if (build >= 581) {
    format = "4.6.%d";
  } else if (build >= 502) {
    format = "4.5.%d";
  }
  return formatValue(format, build);
}

std::string formatCode(uint32_t code) { return formatValue("0x%08X", code); }

UpdateRun::UpdateRun(Platform& platform, ModuleHandle instance, FileVerifier verifier)
    : platform_(platform), instance_(instance), verifier_(verifier) {}

UpdateRun::UpdateRun(Platform& platform, ModuleHandle instance)
    : UpdateRun(platform, instance, verifySignedFile) {}

RunState UpdateRun::run(const char* commandLine) {
  resetCommandLineSettings();
  resetComponentRecords();
  runState = runSteps(commandLine == nullptr ? "" : commandLine);
  showFinalMessage();
  return runState;
}

RunState UpdateRun::runSteps(const char* commandLine) {
  chooseDefaultLanguage(platform_);

  // The own file is checked before anything of the command line is believed, so neither
  // /silent nor /lang can hide a tampered program. A path that does not fit counts as none.
  char ownPath[kOwnPathSize] = {};
  const uint32_t pathLength = platform_.getModuleFileName(nullptr, ownPath, sizeof(ownPath));
  if (pathLength == 0 || pathLength >= sizeof(ownPath)) ownPath[0] = '\0';
  ownPath[sizeof(ownPath) - 1] = '\0';
  if (!verifier_(ownPath, kOwnFileVerificationMode, nullptr)) return RunState::ArchiveBroken;

  parseCommandLine(commandLine);

  const std::string keyPath = productKeyPath(oemName);
  std::string programFolder;
  readRegistryText(platform_, kHkeyLocalMachine, keyPath.c_str(), kValueProgramFolder,
                   &programFolder);
  if (programFolder.empty()) return RunState::NotInstalled;
  setupFolder = setupFolderOf(programFolder);

  readRegistryText(platform_, kHkeyLocalMachine, keyPath.c_str(), kValueProduct, &edition);
  if (edition.empty()) edition = oemName.empty() ? kEditionPro : kEditionOem;

  if (readRegistryNumber(platform_, kHkeyLocalMachine, keyPath.c_str(), kValueSetupVersion,
                         &setupBuild) != kErrorSuccess ||
      setupBuild == -1) {
    return RunState::NotInstalled;
  }

  if (edition == kEditionPro) {
    packagePath = joinPath(storageFolder, "prod-qn_pro.wqu");
    if (setupBuild < kLowestProBuild) return RunState::ProgramTooOld;
  } else if (edition == kEditionServer) {
    packagePath = joinPath(storageFolder, "prod-qn_srv.wqu");
  } else if (edition == kEditionOem) {
    packagePath = joinPath(storageFolder, "prod-qn_oem.wqu");
  }

  if (readPackageFile(packagePath.c_str()) != 0) {
    // Names the file that could not be read; shown even in silent mode.
    platform_.messageBox(packagePath.c_str(), edition.c_str(), kMbOk);
    return RunState::ArchiveBroken;
  }

  readSetupIni(platform_, setupFolder);

  const ComponentRecord& wqd = *componentRecord(kComponentWqd);
  if (wqd.packageVersion <= wqd.installedVersion) {
    return wqd.packageVersion == wqd.installedVersion ? RunState::UpToDate
                                                      : RunState::DatabaseOlder;
  }
  // The package's setup component names the highest build the database may be installed on.
  if (componentRecord(kComponentSetup)->packageVersion < setupBuild) {
    return RunState::ProgramTooNew;
  }

  return runInstallerLibrary(platform_, setupFolder, oemName, storageFolder, &installer);
}

void UpdateRun::showFinalMessage() {
  const int32_t state = static_cast<int32_t>(runState);
  const bool good = runState == RunState::Completed || runState == RunState::UpToDate;

  char caption[kMessageBufferSize];
  char message[kMessageBufferSize];
  caption[0] = '\0';
  loadMessage(platform_, instance_, good ? kIdCaptionMessage : kIdCaptionError, caption,
              sizeof(caption), uiLanguage);
  uint32_t textId = kIdOutcomeBase + static_cast<uint32_t>(state);
  if (runState == RunState::Completed) textId = installer.updateApplied ? kIdUpdated : kIdUpToDate;
  message[0] = '\0';
  if (loadMessage(platform_, instance_, textId, message, sizeof(message), uiLanguage) == 0) {
    std::snprintf(message, sizeof(message), "Error: 0x%08X", static_cast<uint32_t>(state));
  }

  const ComponentRecord& wqd = *componentRecord(kComponentWqd);
  const ComponentRecord& setup = *componentRecord(kComponentSetup);
  std::string text = message;
  replaceAll(text, "%OLDVER%", formatInstalledVersion(wqd.installedVersion).c_str());
  replaceAll(text, "%NEWVER%", formatPackageVersion(wqd.packageVersion).c_str());
  replaceAll(text, "%NSVER%", formatPackageBuild(setup.packageVersion).c_str());
  replaceAll(text, "%OSVER%", formatInstalledBuild(setupBuild).c_str());
  replaceAll(text, "%KVERROR%",
             formatCode(static_cast<uint32_t>(installer.installerResult)).c_str());
  replaceAll(text, "%STERROR%", formatCode(installer.installerStatus).c_str());
  replaceAll(text, "%LEERROR%", formatCode(installer.installerLastError).c_str());

  if (!silentMode) {
    platform_.messageBox(text.c_str(), caption, kMbOk | (good ? kMbIconInformation : kMbIconError));
  }
}
