#include "driver/installer_library.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace {

constexpr char kSetup[] = "C:\\Prog\\setup\\";
constexpr char kLibrary[] = "C:\\Prog\\setup\\kovrel.dll";
constexpr char kFallback[] = "C:\\Prog\\setup\\kovrel.ovr";

class InstallerLibrary : public ::testing::Test {
 protected:
  RunState run(const std::string& oem = "", const std::string& storage = "C:\\upd") {
    return runInstallerLibrary(platform, kSetup, oem, storage, &values);
  }
  void TearDown() override {
    // Whatever happened, nothing stays loaded.
    EXPECT_EQ(platform.loadedLibraryCount, 0);
    for (uint32_t flags : platform.loadFlags) EXPECT_EQ(flags, 8u);
  }
  FakePlatform platform;
  InstallerValues values;
};

TEST_F(InstallerLibrary, BothCallsSucceed) {
  platform.libraryFiles[kLibrary] = FakeLibrary{};
  EXPECT_EQ(run(), RunState::Completed);
  EXPECT_TRUE(values.updateApplied);
  EXPECT_EQ(values.installerResult, 0);
  EXPECT_EQ(values.installerStatus, kStatusDone);
  EXPECT_EQ(values.installerLastError, 0u);
  ASSERT_EQ(platform.installerCalls.size(), 2u);
  const InstallerCall& packages = platform.installerCalls[0];
  EXPECT_EQ(packages.entry, "kovrelUpdatePackages");
  EXPECT_TRUE(packages.oemIsNull);
  EXPECT_EQ(packages.command, "/sfx /sfxstorage C:\\upd");
  EXPECT_EQ(packages.first, 1);
  EXPECT_EQ(packages.second, 2);
  EXPECT_EQ(packages.statusBefore, 0xFFFFFFFFu);
  const InstallerCall& files = platform.installerCalls[1];
  EXPECT_EQ(files.entry, "kovrelUpdateFilesEx");
  EXPECT_TRUE(files.oemIsNull);
  EXPECT_EQ(files.command, "/sfx");
  EXPECT_EQ(files.first, 1);
  EXPECT_EQ(files.second, 2);
  // The same status word, not reset between the calls.
  EXPECT_EQ(files.statusBefore, kStatusDone);
  EXPECT_EQ(platform.loadedPaths, std::vector<std::string>{kLibrary});
  EXPECT_EQ(platform.freeCount, 1);
  EXPECT_TRUE(platform.copies.empty());
}

TEST_F(InstallerLibrary, PassesTheOemNameAndAnUnquotedStorageFolder) {
  platform.libraryFiles[kLibrary] = FakeLibrary{};
  EXPECT_EQ(run("acme", "C:\\Program Files\\upd"), RunState::Completed);
  ASSERT_EQ(platform.installerCalls.size(), 2u);
  EXPECT_FALSE(platform.installerCalls[0].oemIsNull);
  EXPECT_EQ(platform.installerCalls[0].oem, "acme");
  EXPECT_EQ(platform.installerCalls[0].command, "/sfx /sfxstorage C:\\Program Files\\upd");
  EXPECT_EQ(platform.installerCalls[1].oem, "acme");
}

TEST_F(InstallerLibrary, EmptyStorageFolderEndsTheCommandWithASpace) {
  EXPECT_EQ(installerCommand(""), "/sfx /sfxstorage ");
  platform.libraryFiles[kLibrary] = FakeLibrary{};
  run("", "");
  ASSERT_FALSE(platform.installerCalls.empty());
  EXPECT_EQ(platform.installerCalls[0].command, "/sfx /sfxstorage ");
}

TEST_F(InstallerLibrary, OnlyTheFallbackPresentIsCopiedAndUsed) {
  platform.libraryFiles[kFallback] = FakeLibrary{};
  EXPECT_EQ(run(), RunState::Completed);
  ASSERT_EQ(platform.copies.size(), 1u);
  EXPECT_EQ(platform.copies[0].from, kFallback);
  EXPECT_EQ(platform.copies[0].to, kLibrary);
  EXPECT_FALSE(platform.copies[0].failIfExists);
  EXPECT_EQ(platform.loadedPaths, (std::vector<std::string>{kLibrary, kLibrary}));
  EXPECT_EQ(platform.installerCalls.size(), 2u);
}

TEST_F(InstallerLibrary, ABrokenLibraryIsOverwrittenByTheFallback) {
  FakeLibrary broken;
  broken.loads = false;
  platform.libraryFiles[kLibrary] = broken;
  platform.libraryFiles[kFallback] = FakeLibrary{};
  EXPECT_EQ(run(), RunState::Completed);
  EXPECT_EQ(platform.copies.size(), 1u);
}

