// Component records: where the installed version of an update component (from the
// installation's setup.ini) meets the version the update package offers.
//
// There are four numbered components, 0 "program", 1 "wqd", 2 "news" and 3 "setup"; only "wqd"
// and "setup" have a record. The records live for the whole process in the table behind
// componentRecord() and start with their presets (empty names, versions -1 = none). Versions are
// signed 32-bit and compared signed.
#ifndef WQDUPDATE_DRIVER_COMPONENT_RECORD_H
#define WQDUPDATE_DRIVER_COMPONENT_RECORD_H

#include <cstdint>
#include <string>

struct ComponentRecord {
  std::string installedName;
  int32_t installedVersion = -1;
  std::string packageName;
  int32_t packageVersion = -1;

  // Takes a setup.ini value of the form name-HEXVERSION: the bytes before the first '-' become
  // installedName and the rest is read as a signed hexadecimal number (strtol style, clamped to
  // the signed 32-bit range; no digits give 0). Without a '-' (also for an empty or null text)
  // installedVersion becomes -1 and installedName keeps its value.
  void setFromIniValue(const char* text);
};

constexpr int kComponentCount = 4;

// The record of component number, or null for the components without one (0 and 2) and for
// numbers outside 0..3. The pointer stays valid for the life of the process.
ComponentRecord* componentRecord(int number);

// The number (0..3) of the component called name, compared without regard to ASCII letter case;
// -1 for any other name, and for null.
int componentFromName(const char* name);

// The name of component number, or null outside 0..3.
const char* componentName(int number);

// Puts every record back to its presets (for a fresh run, and for tests).
void resetComponentRecords();

#endif  // WQDUPDATE_DRIVER_COMPONENT_RECORD_H
