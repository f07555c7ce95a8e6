#include "common/hex_number.h"

#include <gtest/gtest.h>

struct HexCase {
  int line;
  const char* text;
  uint32_t value;
};

TEST(ParseUnsignedHex, ReadsAs32BitStrtoul) {
  const HexCase cases[] = {
      {__LINE__, "405", 0x405},
      {__LINE__, "0x41b", 0x41B},
      {__LINE__, "0X41B", 0x41B},
      {__LINE__, "10405", 0x10405},
      {__LINE__, "CZE", 0xC},
      {__LINE__, "zz", 0},
      {__LINE__, "", 0},
      {__LINE__, "0x", 0},
      {__LINE__, "0xg", 0},
      {__LINE__, "+1f", 0x1F},
      {__LINE__, "-1", 0xFFFFFFFF},
      {__LINE__, "-0x10", 0xFFFFFFF0},
      {__LINE__, " \t405", 0x405},
      {__LINE__, "FFFFFFFF", 0xFFFFFFFF},
      {__LINE__, "100000000", 0xFFFFFFFF},
      {__LINE__, "-100000000", 0xFFFFFFFF},
      {__LINE__, "00000000000405", 0x405},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(parseUnsignedHex(c.text), c.value) << "row at line " << c.line;
  }
}

struct SignedHexCase {
  int line;
  const char* text;
  int32_t value;
};

TEST(ParseSignedHex, ReadsAs32BitStrtolClampedToTheRange) {
  const SignedHexCase cases[] = {
      {__LINE__, "0701E2", 0x0701E2},
      {__LINE__, "  -0x10", -16},
      {__LINE__, "7FFFFFFF", INT32_MAX},
      {__LINE__, "80000000", INT32_MAX},
      {__LINE__, "FFFFFFFF", INT32_MAX},
      {__LINE__, "-80000000", INT32_MIN},
      {__LINE__, "-80000001", INT32_MIN},
      {__LINE__, "123456789ABCDEF0123", INT32_MAX},
      {__LINE__, "0x", 0},
      {__LINE__, "", 0},
  };
  for (const SignedHexCase& c : cases) {
    EXPECT_EQ(parseSignedHex(c.text), c.value) << "row at line " << c.line;
  }
  EXPECT_EQ(parseSignedHex(nullptr), 0);
  EXPECT_EQ(parseUnsignedHex(nullptr), 0u);
}
