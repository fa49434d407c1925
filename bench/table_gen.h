// Writes large benchmark tables directly as bytes, without the engine: a header for the asked
// level, the fields NAME C(20), QTY N(10), PRICE N(12,2), DAY D, OK L and, for dBASE 7, ID I,
// RATE O and STAMP @, then `records` records of deterministic varied values. Shared by the
// make_table program and the benchmarks.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// `level` is a table level: 3, 4, 7 or 25. Throws std::runtime_error when the file cannot be
// written or the level is unknown.
void WriteBenchTable(const std::string& path, int level, int32_t records);

}  // namespace bench
