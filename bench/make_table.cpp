// make_table: writes a benchmark table (see table_gen.h) of the given level and size.
//   make_table [--records N] [--level 3|4|7|25] OUTPUT.dbf
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "bench/table_gen.h"

int main(int argc, char** argv) {
  CLI::App app{"Write a large table for benchmarks, directly as bytes"};
  int32_t records = 1000000;
  int level = 4;
  std::string path;
  app.add_option("--records", records, "number of records")->check(CLI::NonNegativeNumber);
  app.add_option("--level", level, "table level")->check(CLI::IsMember({3, 4, 7, 25}));
  app.add_option("OUTPUT", path, "the .dbf file to write")->required();
  CLI11_PARSE(app, argc, argv);
  try {
    bench::WriteBenchTable(path, level, records);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_table: %s\n", error.what());
    return 1;
  }
  return 0;
}
