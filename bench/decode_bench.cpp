// Decoding every field of every record of a generated 1-million-record table: once from
// records already in memory (the decoder alone) and once reading each record with
// ReadRecord (as a cursor walking the table does). Reports records/s and time per field.
// TABULET_BENCH_RECORDS overrides the record count; tables are written to the temp folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/table_gen.h"
#include "dbf/dbf_dbffile.h"

namespace {

int32_t RecordCount() {
  const char* text = std::getenv("TABULET_BENCH_RECORDS");
  return text ? std::atoi(text) : 1000000;
}

// The generated table of a level, written once per process.
const std::string& TablePath(int level) {
  static std::map<int, std::string> paths;
  auto& path = paths[level];
  if (path.empty()) {
    path = (std::filesystem::temp_directory_path() / ("tabulet-bench-" + std::to_string(level) +
                                                      "-" + std::to_string(RecordCount()) + ".dbf"))
               .string();
    if (!std::filesystem::exists(path)) bench::WriteBenchTable(path, level, RecordCount());
  }
  return path;
}

std::unique_ptr<dbf::TDbfFile> OpenTable(int level) {
  auto table = std::make_unique<dbf::TDbfFile>(TablePath(level));
  table->SetMode(dbf::pfReadOnly);
  table->Open();
  return table;
}

// Decodes every field of `record` as its own kind; returns how many had a value.
int64_t DecodeRecord(const dbf::TDbfFile& table, const uint8_t* record, char* dest) {
  int64_t present = 0;
  const dbf::TDbfFieldDefs& defs = table.FieldDefs();
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const dbf::TDbfFieldDef& def = defs.Items(i);
    present += table.GetFieldDataFromDef(def, def.FieldType(), dest, record);
    benchmark::DoNotOptimize(dest);
  }
  return present;
}

void SetCounters(benchmark::State& state, const dbf::TDbfFile& table, int64_t records) {
  const double total = double(records) * double(state.iterations());
  state.counters["records/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  // The inverted rate is seconds per field; shown with an SI prefix (n for nanoseconds).
  state.counters["time/field"] = benchmark::Counter(
      total * table.FieldDefs().Count(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["fields"] = table.FieldDefs().Count();
}

void BM_DecodeInMemory(benchmark::State& state) {
  auto table = OpenTable(int(state.range(0)));
  const int32_t count = table->GetRecordCount();
  const int32_t size = table->GetRecordSize();
  std::vector<uint8_t> records(size_t(count) * size_t(size));
  table->ReadChunk(records.data(), int32_t(records.size()), table->CalcPageOffset(1));
  std::vector<char> dest(256);
  for (auto _ : state) {
    int64_t present = 0;
    for (int32_t r = 0; r < count; ++r)
      present += DecodeRecord(*table, records.data() + size_t(r) * size_t(size), dest.data());
    benchmark::DoNotOptimize(present);
  }
  SetCounters(state, *table, count);
}

void BM_ReadRecordAndDecode(benchmark::State& state) {
  auto table = OpenTable(int(state.range(0)));
  const int32_t count = table->GetRecordCount();
  std::vector<uint8_t> record(size_t(table->GetRecordSize()));
  std::vector<char> dest(256);
  for (auto _ : state) {
    int64_t present = 0;
    for (int32_t recNo = 1; recNo <= count; ++recNo) {
      table->ReadRecord(recNo, record.data());
      present += DecodeRecord(*table, record.data(), dest.data());
    }
    benchmark::DoNotOptimize(present);
  }
  SetCounters(state, *table, count);
}

}  // namespace

BENCHMARK(BM_DecodeInMemory)->Arg(4)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRecordAndDecode)->Arg(4)->Arg(7)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
