// The write side of the table file: encoding, new records, creating, appending and editing,
// with real processes for locks and real write failures.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <variant>

#include "dbf/dbf_common.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "dbf/dbf_str.h"
#include "platform/byte_order.h"
#include "platform/exceptions.h"
#include "platform/settings.h"
#include "support/fake_index.h"
#include "support/test_util.h"

using namespace dbf;
using testing_util::Child;
using testing_util::ReadBytes;
using testing_util::TempDir;
using testing_util::TFakeIndexFile;

namespace {

struct Field {
  std::string name;
  char type;
  int size = 0;
  int decimals = 0;
};

// German Windows: new tables name code page 1252.
class DbfWrite : public testing::Test {
 protected:
  void SetUp() override {
    platform::SetSettings(platform::SettingsForLocale("de_DE"));
    ResetDbfGlobals();
  }
  void TearDown() override {
    platform::SetSettings(platform::SettingsForLocale("C"));
    ResetDbfGlobals();
  }
};

void FillDefs(TDbfFieldDefs& defs, uint8_t version, const std::vector<Field>& fields) {
  defs.SetDbfVersion(version);
  for (const Field& field : fields) {
    TDbfFieldDef& def = defs.Add();
    def.FieldName = field.name;
    def.SetSize(field.size);
    def.SetPrecision(field.decimals);
    def.SetNativeFieldType(field.type);
  }
}

template <typename Table = TDbfFile>
std::unique_ptr<Table> Create(const std::string& path, uint8_t version,
                              const std::vector<Field>& fields, int32_t blockSize = 512,
                              TPagedFileMode mode = pfExclusiveCreate) {
  TDbfFieldDefs defs;
  FillDefs(defs, version, fields);
  auto table = std::make_unique<Table>(path);
  table->SetMode(mode);
  table->SetAutoCreate(true);
  table->SetDbfVersion(version);
  table->Open();
  table->CreateTable(defs, blockSize);
  return table;
}

std::unique_ptr<TDbfFile> Reopen(const std::string& path, TPagedFileMode mode) {
  auto table = std::make_unique<TDbfFile>(path);
  table->SetMode(mode);
  table->Open();
  return table;
}

std::string FieldBytes(TDbfFile& table, const std::vector<uint8_t>& record, int index) {
  const TDbfFieldDef& def = table.FieldDefs().Items(index);
  return std::string(reinterpret_cast<const char*>(record.data()) + def.FOffset,
                     static_cast<size_t>(def.Size()));
}

std::string Text(TDbfFile& table, const std::vector<uint8_t>& record, int index) {
  std::vector<char> text(size_t(table.FieldDefs().Items(index).Size()) + 1);
  if (!table.GetFieldData(index, ftString, text.data(), record.data())) return "<null>";
  return text.data();
}

template <typename T>
T Value(TDbfFile& table, const std::vector<uint8_t>& record, int index, TFieldType kind) {
  T value{};
  EXPECT_TRUE(table.GetFieldData(index, kind, &value, record.data())) << "field " << index;
  return value;
}

int32_t DayNumber(int year, int month, int day) {
  platform::TDateTime date = 0;
  platform::TryEncodeDate(year, month, day, date);
  return DateTimeToDayNumber(date);
}

std::string Memo(TDbfFile& table, const std::vector<uint8_t>& record, int index) {
  int32_t block = 0;
  if (!table.GetFieldData(index, ftInteger, &block, record.data())) return "";
  std::string memo;
  table.MemoFile()->LoadMemo(block, memo);
  return memo;
}

void StoreMemo(TDbfFile& table, std::vector<uint8_t>& record, int index, const std::string& memo) {
  int32_t block = 0;
  table.MemoFile()->StoreMemo(block, 0, memo);
  table.SetFieldData(index, ftInteger, block ? &block : nullptr, record.data());
}

const std::vector<Field> kDBase7Fields = {{"NAME", 'C', 10}, {"QTY", 'N', 5}, {"PRICE", 'N', 8, 2},
                                          {"OK", 'L'},       {"DAY", 'D'},    {"WHEN", 'T', 14},
                                          {"COUNT", 'I'},    {"ID", '+'},     {"RATE", 'O'},
                                          {"AT", '@'},       {"NOTE", 'M'}};

}  // namespace

