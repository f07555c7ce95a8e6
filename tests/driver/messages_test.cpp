#include "driver/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "test_text.h"

namespace {

TEST(CollapseLanguage, OnlyCzechAndSlovakGiveCzech) {
  EXPECT_EQ(collapseLanguage(1029), 1029);
  EXPECT_EQ(collapseLanguage(1051), 1029);
  EXPECT_EQ(collapseLanguage(1033), 1033);
  EXPECT_EQ(collapseLanguage(1031), 1033);
  EXPECT_EQ(collapseLanguage(0x0405 | 0x0800), 1033);  // a Czech sublanguage that has no table
  EXPECT_EQ(collapseLanguage(0), 1033);
}

struct DefaultLanguageCase {
  int line;
  uint16_t userLanguage;
  uint16_t chosen;
  uint16_t collapsed;
};

TEST(ChooseDefaultLanguage, FollowsThePrimaryLanguage) {
  const DefaultLanguageCase cases[] = {
      {__LINE__, 0x0405, 1029, 1029},  // Czech
      {__LINE__, 0x041B, 1029, 1029},  // Slovak
      {__LINE__, 0x0807, 1031, 1033},  // German (Switzerland)
      {__LINE__, 0x0C0A, 1034, 1033},  // Spanish (modern sort)
      {__LINE__, 0x040C, 1036, 1033},  // French
      {__LINE__, 0x0410, 1040, 1033},  // Italian
      {__LINE__, 0x0813, 1043, 1033},  // Dutch (Belgium)
      {__LINE__, 0x0415, 1045, 1033},  // Polish
      {__LINE__, 0x0409, 1033, 1033},  // English
      {__LINE__, 0x0416, 1033, 1033},  // Portuguese: no entry of its own
      {__LINE__, 0x0000, 1033, 1033}, {__LINE__, 0xFC05, 1029, 1029},  // only the low 10 bits count
  };
  for (const DefaultLanguageCase& c : cases) {
    EXPECT_EQ(languageForUserDefault(c.userLanguage), c.chosen) << "row at line " << c.line;
    FakePlatform platform;
    platform.userLanguage = c.userLanguage;
    uiLanguage = 0;
    chooseDefaultLanguage(platform);
    EXPECT_EQ(uiLanguage, c.collapsed) << "row at line " << c.line;
  }
}

class LoadMessage : public ::testing::Test {
 protected:
  void SetUp() override { platform.addProgramStrings(); }

  // Looks id up into a buffer of size bytes filled with 'X' beforehand, and checks that
  // nothing past the terminating zero of what was written was touched.
  std::string load(uint32_t id, uint16_t language, uint32_t size, uint32_t* count) {
    std::vector<char> buffer(size + 16, 'X');
    *count = loadMessage(platform, platform.instance, id, buffer.data(), size, language);
    EXPECT_LE(*count + 1, size == 0 ? 1 : size);
    for (size_t i = size; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], 'X') << "byte " << i << " past the buffer was written";
    }
    if (size == 0) return std::string();
    EXPECT_EQ(buffer[*count], '\0');
    return std::string(buffer.data(), *count);
  }

  FakePlatform platform;
};

TEST_F(LoadMessage, ConvertsToTheAnsiCodePage) {
  platform.codePage = 1250;
  uint32_t count = 0;
  const std::string text = load(257, 1029, 32768, &count);
  EXPECT_EQ(printable(text), printable("Datab\xE1ze WQD je ji\x9E aktu\xE1ln\xED."));
  EXPECT_EQ(count, 29u);  // the terminating zero is not counted
  ASSERT_EQ(platform.conversions.size(), 1u);
  EXPECT_EQ(platform.conversions[0].codePage, 1250u);
  EXPECT_EQ(platform.conversions[0].flags, 0x220u);
  ASSERT_FALSE(platform.resourceModules.empty());
  EXPECT_EQ(platform.resourceModules.back(), platform.instance);
}

TEST_F(LoadMessage, FindsEveryEntryOfABlock) {
  // Entry 0 and entry 15 of one block, beside empty entries.
  platform.addStrings(1033, {{0x300, "first"}, {0x30F, "last"}, {0x305, "middle"}});
  uint32_t count = 0;
  EXPECT_EQ(load(0x300, 1033, 100, &count), "first");
  EXPECT_EQ(load(0x30F, 1033, 100, &count), "last");
  EXPECT_EQ(load(0x305, 1033, 100, &count), "middle");
  EXPECT_EQ(load(0x301, 1033, 100, &count), "");
  EXPECT_EQ(count, 0u);
}

