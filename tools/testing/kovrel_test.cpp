// kovrel_test: an installer-interface library that installs nothing and answers as a test says.
//
// Placed as "kovrel.dll" (or "kovrel.ovr") in an installation's setup folder, it stands in for the
// product's installer. Each entry point answers with the result and status word that the file
// "kovrel-case.ini" beside the library names:
//
//   [kovrelUpdatePackages]          [kovrelUpdateFilesEx]
//   result=0                        result=0
//   status=0x20000000               status=0x20000000     ("keep": leave the status word alone)
//
// A missing file or key means result 0 and status 0x20000000 (done). Every call is appended to
// "kovrel-calls.txt" beside the library, one line of tab-separated fields, so that the suite can
// check what the updater handed over:
//
//   entry point, OEM ("-" for a null pointer, else "+" and the text), command text,
//   first integer, second integer, status word on entry (0x%08X), the library's own path
//
// Built three times: complete, without kovrelUpdatePackages (KOVREL_TEST_NO_PACKAGES), and
// without kovrelUpdateFilesEx (KOVREL_TEST_NO_FILES), for the updater's missing-entry-point path.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/installer_api.h"

namespace {

HMODULE ownModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ownModule), &module);
  return module;
}

std::string ownPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(ownModule(), path, sizeof path);
  return path;
}

// A file beside this library, wherever the updater loaded it from.
std::string besideLibrary(const char* name) {
  std::string path = ownPath();
  const size_t slash = path.find_last_of("\\/");
  path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return path + name;
}

void recordCall(const char* entryPoint, const char* oem, const char* command, int32_t first,
                int32_t second, const uint32_t* status) {
  FILE* file = std::fopen(besideLibrary("kovrel-calls.txt").c_str(), "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\t%s%s\t%s\t%ld\t%ld\t", entryPoint, oem == nullptr ? "-" : "+",
               oem == nullptr ? "" : oem, command == nullptr ? "(null)" : command,
               static_cast<long>(first), static_cast<long>(second));
  if (status == nullptr) {
    std::fprintf(file, "(null)");
  } else {
    std::fprintf(file, "0x%08lX", static_cast<unsigned long>(*status));
  }
  std::fprintf(file, "\t%s\n", ownPath().c_str());
  std::fclose(file);
}

int32_t answer(const char* entryPoint, const char* oem, const char* command, int32_t first,
               int32_t second, uint32_t* status) {
  recordCall(entryPoint, oem, command, first, second, status);
  const std::string caseFile = besideLibrary("kovrel-case.ini");
  char text[64] = {};
  GetPrivateProfileStringA(entryPoint, "result", "0", text, sizeof text, caseFile.c_str());
  const int32_t result = static_cast<int32_t>(std::strtol(text, nullptr, 0));
  GetPrivateProfileStringA(entryPoint, "status", "0x20000000", text, sizeof text, caseFile.c_str());
  if (status != nullptr && lstrcmpiA(text, "keep") != 0) {
    *status = static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
  }
  return result;
}

}  // namespace

extern "C" {

#ifndef KOVREL_TEST_NO_PACKAGES
__declspec(dllexport) int32_t KOVREL_CALL
    kovrelUpdatePackages(const char* oem, const char* command, int32_t first, int32_t second,
                         uint32_t* status) {
  return answer(kKovrelUpdatePackagesName, oem, command, first, second, status);
}
#endif

#ifndef KOVREL_TEST_NO_FILES
__declspec(dllexport) int32_t KOVREL_CALL
    kovrelUpdateFilesEx(const char* oem, const char* command, int32_t first, int32_t second,
                        uint32_t* status) {
  return answer(kKovrelUpdateFilesExName, oem, command, first, second, status);
}
#endif

}  // extern "C"

// The entry points must have the updater's types exactly; a mismatch fails to compile here.
#ifndef KOVREL_TEST_NO_PACKAGES
[[maybe_unused]] static const KovrelUpdatePackagesFn kPackagesType = &kovrelUpdatePackages;
#endif
#ifndef KOVREL_TEST_NO_FILES
[[maybe_unused]] static const KovrelUpdateFilesExFn kFilesType = &kovrelUpdateFilesEx;
#endif
