#include "driver/update_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/component_record.h"
#include "driver/installation.h"
#include "fake_platform.h"
#include "package_builder.h"
#include "scratch_folder.h"
#include "test_text.h"

namespace {

constexpr char kProductKey[] = "Software\\Mendrik Software\\Teskor\\4.0";
constexpr char kAcmeKey[] = "Software\\Mendrik Software\\Teskor\\acme\\4.0";

// The verifier the run tests give the run: answers as told and records what it was asked.
bool verifierAnswer = true;
std::string verifiedPath;
int verifiedMode = -1;
const char* verifiedPrefix = "unset";
int verifierCalls = 0;

bool scriptedVerifier(const char* path, int mode, const char* linePrefix) {
  ++verifierCalls;
  verifiedPath = path;
  verifiedMode = mode;
  verifiedPrefix = linePrefix;
  return verifierAnswer;
}

void resetVerifier(bool answer) {
  verifierAnswer = answer;
  verifiedPath = "unset";
  verifiedMode = -1;
  verifiedPrefix = "unset";
  verifierCalls = 0;
}

// One installation, one download and one installer library, as a run meets them. The presets
// describe an update that is due and that the installer applies.
struct Scenario {
  uint16_t userLanguage = 1033;
  uint32_t codePage = 1252;
  bool ownFileVerifies = true;
  // "{storage}" stands for the quoted storage folder.
  std::string commandLine = "/sfxstorage {storage}";

  std::string keyPath = kProductKey;
  bool hasKey = true;
  const char* programFolder = "C:\\Prog";  // null: no such value
  const char* product = nullptr;
  bool hasSetupVersion = true;
  int32_t setupVersion = 892;
  std::vector<uint8_t> setupVersionBytes;  // not empty: these bytes instead of the number

  const char* setupIni =
      "[Parts]\npart.program=program-0380\npart.wqd=wqd-0701E2\n"
      "part.setup=setup-037C\n";

  bool writePackage = true;
  std::string packageName = "prod-qn_pro.wqu";
  bool corruptPackage = false;
  bool packageHasWqd = true;
  int32_t packageWqd = 0x0701E3;
  bool packageHasSetup = true;
  int32_t packageSetup = 900;

  bool hasLibrary = true;
  bool fallbackOnly = false;
  FakeLibrary library;

  std::vector<std::pair<uint16_t, uint32_t>> removedStrings;
  bool noCzechTables = false;
};

struct ExpectedBox {
  std::string text;  // UTF-8; "{storage}" stands for the storage folder
  std::string caption;
  uint32_t style;
};

struct RunCase {
  int line;
  const char* name;
  std::function<void(Scenario&)> change;
  RunState state;
  std::vector<ExpectedBox> boxes;
};

const char kUpdated[] = "Database updated from 000701-E2 to 0701-E3.\n";
const char kUpdatedCzech[] =
    "Databáze WQD byla aktualizována z verze 000701-E2 na verzi 0701-E3.\n";
const char kUpToDate[] = "WQD database is already up to date.";
const char kBroken[] =
    "Extracting from the file archive failed. It's probably broken, download again, please.";
const char kBrokenCzech[] =
    "Souborový archív je pravděpodobně poškozen. Stáhněte jej znovu, prosím.";
const char kNotInstalled[] =
    "teskor! 4 is probably not yet installed or the installation is broken.\n"
    "Download full install package and reinstall, please.";
const char kBusy[] =
    "Installer program is currently used by another process. Try again later, please.";
const char kTooOld[] =
    "This program updates WQD database only for program version 4.7.892 or better. Please "
    "download and update program using full setup, then run wqd update again.";
const char kOlder[] =
    "This WQD database is older then currently installed. You don't need to update WQD.";

std::string installFailed(const std::string& osver, const std::string& kv, const std::string& st,
                          const std::string& le) {
  return "Can't install WQD update. Please, report following errorcodes:\nVer:" + osver +
         "\nKV: " + kv + "\nST: " + st + "\nLE: " + le + ".";
}

std::string tooNew(const std::string& nsver, const std::string& osver) {
  return "This program updates WQD database only for program version " + nsver +
         " or less.\nInstalled program version is " + osver +
         ".\nPlease download the latest wqdupdate again.";
}

constexpr uint32_t kInfo = 0x40;
constexpr uint32_t kError = 0x10;

std::string substitute(std::string text, const std::string& storage) {
  const std::string marker = "{storage}";
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
    text.replace(at, marker.size(), storage);
    at += storage.size();
  }
  return text;
}

