// Evaluating table expressions over a generated 1-million-record table held in memory: a
// filter as the table component compiles it (text trimmed and translated, case ignored), an
// index key as an index file compiles it (raw text), a numeric filter and a single field.
// Reports ns per record. TABULET_BENCH_RECORDS overrides the record count; tables are written
// to the temp folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/table_gen.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_parser.h"

namespace {

int32_t RecordCount() {
  const char* text = std::getenv("TABULET_BENCH_RECORDS");
  return text ? std::atoi(text) : 1000000;
}

struct Table {
  std::unique_ptr<dbf::TDbfFile> file;
  std::vector<uint8_t> records;
  int32_t count = 0;
  int32_t size = 0;
};

// The dBASE IV benchmark table (NAME C20, QTY N10, PRICE N12.2, DAY D, OK L), read into
// memory once per process.
Table& BenchTable() {
  static Table table = [] {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tabulet-bench-4-" + std::to_string(RecordCount()) + ".dbf"))
                                 .string();
    if (!std::filesystem::exists(path)) bench::WriteBenchTable(path, 4, RecordCount());
    Table t;
    t.file = std::make_unique<dbf::TDbfFile>(path);
    t.file->SetMode(dbf::pfReadOnly);
    t.file->Open();
    t.count = t.file->GetRecordCount();
    t.size = t.file->GetRecordSize();
    t.records.resize(size_t(t.count) * size_t(t.size));
    t.file->ReadChunk(t.records.data(), int32_t(t.records.size()), t.file->CalcPageOffset(1));
    return t;
  }();
  return table;
}

void Evaluate(benchmark::State& state, const char* text, bool raw) {
  Table& table = BenchTable();
  dbf::TDbfParser parser(table.file.get());
  parser.SetRawStringFields(raw);
  parser.SetCaseInsensitive(true);
  parser.Compile(text);
  for (auto _ : state) {
    int64_t sum = 0;
    for (int32_t r = 0; r < table.count; ++r)
      sum += *parser.EvaluateRecord(table.records.data() + size_t(r) * size_t(table.size));
    benchmark::DoNotOptimize(sum);
  }
  state.counters["ns/record"] =
      benchmark::Counter(double(table.count) * double(state.iterations()) / 1e9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_FilterTextAndNumber(benchmark::State& state) {
  Evaluate(state, "NAME = 'Berlin' AND PRICE > 100", false);
}
void BM_FilterNumbers(benchmark::State& state) {
  Evaluate(state, "PRICE > 100 AND QTY + 5 > 0", false);
}
void BM_KeyUpperNameAndDate(benchmark::State& state) {
  Evaluate(state, "UPPER(NAME) + DTOS(DAY)", true);
}
void BM_KeyStrOfNumber(benchmark::State& state) {
  Evaluate(state, "STR(PRICE, 12, 2)", true);
}
void BM_SingleRawField(benchmark::State& state) {
  Evaluate(state, "NAME", true);
}

}  // namespace

BENCHMARK(BM_FilterTextAndNumber)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterNumbers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyUpperNameAndDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyStrOfNumber)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SingleRawField)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
