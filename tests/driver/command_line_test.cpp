#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/messages.h"

namespace {

struct TokenCase {
  int line;
  const char* commandLine;
  std::vector<std::string> tokens;
};

TEST(TokenizeCommandLine, SplitsAsTheThreeStatesSay) {
  const TokenCase cases[] = {
      {__LINE__, "", {}},
      {__LINE__, "   \t ", {}},
      {__LINE__, "/silent", {"/silent"}},
      {__LINE__, "  a  b\tc ", {"a", "b", "c"}},
      {__LINE__,
       "/sfxstorage \"C:\\Program Files\\upd\"",
       {"/sfxstorage", "C:\\Program Files\\upd"}},
      {__LINE__,
       "/sfxstorage C:\\Program Files\\upd",
       {"/sfxstorage", "C:\\Program", "Files\\upd"}},
      // A byte of 0x80 or above separates tokens outside quotes...
      {__LINE__, "/oem Fran\xE7ois", {"/oem", "Fran", "ois"}},
      // ...but belongs to a quoted token, as every other byte does.
      {__LINE__, "\"Fran\xE7ois\tx\"", {"Fran\xE7ois\tx"}},
      {__LINE__, "\"\"", {""}},
      {__LINE__, "/oem \"\" /silent", {"/oem", "", "/silent"}},
      {__LINE__, "a\"b", {"a\"b"}},
      {__LINE__, "a\"b c\"", {"a\"b", "c\""}},
      // A quoted token ends at its quote even without a separator after it.
      {__LINE__, "\"a\"b", {"a", "b"}},
      {__LINE__, "\"unclosed token", {"unclosed token"}},
      {__LINE__, "plain", {"plain"}},
      {__LINE__, "\x01x\x7Fy\x1F", {"x", "y"}},
  };
  for (const TokenCase& c : cases) {
    EXPECT_EQ(tokenizeCommandLine(c.commandLine), c.tokens) << "row at line " << c.line;
  }
  EXPECT_TRUE(tokenizeCommandLine(nullptr).empty());
}

struct ProgramNameCase {
  int line;
  const char* processLine;
  const char* arguments;
};

TEST(ArgumentsAfterProgramName, LeavesNothingOfTheName) {
  const ProgramNameCase cases[] = {
      {__LINE__, "C:\\upd\\wqdupdate.exe /silent", "/silent"},
      {__LINE__, "\"C:\\Program Files\\wqdupdate.exe\" /silent x", "/silent x"},
      {__LINE__, "C:\\\"Program Files\"\\wqdupdate.exe\t /oem acme", "/oem acme"},
      // A byte of 0x80 or above is part of an unquoted name, not the end of it.
      {__LINE__,
       "C:\\Sta\x9E"
       "n\xE9\\wqdupdate.exe /lang cze",
       "/lang cze"},
      {__LINE__, "C:\\Upd\xE1-silent", ""},
      {__LINE__, "C:\\Upd\xE1/oem /silent", "/silent"},
      {__LINE__, "wqdupdate.exe", ""},
      {__LINE__, "wqdupdate.exe   ", ""},
      {__LINE__, "\"unclosed name /silent", ""},
      {__LINE__, "\"\" /silent", "/silent"},
      {__LINE__, "", ""},
  };
  for (const ProgramNameCase& c : cases) {
    EXPECT_STREQ(argumentsAfterProgramName(c.processLine), c.arguments) << "row at line " << c.line;
  }
  EXPECT_STREQ(argumentsAfterProgramName(nullptr), "");
}

class ParseCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    resetCommandLineSettings();
    uiLanguage = 1033;
  }
};

struct OptionCase {
  int line;
  const char* commandLine;
  uint16_t languageBefore;
  bool silent;
  const char* storage;
  const char* oem;
  uint16_t language;
};

