// The write side: appending records through Insert (1 million in exclusive access, 100,000 in
// shared access with the record-number and header locks the append protocol takes), and
// storing and loading memos of 1 KB and 100 KB. Reports records/s and MB/s. The tables have
// the fields of the generated benchmark tables (dBASE IV: NAME C(20), QTY N(10), PRICE
// N(12,2), DAY D, OK L) and are written to the temp folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"

namespace {

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("tabulet-write-bench-" + name)).string();
}

std::unique_ptr<dbf::TDbfFile> NewTable(const std::string& path, bool withMemo) {
  struct Field {
    const char* name;
    char type;
    int size, decimals;
  };
  std::vector<Field> fields = {{"NAME", 'C', 20, 0},
                               {"QTY", 'N', 10, 0},
                               {"PRICE", 'N', 12, 2},
                               {"DAY", 'D', 8, 0},
                               {"OK", 'L', 1, 0}};
  if (withMemo) fields.push_back({"NOTE", 'M', 10, 0});
  dbf::TDbfFieldDefs defs;
  defs.SetDbfVersion(dbf::kDbfVersionDBase4);
  for (const Field& field : fields) {
    dbf::TDbfFieldDef& def = defs.Add();
    def.FieldName = field.name;
    def.SetSize(field.size);
    def.SetPrecision(field.decimals);
    def.SetNativeFieldType(field.type);
  }
  auto table = std::make_unique<dbf::TDbfFile>(path);
  table->SetMode(dbf::pfExclusiveCreate);
  table->SetAutoCreate(true);
  table->SetDbfVersion(dbf::kDbfVersionDBase4);
  table->Open();
  table->CreateTable(defs, 512);
  return table;
}

std::unique_ptr<dbf::TDbfFile> Reopen(const std::string& path, dbf::TPagedFileMode mode) {
  auto table = std::make_unique<dbf::TDbfFile>(path);
  table->SetMode(mode);
  table->Open();
  return table;
}

// Fills a record the way a posting dataset would: every field encoded from a value.
void FillRecord(dbf::TDbfFile& table, int32_t index, std::vector<uint8_t>& record) {
  table.InitRecord(record.data());
  const std::string name = "Kunde " + std::to_string(index);
  const int32_t qty = index % 100000, day = 738000 + index % 3650;
  const double price = index * 0.01;
  const int16_t ok = index & 1;
  table.SetFieldData(0, dbf::ftString, name.c_str(), record.data());
  table.SetFieldData(1, dbf::ftInteger, &qty, record.data());
  table.SetFieldData(2, dbf::ftFloat, &price, record.data());
  table.SetFieldData(3, dbf::ftDate, &day, record.data());
  table.SetFieldData(4, dbf::ftBoolean, &ok, record.data());
}

void Append(benchmark::State& state, dbf::TPagedFileMode mode) {
  const int32_t records = static_cast<int32_t>(state.range(0));
  const std::string path = TempPath(mode == dbf::pfExclusiveOpen ? "exclusive.dbf" : "shared.dbf");
  int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    NewTable(path, false).reset();
    auto table = Reopen(path, mode);
    std::vector<uint8_t> record(static_cast<size_t>(table->GetRecordSize()));
    state.ResumeTiming();
    for (int32_t i = 0; i < records; ++i) {
      FillRecord(*table, i, record);
      table->Insert(record.data());
    }
    table->Close();
    bytes += int64_t(records) * table->GetRecordSize();
  }
  state.SetItemsProcessed(state.iterations() * records);
  state.SetBytesProcessed(bytes);
  std::filesystem::remove(path);
}

void BM_AppendExclusive(benchmark::State& state) {
  Append(state, dbf::pfExclusiveOpen);
}
void BM_AppendShared(benchmark::State& state) {
  Append(state, dbf::pfReadWriteOpen);
}

// A memo file with one memo of the asked size; each iteration appends another (store) or
// reads the first one (load).
void Memo(benchmark::State& state, bool store) {
  const size_t size = static_cast<size_t>(state.range(0));
  const std::string path = TempPath("memo.dbf");
  auto table = NewTable(path, true);
  std::string memo(size, 'm');
  for (size_t i = 0; i < size; i += 61) memo[i] = '\n';
  int32_t first = 0;
  table->MemoFile()->StoreMemo(first, 0, memo);
  std::string loaded;
  for (auto _ : state) {
    if (store) {
      int32_t block = 0;
      table->MemoFile()->StoreMemo(block, 0, memo);
      benchmark::DoNotOptimize(block);
    } else {
      table->MemoFile()->LoadMemo(first, loaded);
      benchmark::DoNotOptimize(loaded.data());
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * int64_t(size));
  table.reset();
  std::filesystem::remove(path);
  std::filesystem::remove(TempPath("memo.dbt"));
}

void BM_MemoStore(benchmark::State& state) {
  Memo(state, true);
}
void BM_MemoLoad(benchmark::State& state) {
  Memo(state, false);
}

}  // namespace

BENCHMARK(BM_AppendExclusive)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendShared)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
// Fixed counts keep the growing memo file small.
BENCHMARK(BM_MemoStore)->Arg(1024)->Iterations(20000);
BENCHMARK(BM_MemoStore)->Arg(100 * 1024)->Iterations(500);
BENCHMARK(BM_MemoLoad)->Arg(1024)->Arg(100 * 1024);
BENCHMARK_MAIN();
