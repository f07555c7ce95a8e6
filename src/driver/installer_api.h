// The binary interface of the product's installer-interface library, "kovrel.dll".
//
// The updater loads the library from the installation's setup folder and calls two entry points,
// exported under their plain names (no stdcall decoration). Both take the OEM name (null when
// there is none), a command text, the integers 1 and 2, and the address of a status word that
// the library writes. Both return a signed 32-bit result; 0 is success.
//
// An installer library built against this header (for example with a .def file or
// -Wl,--kill-at so that the names stay undecorated) serves the updater.
#ifndef WQDUPDATE_DRIVER_INSTALLER_API_H
#define WQDUPDATE_DRIVER_INSTALLER_API_H

#include <cstdint>

#if defined(_WIN32)
#define KOVREL_CALL __stdcall
#else
#define KOVREL_CALL
#endif

extern "C" {

typedef int32_t(KOVREL_CALL* KovrelUpdatePackagesFn)(const char* oem, const char* command,
                                                      int32_t first, int32_t second,
                                                      uint32_t* status);
typedef int32_t(KOVREL_CALL* KovrelUpdateFilesExFn)(const char* oem, const char* command,
                                                     int32_t first, int32_t second,
                                                     uint32_t* status);
}

// Names the updater fetches with GetProcAddress.
constexpr const char kKovrelUpdatePackagesName[] = "kovrelUpdatePackages";
constexpr const char kKovrelUpdateFilesExName[] = "kovrelUpdateFilesEx";

// Status words the updater acts on; every other value is the library's own.
constexpr uint32_t kStatusDone = 0x20000000;
constexpr uint32_t kStatusNothingToDo = 0x20000001;
constexpr uint32_t kStatusBusy = 0x2000000a;

#endif  // WQDUPDATE_DRIVER_INSTALLER_API_H
