#include "driver/installation.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/component_record.h"
#include "fake_platform.h"

namespace {

constexpr char kKey[] = "Software\\Mendrik Software\\Teskor\\4.0";

TEST(ProductKeyPath, WithAndWithoutOem) {
  EXPECT_EQ(productKeyPath(""), "Software\\Mendrik Software\\Teskor\\4.0");
  EXPECT_EQ(productKeyPath("acme"), "Software\\Mendrik Software\\Teskor\\acme\\4.0");
}

struct JoinCase {
  int line;
  const char* folder;
  const char* name;
  const char* path;
};

TEST(JoinPath, OneBackslashBetween) {
  const JoinCase cases[] = {
      {__LINE__, "", "prod-qn_pro.wqu", "prod-qn_pro.wqu"},
      {__LINE__, "C:\\upd", "prod-qn_pro.wqu", "C:\\upd\\prod-qn_pro.wqu"},
      {__LINE__, "C:\\upd\\", "prod-qn_pro.wqu", "C:\\upd\\prod-qn_pro.wqu"},
      {__LINE__, "C:\\upd", "\\name", "C:\\upd\\name"},
      {__LINE__, "C:\\upd\\", "\\name", "C:\\upd\\\\name"},
      {__LINE__, "C:\\Prog\\setup\\", "setup.ini", "C:\\Prog\\setup\\setup.ini"},
      {__LINE__, "C:\\upd", "", "C:\\upd\\"},
      {__LINE__, "", "", ""},
  };
  for (const JoinCase& c : cases) {
    EXPECT_EQ(joinPath(c.folder, c.name), c.path) << "row at line " << c.line;
  }
}

TEST(SetupFolder, AlwaysAppendsSetup) {
  EXPECT_EQ(setupFolderOf("C:\\Prog"), "C:\\Prog\\setup\\");
  EXPECT_EQ(setupFolderOf("C:\\Prog\\"), "C:\\Prog\\\\setup\\");
  EXPECT_EQ(joinPath(setupFolderOf("C:\\Prog"), "setup.ini"), "C:\\Prog\\setup\\setup.ini");
}

class RegistryRead : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every read opens its key itself and closes it before it returns.
    EXPECT_EQ(platform.openKeyCount, 0);
    for (uint32_t access : platform.openAccess) EXPECT_EQ(access, 0x20019u);
  }
  FakePlatform platform;
};

TEST_F(RegistryRead, TextUpToTheFirstZero) {
  platform.setText(kKey, "Teskor4ProgramFolder", "C:\\Prog");
  platform.setValue(kKey, "NoZero", kRegBinary, {'a', 'b', 'c'});
  platform.setValue(kKey, "Inner", kRegSz, {'a', 0, 'b', 0});
  platform.setValue(kKey, "Empty", kRegSz, {});
  platform.setNumber(kKey, "Number", 0x00434241);

  std::string text = "preset";
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, kKey, "Teskor4ProgramFolder", &text), 0);
  EXPECT_EQ(text, "C:\\Prog");
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, kKey, "NoZero", &text), 0);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, kKey, "Inner", &text), 0);
  EXPECT_EQ(text, "a");
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, kKey, "Empty", &text), 0);
  EXPECT_EQ(text, "");
  // The type is not checked: a number's bytes up to its first zero byte.
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, kKey, "Number", &text), 0);
  EXPECT_EQ(text, "ABC");
  EXPECT_EQ(platform.openedKeys.size(), 5u);
}

TEST_F(RegistryRead, FailureLeavesTheTextAndReportsTheError) {
  platform.addKey(kKey);
  std::string text = "preset";
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, kKey, "Missing", &text),
            static_cast<int32_t>(kFakeErrorFileNotFound));
  EXPECT_EQ(text, "preset");
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, "Software\\Nothing", "Product", &text),
            static_cast<int32_t>(kFakeErrorFileNotFound));
  EXPECT_EQ(text, "preset");
}

TEST_F(RegistryRead, KeyPathsAndNamesIgnoreCase) {
  platform.setText(kKey, "Product", "qn_srv");
  std::string text;
  EXPECT_EQ(readRegistryText(platform, kHkeyLocalMachine, "SOFTWARE\\mendrik software\\TESKOR\\4.0",
                             "product", &text),
            0);
  EXPECT_EQ(text, "qn_srv");
}

struct NumberCase {
  int line;
  uint32_t type;
  std::vector<uint8_t> data;
  int32_t error;
  int32_t number;
};

