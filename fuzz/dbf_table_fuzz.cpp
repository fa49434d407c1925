// Opens arbitrary bytes as a table file and decodes every field of every record in every
// kind the decoder knows, plus the header lookups. Only the engine's own errors may come out.
#include <cstdint>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "fuzz_table.h"

namespace {

constexpr dbf::TFieldType kKinds[] = {dbf::ftString,   dbf::ftSmallint, dbf::ftInteger,
                                      dbf::ftLargeint, dbf::ftFloat,    dbf::ftBoolean,
                                      dbf::ftDate,     dbf::ftDateTime, dbf::ftMemo};

void DecodeAll(dbf::TDbfFile& table) {
  const int32_t count = table.GetRecordCount();
  std::vector<uint8_t> record(static_cast<size_t>(table.GetRecordSize()));
  // Big enough for any text field plus its terminator; 8-aligned for numbers.
  std::vector<uint64_t> dest(65536 / 8 + 1);
  const dbf::TDbfFieldDefs& defs = table.FieldDefs();
  for (int32_t recNo = 1; recNo <= count; ++recNo) {
    if (table.ReadRecord(recNo, record.data()) < table.GetRecordSize()) break;
    for (int32_t i = 0; i < defs.Count(); ++i) {
      const dbf::TDbfFieldDef& def = defs.Items(i);
      table.GetFieldDataFromDef(def, def.FieldType(), dest.data(), record.data());
      table.GetFieldDataFromDef(def, def.FieldType(), nullptr, record.data());
      for (const dbf::TFieldType kind : kKinds)
        table.GetFieldData(i, kind, dest.data(), record.data());
    }
  }
  for (int32_t i = 0; i < defs.Count(); ++i) table.GetFieldInfo(defs.Items(i).FieldName);
  table.HasBlob();
  table.GetLanguageStr();
  table.GetLanguageId();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::WithTable(data, size, DecodeAll);
  return 0;
}
