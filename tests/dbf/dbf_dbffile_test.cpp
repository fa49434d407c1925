#include "dbf/dbf_dbffile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "dbf/dbf_common.h"
#include "platform/exceptions.h"
#include "platform/settings.h"
#include "platform/system.h"
#include "support/dbf_builder.h"
#include "support/fake_index.h"
#include "support/test_util.h"

using namespace dbf;
using testing_util::DbfBuilder;
using testing_util::FieldSpec;
using testing_util::ReadBytes;
using testing_util::TempDir;
using testing_util::WriteBytes;

namespace {

std::unique_ptr<TDbfFile> OpenTable(const std::string& path, TPagedFileMode mode = pfReadOnly) {
  auto table = std::make_unique<TDbfFile>(path);
  table->SetMode(mode);
  table->Open();
  return table;
}

// The error message Open raises, or "force close" when it declines without one.
std::string OpenOutcome(const std::string& path) {
  try {
    auto table = OpenTable(path);
    return table->ForceClose() ? "force close" : "opened";
  } catch (const platform::EDbfError& error) {
    return error.what();
  }
}

const std::vector<FieldSpec> kTwoFields = {{"NAME", 'C', 10}, {"QTY", 'N', 5}};

}  // namespace

TEST(DbfFile, VersionBytesGiveLevels) {
  struct Case {
    uint8_t versionByte, languageId, version;
    int level;
  } const kCases[] = {
      {0x03, 0x00, 2, 3},  {0x03, 0x57, 3, 4},  {0x83, 0x00, 2, 3},  {0x83, 0x57, 3, 4},
      {0x8B, 0x00, 2, 3},  {0x8B, 0x57, 3, 4},  {0x04, 0x00, 6, 7},  {0x8C, 0x00, 6, 7},
      {0x05, 0x00, 5, 25}, {0xF5, 0x03, 5, 25}, {0x30, 0x03, 5, 25}, {0x31, 0x00, 5, 25},
      {0x32, 0x00, 5, 25}, {0x02, 0x00, 5, 25}, {0x00, 0x00, 0, 0},  {0x01, 0x00, 0, 0},
      {0x06, 0x57, 0, 0},  {0x07, 0x00, 0, 0},  {0xFF, 0x00, 0, 0},  {0x40, 0x00, 0, 0},
  };
  TempDir dir;
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.versionByte) << "/" << int(c.languageId));
    EXPECT_EQ(DbfVersionFromHeader(c.versionByte, c.languageId), c.version);
    EXPECT_EQ(TableLevelOfVersion(c.version), c.level);
    const std::string path = dir.File("t.dbf");
    DbfBuilder(c.versionByte, kTwoFields, c.languageId).Record({"a", "1"}).Write(path);
    if (c.version == 0) {
      EXPECT_EQ(OpenOutcome(path), "Invalid DBF file.");
      continue;
    }
    auto table = OpenTable(path);
    EXPECT_EQ(table->DbfVersion(), c.version);
    EXPECT_EQ(table->FieldDefs().DbfVersion(), c.version);
    EXPECT_EQ(table->GetRecordCount(), 1);
    EXPECT_EQ(table->GetMemoExt(), c.version == 5 ? ".fpt" : ".dbt");
  }
}