TEST_F(DbfWrite, EncodesEveryNativeTypeAndKind) {
  TempDir dir;
  auto table = Create(dir.File("t.dbf"), kDbfVersionDBase7, kDBase7Fields);
  using Source = std::variant<std::monostate, const char*, int16_t, int32_t, int64_t, double>;
  // 29 February 2024 13:45:30 in timestamp milliseconds.
  const double stamp = (DayNumber(2024, 2, 29) * 86400.0 + 13 * 3600 + 45 * 60 + 30) * 1000;
  struct Case {
    int field;
    TFieldType kind;
    Source value;
    std::string stored;
  } const kCases[] = {
      {0, ftString, "M\xFCller", "M\xFCller    "},
      {0, ftString, "abcdefghijklm", "abcdefghij"},
      {0, ftString, std::monostate{}, std::string(10, ' ')},
      {1, ftInteger, int32_t(42), "00042"},
      {1, ftInteger, int32_t(-42), "-0042"},
      {1, ftSmallint, int16_t(7), "00007"},
      {1, ftLargeint, int64_t(99999), "99999"},
      {2, ftFloat, 3.5, "    3.50"},
      {2, ftFloat, -0.125, "   -0.13"},
      {3, ftBoolean, int16_t(1), "T"},
      {3, ftBoolean, int16_t(0), "F"},
      {4, ftDate, DayNumber(2024, 2, 29), "20240229"},
      {4, ftDateTime, stamp, "20240229"},
      {5, ftDateTime, stamp, "20240229134530"},
      {6, ftInteger, int32_t(1), std::string("\x80\x00\x00\x01", 4)},
      {6, ftInteger, int32_t(-1), std::string("\x7F\xFF\xFF\xFF", 4)},
      {6, ftInteger, int32_t(0), std::string("\x80\x00\x00\x00", 4)},
      {6, ftInteger, std::monostate{}, std::string(4, '\0')},
      {6, ftString, " -1 ", std::string("\x7F\xFF\xFF\xFF", 4)},
      {6, ftMemo, int32_t(1), "####"},  // a kind without a number writes nothing
      {7, ftAutoInc, int32_t(5), std::string("\x80\x00\x00\x05", 4)},
      {8, ftFloat, 1.0, std::string("\xBF\xF0\x00\x00\x00\x00\x00\x00", 8)},
      {8, ftFloat, -1.0, std::string("\x40\x0F\xFF\xFF\xFF\xFF\xFF\xFF", 8)},
      {8, ftFloat, 0.0, std::string("\x80\x00\x00\x00\x00\x00\x00\x00", 8)},
      {8, ftInteger, int32_t(1), std::string("\xBF\xF0\x00\x00\x00\x00\x00\x00", 8)},
      {9, ftDateTime, 1.0, std::string("\x3F\xF0\x00\x00\x00\x00\x00\x00", 8)},
      {10, ftInteger, int32_t(12), "0000000012"},
      {10, ftMemo, int32_t(12), std::string(10, '#')},  // memo kinds write nothing
  };
  std::vector<uint8_t> record(size_t(table->GetRecordSize()), '#');
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "field " << c.field << " kind " << int(c.kind));
    std::fill(record.begin(), record.end(), '#');
    const void* source = std::visit(
        [](const auto& value) -> const void* {
          using T = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<T, std::monostate>)
            return nullptr;
          else if constexpr (std::is_same_v<T, const char*>)
            return value;
          else
            return &value;
        },
        c.value);
    table->SetFieldData(c.field, c.kind, source, record.data());
    EXPECT_EQ(FieldBytes(*table, record, c.field), c.stored);
  }
}

TEST_F(DbfWrite, NumbersThatDoNotFitAreRefusedNamingTheField) {
  TempDir dir;
  auto table = Create(dir.File("t.dbf"), kDbfVersionDBase7, kDBase7Fields);
  const int32_t tooWide = 123456, tooNegative = -12345;
  const int64_t beyondInt32 = int64_t(1) << 31;
  const double tooLarge = 1e7, fraction = 2.5, notANumber = std::nan("");
  const int32_t farFuture = DayNumber(9999, 12, 31) + 1;
  struct Case {
    int field;
    TFieldType kind;
    const void* value;
    const char* name;
  } const kCases[] = {
      {1, ftInteger, &tooWide, "QTY"},        {1, ftInteger, &tooNegative, "QTY"},
      {2, ftFloat, &tooLarge, "PRICE"},       {2, ftFloat, &notANumber, "PRICE"},
      {6, ftLargeint, &beyondInt32, "COUNT"}, {6, ftFloat, &fraction, "COUNT"},
      {6, ftString, "12x", "COUNT"},          {8, ftString, "", "RATE"},
      {4, ftDate, &farFuture, "DAY"},
  };
  std::vector<uint8_t> record(size_t(table->GetRecordSize()), '#');
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    try {
      table->SetFieldData(c.field, c.kind, c.value, record.data());
      ADD_FAILURE() << "stored";
    } catch (const platform::EDbfError& error) {
      EXPECT_NE(std::string(error.what()).find(std::string("field \"") + c.name + "\""),
                std::string::npos)
          << error.what();
    }
    EXPECT_EQ(record, std::vector<uint8_t>(record.size(), '#'));  // nothing written
  }
}

