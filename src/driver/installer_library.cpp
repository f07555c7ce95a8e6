#include "driver/installer_library.h"

#include "driver/installation.h"
#include "driver/platform_handles.h"

namespace {

// The two integers that both entry points take; their meaning is the library's.
constexpr int32_t kFirstArgument = 1;
constexpr int32_t kSecondArgument = 2;
// The result with which the library reports, together with kStatusBusy, that it is in use.
constexpr int32_t kResultBusy = 5;

constexpr char kFilesCommand[] = "/sfx";

}  // namespace

std::string installerCommand(const std::string& storageFolder) {
  return "/sfx /sfxstorage " + storageFolder;
}

RunState runInstallerLibrary(Platform& platform, const std::string& setupFolder,
                             const std::string& oemName, const std::string& storageFolder,
                             InstallerValues* values) {
  const std::string libraryPath = joinPath(setupFolder, kInstallerLibraryName);
  ScopedLibrary library(platform);
  if (!library.load(libraryPath.c_str(), kLoadWithAlteredSearchPath)) {
    // One repair attempt: the installation keeps a spare copy of the library beside it. The
    // copy's result does not matter; the second load decides.
    const std::string fallbackPath = joinPath(setupFolder, kInstallerFallbackName);
    platform.copyFile(fallbackPath.c_str(), libraryPath.c_str(), false);
    if (!library.load(libraryPath.c_str(), kLoadWithAlteredSearchPath)) {
      return RunState::InstallFailed;
    }
  }

  // The second name is fetched only when the first was found, so that the recorded error is
  // the one of the lookup that failed.
  ProcAddress packagesAddress = platform.getProcAddress(library.get(), kKovrelUpdatePackagesName);
  ProcAddress filesAddress = nullptr;
  if (packagesAddress != nullptr) {
    filesAddress = platform.getProcAddress(library.get(), kKovrelUpdateFilesExName);
  }
  if (packagesAddress == nullptr || filesAddress == nullptr) {
    values->installerLastError = platform.getLastError();
    return RunState::InstallFailed;
  }
  auto updatePackages = reinterpret_cast<KovrelUpdatePackagesFn>(packagesAddress);
  auto updateFiles = reinterpret_cast<KovrelUpdateFilesExFn>(filesAddress);

  const char* oem = oemName.empty() ? nullptr : oemName.c_str();
  const std::string command = installerCommand(storageFolder);
  values->installerResult = updatePackages(oem, command.c_str(), kFirstArgument, kSecondArgument,
                                           &values->installerStatus);
  const uint32_t status = values->installerStatus;
  if (values->installerResult == 0 && status == kStatusDone) {
    values->updateApplied = true;
    values->installerResult =
        updateFiles(oem, kFilesCommand, kFirstArgument, kSecondArgument, &values->installerStatus);
    const uint32_t filesStatus = values->installerStatus;
    if (values->installerResult == 0 &&
        (filesStatus == kStatusDone || filesStatus == kStatusNothingToDo)) {
      return RunState::Completed;
    }
    return RunState::InstallFailed;
  }
  if (status == kStatusNothingToDo) return RunState::Completed;
  if (values->installerResult == kResultBusy && status == kStatusBusy) {
    return RunState::InstallerBusy;
  }
  return RunState::InstallFailed;
}
