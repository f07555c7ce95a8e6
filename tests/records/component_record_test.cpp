#include "driver/component_record.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

TEST(ComponentNames, NumbersAndNames) {
  EXPECT_STREQ(componentName(0), "program");
  EXPECT_STREQ(componentName(1), "wqd");
  EXPECT_STREQ(componentName(2), "news");
  EXPECT_STREQ(componentName(3), "setup");
  EXPECT_EQ(componentName(-1), nullptr);
  EXPECT_EQ(componentName(kComponentCount), nullptr);
}

TEST(ComponentNames, LookupIgnoresLetterCaseOnly) {
  struct Case {
    int line;
    const char* name;
    int number;
  };
  const Case cases[] = {
      {__LINE__, "WQD", 1},      {__LINE__, "Setup", 3},  {__LINE__, "program", 0},
      {__LINE__, "NeWs", 2},     {__LINE__, "wqd ", -1},  {__LINE__, " wqd", -1},
      {__LINE__, "wq", -1},      {__LINE__, "wqdx", -1},  {__LINE__, "", -1},
      {__LINE__, "setup\t", -1}, {__LINE__, nullptr, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(componentFromName(c.name), c.number) << "line " << c.line;
  }
}

TEST(ComponentRecords, OnlyWqdAndSetupHaveRecords) {
  EXPECT_EQ(componentRecord(-1), nullptr);
  EXPECT_EQ(componentRecord(0), nullptr);
  EXPECT_NE(componentRecord(1), nullptr);
  EXPECT_EQ(componentRecord(2), nullptr);
  EXPECT_NE(componentRecord(3), nullptr);
  EXPECT_EQ(componentRecord(4), nullptr);
  EXPECT_NE(componentRecord(1), componentRecord(3));
  EXPECT_EQ(componentRecord(1), componentRecord(componentFromName("wqd")));
}

TEST(ComponentRecords, ResetRestoresThePresets) {
  for (int number : {1, 3}) {
    ComponentRecord* record = componentRecord(number);
    record->installedName = "i";
    record->installedVersion = 5;
    record->packageName = "p";
    record->packageVersion = 6;
  }
  resetComponentRecords();
  for (int number : {1, 3}) {
    const ComponentRecord* record = componentRecord(number);
    EXPECT_EQ(record->installedName, "");
    EXPECT_EQ(record->installedVersion, -1);
    EXPECT_EQ(record->packageName, "");
    EXPECT_EQ(record->packageVersion, -1);
  }
}

TEST(SetFromIniValue, NameBeforeTheFirstDashAndSignedHexAfterIt) {
  struct Case {
    int line;
    const char* text;
    const char* name;
    int32_t version;
  };
  const Case cases[] = {
      {__LINE__, "x-0701E2", "x", 0x0701E2},
      {__LINE__, "x-1-2", "x", 1},
      {__LINE__, "x-", "x", 0},
      {__LINE__, "-5", "", 5},
      {__LINE__, "wqd-2024-03", "wqd", 0x2024},
      {__LINE__, "x-FFFFFFFF", "x", INT32_MAX},
      {__LINE__, "x-7FFFFFFF", "x", INT32_MAX},
      {__LINE__, "x-80000000", "x", INT32_MAX},
      {__LINE__, "x-123456789ABCDEF0", "x", INT32_MAX},
      {__LINE__, "x-000000000000000001", "x", 1},
      {__LINE__, "x--5", "x", -5},
      {__LINE__, "x-+7", "x", 7},
      {__LINE__, "x--80000000", "x", INT32_MIN},
      {__LINE__, "x--80000001", "x", INT32_MIN},
      {__LINE__, "x- \t1a", "x", 0x1A},
      {__LINE__, "x-0x1A", "x", 0x1A},
      {__LINE__, "x-0X1a", "x", 0x1A},
      {__LINE__, "x--0x10", "x", -16},
      {__LINE__, "x-0x", "x", 0},
      {__LINE__, "x-0xZ", "x", 0},
      {__LINE__, "x-G1", "x", 0},
      {__LINE__, "x-12 34", "x", 0x12},
      {__LINE__, "a b-c", "a b", 0xC},
  };
  for (const Case& c : cases) {
    ComponentRecord record;
    record.installedName = "before";
    record.setFromIniValue(c.text);
    EXPECT_EQ(record.installedName, c.name) << "line " << c.line;
    EXPECT_EQ(record.installedVersion, c.version) << "line " << c.line;
  }
}

TEST(SetFromIniValue, WithoutADashTheNameStaysAndTheVersionIsNone) {
  for (const char* text : {"noversion", "", static_cast<const char*>(nullptr)}) {
    ComponentRecord record;
    record.installedName = "kept";
    record.installedVersion = 0x1234;
    record.setFromIniValue(text);
    EXPECT_EQ(record.installedName, "kept");
    EXPECT_EQ(record.installedVersion, -1);
  }
}

TEST(SetFromIniValue, LeavesThePackageFieldsAlone) {
  ComponentRecord record;
  record.packageName = "pkg";
  record.packageVersion = 9;
  record.setFromIniValue("x-10");
  EXPECT_EQ(record.packageName, "pkg");
  EXPECT_EQ(record.packageVersion, 9);
}
