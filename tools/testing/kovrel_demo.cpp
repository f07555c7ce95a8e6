// kovrel_demo: a small installer-interface library that really installs a WQD update.
//
// It is what scripts/demo places as "kovrel.dll" in its demonstration installation. Where the
// product's own installer would copy the new database, this one records it: it reads the update
// package with the project's own reader and writes the package's wqd component, as
// "NAME-HEXVERSION", into the installation's setup.ini (section "Parts", key "part.wqd"). A second
// run of the updater therefore finds the database up to date.
//
// kovrelUpdatePackages finds the package the way the updater does: the storage folder from its
// command text ("/sfx /sfxstorage FOLDER"), the edition from the registry value "Product" (under
// the OEM's key when an OEM name is given; default "oem" or "qn_pro"), and the edition's file
// name. The installation's setup.ini is the one beside this library. It answers 0 with the done
// status when setup.ini was written, the nothing-to-do status when it already names the package's
// version, and 1 with the status word 0x20000011 when the package cannot be read or the
// command text names no storage folder. kovrelUpdateFilesEx has nothing left to do: 0, done.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/component_record.h"
#include "driver/installer_api.h"
#include "package/package_file.h"

namespace {

// The status word this library reports when it cannot install; the updater shows it in its
// message.
constexpr uint32_t kStatusCannotInstall = 0x20000011;
constexpr int kComponentWqd = 1;

std::string ownFolder() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ownFolder), &module);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, sizeof path);
  std::string folder(path);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string registryText(const std::string& keyPath, const char* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::string();
  }
  char data[512] = {};
  DWORD size = sizeof data - 1;
  const LONG error =
      RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? std::string(data) : std::string();
}

std::string packageFileName(const char* oem) {
  const bool hasOem = oem != nullptr && oem[0] != '\0';
  const std::string keyPath =
      hasOem ? std::string("Software\\Mendrik Software\\Teskor\\") + oem + "\\4.0"
             : std::string("Software\\Mendrik Software\\Teskor\\4.0");
  std::string edition = registryText(keyPath, "Product");
  if (edition.empty()) edition = hasOem ? "oem" : "qn_pro";
  if (edition == "qn_pro") return "prod-qn_pro.wqu";
  if (edition == "qn_srv") return "prod-qn_srv.wqu";
  if (edition == "oem") return "prod-qn_oem.wqu";
  return std::string();
}

// The folder that follows "/sfxstorage " in the command text, or false when there is none.
bool storageFolderOf(const char* command, std::string* folder) {
  static const char kOption[] = "/sfxstorage ";
  const char* found = command == nullptr ? nullptr : std::strstr(command, kOption);
  if (found == nullptr) return false;
  *folder = found + std::strlen(kOption);
  return true;
}

}  // namespace

extern "C" {

__declspec(dllexport) int32_t KOVREL_CALL
    kovrelUpdatePackages(const char* oem, const char* command, int32_t, int32_t, uint32_t* status) {
  if (status == nullptr) return 1;
  std::string storage;
  const std::string fileName = packageFileName(oem);
  if (!storageFolderOf(command, &storage) || fileName.empty()) {
    *status = kStatusCannotInstall;
    return 1;
  }
  std::string packagePath = storage;
  if (!packagePath.empty() && packagePath.back() != '\\') packagePath += '\\';
  packagePath += fileName;

  resetComponentRecords();
  ComponentRecord* wqd = componentRecord(kComponentWqd);
  if (readPackageFile(packagePath.c_str()) != 0 || wqd->packageName.empty()) {
    *status = kStatusCannotInstall;
    return 1;
  }

  const std::string setupIni = ownFolder() + "setup.ini";
  char installed[512] = {};
  GetPrivateProfileStringA("Parts", "part.wqd", "", installed, sizeof installed, setupIni.c_str());
  wqd->setFromIniValue(installed);
  if (wqd->installedVersion == wqd->packageVersion) {
    *status = kStatusNothingToDo;
    return 0;
  }

  char value[512];
  std::snprintf(value, sizeof value, "%s-%06lX", wqd->packageName.c_str(),
                static_cast<unsigned long>(static_cast<uint32_t>(wqd->packageVersion)));
  if (!WritePrivateProfileStringA("Parts", "part.wqd", value, setupIni.c_str())) {
    *status = kStatusCannotInstall;
    return 1;
  }
  *status = kStatusDone;
  return 0;
}

__declspec(dllexport) int32_t KOVREL_CALL
    kovrelUpdateFilesEx(const char*, const char*, int32_t, int32_t, uint32_t* status) {
  if (status == nullptr) return 1;
  *status = kStatusDone;
  return 0;
}

}  // extern "C"

// The entry points must have the updater's types exactly; a mismatch fails to compile here.
[[maybe_unused]] static const KovrelUpdatePackagesFn kPackagesType = &kovrelUpdatePackages;
[[maybe_unused]] static const KovrelUpdateFilesExFn kFilesType = &kovrelUpdateFilesEx;