TEST_F(ParseCommandLine, TakesUpTheFourOptions) {
  const OptionCase cases[] = {
      {__LINE__, "", 1029, false, "", "", 1029},
      {__LINE__, "-SILENT", 1033, true, "", "", 1033},
      {__LINE__, "/Silent", 1033, true, "", "", 1033},
      {__LINE__, "-silent", 1033, true, "", "", 1033},
      {__LINE__, "/silentx", 1033, false, "", "", 1033},
      {__LINE__, "silent", 1033, false, "", "", 1033},
      {__LINE__, "\"/silent\"", 1033, true, "", "", 1033},
      {__LINE__, "/sfxstorage \"C:\\Program Files\\upd\"", 1033, false, "C:\\Program Files\\upd",
       "", 1033},
      {__LINE__, "/sfxstorage C:\\Program Files\\upd", 1033, false, "C:\\Program", "", 1033},
      {__LINE__, "-SfxStorage C:\\upd\\", 1033, false, "C:\\upd\\", "", 1033},
      {__LINE__, "/sfxstorage", 1033, false, "", "", 1033},
      {__LINE__, "/oem acme", 1033, false, "", "acme", 1033},
      {__LINE__, "/oem \"\"", 1033, false, "", "", 1033},
      // The argument is taken whatever it looks like, and is no option itself.
      {__LINE__, "/oem /silent", 1033, false, "", "/silent", 1033},
      {__LINE__, "/sfxstorage -lang /lang cze", 1033, false, "-lang", "", 1029},
      {__LINE__, "/oem a /oem b", 1033, false, "", "b", 1033},
      {__LINE__, "/oem Fran\xE7ois", 1033, false, "", "Fran", 1033},
      {__LINE__, "/lang", 1029, false, "", "", 1029},
      {__LINE__, "/lang cze", 1033, false, "", "", 1029},
      {__LINE__, "/lang sk", 1033, false, "", "", 1029},
      {__LINE__, "/lang eng", 1029, false, "", "", 1033},
      {__LINE__, "/lang ger", 1029, false, "", "", 1033},
      {__LINE__, "/lang por", 1029, false, "", "", 1033},
      // Codes are compared with case: CZE is read as the hexadecimal number 0xC.
      {__LINE__, "/lang CZE", 1029, false, "", "", 1033},
      {__LINE__, "/lang 405", 1033, false, "", "", 1029},
      {__LINE__, "/lang 0x41b", 1033, false, "", "", 1029},
      {__LINE__, "/lang 10405", 1033, false, "", "", 1029},
      {__LINE__, "/lang 409", 1029, false, "", "", 1033},
      {__LINE__, "/lang cze /lang eng", 1033, false, "", "", 1033},
      {__LINE__, "stray /SILENT tokens -oem x y", 1033, true, "", "x", 1033},
      {__LINE__, "/silent /sfxstorage \"C:\\u pd\" /oem acme /lang sk", 1033, true, "C:\\u pd",
       "acme", 1029},
  };
  for (const OptionCase& c : cases) {
    resetCommandLineSettings();
    uiLanguage = c.languageBefore;
    parseCommandLine(c.commandLine);
    EXPECT_EQ(silentMode, c.silent) << "row at line " << c.line;
    EXPECT_EQ(storageFolder, c.storage) << "row at line " << c.line;
    EXPECT_EQ(oemName, c.oem) << "row at line " << c.line;
    EXPECT_EQ(uiLanguage, c.language) << "row at line " << c.line;
  }
}

TEST_F(ParseCommandLine, EmptyLineChangesNothing) {
  silentMode = true;
  storageFolder = "kept";
  oemName = "kept too";
  uiLanguage = 1029;
  parseCommandLine("");
  parseCommandLine(nullptr);
  EXPECT_TRUE(silentMode);
  EXPECT_EQ(storageFolder, "kept");
  EXPECT_EQ(oemName, "kept too");
  EXPECT_EQ(uiLanguage, 1029);
}

TEST(LanguageForCode, TableThenLow16BitsOfTheNumber) {
  EXPECT_EQ(languageForCode("esp"), 1034);
  EXPECT_EQ(languageForCode("ita"), 1040);
  EXPECT_EQ(languageForCode("deu"), 1031);
  EXPECT_EQ(languageForCode("fre"), 1036);
  EXPECT_EQ(languageForCode("dut"), 1043);
  EXPECT_EQ(languageForCode("pol"), 1045);
  EXPECT_EQ(languageForCode("por"), 2070);
  EXPECT_EQ(languageForCode("Eng"), 0xE);
  EXPECT_EQ(languageForCode("12340405"), 0x0405);
  EXPECT_EQ(languageForCode("1FFFFFFFF"), 0xFFFF);
}

}  // namespace