// Sets the machine up as the scenario says.
void prepare(const Scenario& s, FakePlatform& platform, const std::string& storage) {
  platform.userLanguage = s.userLanguage;
  platform.codePage = s.codePage;
  platform.addProgramStrings();
  if (s.noCzechTables) {
    for (auto it = platform.stringBlocks.begin(); it != platform.stringBlocks.end();) {
      it = it->first.first == 1029 ? platform.stringBlocks.erase(it) : std::next(it);
    }
  }
  for (const auto& removed : s.removedStrings) platform.removeString(removed.first, removed.second);

  if (s.hasKey) platform.addKey(s.keyPath);
  if (s.programFolder != nullptr)
    platform.setText(s.keyPath, "Teskor4ProgramFolder", s.programFolder);
  if (s.product != nullptr) platform.setText(s.keyPath, "Product", s.product);
  if (s.hasSetupVersion) {
    if (s.setupVersionBytes.empty()) {
      platform.setNumber(s.keyPath, "SetupVersion", s.setupVersion);
    } else {
      platform.setValue(s.keyPath, "SetupVersion", kRegBinary, s.setupVersionBytes);
    }
  }
  if (s.setupIni != nullptr) platform.iniFiles["C:\\Prog\\setup\\setup.ini"] = s.setupIni;

  if (s.writePackage) {
    Bytes payload = textChunk("INFO", "skipped chunk");
    if (s.packageHasWqd) {
      payload =
          concat({payload, validPart("WQD 2024", "wqd", static_cast<uint32_t>(s.packageWqd))});
    }
    if (s.packageHasSetup) {
      payload =
          concat({payload, validPart("setup", "setup", static_cast<uint32_t>(s.packageSetup))});
    }
    Bytes package = packageOf(payload);
    if (s.corruptPackage) package.back() ^= 0x55;  // the Adler-32 no longer matches
    ASSERT_TRUE(
        writeFile(joinPath(storage, s.packageName), std::string(package.begin(), package.end())));
  }

  if (s.hasLibrary) {
    platform.libraryFiles[s.fallbackOnly ? "C:\\Prog\\setup\\kovrel.ovr"
                                         : "C:\\Prog\\setup\\kovrel.dll"] = s.library;
  }
}

class UpdateRunTable : public ::testing::Test {
 protected:
  void TearDown() override {
    resetComponentRecords();
    resetCommandLineSettings();
  }
};