TEST(DbfFile, DescriptorsGiveOffsetsAndSizes) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  // A C field of 272 characters (length byte 0x10, decimal byte 0x01), an N(25) decoded over
  // 20 characters, and a lower-case lock field; then a FoxPro area of 263 bytes that is not
  // interpreted.
  DbfBuilder(
      0x30,
      {{"long", 'C', 0x10, 0x01}, {"big", 'N', 25}, {"_dbaselock", 'C', 16}, {"flag", 'L', 1}},
      0x03)
      .ExtraHeader(std::vector<uint8_t>(263, 'x'))
      .Record({"text", "1234567890123456789012345", "", "T"})
      .Write(path);
  auto table = OpenTable(path);
  const TDbfFieldDefs& defs = table->FieldDefs();
  ASSERT_EQ(defs.Count(), 4);
  EXPECT_EQ(defs.Items(0).FieldName, "LONG");
  EXPECT_EQ(defs.Items(0).Size(), 272);
  EXPECT_EQ(defs.Items(1).FOffset, 273);
  EXPECT_EQ(defs.Items(1).Size(), 20);
  EXPECT_EQ(defs.Items(2).FOffset, 298);  // the N field's 25 stored bytes count
  EXPECT_EQ(defs.Items(3).FOffset, 314);
  EXPECT_EQ(table->GetRecordSize(), 315);

  EXPECT_TRUE(table->HasLockField());
  EXPECT_TRUE(defs.Items(2).FIsLockField);
  EXPECT_EQ(table->LockField(), 298);
  EXPECT_EQ(table->LockFieldLen(), 16);
  EXPECT_EQ(table->LockUserLen(),
            std::min<int32_t>(8, int32_t(DbfGlobals().ComputerName().size())));

  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  ASSERT_EQ(table->ReadRecord(1, record.data()), table->GetRecordSize());
  double big = 0;
  ASSERT_TRUE(table->GetFieldData(1, ftFloat, &big, record.data()));
  EXPECT_EQ(big, 12345678901234567890.0);
  int16_t flag = 0;
  ASSERT_TRUE(table->GetFieldData(3, ftBoolean, &flag, record.data()));
  EXPECT_EQ(flag, 1);

  EXPECT_EQ(table->GetFieldInfo("Big"), &table->FieldDefs().Items(1));
  EXPECT_EQ(table->GetFieldInfo("missing"), nullptr);
}

TEST(DbfFile, Dbase7DescriptorsPropertiesAndLanguageName) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  DbfBuilder builder(0x04, {{"Id", '+', 4, 0, 7}, {"Amount", 'N', 6, 2}, {"Name", 'C', 4}});
  // Properties block right after the terminator: count, offset of the first descriptor.
  std::vector<uint8_t> block(16, 0);
  block[0] = 6;   // six property descriptors
  block[2] = 16;  // the first follows the block's own header
  auto property = [&](uint16_t fieldNo, uint8_t kind, uint16_t valueOffset, uint16_t length) {
    std::vector<uint8_t> d(15, 0);
    d[2] = uint8_t(fieldNo);
    d[4] = kind;
    d[11] = uint8_t(valueOffset), d[12] = uint8_t(valueOffset >> 8);
    d[13] = uint8_t(length);
    block.insert(block.end(), d.begin(), d.end());
  };
  const uint16_t values = 16 + 6 * 15;
  property(3, 1, 0, 0);           // NAME required
  property(2, 4, values, 6);      // AMOUNT default "  1.50"
  property(3, 2, values + 6, 9);  // NAME minimum, longer than the field: cut to 4
  property(0, 1, 0, 0);           // field 0: skipped
  property(9, 1, 0, 0);           // beyond the fields: skipped
  property(2, 3, 4000, 6);        // value outside the header: ignored
  for (const char c : std::string("  1.50abcdefghi")) block.push_back(uint8_t(c));
  builder.LanguageName("DB437US0").ExtraHeader(block).Write(path);

  auto table = OpenTable(path);
  EXPECT_EQ(table->FileCodePage(), 437);
  EXPECT_EQ(table->UseCodePage(), 437);
  EXPECT_EQ(table->GetLanguageStr(), std::string("DB437US0") + std::string(24, '\0'));
  TDbfFieldDefs& defs = table->FieldDefs();
  ASSERT_EQ(defs.Count(), 3);
  EXPECT_EQ(defs.Items(0).FieldName, "ID");
  EXPECT_EQ(defs.Items(0).FieldType(), ftAutoInc);
  EXPECT_EQ(defs.Items(0).FAutoIncValue, 7u);
  EXPECT_EQ(defs.Items(0).FAutoIncOffset, 68 + 42);
  EXPECT_TRUE(table->AutoIncPresent());
  EXPECT_FALSE(defs.Items(1).Required);
  ASSERT_TRUE(defs.Items(1).FHasDefault);
  EXPECT_FALSE(defs.Items(1).FHasMax);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(defs.Items(1).DefaultBuf()), 6), "  1.50");
  EXPECT_TRUE(defs.Items(2).Required);
  ASSERT_TRUE(defs.Items(2).FHasMin);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(defs.Items(2).MinBuf()), 4), "abcd");
}

