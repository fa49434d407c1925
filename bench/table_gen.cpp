#include "bench/table_gen.h"

#include <fmt/format.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/byte_order.h"

namespace bench {
namespace {

struct Field {
  const char* name;
  char type;
  int length, decimals;
};

constexpr Field kCommonFields[] = {{"NAME", 'C', 20, 0},
                                   {"QTY", 'N', 10, 0},
                                   {"PRICE", 'N', 12, 2},
                                   {"DAY", 'D', 8, 0},
                                   {"OK", 'L', 1, 0}};
constexpr Field kDBase7Fields[] = {{"ID", 'I', 4, 0}, {"RATE", 'O', 8, 0}, {"STAMP", '@', 8, 0}};
constexpr size_t kWriteChunk = 1 << 20;
// 1 January 2000 as a day number (1 January 0001 is day 1).
constexpr int64_t kDay2000 = 730120;

struct Level {
  uint8_t versionByte, languageId;
  bool dBase7;
};

Level LevelOf(int level) {
  switch (level) {
    case 3:
      return {0x03, 0x00, false};
    case 4:
      return {0x03, 0x57, false};
    case 25:
      return {0x05, 0x03, false};
    case 7:
      return {0x04, 0x00, true};
    default:
      throw std::runtime_error(fmt::format("unknown table level {}", level));
  }
}

std::vector<Field> FieldsOf(const Level& level) {
  std::vector<Field> fields(std::begin(kCommonFields), std::end(kCommonFields));
  if (level.dBase7) fields.insert(fields.end(), std::begin(kDBase7Fields), std::end(kDBase7Fields));
  return fields;
}

std::vector<uint8_t> Header(const Level& level, const std::vector<Field>& fields, int32_t records,
                            int recordLength) {
  const size_t mainSize = level.dBase7 ? 68 : 32;
  const size_t descriptorSize = level.dBase7 ? 48 : 32;
  std::vector<uint8_t> header(mainSize + fields.size() * descriptorSize + 1, 0);
  header[0] = level.versionByte;
  header[1] = 126;  // 2026-01-01
  header[2] = 1;
  header[3] = 1;
  platform::PutLE32(&header[4], static_cast<uint32_t>(records));
  platform::PutLE16(&header[8], static_cast<uint16_t>(header.size()));
  platform::PutLE16(&header[10], static_cast<uint16_t>(recordLength));
  header[29] = level.languageId;
  if (level.dBase7) std::memcpy(&header[32], "DBWINUS0", 8);
  uint8_t* descriptor = header.data() + mainSize;
  for (const Field& field : fields) {
    std::memcpy(descriptor, field.name, std::strlen(field.name));
    descriptor[level.dBase7 ? 32 : 11] = static_cast<uint8_t>(field.type);
    descriptor[level.dBase7 ? 33 : 16] = static_cast<uint8_t>(field.length);
    descriptor[level.dBase7 ? 34 : 17] = static_cast<uint8_t>(field.decimals);
    descriptor += descriptorSize;
  }
  *descriptor = 0x0D;
  return header;
}

// Right-aligns `text` in `width` bytes at `out`, blank-padded.
void PutRight(uint8_t* out, int width, const std::string& text) {
  std::memset(out, ' ', static_cast<size_t>(width));
  const size_t length = std::min(text.size(), static_cast<size_t>(width));
  std::memcpy(out + width - length, text.data(), length);
}

void PutField(uint8_t* out, const Field& field, int32_t recNo, uint32_t random) {
  switch (field.type) {
    case 'C': {
      std::memset(out, ' ', static_cast<size_t>(field.length));
      const std::string name = fmt::format("Name {:07} {}", recNo, random % 1000);
      std::memcpy(out, name.data(), std::min(name.size(), static_cast<size_t>(field.length)));
      break;
    }
    case 'N':
      PutRight(out, field.length,
               field.decimals ? fmt::format("{:.2f}", (int64_t(random % 2000000) - 1000000) / 100.0)
                              : fmt::format("{}", int64_t(random) - 2000000000));
      break;
    case 'D': {
      const int month = 1 + int(random % 12), day = 1 + int((random >> 8) % 28);
      const std::string date = fmt::format("{:04}{:02}{:02}", 1950 + int(random % 70), month, day);
      std::memcpy(out, date.data(), 8);
      break;
    }
    case 'L':
      *out = (random & 1) ? 'T' : 'F';
      break;
    case 'I':
      platform::PutBE32(out, static_cast<uint32_t>(recNo) ^ 0x80000000u);
      break;
    case 'O': {
      const double value = (int64_t(random) - 2000000000) / 1000.0;
      uint64_t bits = std::bit_cast<uint64_t>(value);
      platform::PutBE64(out, value >= 0 ? bits | (uint64_t(1) << 63) : ~bits);
      break;
    }
    case '@': {
      const double stamp = double((kDay2000 + random % 9000) * 86400000 + (random % 86400) * 1000);
      platform::PutBE64(out, std::bit_cast<uint64_t>(stamp));
      break;
    }
  }
}

}  // namespace

void WriteBenchTable(const std::string& path, int levelNumber, int32_t records) {
  const Level level = LevelOf(levelNumber);
  const std::vector<Field> fields = FieldsOf(level);
  int recordLength = 1;
  for (const Field& field : fields) recordLength += field.length;

  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) throw std::runtime_error("cannot create " + path);
  const std::vector<uint8_t> header = Header(level, fields, records, recordLength);
  bool ok = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();

  std::vector<uint8_t> chunk;
  chunk.reserve(kWriteChunk + static_cast<size_t>(recordLength));
  uint32_t random = 12345;
  for (int32_t recNo = 1; recNo <= records && ok; ++recNo) {
    const size_t start = chunk.size();
    chunk.resize(start + static_cast<size_t>(recordLength));
    uint8_t* record = chunk.data() + start;
    record[0] = recNo % 97 == 0 ? '*' : ' ';
    int offset = 1;
    for (const Field& field : fields) {
      random = random * 1664525u + 1013904223u;
      PutField(record + offset, field, recNo, random);
      offset += field.length;
    }
    if (chunk.size() >= kWriteChunk || recNo == records) {
      ok = std::fwrite(chunk.data(), 1, chunk.size(), file.get()) == chunk.size();
      chunk.clear();
    }
  }
  ok = ok && std::fputc(0x1A, file.get()) != EOF;
  if (!ok || std::fflush(file.get()) != 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace bench