TEST_F(DbfWrite, InitRecordBlanksTextNullsBinaryFieldsAndPlacesDefaults) {
  TempDir dir;
  auto table = Create(dir.File("t.dbf"), kDbfVersionDBase7, kDBase7Fields);
  TDbfFieldDef& name = table->FieldDefs().Items(0);
  name.AllocValueBuffers();
  std::memcpy(name.DefaultBuf(), "Vorgabe   ", 10);
  name.FHasDefault = true;
  std::vector<uint8_t> record(size_t(table->GetRecordSize()), '#');
  table->InitRecord(record.data());
  EXPECT_EQ(record[0], ' ');
  EXPECT_EQ(FieldBytes(*table, record, 0), "Vorgabe   ");
  EXPECT_EQ(FieldBytes(*table, record, 1), "     ");
  for (int binary : {6, 7, 8, 9}) {
    EXPECT_EQ(FieldBytes(*table, record, binary),
              std::string(size_t(table->FieldDefs().Items(binary).Size()), '\0'));
    EXPECT_FALSE(table->GetFieldData(binary, ftInteger, nullptr, record.data()));
  }
}

TEST_F(DbfWrite, NewTablesCarryVersionLanguageAndMemoHeaders) {
  struct Case {
    uint8_t version;
    bool memo;
    uint8_t versionByte, languageByte;
    const char* memoExt;
  } const kCases[] = {
      {kDbfVersionDBase3, false, 0x03, 0x00, nullptr},
      {kDbfVersionDBase3, true, 0x83, 0x00, ".dbt"},
      {kDbfVersionDBase4, false, 0x03, 0x61, nullptr},
      {kDbfVersionDBase4, true, 0x8B, 0x61, ".dbt"},
      {kDbfVersionFoxPro, false, 0x05, 0x61, nullptr},
      {kDbfVersionFoxPro, true, 0xF5, 0x61, ".fpt"},
      {kDbfVersionDBase7, false, 0x04, 0x00, nullptr},
      {kDbfVersionDBase7, true, 0x8C, 0x00, ".dbt"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "version " << int(c.version) << " memo " << c.memo);
    TempDir dir;
    std::vector<Field> fields = {{"long", 'C', 300}, {"n", 'N', 9}};
    if (c.memo) fields.push_back({"note", 'M'});
    Create(dir.File("t.dbf"), c.version, fields).reset();
    const auto bytes = ReadBytes(dir.File("t.dbf"));
    const bool dBase7 = c.version == kDbfVersionDBase7;
    const size_t first = dBase7 ? 68 : 32, size = dBase7 ? 48 : 32;
    EXPECT_EQ(bytes[0], c.versionByte);
    EXPECT_EQ(platform::GetLE32(bytes.data() + 4), 0u);
    EXPECT_EQ(platform::GetLE16(bytes.data() + 8), first + fields.size() * size + 1);
    EXPECT_EQ(platform::GetLE16(bytes.data() + 10), 1 + 300 + 9 + (c.memo ? 10 : 0));
    if (dBase7)
      EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 32), "DBWINDE");
    else
      EXPECT_EQ(bytes[29], c.languageByte);
    // A text field of 300: length byte 44, decimal byte 1; the name upper-cased.
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + first), "LONG");
    EXPECT_EQ(bytes[first + (dBase7 ? 33 : 16)], 44);
    EXPECT_EQ(bytes[first + (dBase7 ? 34 : 17)], 1);
    EXPECT_EQ(bytes[first + fields.size() * size], kDescriptorTerminator);
    EXPECT_EQ(bytes.back(), kEndOfFile);
    EXPECT_EQ(bytes.size(), first + fields.size() * size + 2);
    const std::string memoFile = dir.File(std::string("t") + (c.memoExt ? c.memoExt : ""));
    if (!c.memoExt) {
      EXPECT_FALSE(std::filesystem::exists(dir.File("t.dbt")));
      EXPECT_FALSE(std::filesystem::exists(dir.File("t.fpt")));
      continue;
    }
    const auto memo = ReadBytes(memoFile);
    ASSERT_EQ(memo.size(), 512u);
    if (c.version == kDbfVersionFoxPro) {
      EXPECT_EQ(platform::GetBE32(memo.data()), 1u);
      EXPECT_EQ(platform::GetBE16(memo.data() + 6), 512);
    } else {
      EXPECT_EQ(platform::GetLE32(memo.data()), 1u);
      EXPECT_EQ(platform::GetLE16(memo.data() + 20), 512);
    }
    auto reopened = Reopen(dir.File("t.dbf"), pfReadOnly);
    EXPECT_EQ(reopened->DbfVersion(), c.version);
    EXPECT_EQ(reopened->UseCodePage(), 1252);
  }
}

