// Proves both string tables complete and exact, text by text and unit by unit.
//
// On the host the tables are the string blocks that the fake builds from the shared text table.
// In the win32 tree they are the real resources of the built wqdupdate.exe beside this test
// program, loaded as a data file; there the manifest and the version block are checked too.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/messages.h"
#include "fake_platform.h"
#include "test_text.h"
#include "version.h"

#if defined(_WIN32)
#include <windows.h>

#include "driver/platform_win32.h"
#endif

namespace {

struct ExpectedText {
  uint32_t id;
  const char* english;
  const char* czech;
};

// The texts, written here once more so that the resource sources are checked against them.
const ExpectedText kExpected[] = {
    {128, "Error", "Chyba"},
    {129, "Message", "Zpráva"},
    {256, "Database updated from %OLDVER% to %NEWVER%.\n",
     "Databáze WQD byla aktualizována z verze %OLDVER% na verzi %NEWVER%.\n"},
    {257, "WQD database is already up to date.", "Databáze WQD je již aktuální."},
    {258, "Extracting from the file archive failed. It's probably broken, download again, please.",
     "Souborový archív je pravděpodobně poškozen. Stáhněte jej znovu, prosím."},
    {260,
     "teskor! 4 is probably not yet installed or the installation is broken.\nDownload full "
     "install package and reinstall, please.",
     "teskor! 4 pravděpodobně není nainstalován, nebo je instalace poškozena.\nStáhněte, prosím, "
     "plný instalační soubor a přeinstalujte."},
    {262,
     "Can't install WQD update. Please, report following errorcodes:\nVer:%OSVER%\nKV: "
     "%KVERROR%\nST: %STERROR%\nLE: %LEERROR%.",
     "Nelze nainstalovat novou verzi.\nProsím, dejte nám na vědomí tyto chybové hodnoty:\n"
     "Ver:%OSVER%\nKV: %KVERROR%\nST: %STERROR%\nLE: %LEERROR%."},
    {263, "Installer program is currently used by another process. Try again later, please.",
     "Instalační program je právě využíván jinou částí teskoru. Zkuste to za chvíli znovu, "
     "prosím."},
    {264,
     "This program updates WQD database only for program version %NSVER% or less.\nInstalled "
     "program version is %OSVER%.\nPlease download the latest wqdupdate again.",
     "Tento program slouží k aktualizaci databáze pouze do verze programu %NSVER%.\n"
     "Nainstalována je verze %OSVER%.\nStáhněte si znovu poslední verzi."},
    {265,
     "This program updates WQD database only for program version 4.7.892 or better. Please "
     "download and update program using full setup, then run wqd update again.",
     "Tento program slouží k aktualizaci databáze pouze u programu verze 4.7.892 nebo vyšší. "
     "Stáhněte plnou instalaci a zaktualizujte program, poté znovu spusťte aktualizaci databáze"},
    {266, "This WQD database is older then currently installed. You don't need to update WQD.",
     "Tato verze databáze je starší než aktuálně nainstalovaná. Aktualizace není potřeba."},
};

// The largest id looked at for stray texts: every block up to here is walked.
constexpr uint32_t kHighestIdScanned = 0x1000;

// The texts of one module, as its string-table blocks hold them.
class StringTables {
 public:
  StringTables(Platform& platform, ModuleHandle module) : platform_(platform), module_(module) {}

  // The units of id in language, or nothing (also for an empty entry).
  bool find(uint32_t id, uint16_t language, std::vector<uint16_t>* text) {
    ResourceHandle resource = platform_.findResourceEx(
        module_, kResourceTypeString, static_cast<uint16_t>((id >> 4) + 1), language);
    if (resource == nullptr) return false;
    uint32_t size = 0;
    const uint8_t* block = platform_.loadResource(module_, resource, &size);
    if (block == nullptr) return false;
    const uint16_t* units = nullptr;
    uint32_t count = 0;
    if (!findStringEntry(block, size, id & 15, &units, &count)) return false;
    text->resize(count);
    std::memcpy(text->data(), units, count * sizeof(uint16_t));
    return true;
  }