TEST_F(UpdateRunTable, EveryOutcome) {
  const RunCase cases[] = {
      {__LINE__,
       "both installer calls succeed",
       [](Scenario&) {},
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "Czech user",
       [](Scenario& s) {
         s.userLanguage = 0x0405;
         s.codePage = 1250;
       },
       RunState::Completed,
       {{kUpdatedCzech, "Zpráva", kInfo}}},
      {__LINE__,
       "Slovak user gets Czech",
       [](Scenario& s) {
         s.userLanguage = 0x041B;
         s.codePage = 1250;
       },
       RunState::Completed,
       {{kUpdatedCzech, "Zpráva", kInfo}}},
      {__LINE__,
       "German user gets English",
       [](Scenario& s) { s.userLanguage = 0x0407; },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "/lang cze for an English user",
       [](Scenario& s) {
         s.commandLine = "/sfxstorage {storage} /lang cze";
         s.codePage = 1250;
       },
       RunState::Completed,
       {{kUpdatedCzech, "Zpráva", kInfo}}},
      {__LINE__,
       "/lang eng for a Czech user",
       [](Scenario& s) {
         s.userLanguage = 0x0405;
         s.commandLine = "-LANG eng -sfxstorage {storage}";
       },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "silent success shows nothing",
       [](Scenario& s) { s.commandLine = "/silent /sfxstorage {storage}"; },
       RunState::Completed,
       {}},

      {__LINE__,
       "own file fails: box even when silent, in the user's language",
       [](Scenario& s) {
         s.ownFileVerifies = false;
         s.commandLine = "/silent /lang cze /sfxstorage {storage}";
       },
       RunState::ArchiveBroken,
       {{kBroken, "Error", kError}}},
      {__LINE__,
       "own file fails for a Czech user",
       [](Scenario& s) {
         s.ownFileVerifies = false;
         s.userLanguage = 0x0405;
         s.codePage = 1250;
         s.commandLine = "/lang eng";
       },
       RunState::ArchiveBroken,
       {{kBrokenCzech, "Chyba", kError}}},

      {__LINE__,
       "no program folder",
       [](Scenario& s) { s.programFolder = nullptr; },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "empty program folder",
       [](Scenario& s) { s.programFolder = ""; },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "no product key",
       [](Scenario& s) {
         s.hasKey = false;
         s.programFolder = nullptr;
         s.hasSetupVersion = false;
       },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "SetupVersion missing beside a program folder",
       [](Scenario& s) { s.hasSetupVersion = false; },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "SetupVersion -1",
       [](Scenario& s) { s.setupVersion = -1; },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "SetupVersion of two bytes reads as missing",
       [](Scenario& s) {
         s.setupVersionBytes = {0x7C, 0x03};
       },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "SetupVersion of eight bytes reads as missing",
       [](Scenario& s) { s.setupVersionBytes = {0x7C, 0x03, 0, 0, 0, 0, 0, 0}; },
       RunState::NotInstalled,
       {{kNotInstalled, "Error", kError}}},
      {__LINE__,
       "not installed, silent",
       [](Scenario& s) {
         s.programFolder = nullptr;
         s.commandLine = "-silent";
       },
       RunState::NotInstalled,
       {}},

      {__LINE__,
       "qn_pro below 892: the package is never opened",
       [](Scenario& s) {
         s.setupVersion = 891;
         s.corruptPackage = true;
       },
       RunState::ProgramTooOld,
       {{kTooOld, "Error", kError}}},
      {__LINE__,
       "qn_srv has no build gate",
       [](Scenario& s) {
         s.product = "qn_srv";
         s.packageName = "prod-qn_srv.wqu";
         s.setupVersion = 500;
       },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "OEM name: own key, edition oem, oem package",
       [](Scenario& s) {
         s.keyPath = kAcmeKey;
         s.commandLine = "/oem acme /sfxstorage {storage}";
         s.packageName = "prod-qn_oem.wqu";
         s.setupVersion = 100;
       },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "edition oem without an OEM name",
       [](Scenario& s) {
         s.product = "oem";
         s.packageName = "prod-qn_oem.wqu";
       },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "unknown edition: empty package path",
       [](Scenario& s) { s.product = "qn_home"; },
       RunState::ArchiveBroken,
       {{"", "qn_home", 0}, {kBroken, "Error", kError}}},
      {__LINE__,
       "editions are compared with case",
       [](Scenario& s) { s.product = "QN_PRO"; },
       RunState::ArchiveBroken,
       {{"", "QN_PRO", 0}, {kBroken, "Error", kError}}},

      {__LINE__,
       "package missing",
       [](Scenario& s) { s.writePackage = false; },
       RunState::ArchiveBroken,
       {{"{storage}\\prod-qn_pro.wqu", "qn_pro", 0}, {kBroken, "Error", kError}}},
      {__LINE__,
       "package missing, silent: only the package box",
       [](Scenario& s) {
         s.writePackage = false;
         s.commandLine = "/sfxstorage {storage} /SILENT";
       },
       RunState::ArchiveBroken,
       {{"{storage}\\prod-qn_pro.wqu", "qn_pro", 0}}},
      {__LINE__,
       "package corrupt",
       [](Scenario& s) { s.corruptPackage = true; },
       RunState::ArchiveBroken,
       {{"{storage}\\prod-qn_pro.wqu", "qn_pro", 0}, {kBroken, "Error", kError}}},
      {__LINE__,
       "no /sfxstorage: the bare file name",
       [](Scenario& s) {
         s.commandLine = "";
         s.writePackage = false;
       },
       RunState::ArchiveBroken,
       {{"prod-qn_pro.wqu", "qn_pro", 0}, {kBroken, "Error", kError}}},

      {__LINE__,
       "same database version",
       [](Scenario& s) { s.packageWqd = 0x0701E2; },
       RunState::UpToDate,
       {{kUpToDate, "Message", kInfo}}},
      {__LINE__,
       "older database",
       [](Scenario& s) { s.packageWqd = 0x0701E1; },
       RunState::DatabaseOlder,
       {{kOlder, "Error", kError}}},
      {__LINE__,
       "no setup.ini",
       [](Scenario& s) { s.setupIni = nullptr; },
       RunState::Completed,
       {{"Database updated from ? to 0701-E3.\n", "Message", kInfo}}},
      {__LINE__,
       "setup.ini without part.wqd",
       [](Scenario& s) { s.setupIni = "[Parts]\npart.setup=setup-1\n"; },
       RunState::Completed,
       {{"Database updated from ? to 0701-E3.\n", "Message", kInfo}}},
      {__LINE__,
       "neither package nor setup.ini has wqd",
       [](Scenario& s) {
         s.packageHasWqd = false;
         s.setupIni = "[Parts]\n";
       },
       RunState::UpToDate,
       {{kUpToDate, "Message", kInfo}}},
      {__LINE__,
       "package without wqd",
       [](Scenario& s) { s.packageHasWqd = false; },
       RunState::DatabaseOlder,
       {{kOlder, "Error", kError}}},
      {__LINE__,
       "version fields: bits 8..23 and 0..7",
       [](Scenario& s) {
         s.setupIni = "[Parts]\npart.wqd=wqd-12345678\n";
         s.packageWqd = 0x12345679;
       },
       RunState::Completed,
       {{"Database updated from 003456-78 to 3456-79.\n", "Message", kInfo}}},
      {__LINE__,
       "a package version of -1 prints FFFF-FF",
       [](Scenario& s) {
         s.setupIni = "[Parts]\npart.wqd=wqd--5\n";
         s.packageHasWqd = false;
       },
       RunState::Completed,
       {{"Database updated from 00FFFF-FB to FFFF-FF.\n", "Message", kInfo}}},

      {__LINE__,
       "installed build above the package's setup",
       [](Scenario& s) {
         s.setupVersion = 900;
         s.packageSetup = 891;
       },
       RunState::ProgramTooNew,
       {{tooNew("4.7.891", "4.7.900"), "Error", kError}}},
      {__LINE__,
       "package without setup",
       [](Scenario& s) { s.packageHasSetup = false; },
       RunState::ProgramTooNew,
       {{tooNew("4.7.-1", "4.7.892"), "Error", kError}}},

      {__LINE__,
       "installer library cannot be loaded",
       [](Scenario& s) { s.hasLibrary = false; },
       RunState::InstallFailed,
       {{installFailed("4.7.892", "0x00000002", "0xFFFFFFFF", "0x00000000"), "Error", kError}}},
      {__LINE__,
       "only kovrel.ovr present",
       [](Scenario& s) { s.fallbackOnly = true; },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "an entry point is missing",
       [](Scenario& s) { s.library.hasUpdateFilesEx = false; },
       RunState::InstallFailed,
       {{installFailed("4.7.892", "0x00000002", "0xFFFFFFFF", "0x0000007F"), "Error", kError}}},
      {__LINE__,
       "installer has nothing to do",
       [](Scenario& s) { s.library.packagesStatus = kStatusNothingToDo; },
       RunState::Completed,
       {{kUpToDate, "Message", kInfo}}},
      {__LINE__,
       "installer busy",
       [](Scenario& s) {
         s.library.packagesResult = 5;
         s.library.packagesStatus = kStatusBusy;
       },
       RunState::InstallerBusy,
       {{kBusy, "Error", kError}}},
      {__LINE__,
       "second call fails",
       [](Scenario& s) { s.library.filesResult = 1; },
       RunState::InstallFailed,
       {{installFailed("4.7.892", "0x00000001", "0x20000000", "0x00000000"), "Error", kError}}},
      {__LINE__,
       "second call reports nothing to do",
       [](Scenario& s) { s.library.filesStatus = kStatusNothingToDo; },
       RunState::Completed,
       {{kUpdated, "Message", kInfo}}},
      {__LINE__,
       "negative result and a foreign status",
       [](Scenario& s) {
         s.library.packagesResult = -2;
         s.library.packagesStatus = 0x80004005;
       },
       RunState::InstallFailed,
       {{installFailed("4.7.892", "0xFFFFFFFE", "0x80004005", "0x00000000"), "Error", kError}}},
      {__LINE__,
       "installed build 796 is of line 4.6",
       [](Scenario& s) {
         s.product = "qn_srv";
         s.packageName = "prod-qn_srv.wqu";
         s.setupVersion = 796;
         s.hasLibrary = false;
       },
       RunState::InstallFailed,
       {{installFailed("4.6.796", "0x00000002", "0xFFFFFFFF", "0x00000000"), "Error", kError}}},
      {__LINE__,
       "installed build 580 is of line 4.5",
       [](Scenario& s) {
         s.product = "qn_srv";
         s.packageName = "prod-qn_srv.wqu";
         s.setupVersion = 580;
         s.hasLibrary = false;
       },
       RunState::InstallFailed,
       {{installFailed("4.5.580", "0x00000002", "0xFFFFFFFF", "0x00000000"), "Error", kError}}},
      {__LINE__,
       "installed build 501 is of line 4.1",
       [](Scenario& s) {
         s.product = "qn_srv";
         s.packageName = "prod-qn_srv.wqu";
         s.setupVersion = 501;
         s.hasLibrary = false;
       },
       RunState::InstallFailed,
       {{installFailed("4.1.501", "0x00000002", "0xFFFFFFFF", "0x00000000"), "Error", kError}}},
      {__LINE__,
       "Czech install failure fills the same placeholders",
       [](Scenario& s) {
         s.userLanguage = 0x0405;
         s.codePage = 1250;
         s.hasLibrary = false;
       },
       RunState::InstallFailed,
       {{"Nelze nainstalovat novou verzi.\nProsím, dejte nám na vědomí tyto chybové hodnoty:\n"
         "Ver:4.7.892\nKV: 0x00000002\nST: 0xFFFFFFFF\nLE: 0x00000000.",
         "Chyba", kError}}},

      {__LINE__,
       "message without text: Error fallback",
       [](Scenario& s) {
         s.packageWqd = 0x0701E2;
         s.removedStrings = {{1033, 257}};
       },
       RunState::UpToDate,
       {{"Error: 0x00000001", "Message", kInfo}}},
      {__LINE__,
       "Completed without text 256",
       [](Scenario& s) {
         s.removedStrings = {{1033, 256}};
       },
       RunState::Completed,
       {{"Error: 0x00000000", "Message", kInfo}}},
      {__LINE__,
       "busy without text 263",
       [](Scenario& s) {
         s.library.packagesResult = 5;
         s.library.packagesStatus = kStatusBusy;
         s.removedStrings = {{1033, 263}};
       },
       RunState::InstallerBusy,
       {{"Error: 0x00000007", "Error", kError}}},
      {__LINE__,
       "a language without tables: empty caption and the fallback",
       [](Scenario& s) {
         s.userLanguage = 0x0405;
         s.noCzechTables = true;
         s.programFolder = nullptr;
       },
       RunState::NotInstalled,
       {{"Error: 0x00000004", "", kError}}},
      {__LINE__,
       "caption without text",
       [](Scenario& s) {
         s.removedStrings = {{1033, 128}};
         s.packageWqd = 0x0701E1;
       },
       RunState::DatabaseOlder,
       {{kOlder, "", kError}}},
  };

  for (const RunCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "row at line " << c.line << ": " << c.name);
    Scenario scenario;
    c.change(scenario);
    ScratchFolder scratch;
    const std::string storage = scratch.path() + "/store";
    FakePlatform platform;
    prepare(scenario, platform, storage);
    resetVerifier(scenario.ownFileVerifies);

    UpdateRun run(platform, platform.instance, scriptedVerifier);
    const std::string commandLine = substitute(scenario.commandLine, "\"" + storage + "\"");
    const RunState state = run.run(commandLine.c_str());

    EXPECT_EQ(static_cast<int32_t>(state), static_cast<int32_t>(c.state));
    EXPECT_EQ(run.runState, state);
    ASSERT_EQ(platform.boxes.size(), c.boxes.size());
    for (size_t i = 0; i < c.boxes.size(); ++i) {
      const std::string text = inCodePage(scenario.codePage, substitute(c.boxes[i].text, storage));
      const std::string caption = inCodePage(scenario.codePage, c.boxes[i].caption);
      EXPECT_EQ(printable(platform.boxes[i].text), printable(text)) << "box " << i;
      EXPECT_EQ(printable(platform.boxes[i].caption), printable(caption)) << "box " << i;
      EXPECT_EQ(platform.boxes[i].style, c.boxes[i].style) << "box " << i;
    }

    // What every run must keep to, whatever its outcome.
    EXPECT_EQ(verifierCalls, 1);
    EXPECT_EQ(verifiedPath, platform.ownPath);
    EXPECT_EQ(verifiedMode, 2);
    EXPECT_EQ(verifiedPrefix, nullptr);
    ASSERT_EQ(platform.moduleFileNameModules.size(), 1u);
    EXPECT_EQ(platform.moduleFileNameModules[0], nullptr);
    EXPECT_EQ(platform.openKeyCount, 0);
    EXPECT_EQ(platform.loadedLibraryCount, 0);
    for (ModuleHandle module : platform.resourceModules) EXPECT_EQ(module, platform.instance);
    for (const auto& conversion : platform.conversions) {
      EXPECT_EQ(conversion.codePage, scenario.codePage);
      EXPECT_EQ(conversion.flags, 0x220u);
    }
    for (const std::string& key : platform.openedKeys) EXPECT_EQ(key, scenario.keyPath);
  }
}

