#include "dbf/dbf_lang.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/exceptions.h"

using namespace dbf;

TEST(LangDriver, CodePagesOfHeaderBytes) {
  EXPECT_EQ(CodePageOfLangId(0x57), 1252);
  EXPECT_EQ(CodePageOfLangId(0x00), 0);  // names none: the default open code page applies
  EXPECT_EQ(CodePageOfLangId(0x03), 1252);
  EXPECT_EQ(CodePageOfLangId(0x26), 866);
  EXPECT_EQ(CodePageOfLangId(0xC8), 1250);
  EXPECT_EQ(CodePageOfLangId(0xFF), 0);
  EXPECT_FALSE(LangDriver(0x00).FoxStyle);
  EXPECT_TRUE(LangDriver(0x03).FoxStyle);
  EXPECT_FALSE(LangDriver(0x5D).FoxStyle);
  EXPECT_TRUE(LangDriver(0x5E).FoxStyle);
}

TEST(LangDriver, CodePageFromDbase7Names) {
  struct Case {
    const char* name;
    int32_t cp;
  } const kCases[] = {
      {"DBWINUS0", 1252}, {"DB437US0", 437},  {"DB1250CZ0", 1250},
      {"DBHEBREW", 1255}, {"FOXDEWIN", 1252}, {"FOXNO850", 850},
      {"DBxyzUS0", 0},    {"BGDB868", 0},     {"", 0},
      {"FOX", 0},         {"DB", 0},
  };
  for (const auto& c : kCases) {
    uint8_t header[32] = {};
    std::memcpy(header, c.name, std::strlen(c.name));
    EXPECT_EQ(CodePageFromLanguageName(header, sizeof header), c.cp) << c.name;
  }
  // A name filling all 32 bytes has no terminator; only the given bytes are read.
  uint8_t full[32];
  std::memset(full, 'D', sizeof full);
  EXPECT_EQ(CodePageFromLanguageName(full, sizeof full), 0);
}

TEST(LangDriver, ChoosingAByteForANewTable) {
  struct Case {
    int32_t cp;
    uint32_t locale;
    bool fox;
    uint8_t id;
  } const kCases[] = {
      {1252, 0x0407, false, 0x61},  // no dBASE-style entry for 1252 German: the FoxPro one
      {1252, 0x0407, true, 0x61},  {1252, 0x0409, false, 0x37},  // nothing for both; ignoring the
                                                                 // page, the last dBASE match
      {1252, 0x0409, true, 0x01},  {850, 0x0407, false, 0x10},  {437, 0x0407, true, 0x5E},
      {437, 0x0407, false, 0x0F},  {866, 0x10419, false, 0x26},  // upper half of the locale ignored
      {1252, 0x7FFF, false, 0},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(LangIdFromCodePage(c.cp, c.locale, c.fox), c.id) << c.cp << " " << c.locale;
}

TEST(LangDriver, Dbase7NamesBothWays) {
  EXPECT_EQ(LanguageDriverName(1252, 0x0407), "DBWINDE");
  EXPECT_EQ(LanguageDriverName(850, 0x0409), "DB850US0");
  EXPECT_EQ(LanguageDriverName(868, 0x0402), "BGDB868");
  EXPECT_EQ(LanguageDriverName(1252, 0x7FFF), "");  // byte 0: the no-name marker

  EXPECT_EQ(LangIdFromName("DB850US0"), 0x37);
  EXPECT_EQ(LangIdFromName("DBWINUS0"), 0x57);
  EXPECT_EQ(LangIdFromName("DB437DE0"), 0x0F);
  EXPECT_EQ(LangIdFromName("FOXDEWIN"), 0x61);
  EXPECT_EQ(LangIdFromName("DBREWREW"), 0x7D);
  EXPECT_THROW(LangIdFromName("DBxyzUS0"), platform::EConvertError);
  EXPECT_THROW(LangIdFromName(""), platform::EConvertError);
}