  // Checks every text of both languages and that no other id nor language has one.
  void expectExactly() {
    for (const ExpectedText& expected : kExpected) {
      std::vector<uint16_t> english;
      std::vector<uint16_t> czech;
      ASSERT_TRUE(find(expected.id, 1033, &english)) << "English " << expected.id;
      ASSERT_TRUE(find(expected.id, 1029, &czech)) << "Czech " << expected.id;
      EXPECT_EQ(english, utf16FromUtf8(expected.english)) << "English " << expected.id;
      EXPECT_EQ(czech, utf16FromUtf8(expected.czech)) << "Czech " << expected.id;
    }
    for (uint32_t id = 0; id <= kHighestIdScanned; ++id) {
      bool listed = false;
      for (const ExpectedText& expected : kExpected) listed = listed || expected.id == id;
      if (listed) continue;
      std::vector<uint16_t> text;
      EXPECT_FALSE(find(id, 1033, &text)) << "stray English text " << id;
      EXPECT_FALSE(find(id, 1029, &text)) << "stray Czech text " << id;
    }
    // Only Czech and English have tables; a lookup is by exact language. (The neutral
    // languages are left out: Windows reads them as "the thread's language".)
    const uint16_t others[] = {1031, 1051, 2057, 0x0C05, 0x0C09};
    for (uint16_t language : others) {
      for (const ExpectedText& expected : kExpected) {
        std::vector<uint16_t> text;
        EXPECT_FALSE(find(expected.id, language, &text))
            << "text " << expected.id << " in language " << language;
      }
    }
  }

 private:
  Platform& platform_;
  ModuleHandle module_;
};

TEST(ResourceTexts, SharedTableIsCompleteAndExact) {
  FakePlatform platform;
  platform.addProgramStrings();
  StringTables tables(platform, platform.instance);
  tables.expectExactly();
}

TEST(ResourceTexts, ExpectedTextsKeepTheirShape) {
  // Both texts of 256 end with a line feed; the Czech 265 has no closing full stop; the only
  // control character anywhere is the line feed.
  for (const ExpectedText& expected : kExpected) {
    for (const char* text : {expected.english, expected.czech}) {
      for (const char* at = text; *at != '\0'; ++at) {
        const unsigned char byte = static_cast<unsigned char>(*at);
        EXPECT_TRUE(byte >= 0x20 || byte == '\n') << expected.id;
      }
    }
  }
  EXPECT_EQ(std::string(kExpected[2].english).back(), '\n');
  EXPECT_EQ(std::string(kExpected[2].czech).back(), '\n');
  EXPECT_EQ(std::string(kExpected[9].czech).back(), 'e');
}

#if defined(_WIN32)

// wqdupdate.exe sits beside this test program in the build's bin folder.
std::string programBesideTest() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string own(path, length);
  return own.substr(0, own.find_last_of("\\/") + 1) + "wqdupdate.exe";
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(programBesideTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << programBesideTest();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  std::string resourceText(uint16_t type, uint16_t name, uint16_t language) {
    ResourceHandle resource = platform_.findResourceEx(module_, type, name, language);
    if (resource == nullptr) return std::string();
    uint32_t size = 0;
    const uint8_t* bytes = platform_.loadResource(module_, resource, &size);
    return bytes == nullptr ? std::string()
                            : std::string(reinterpret_cast<const char*>(bytes), size);
  }

  Win32Platform platform_;
  HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, StringTablesAreCompleteAndExact) {
  StringTables tables(platform_, module_);
  tables.expectExactly();
}

TEST_F(ProgramResources, LoadMessageDeliversAnsiText) {
  char buffer[64] = "x";
  EXPECT_EQ(loadMessage(platform_, module_, 257, buffer, sizeof(buffer), 1033), 35u);
  EXPECT_STREQ(buffer, "WQD database is already up to date.");
  EXPECT_EQ(loadMessage(platform_, module_, 128, buffer, sizeof(buffer), 1029), 5u);
  EXPECT_STREQ(buffer, "Chyba");
  EXPECT_EQ(loadMessage(platform_, module_, 131, buffer, sizeof(buffer), 1033), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(loadMessage(platform_, module_, 257, buffer, sizeof(buffer), 1031), 0u);
}

TEST_F(ProgramResources, ManifestAsksForAdministratorOnWindows7To11) {
  const std::string manifest = resourceText(24, 1, 0);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  for (const char* id :
       {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(manifest.find(id), std::string::npos) << id;
  }
}

TEST_F(ProgramResources, CarriesTheVersionOfTheVersionHeader) {
  const std::string version = resourceText(16, 1, 1033);
  // VS_FIXEDFILEINFO starts with the signature 0xFEEF04BD, the structure version and then the
  // file version as two 32-bit words, major << 16 | minor and patch << 16 | build.
  const char signature[] = {'\xBD', '\x04', '\xEF', '\xFE'};
  const size_t at = version.find(std::string(signature, 4));
  ASSERT_NE(at, std::string::npos);
  ASSERT_GE(version.size() - at, 16u);
  auto word = [&](size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, version.data() + at + offset, 4);
    return value;
  };
  EXPECT_EQ(word(8), static_cast<uint32_t>(WQD_VERSION_MAJOR << 16 | WQD_VERSION_MINOR));
  EXPECT_EQ(word(12), static_cast<uint32_t>(WQD_VERSION_PATCH << 16 | WQD_VERSION_BUILD));
}

#endif

}  // namespace