class UpdateRunDetails : public ::testing::Test {
 protected:
  void SetUp() override {
    prepare(Scenario(), platform, storage);
    resetVerifier(true);
  }
  void TearDown() override {
    resetComponentRecords();
    resetCommandLineSettings();
  }
  ScratchFolder scratch;
  std::string storage = scratch.path() + "/store";
  FakePlatform platform;
};

TEST_F(UpdateRunDetails, WorkingValuesAndTheInstallerArguments) {
  UpdateRun run(platform, platform.instance, scriptedVerifier);
  const std::string commandLine = "/oem \"\" /sfxstorage \"" + storage + "\"";
  EXPECT_EQ(run.run(commandLine.c_str()), RunState::Completed);
  EXPECT_EQ(run.setupBuild, 892);
  EXPECT_EQ(run.edition, "qn_pro");
  EXPECT_EQ(run.setupFolder, "C:\\Prog\\setup\\");
  EXPECT_EQ(run.packagePath, storage + "\\prod-qn_pro.wqu");
  EXPECT_TRUE(run.installer.updateApplied);
  EXPECT_EQ(componentRecord(1)->packageName, "WQD 2024");
  EXPECT_EQ(componentRecord(1)->installedName, "wqd");
  ASSERT_EQ(platform.installerCalls.size(), 2u);
  EXPECT_TRUE(platform.installerCalls[0].oemIsNull);
  EXPECT_EQ(platform.installerCalls[0].command, "/sfx /sfxstorage " + storage);
  EXPECT_EQ(platform.loadedPaths, std::vector<std::string>{"C:\\Prog\\setup\\kovrel.dll"});
  EXPECT_EQ(platform.freeCount, 1);
}