TEST_F(DbfWrite, FieldKindsBecomeNativeTypesWithDefaultSizes) {
  struct Case {
    uint8_t version;
    TFieldType kind;
    char native;
    int size, decimals;
  } const kCases[] = {
      {kDbfVersionDBase7, ftInteger, 'I', 4, 0},   {kDbfVersionDBase4, ftInteger, 'N', 9, 0},
      {kDbfVersionDBase4, ftSmallint, 'N', 4, 0},  {kDbfVersionDBase4, ftFloat, 'N', 18, 9},
      {kDbfVersionDBase4, ftCurrency, 'N', 16, 2}, {kDbfVersionDBase4, ftLargeint, 'N', 18, 0},
      {kDbfVersionDBase3, ftDateTime, '@', 8, 0},  {kDbfVersionDBase4, ftAutoInc, '+', 4, 0},
      {kDbfVersionDBase4, ftDate, 'D', 8, 0},      {kDbfVersionFoxPro, ftDBaseOle, 'G', 10, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "kind " << int(c.kind));
    TDbfFieldDefs defs;
    defs.SetDbfVersion(c.version);
    TDbfFieldDef& def = defs.Add();
    def.SetFieldType(c.kind);
    def.SetDefaultSize();
    EXPECT_EQ(def.NativeFieldType(), c.native);
    EXPECT_EQ(def.Size(), c.size);
    EXPECT_EQ(def.Precision(), c.decimals);
  }
  TDbfFieldDefs defs;
  TDbfFieldDef& def = defs.Add();
  def.FieldName = "PIC";
  EXPECT_THROW(
      try { def.SetFieldType(ftGraphic); } catch (const platform::EDbfError& error) {
        EXPECT_STREQ(error.what(),
                     "Cannot create field \"PIC\", VCL field type 11 not supported by DBF.");
        throw;
      },
      platform::EDbfError);
  EXPECT_EQ(def.NativeFieldType(), 0);

  // Copies carry everything, value buffers included, and name their source.
  TDbfFieldDef& source = defs.Add();
  source.FieldName = "QTY";
  source.SetSize(5);
  source.SetNativeFieldType('N');
  source.AllocValueBuffers();
  source.MaxBuf()[4] = '9';
  source.FHasMax = true;
  TDbfFieldDefs copies;
  TDbfFieldDef& copy = copies.Add();
  copy.CopyFrom(source);
  EXPECT_EQ(copy.FieldName, "QTY");
  EXPECT_EQ(copy.Size(), 5);
  EXPECT_EQ(copy.MaxBuf()[4], '9');
  EXPECT_TRUE(copy.FHasMax);
  EXPECT_EQ(copy.FCopyFrom, 1);

  // From a platform field list: the kind decides the native type and the default size.
  copies.SetDbfVersion(kDbfVersionDBase4);
  TDbfFieldDef& listed = copies.Add();
  listed.FOffset = 7;
  listed.CopyFromFieldSpec("BETRAG", ftCurrency, 0, 0, true, 3);
  EXPECT_EQ(listed.NativeFieldType(), 'N');
  EXPECT_EQ(listed.Size(), 16);
  EXPECT_EQ(listed.Precision(), 2);
  EXPECT_TRUE(listed.Required);
  EXPECT_EQ(listed.FCopyFrom, 3);
  EXPECT_EQ(listed.FOffset, 0);
  EXPECT_EQ(listed.ValueBufSize(), 16);
  EXPECT_FALSE(listed.FHasDefault);
}