TEST(DbfFile, CodePageComesFromTheLanguageByteOrTheDefault) {
  platform::TPlatformSettings settings;
  settings.AnsiCodePage = 1250;
  platform::SetSettings(settings);
  ResetDbfGlobals();
  TempDir dir;
  struct Case {
    uint8_t languageId;
    int32_t fileCodePage, useCodePage;
  } const kCases[] = {{0x57, 1252, 1252}, {0x26, 866, 866}, {0x00, 0, 1250}, {0xFF, 0, 1250}};
  for (const auto& c : kCases) {
    DbfBuilder(0x03, kTwoFields, c.languageId).Write(dir.File("t.dbf"));
    auto table = OpenTable(dir.File("t.dbf"));
    EXPECT_EQ(table->GetLanguageId(), c.languageId);
    EXPECT_EQ(table->FileCodePage(), c.fileCodePage);
    EXPECT_EQ(table->UseCodePage(), c.useCodePage);
    EXPECT_EQ(table->GetLanguageStr(), "");
  }
  platform::SetSettings(platform::TPlatformSettings());
  ResetDbfGlobals();
}

TEST(DbfFile, RecordCountFollowsTheFileAndIsCorrectedOnlyWhenWritable) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  DbfBuilder builder(0x03, kTwoFields, 0x57);
  builder.Record({"a", "1"}).Record({"b", "2"}).HeaderRecordCount(5);
  std::vector<uint8_t> bytes = builder.Bytes();
  bytes.back() = '?';  // a partial third record instead of the end-of-file byte
  WriteBytes(path, bytes);

  {
    auto table = OpenTable(path, pfReadOnly);
    EXPECT_EQ(table->GetRecordCount(), 2);
    EXPECT_EQ(table->HeaderRecordCount(), 2u);  // corrected in memory only
  }
  EXPECT_EQ(ReadBytes(path), bytes);

  for (const TPagedFileMode mode : {pfExclusiveOpen, pfReadWriteOpen}) {
    WriteBytes(path, bytes);
    OpenTable(path, mode).reset();
    const std::vector<uint8_t> after = ReadBytes(path);
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after[4], 2);  // the header's count
    const platform::TSystemTime now = platform::LocalTime();
    EXPECT_EQ(after[1], uint8_t(now.Year - 1900));
    EXPECT_EQ(after[2], now.Month);
    EXPECT_EQ(after[3], now.Day);
    EXPECT_EQ(after.back(), 0x1A);  // end-of-file byte after the last whole record
  }
}

TEST(DbfFile, MemoFieldsAndAMissingProductionIndex) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  DbfBuilder(0x03, {{"NOTE", 'M', 10}, {"N", 'N', 3}}, 0x57)
      .MdxFlag(1)
      .Record({"        12", "7"})
      .Write(path);
  try {
    OpenTable(path);
    ADD_FAILURE() << "opened without its memo file";
  } catch (const platform::Exception& error) {
    EXPECT_EQ(std::string(error.what()), "Open: file not found: \"" + dir.File("t.dbt") + "\".");
  }
  WriteBytes(dir.File("t.dbt"), std::vector<uint8_t>(512, 0));
  {
    auto table = OpenTable(path);
    ASSERT_NE(table->MemoFile(), nullptr);
    EXPECT_EQ(table->MemoFile()->BlockSize(), 512);
    EXPECT_TRUE(table->HasBlob());
    EXPECT_EQ(table->MemoFileName(), dir.File("t.dbt"));
    EXPECT_EQ(table->GetHeader()[0], 0x83);  // memo flag set in the header buffer
    EXPECT_EQ(table->GetHeader()[28], 0);    // link to the missing index dropped
    EXPECT_FALSE(table->ForceClose());
    std::vector<uint8_t> record(size_t(table->GetRecordSize()));
    table->ReadRecord(1, record.data());
    int32_t block = 0;
    ASSERT_TRUE(table->GetFieldData(0, ftInteger, &block, record.data()));
    EXPECT_EQ(block, 12);
  }
  TDbfFile table(path);
  table.FOnIndexMissing = [](bool& deleteLink) { deleteLink = false; };
  table.Open();
  EXPECT_TRUE(table.ForceClose());
}