TEST_F(UpdateRunDetails, OemNameReachesTheInstaller) {
  FakePlatform acme;
  Scenario scenario;
  scenario.keyPath = kAcmeKey;
  scenario.packageName = "prod-qn_oem.wqu";
  prepare(scenario, acme, storage);
  UpdateRun run(acme, acme.instance, scriptedVerifier);
  const std::string commandLine = "/sfxstorage \"" + storage + "\" /oem acme";
  EXPECT_EQ(run.run(commandLine.c_str()), RunState::Completed);
  EXPECT_EQ(run.edition, "oem");
  ASSERT_EQ(acme.installerCalls.size(), 2u);
  EXPECT_FALSE(acme.installerCalls[0].oemIsNull);
  EXPECT_EQ(acme.installerCalls[0].oem, "acme");
  EXPECT_EQ(acme.installerCalls[1].oem, "acme");
}

TEST_F(UpdateRunDetails, AnOwnPathThatDoesNotFitIsNoPath) {
  platform.ownPath = "C:\\" + std::string(300, 'd') + "\\wqdupdate.exe";
  UpdateRun run(platform, platform.instance, scriptedVerifier);
  run.run("/silent");
  EXPECT_EQ(verifiedPath, "");

  FakePlatform failing;
  failing.addProgramStrings();
  failing.ownPathFails = true;
  UpdateRun second(failing, failing.instance, scriptedVerifier);
  second.run("");
  EXPECT_EQ(verifiedPath, "");
}