TEST_F(DbfWrite, EveryLevelRoundTripsEveryKind) {
  const std::string memos[] = {"",
                               std::string(510, 'a'),
                               std::string(511, 'b'),
                               std::string(512, 'c'),
                               "kurz \xE4\xF6\xFC\xDF",
                               std::string(3000, 'x') + "\x1A" + "y"};
  for (const uint8_t version :
       {kDbfVersionDBase3, kDbfVersionDBase4, kDbfVersionFoxPro, kDbfVersionDBase7}) {
    SCOPED_TRACE(testing::Message() << "version " << int(version));
    TempDir dir;
    const std::string path = dir.File("t.dbf");
    const bool dBase7 = version == kDbfVersionDBase7;
    std::vector<Field> fields = {{"NAME", 'C', 12}, {"QTY", 'N', 6}, {"PRICE", 'N', 10, 3},
                                 {"OK", 'L'},       {"DAY", 'D'},    {"NOTE", 'M'},
                                 {"PIC", 'B'}};
    if (dBase7)
      fields.insert(fields.end(), {{"COUNT", 'I'}, {"ID", '+'}, {"RATE", 'O'}, {"AT", '@'}});
    {
      auto table = Create(path, version, fields);
      std::vector<uint8_t> record(size_t(table->GetRecordSize()));
      for (int i = 0; i < 6; ++i) {
        table->InitRecord(record.data());
        const std::string name = "Straße " + std::to_string(i);
        const int32_t qty = -i * 1000, day = DayNumber(2024, 1 + i, 28);
        const double price = i * 1.125;
        const int16_t ok = i % 2;
        table->SetFieldData(0, ftString, name.c_str(), record.data());
        table->SetFieldData(1, ftInteger, &qty, record.data());
        table->SetFieldData(2, ftFloat, &price, record.data());
        table->SetFieldData(3, ftBoolean, &ok, record.data());
        if (i != 5) table->SetFieldData(4, ftDate, &day, record.data());
        StoreMemo(*table, record, 5, memos[i]);
        StoreMemo(*table, record, 6, std::string("\0\1\2\xFF", 4) + memos[i]);
        if (dBase7) {
          const double rate = -i * 0.5, at = day * 86400000.0 + 1000;
          table->SetFieldData(7, ftInteger, &qty, record.data());
          table->SetFieldData(9, ftFloat, &rate, record.data());
          table->SetFieldData(10, ftDateTime, &at, record.data());
        }
        if (i == 4) record[0] = kRecordDeleted;
        EXPECT_EQ(table->Insert(record.data()), i + 1);
      }
    }
    auto table = Reopen(path, pfReadOnly);
    ASSERT_EQ(table->GetRecordCount(), 6);
    EXPECT_EQ(table->HeaderRecordCount(), 6u);
    std::vector<uint8_t> record(size_t(table->GetRecordSize()));
    for (int i = 0; i < 6; ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(table->ReadRecord(i + 1, record.data()), table->GetRecordSize());
      EXPECT_EQ(record[0], i == 4 ? kRecordDeleted : kRecordActive);
      EXPECT_EQ(Text(*table, record, 0), "Straße " + std::to_string(i));
      EXPECT_EQ(Value<double>(*table, record, 1, ftFloat), -i * 1000);
      EXPECT_EQ(Value<double>(*table, record, 2, ftFloat), i * 1.125);
      EXPECT_EQ(Value<int16_t>(*table, record, 3, ftBoolean), i % 2);
      if (i == 5)
        EXPECT_FALSE(table->GetFieldData(4, ftDate, nullptr, record.data()));
      else
        EXPECT_EQ(Value<int32_t>(*table, record, 4, ftDate), DayNumber(2024, 1 + i, 28));
      EXPECT_EQ(Memo(*table, record, 5), memos[i]);
      EXPECT_EQ(Memo(*table, record, 6), std::string("\0\1\2\xFF", 4) + memos[i]);
      if (dBase7) {
        EXPECT_EQ(Value<int32_t>(*table, record, 7, ftInteger), -i * 1000);
        EXPECT_EQ(Value<int32_t>(*table, record, 8, ftInteger), i);
        EXPECT_EQ(Value<double>(*table, record, 9, ftFloat), -i * 0.5);
        EXPECT_EQ(Value<double>(*table, record, 10, ftDateTime),
                  DayNumber(2024, 1 + i, 28) * 86400000.0 + 1000);
      }
    }
  }
}

