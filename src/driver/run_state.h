// RunState: the outcome of one update run. It selects the final message (256 + value, except
// that Completed shows 256 or 257) and is the process exit code. 3 and 5 are never produced.
#ifndef WQDUPDATE_DRIVER_RUN_STATE_H
#define WQDUPDATE_DRIVER_RUN_STATE_H

#include <cstdint>

enum class RunState : int32_t {
  Completed = 0,       // the installer library applied the update or had nothing to do
  UpToDate = 1,        // the package's database version equals the installed one
  ArchiveBroken = 2,   // own file fails verification, or the package cannot be read
  NotInstalled = 4,    // no program folder, or no SetupVersion
  InstallFailed = 6,   // the installer library cannot be loaded or used, or a call fails
  InstallerBusy = 7,   // the installer is in use by another process
  ProgramTooNew = 8,   // the installed build is above what the package allows
  ProgramTooOld = 9,   // qn_pro below build 892
  DatabaseOlder = 10,  // the package's database is older than the installed one
};

#endif  // WQDUPDATE_DRIVER_RUN_STATE_H