TEST_F(UpdateRunDetails, TheRealVerifierRejectsAnUnsignedProgram) {
  const std::string program = scratch.path() + "/unsigned.exe";
  ASSERT_TRUE(writeFile(program, "MZ" + std::string(4096, '\x90')));
  platform.ownPath = program;
  UpdateRun run(platform, platform.instance);
  EXPECT_EQ(run.run("/silent"), RunState::ArchiveBroken);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, kBroken);
  EXPECT_EQ(platform.boxes[0].style, kError);
}

TEST_F(UpdateRunDetails, EachRunStartsFromThePresets) {
  UpdateRun first(platform, platform.instance, scriptedVerifier);
  const std::string commandLine = "/silent /oem acme /sfxstorage \"" + storage + "\"";
  EXPECT_EQ(first.run(commandLine.c_str()), RunState::NotInstalled);  // no acme key
  EXPECT_TRUE(platform.boxes.empty());

  UpdateRun second(platform, platform.instance, scriptedVerifier);
  const std::string plain = "/sfxstorage \"" + storage + "\"";
  EXPECT_EQ(second.run(plain.c_str()), RunState::Completed);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, kUpdated);
}

struct BuildCase {
  int line;
  int32_t build;
  const char* text;
};

TEST(PlaceholderValues, FormattedExactly) {
  const BuildCase builds[] = {
      {__LINE__, 892, "4.7.892"}, {__LINE__, 797, "4.7.797"},
      {__LINE__, 796, "4.6.796"}, {__LINE__, 581, "4.6.581"},
      {__LINE__, 580, "4.5.580"}, {__LINE__, 502, "4.5.502"},
      {__LINE__, 501, "4.1.501"}, {__LINE__, 0, "4.1.0"},
      {__LINE__, -1, "4.1.-1"},   {__LINE__, 0x7FFFFFFF, "4.7.2147483647"},
  };
  for (const BuildCase& c : builds) {
    EXPECT_EQ(formatInstalledBuild(c.build), c.text) << "row at line " << c.line;
  }
  EXPECT_EQ(formatInstalledVersion(-1), "?");
  EXPECT_EQ(formatInstalledVersion(0x0701E2), "000701-E2");
  EXPECT_EQ(formatInstalledVersion(0), "000000-00");
  EXPECT_EQ(formatInstalledVersion(static_cast<int32_t>(0x80ABCDEF)), "00ABCD-EF");
  EXPECT_EQ(formatPackageVersion(0x0701E2), "0701-E2");
  EXPECT_EQ(formatPackageVersion(-1), "FFFF-FF");
  EXPECT_EQ(formatPackageVersion(0x000A0B0C), "0A0B-0C");
  EXPECT_EQ(formatPackageBuild(-1), "4.7.-1");
  EXPECT_EQ(formatPackageBuild(static_cast<int32_t>(0x80000000)), "4.7.-2147483648");
  EXPECT_EQ(formatCode(2), "0x00000002");
  EXPECT_EQ(formatCode(0xFFFFFFFF), "0xFFFFFFFF");
  EXPECT_EQ(formatCode(0x2000000a), "0x2000000A");
}

}  // namespace