TEST_F(DbfWrite, MemoLayoutsThroughTheTable) {
  TempDir dir;
  // dBASE III: terminated memos; 511 bytes put the end marks across the block boundary.
  auto table = Create(dir.File("t.dbf"), kDbfVersionDBase3, {{"NOTE", 'M'}});
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  table->InitRecord(record.data());
  StoreMemo(*table, record, 0, std::string(511, 'b'));
  EXPECT_EQ(FieldBytes(*table, record, 0), "0000000001");
  table.reset();
  const auto dbt = ReadBytes(dir.File("t.dbt"));
  ASSERT_EQ(dbt.size(), 3u * 512);
  EXPECT_EQ(dbt[512 + 511], 0x1A);
  EXPECT_EQ(dbt[1024], 0x1A);
  EXPECT_EQ(platform::GetLE32(dbt.data()), 3u);

  // FoxPro with 64-byte blocks: the header spans blocks 0-7, the first memo starts at 8.
  auto fox = Create(dir.File("f.dbf"), kDbfVersionFoxPro, {{"NOTE", 'M'}}, 64);
  fox->InitRecord(record.data());
  StoreMemo(*fox, record, 0, std::string(100, 'f'));
  EXPECT_EQ(FieldBytes(*fox, record, 0), "0000000008");
  fox.reset();
  const auto fpt = ReadBytes(dir.File("f.fpt"));
  ASSERT_EQ(fpt.size(), 8u * 64 + 2 * 64);
  EXPECT_EQ(platform::GetBE32(fpt.data()), 10u);
  EXPECT_EQ(platform::GetBE16(fpt.data() + 6), 64);
  EXPECT_EQ(platform::GetBE32(fpt.data() + 512), 1u);
  EXPECT_EQ(platform::GetBE32(fpt.data() + 516), 100u);
}

TEST_F(DbfWrite, AutoIncrementNumbersFollowTheDescriptorCounter) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  auto table = Create(path, kDbfVersionDBase7, {{"NAME", 'C', 4}, {"ID", '+'}});
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  for (int i = 0; i < 2; ++i) {
    table->InitRecord(record.data());
    table->Insert(record.data());
    EXPECT_EQ(Value<int32_t>(*table, record, 1, ftInteger), i);
  }
  table.reset();
  // The counter sits in bytes 42-45 of the field's own descriptor.
  EXPECT_EQ(platform::GetLE32(ReadBytes(path).data() + 68 + 48 + 42), 2u);
  for (const TPagedFileMode mode : {pfExclusiveOpen, pfReadWriteOpen}) {
    auto reopened = Reopen(path, mode);
    reopened->InitRecord(record.data());
    reopened->Insert(record.data());
    EXPECT_EQ(Value<int32_t>(*reopened, record, 1, ftInteger), mode == pfExclusiveOpen ? 2 : 3);
  }
  EXPECT_EQ(platform::GetLE32(ReadBytes(path).data() + 68 + 48 + 42), 4u);
}

namespace {

// A table file with fake index files in its index list.
class TIndexedTable : public TDbfFile {
 public:
  using TDbfFile::TDbfFile;
  TFakeIndexFile& AddIndex(const std::string& path) {
    auto index = std::make_unique<TFakeIndexFile>(path);
    index->SetMode(pfReadWriteCreate);
    index->OpenFile();
    FIndexFiles.push_back(std::move(index));
    return static_cast<TFakeIndexFile&>(*FIndexFiles.back());
  }
};

}  // namespace