TEST(DbfFile, DamagedHeadersAreRefused) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  auto base = [] { return DbfBuilder(0x03, kTwoFields, 0x57).Record({"a", "1"}); };
  struct Case {
    const char* what;
    std::function<std::vector<uint8_t>()> bytes;
    std::string outcome;
  } const kCases[] = {
      {"empty file", [] { return std::vector<uint8_t>(); }, "Invalid DBF file."},
      {"header length 0", [&] { return base().HeaderLength(0).Bytes(); }, "force close"},
      {"record length 0", [&] { return base().RecordLength(0).Bytes(); }, "force close"},
      {"header length beyond the file", [&] { return base().HeaderLength(4000).Bytes(); },
       "Invalid DBF file."},
      {"header length below the main header", [&] { return base().HeaderLength(20).Bytes(); },
       "Invalid DBF file."},
      {"no whole descriptor", [&] { return base().HeaderLength(60).Bytes(); },
       "Invalid field count: 0 (must be between 1 and 4095)."},
      {"record shorter than its fields", [&] { return base().RecordLength(12).Bytes(); },
       "Invalid DBF file."},
      {"decoded size past the record",
       [] {
         return DbfBuilder(0x03, {{"A", 'C', 2}, {"I", 'I', 1}}, 0x57).Bytes();
       },
       "Invalid DBF file."},
      {"empty field name",
       [] {
         return DbfBuilder(0x03, {{"", 'C', 2}}, 0x57).Bytes();
       },
       "Invalid DBF file."},
      {"unknown field type",
       [] {
         return DbfBuilder(0x03, {{"A", 'Q', 2}}, 0x57).Bytes();
       },
       "Invalid DBF file."},
      {"truncated inside the descriptors",
       [&] {
         auto bytes = base().Bytes();
         bytes.resize(50);
         return bytes;
       },
       "Invalid DBF file."},
      {"dBASE 7 header shorter than its main header",
       [] { return DbfBuilder(0x04, kTwoFields).HeaderLength(64).Bytes(); }, "Invalid DBF file."},
      {"descriptors without terminator use the whole header",
       [&] {
         auto bytes = base().Bytes();
         bytes[96] = 'x';  // terminator gone: the next slot is read as a descriptor
         return bytes;
       },
       "opened"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteBytes(path, c.bytes());
    EXPECT_EQ(OpenOutcome(path), c.outcome);
  }
}

TEST(DbfFile, RecordImageFollowsTheRecordSize) {
  TempDir dir;
  DbfBuilder(0x03, kTwoFields, 0x57).Write(dir.File("t.dbf"));
  auto table = OpenTable(dir.File("t.dbf"));
  ASSERT_NE(table->PrevBuffer(), nullptr);
  table->SetRecordSize(100);
  ASSERT_NE(table->PrevBuffer(), nullptr);
  table->PrevBuffer()[99] = 1;  // the buffer holds the new size (checked under ASan)
  table->SetRecordSize(0);
  EXPECT_EQ(table->PrevBuffer(), nullptr);
}

namespace {

// A table file with one more paged file standing in for an index file.
class TTableWithIndex : public TDbfFile {
 public:
  TTableWithIndex(const std::string& table, const std::string& index) : TDbfFile(table) {
    auto file = std::make_unique<testing_util::TFakeIndexFile>(index);
    file->SetMode(pfReadWriteOpen);
    file->OpenFile();
    FIndexFiles.push_back(std::move(file));
  }
  TPagedFile& Index() { return *FIndexFiles.front(); }
};

}  // namespace

TEST(DbfFile, IndexFilesFollowIntoExclusiveAccessAndBack) {
  TempDir dir;
  DbfBuilder(0x03, kTwoFields, 0x57).Write(dir.File("t.dbf"));
  WriteBytes(dir.File("t.mdx"), std::vector<uint8_t>(512, 0));
  TTableWithIndex table(dir.File("t.dbf"), dir.File("t.mdx"));
  table.SetMode(pfReadWriteOpen);
  table.Open();
  table.TryExclusive();
  EXPECT_FALSE(table.IsSharedAccess());
  EXPECT_FALSE(table.Index().IsSharedAccess());
  table.EndExclusive();
  EXPECT_EQ(table.GetMode(), pfReadWriteOpen);
  EXPECT_EQ(table.Index().GetMode(), pfReadWriteOpen);

  // Another opener keeps the table shared, and then the index is not touched.
  platform::File other(dir.File("t.dbf"), platform::FileAccess::ReadWrite,
                       platform::FileShare::DenyNone);
  table.TryExclusive();
  EXPECT_TRUE(table.IsSharedAccess());
  EXPECT_TRUE(table.Index().IsSharedAccess());
}