TEST_F(RegistryRead, NumberNeedsExactlyFourBytes) {
  const NumberCase cases[] = {
      {__LINE__, kRegDword, {0x7C, 0x03, 0, 0}, 0, 892},
      {__LINE__, kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, 0, -1},
      {__LINE__, kRegDword, {0x04, 0x03, 0x02, 0x81}, 0, static_cast<int32_t>(0x81020304)},
      // The type is not checked.
      {__LINE__, kRegSz, {'8', '9', '2', 0}, 0, 0x00323938},
      {__LINE__, kRegBinary, {0x7C, 0x03, 0, 0}, 0, 892},
      // Any other length reads as missing, and the preset stays.
      {__LINE__, kRegBinary, {0x7C, 0x03}, kErrorInvalidData, 12345},
      {__LINE__, kRegBinary, {}, kErrorInvalidData, 12345},
      {__LINE__, kRegBinary, {1, 2, 3, 4, 5, 6, 7, 8}, kErrorInvalidData, 12345},
      {__LINE__, kRegSz, {'8', 0}, kErrorInvalidData, 12345},
  };
  for (const NumberCase& c : cases) {
    platform.setValue(kKey, "SetupVersion", c.type, c.data);
    int32_t number = 12345;
    EXPECT_EQ(readRegistryNumber(platform, kHkeyLocalMachine, kKey, "SetupVersion", &number),
              c.error)
        << "row at line " << c.line;
    EXPECT_EQ(number, c.number) << "row at line " << c.line;
  }
  int32_t number = 12345;
  EXPECT_EQ(readRegistryNumber(platform, kHkeyLocalMachine, kKey, "Missing", &number),
            static_cast<int32_t>(kFakeErrorFileNotFound));
  EXPECT_EQ(readRegistryNumber(platform, kHkeyLocalMachine, "Software\\None", "X", &number),
            static_cast<int32_t>(kFakeErrorFileNotFound));
  EXPECT_EQ(number, 12345);
}

class SetupIni : public ::testing::Test {
 protected:
  void SetUp() override { resetComponentRecords(); }
  void TearDown() override { resetComponentRecords(); }
  FakePlatform platform;
};

TEST_F(SetupIni, AsksForTheFourKeysAndFillsTheTwoRecords) {
  platform.iniFiles["C:\\Prog\\setup\\setup.ini"] =
      "[Other]\npart.wqd=other-1\n[Parts]\npart.program=program-0380\npart.wqd=x-0701E2\n"
      "part.news=news-5\npart.setup=setup-037C\n";
  readSetupIni(platform, "C:\\Prog\\setup\\");
  ASSERT_EQ(platform.profileReads.size(), 4u);
  const char* keys[] = {"part.program", "part.wqd", "part.news", "part.setup"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(platform.profileReads[i].section, "Parts");
    EXPECT_EQ(platform.profileReads[i].key, keys[i]);
    EXPECT_EQ(platform.profileReads[i].defaultText, "");
    EXPECT_EQ(platform.profileReads[i].size, 32768u);
    EXPECT_EQ(platform.profileReads[i].fileName, "C:\\Prog\\setup\\setup.ini");
  }
  EXPECT_EQ(componentRecord(1)->installedName, "x");
  EXPECT_EQ(componentRecord(1)->installedVersion, 0x0701E2);
  EXPECT_EQ(componentRecord(3)->installedName, "setup");
  EXPECT_EQ(componentRecord(3)->installedVersion, 0x037C);
}

TEST_F(SetupIni, MissingFileOrKeyLeavesVersionsAtNone) {
  readSetupIni(platform, "C:\\Nowhere\\setup\\");
  EXPECT_EQ(componentRecord(1)->installedVersion, -1);
  EXPECT_EQ(componentRecord(3)->installedVersion, -1);

  platform.iniFiles["C:\\Prog\\setup\\setup.ini"] = "[Parts]\npart.setup=setup-1\n";
  readSetupIni(platform, "C:\\Prog\\setup\\");
  EXPECT_EQ(componentRecord(1)->installedVersion, -1);
  EXPECT_EQ(componentRecord(3)->installedVersion, 1);
}

TEST_F(SetupIni, AValueLongerThanTheBufferIsCutSafely) {
  platform.iniFiles["C:\\Prog\\setup\\setup.ini"] =
      "[Parts]\npart.wqd=" + std::string(40000, 'n') + "-10\n";
  readSetupIni(platform, "C:\\Prog\\setup\\");
  // The value lost its "-10", so it has no '-' any more.
  EXPECT_EQ(componentRecord(1)->installedVersion, -1);
  EXPECT_EQ(componentRecord(1)->installedName, "");
}

}  // namespace