TEST_F(DbfWrite, AppendAndEditDriveTheIndexProtocol) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  auto table =
      Create<TIndexedTable>(path, kDbfVersionDBase4, {{"NAME", 'C', 4}}, 512, pfReadWriteCreate);
  TFakeIndexFile& first = table->AddIndex(dir.File("a.mdx"));
  TFakeIndexFile& second = table->AddIndex(dir.File("b.mdx"));
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  table->InitRecord(record.data());
  EXPECT_EQ(table->Insert(record.data()), 1);
  EXPECT_EQ(first.Calls, (std::vector<std::string>{"check", "insert 1"}));
  EXPECT_EQ(second.Calls, (std::vector<std::string>{"check", "insert 1"}));

  struct Case {
    bool violation, failInsert, failDelete;
    const char* message;
    std::vector<std::string> secondCalls;
  } const kCases[] = {
      {true, false, false, "key violation 2", {"check"}},
      {false, true, false, STRING_WRITE_INDEX_ERROR, {"check", "insert 2", "delete 2"}},
      {false, true, true, STRING_WRITE_INDEX_ERROR, {"check", "insert 2", "delete 2"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    first.Calls.clear();
    second.Calls.clear();
    second.Violation = c.violation;
    second.FailInsert = c.failInsert;
    second.FailDelete = c.failDelete;
    try {
      table->Insert(record.data());
      ADD_FAILURE() << "appended";
    } catch (const std::exception& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
    EXPECT_EQ(second.Calls, c.secondCalls);
    EXPECT_EQ(first.Calls.back(), c.violation ? "check" : "delete 2");
    EXPECT_EQ(table->GetRecordCount(), 1);
    EXPECT_EQ(table->HeaderRecordCount(), 1u);
    EXPECT_FALSE(second.GetWriteError());
    EXPECT_TRUE(table->LockPage(2, false));  // the number's lock was let go
    table->UnlockPage(2);
  }
}

TEST_F(DbfWrite, FailedUpdatesAreReportedAtOnce) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  {
    auto table = Create<TIndexedTable>(path, kDbfVersionDBase4, {{"NAME", 'C', 4}});
    std::vector<uint8_t> record(size_t(table->GetRecordSize()));
    table->InitRecord(record.data());
    table->Insert(record.data());
    TFakeIndexFile& index = table->AddIndex(dir.File("a.mdx"));
    table->LockRecord(1, record.data());
    index.FailUpdate = true;
    try {
      table->UnlockRecord(1, record.data());
      ADD_FAILURE() << "no error";
    } catch (const platform::EDbfWriteError& error) {
      EXPECT_STREQ(error.what(), STRING_WRITE_INDEX_ERROR);
    }
    EXPECT_EQ(index.Calls, (std::vector<std::string>{"update 1"}));
    table->RecordDeleted(1, record.data());
    EXPECT_EQ(index.Calls.back(), "deleted 1");
  }
  // A table file whose descriptor cannot be written: the post fails, the flag is cleared and
  // the next append is not blamed for it.
  auto table = Reopen(path, pfReadOnly);
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  table->LockRecord(1, record.data());
  std::memcpy(record.data() + 1, "neu ", 4);
  EXPECT_THROW(
      try { table->UnlockRecord(1, record.data()); } catch (const platform::EDbfWriteError& error) {
        EXPECT_STREQ(error.what(), STRING_WRITE_ERROR);
        throw;
      },
      platform::EDbfWriteError);
  EXPECT_FALSE(table->GetWriteError());
  auto writer = Reopen(path, pfReadWriteOpen);
  EXPECT_TRUE(writer->LockPage(1, false));  // released despite the failure
}

TEST_F(DbfWrite, AppendRollsBackTheHeaderCountWhenTheRecordWriteFails) {
  // Room for none or half of the new record: the header write succeeds, the record fails.
  struct Case {
    TPagedFileMode mode;
    rlim_t room;
  } const kCases[] = {
      {pfReadWriteOpen, 50}, {pfExclusiveOpen, 50}, {pfReadWriteOpen, 0}, {pfExclusiveOpen, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << int(c.mode) << " room " << c.room);
    const TPagedFileMode mode = c.mode;
    TempDir dir;
    const std::string path = dir.File("t.dbf");
    {
      auto table = Create(path, kDbfVersionDBase4, {{"NAME", 'C', 100}});
      std::vector<uint8_t> record(size_t(table->GetRecordSize()));
      for (int i = 0; i < 3; ++i) {
        table->InitRecord(record.data());
        table->Insert(record.data());
      }
    }
    const auto before = ReadBytes(path);
    const int code = testing_util::RunInChild([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      auto table = Reopen(path, mode);
      std::vector<uint8_t> record(size_t(table->GetRecordSize()), 'z');
      struct rlimit limit {
        rlim_t(before.size()) + c.room, rlim_t(before.size()) + c.room
      };
      setrlimit(RLIMIT_FSIZE, &limit);
      try {
        table->Insert(record.data());
        return 1;
      } catch (const platform::EDbfWriteError& error) {
        if (std::string(error.what()) != STRING_WRITE_ERROR) return 2;
      }
      if (table->GetWriteError()) return 3;
      if (table->GetRecordCount() != 3) return 4;
      table->Close();
      return 0;
    });
    EXPECT_EQ(code, 0);
    const auto after = ReadBytes(path);
    ASSERT_EQ(after.size(), before.size());  // no half record remains
    EXPECT_EQ(platform::GetLE32(after.data() + 4), 3u);
    EXPECT_TRUE(std::equal(before.begin() + 4, before.end(), after.begin() + 4));
  }
}

TEST_F(DbfWrite, EditsOfARecordLockedByAnotherProcessFail) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  {
    auto table = Create(path, kDbfVersionDBase4, {{"NAME", 'C', 4}, {"_dbaselock", 'C', 16}});
    std::vector<uint8_t> record(size_t(table->GetRecordSize()));
    for (int i = 0; i < 2; ++i) {
      table->InitRecord(record.data());
      table->Insert(record.data());
    }
  }
  Child child([&](Child& self) {
    auto table = Reopen(path, pfReadWriteOpen);
    std::vector<uint8_t> record(size_t(table->GetRecordSize()));
    table->LockRecord(1, record.data());
    self.Signal();
    self.WaitRelease();
    table->UnlockRecord(1, record.data());
    return 0;
  });
  child.WaitReady();
  auto table = Reopen(path, pfReadWriteOpen);
  ASSERT_TRUE(table->HasLockField());
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  EXPECT_THROW(
      try { table->LockRecord(1, record.data()); } catch (const platform::EDbfError& error) {
        EXPECT_STREQ(error.what(), "Record locked.");
        throw;
      },
      platform::EDbfError);
  // The holder's lock field is on disk already: the counter (blank bytes of a new record,
  // counted once by the append and once by the lock) and the computer name.
  table->ReadRecord(1, record.data());
  const uint8_t* lock = record.data() + table->LockField();
  EXPECT_EQ(platform::GetLE16(lock), 0x2020 + 2);
  const std::string host = DbfGlobals().ComputerName().substr(0, 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lock) + 8, host.size()), host);
  // Other records stay free, and appending takes the next number.
  table->LockRecord(2, record.data());
  table->UnlockRecord(2, record.data());
  table->InitRecord(record.data());
  EXPECT_EQ(table->Insert(record.data()), 3);
  child.Release();
  EXPECT_EQ(child.Join(), 0);
  table->LockRecord(1, record.data());
  table->UnlockRecord(1, record.data());
}