TEST_F(LoadMessage, MissesGiveZeroAndAnEmptyText) {
  struct Miss {
    int line;
    uint32_t id;
    uint16_t language;
  };
  const Miss misses[] = {
      {__LINE__, 131, 1033},            // an empty entry in the block of the captions
      {__LINE__, 259, 1029},            // an id the tables leave out
      {__LINE__, 300, 1033},            // a block the tables do not have
      {__LINE__, 257, 1031},            // no fallback from German to English
      {__LINE__, 257, 1051},            // nor from Slovak to Czech
      {__LINE__, 257, 0},               // nor from the neutral language
      {__LINE__, 0x10000 + 257, 1033},  // the block number is 16 bits: this is block 0x1011
  };
  for (const Miss& miss : misses) {
    uint32_t count = 1;
    EXPECT_EQ(load(miss.id, miss.language, 64, &count), "") << "row at line " << miss.line;
    EXPECT_EQ(count, 0u) << "row at line " << miss.line;
  }
}

TEST_F(LoadMessage, ATextMustFitWithItsZero) {
  uint32_t count = 0;
  // "Error" needs 6 bytes.
  EXPECT_EQ(load(128, 1033, 6, &count), "Error");
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(load(128, 1033, 5, &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(load(128, 1033, 1, &count), "");
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(load(128, 1033, 0, &count), "");
  EXPECT_EQ(count, 0u);
}

TEST_F(LoadMessage, FailedConversionOrLoadGivesNothing) {
  uint32_t count = 1;
  platform.conversionFails = true;
  EXPECT_EQ(load(128, 1033, 64, &count), "");
  EXPECT_EQ(count, 0u);
  platform.conversionFails = false;
  platform.resourceLoadFails = true;
  EXPECT_EQ(load(128, 1033, 64, &count), "");
  EXPECT_EQ(count, 0u);
}

TEST_F(LoadMessage, StaysInsideAMalformedBlock) {
  // Block 0x41 (ids 0x400..0x40F): entry 0 says 300 units but the block ends long before.
  std::vector<uint16_t> truncated = {300, 'a', 'b'};
  platform.stringBlocks[{1033, 0x41}] = truncated;
  // Block 0x42 (ids 0x410..): one complete entry of two units, then the block ends.
  platform.stringBlocks[{1033, 0x42}] = {2, 'o', 'k'};
  // Block 0x43 (ids 0x420..): empty.
  platform.stringBlocks[{1033, 0x43}] = {};
  uint32_t count = 1;
  EXPECT_EQ(load(0x400, 1033, 64, &count), "");
  EXPECT_EQ(load(0x401, 1033, 64, &count), "");
  EXPECT_EQ(load(0x410, 1033, 64, &count), "ok");
  EXPECT_EQ(load(0x411, 1033, 64, &count), "");
  EXPECT_EQ(load(0x420, 1033, 64, &count), "");
}

TEST(FindStringEntry, ChecksEveryLengthAgainstTheBlock) {
  // 2 units "ab", empty, 1 unit "c"
  const uint16_t block[] = {2, 'a', 'b', 0, 1, 'c'};
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(block);
  const uint16_t* units = nullptr;
  uint32_t count = 0;
  ASSERT_TRUE(findStringEntry(bytes, sizeof(block), 0, &units, &count));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(units[0], 'a');
  EXPECT_FALSE(findStringEntry(bytes, sizeof(block), 1, &units, &count));
  ASSERT_TRUE(findStringEntry(bytes, sizeof(block), 2, &units, &count));
  EXPECT_EQ(units[0], 'c');
  EXPECT_FALSE(findStringEntry(bytes, sizeof(block), 3, &units, &count));
  EXPECT_FALSE(findStringEntry(bytes, sizeof(block) - 1, 2, &units, &count));
  EXPECT_FALSE(findStringEntry(bytes, sizeof(block), 16, &units, &count));
  EXPECT_FALSE(findStringEntry(nullptr, 0, 0, &units, &count));
}

TEST(ReplaceAll, ReplacesEveryOccurrence) {
  std::string text = "from %OLDVER% to %OLDVER%.";
  replaceAll(text, "%OLDVER%", "000701-E2");
  EXPECT_EQ(text, "from 000701-E2 to 000701-E2.");

  text = "no placeholder here";
  replaceAll(text, "%OLDVER%", "x");
  EXPECT_EQ(text, "no placeholder here");

  text = "%A%%A%";
  replaceAll(text, "%A%", "");
  EXPECT_EQ(text, "");

  // A value that holds the placeholder is not searched again.
  text = "[%A%]";
  replaceAll(text, "%A%", "%A%%A%");
  EXPECT_EQ(text, "[%A%%A%]");

  text = "%NSVER%";
  replaceAll(text, "%NSVER%", "a much longer value than the placeholder");
  EXPECT_EQ(text, "a much longer value than the placeholder");

  text = "%nsver% %NSVER";
  replaceAll(text, "%NSVER%", "x");
  EXPECT_EQ(text, "%nsver% %NSVER");
}

TEST(ReplaceAll, AbsentOrEmptyArgumentsChangeNothing) {
  std::string text = "keep %A%";
  replaceAll(text, nullptr, "x");
  replaceAll(text, "%A%", nullptr);
  replaceAll(text, "", "x");
  replaceAll(text, "", "");
  EXPECT_EQ(text, "keep %A%");
}

}  // namespace