TEST_F(InstallerLibrary, NoLibraryAtAllKeepsThePresets) {
  EXPECT_EQ(run(), RunState::InstallFailed);
  EXPECT_EQ(platform.copies.size(), 1u);  // tried once, result not checked
  EXPECT_EQ(platform.loadedPaths.size(), 2u);
  EXPECT_TRUE(platform.installerCalls.empty());
  EXPECT_FALSE(values.updateApplied);
  EXPECT_EQ(values.installerResult, 2);
  EXPECT_EQ(values.installerStatus, 0xFFFFFFFFu);
  EXPECT_EQ(values.installerLastError, 0u);
  EXPECT_EQ(platform.freeCount, 0);
}

TEST_F(InstallerLibrary, AMissingEntryPointRecordsTheLastError) {
  FakeLibrary noFiles;
  noFiles.hasUpdateFilesEx = false;
  platform.libraryFiles[kLibrary] = noFiles;
  EXPECT_EQ(run(), RunState::InstallFailed);
  EXPECT_EQ(values.installerLastError, kFakeErrorProcNotFound);
  EXPECT_TRUE(platform.installerCalls.empty());
  EXPECT_EQ(platform.freeCount, 1);

  FakePlatform second;
  FakeLibrary noPackages;
  noPackages.hasUpdatePackages = false;
  second.libraryFiles[kLibrary] = noPackages;
  InstallerValues other;
  EXPECT_EQ(runInstallerLibrary(second, kSetup, "", "", &other), RunState::InstallFailed);
  EXPECT_EQ(other.installerLastError, kFakeErrorProcNotFound);
  EXPECT_EQ(second.procNames, std::vector<std::string>{"kovrelUpdatePackages"});
  EXPECT_TRUE(second.installerCalls.empty());
  EXPECT_EQ(second.loadedLibraryCount, 0);
}

struct StatusCase {
  int line;
  int32_t packagesResult;
  uint32_t packagesStatus;
  int32_t filesResult;
  uint32_t filesStatus;
  RunState state;
  bool applied;
  size_t calls;
  int32_t result;
  uint32_t status;
};

TEST_F(InstallerLibrary, StatusRules) {
  const StatusCase cases[] = {
      {__LINE__, 0, kStatusDone, 0, kStatusDone, RunState::Completed, true, 2, 0, kStatusDone},
      {__LINE__, 0, kStatusDone, 0, kStatusNothingToDo, RunState::Completed, true, 2, 0,
       kStatusNothingToDo},
      {__LINE__, 0, kStatusDone, 1, kStatusDone, RunState::InstallFailed, true, 2, 1, kStatusDone},
      {__LINE__, 0, kStatusDone, 5, kStatusBusy, RunState::InstallFailed, true, 2, 5, kStatusBusy},
      {__LINE__, 0, kStatusDone, 0, 0x20000002, RunState::InstallFailed, true, 2, 0, 0x20000002},
      // Nothing to do, whatever the result.
      {__LINE__, 0, kStatusNothingToDo, 0, 0, RunState::Completed, false, 1, 0, kStatusNothingToDo},
      {__LINE__, 3, kStatusNothingToDo, 0, 0, RunState::Completed, false, 1, 3, kStatusNothingToDo},
      {__LINE__, 5, kStatusBusy, 0, 0, RunState::InstallerBusy, false, 1, 5, kStatusBusy},
      {__LINE__, 0, kStatusBusy, 0, 0, RunState::InstallFailed, false, 1, 0, kStatusBusy},
      {__LINE__, 5, kStatusDone, 0, 0, RunState::InstallFailed, false, 1, 5, kStatusDone},
      {__LINE__, -1, 0x80004005, 0, 0, RunState::InstallFailed, false, 1, -1, 0x80004005},
  };
  for (const StatusCase& c : cases) {
    FakePlatform fake;
    FakeLibrary library;
    library.packagesResult = c.packagesResult;
    library.packagesStatus = c.packagesStatus;
    library.filesResult = c.filesResult;
    library.filesStatus = c.filesStatus;
    fake.libraryFiles[kLibrary] = library;
    InstallerValues result;
    EXPECT_EQ(runInstallerLibrary(fake, kSetup, "", "C:\\upd", &result), c.state)
        << "row at line " << c.line;
    EXPECT_EQ(result.updateApplied, c.applied) << "row at line " << c.line;
    EXPECT_EQ(fake.installerCalls.size(), c.calls) << "row at line " << c.line;
    EXPECT_EQ(result.installerResult, c.result) << "row at line " << c.line;
    EXPECT_EQ(result.installerStatus, c.status) << "row at line " << c.line;
    EXPECT_EQ(fake.loadedLibraryCount, 0) << "row at line " << c.line;
  }
}

TEST_F(InstallerLibrary, AStatusTheLibraryDoesNotWriteStaysAtItsPreset) {
  FakeLibrary silent;
  silent.packagesWritesStatus = false;
  platform.libraryFiles[kLibrary] = silent;
  EXPECT_EQ(run(), RunState::InstallFailed);
  EXPECT_EQ(values.installerStatus, 0xFFFFFFFFu);
  EXPECT_EQ(values.installerResult, 0);
}

}  // namespace
