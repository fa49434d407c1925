#include "dbf/dbf_fields.h"

#include <gtest/gtest.h>

using namespace dbf;

// Descriptor values in the order the reader sets them (size, decimals, then the type), so
// the type's size rules apply last.
TEST(FieldDefs, NativeTypesGiveKindsAndSizeRules) {
  struct Case {
    char type;
    int32_t size, precision;
    bool floatFields;
    TFieldType kind;
    char native;
    int32_t checkedSize, checkedPrecision;
  } const kCases[] = {
      {'C', 272, 0, true, ftString, 'C', 272, 0},
      {'C', 65535, 0, true, ftString, 'C', 65534, 0},
      {'C', -3, 0, true, ftString, 'C', 0, 0},
      {'c', 10, 0, true, ftString, 'C', 10, 0},  // lower case is taken as upper case
      {'N', 25, 0, true, ftFloat, 'N', 20, 0},   // 25 record bytes, 20 decoded
      {'N', 5, 4, true, ftFloat, 'N', 5, 3},     // decimals at most size - 2
      {'N', 2, 1, true, ftFloat, 'N', 2, 0},
      {'N', 4, 0, true, ftSmallint, 'N', 4, 0},  // size 4 wins over the float setting
      {'N', 9, 0, true, ftFloat, 'N', 9, 0},
      {'N', 9, 0, false, ftInteger, 'N', 9, 0},
      {'N', 10, 0, false, ftLargeint, 'N', 10, 0},
      {'F', 0, 0, true, ftSmallint, 'F', 0, 0},
      {'f', 12, 3, false, ftFloat, 'F', 12, 3},
      {'L', 5, 2, true, ftBoolean, 'L', 1, 0},
      {'D', 3, 0, true, ftDate, 'D', 8, 0},
      {'T', 14, 2, true, ftDateTime, 'T', 14, 2},  // unchanged
      {'@', 4, 0, true, ftDateTime, '@', 8, 0},
      {'I', 2, 1, true, ftInteger, 'I', 4, 0},
      {'+', 4, 0, true, ftAutoInc, '+', 4, 0},
      {'O', 8, 2, true, ftFloat, 'O', 8, 0},
      {'M', 4, 0, true, ftMemo, 'M', 10, 0},
      {'b', 10, 0, true, ftBlob, 'B', 10, 0},
      {'G', 10, 0, true, ftDBaseOle, 'G', 10, 0},
      {'Q', 7, 1, true, ftUnknown, 0, 7, 1},
      {'0', 1, 0, true, ftUnknown, 0, 1, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(1, c.type) + "(" + std::to_string(c.size) + "," +
                 std::to_string(c.precision) + ")");
    TDbfFieldDefs defs;
    defs.SetUseFloatFields(c.floatFields);
    TDbfFieldDef& def = defs.Add();
    def.SetSize(c.size);
    def.SetPrecision(c.precision);
    def.SetNativeFieldType(c.type);
    EXPECT_EQ(def.FieldType(), c.kind);
    EXPECT_EQ(def.NativeFieldType(), c.native);
    EXPECT_EQ(def.Size(), c.checkedSize);
    EXPECT_EQ(def.Precision(), c.checkedPrecision);
  }
}

TEST(FieldDefs, SettingSizeReappliesTheTypesRules) {
  TDbfFieldDefs defs;
  TDbfFieldDef& def = defs.Add();
  def.SetNativeFieldType('N');
  def.SetSize(30);
  EXPECT_EQ(def.Size(), 20);
  def.SetPrecision(25);
  EXPECT_EQ(def.Precision(), 18);
  EXPECT_EQ(defs.Add().Index(), 1);
}

TEST(FieldDefs, ValueBuffersAreThirdsOfOneBlockReallocatedOnlyForANewSize) {
  TDbfFieldDefs defs;
  TDbfFieldDef& def = defs.Add();
  def.SetNativeFieldType('C');
  def.SetSize(5);
  def.AllocValueBuffers();
  ASSERT_NE(def.DefaultBuf(), nullptr);
  EXPECT_EQ(def.MinBuf(), def.DefaultBuf() + 5);
  EXPECT_EQ(def.MaxBuf(), def.DefaultBuf() + 10);
  def.DefaultBuf()[0] = 'x';
  def.AllocValueBuffers();  // same size: the values stay
  EXPECT_EQ(def.DefaultBuf()[0], 'x');
  def.SetSize(8);
  def.AllocValueBuffers();
  EXPECT_EQ(def.ValueBufSize(), 8);
  EXPECT_EQ(def.MaxBuf(), def.DefaultBuf() + 16);
}