TEST_F(DbfWrite, FourProcessesAppendIntoOneTable) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  Create(path, kDbfVersionDBase7, {{"WRITER", 'N', 2}, {"SEQ", 'N', 6}, {"ID", '+'}}, 512,
         pfExclusiveCreate)
      .reset();
  constexpr int kWriters = 4, kEach = 500;
  std::vector<std::unique_ptr<Child>> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.push_back(std::make_unique<Child>([&, w](Child&) {
      auto table = Reopen(path, pfReadWriteOpen);
      std::vector<uint8_t> record(size_t(table->GetRecordSize()));
      for (int32_t seq = 0; seq < kEach; ++seq) {
        table->InitRecord(record.data());
        const int32_t writer = w;
        table->SetFieldData(0, ftInteger, &writer, record.data());
        table->SetFieldData(1, ftInteger, &seq, record.data());
        table->Insert(record.data());
      }
      return 0;
    }));
  for (auto& writer : writers) EXPECT_EQ(writer->Join(), 0);
  auto table = Reopen(path, pfReadOnly);
  ASSERT_EQ(table->GetRecordCount(), kWriters * kEach);
  EXPECT_EQ(table->HeaderRecordCount(), uint32_t(kWriters * kEach));
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  std::vector<int> seen(kWriters * kEach, 0), ids(kWriters * kEach, 0);
  for (int32_t recNo = 1; recNo <= kWriters * kEach; ++recNo) {
    table->ReadRecord(recNo, record.data());
    ASSERT_EQ(record[0], kRecordActive) << recNo;
    const int writer = int(Value<double>(*table, record, 0, ftFloat));
    const int seq = int(Value<double>(*table, record, 1, ftFloat));
    const int id = Value<int32_t>(*table, record, 2, ftInteger);
    ASSERT_TRUE(writer >= 0 && writer < kWriters && seq >= 0 && seq < kEach) << recNo;
    ASSERT_TRUE(id >= 0 && id < kWriters * kEach) << recNo;
    ++seen[size_t(writer * kEach + seq)];
    ++ids[size_t(id)];
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), kWriters * kEach);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 1), kWriters * kEach);
}

TEST_F(DbfWrite, CreationRefusesLayoutsTheHeaderCannotHold) {
  TempDir dir;
  struct Case {
    std::vector<Field> fields;
    const char* message;
  } const kCases[] = {
      {{}, "Invalid field count: 0 (must be between 1 and 4095)."},
      {std::vector<Field>(2, {"T", 'C', 40000}),
       "Cannot create a table with records of 80001 bytes and a header of 97 bytes: both must "
       "stay below 65536."},
  };
  for (const Case& c : kCases) {
    try {
      Create(dir.File("t.dbf"), kDbfVersionDBase4, c.fields);
      ADD_FAILURE() << "created";
    } catch (const platform::EDbfError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}
