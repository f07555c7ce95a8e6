// The hand-over to the installed product's installer-interface library, "kovrel.dll" in the
// setup folder: load it (once more after copying its fallback "kovrel.ovr" over it), call
// kovrelUpdatePackages and, when that applied the packages, kovrelUpdateFilesEx, and release it.
//
// The library is freed on every path once it was loaded. The outcome is Completed, InstallFailed
// or InstallerBusy; the values the run reports in its message are written to InstallerValues.
#ifndef WQDUPDATE_DRIVER_INSTALLER_LIBRARY_H
#define WQDUPDATE_DRIVER_INSTALLER_LIBRARY_H

#include <cstdint>
#include <string>

#include "driver/installer_api.h"
#include "driver/platform.h"
#include "driver/run_state.h"

constexpr char kInstallerLibraryName[] = "kovrel.dll";
constexpr char kInstallerFallbackName[] = "kovrel.ovr";

// The working values of the hand-over, with the presets the run's message shows when the
// library is never called.
struct InstallerValues {
  bool updateApplied = false;   // the first call reported done
  int32_t installerResult = 2;  // result of the last call made
  uint32_t installerStatus =
      0xFFFFFFFF;                   // status word the library writes, never reset between calls
  uint32_t installerLastError = 0;  // GetLastError when an entry point is missing
};

// The command of the first call: "/sfx /sfxstorage " followed by storageFolder, unquoted.
std::string installerCommand(const std::string& storageFolder);

// Runs the hand-over in setupFolder. oemName goes to both calls as text, or as null when empty.
// Returns Completed, InstallFailed or InstallerBusy and fills *values.
RunState runInstallerLibrary(Platform& platform, const std::string& setupFolder,
                             const std::string& oemName, const std::string& storageFolder,
                             InstallerValues* values);

#endif  // WQDUPDATE_DRIVER_INSTALLER_LIBRARY_H
