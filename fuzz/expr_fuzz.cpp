// Compiles arbitrary texts as table expressions against two small tables (a dBASE III table
// with text, number, logical and date fields, a dBASE 7 table with the binary kinds) and
// evaluates them on every record and on a blank one, reading the whole result. Input: one
// byte of options (bit 0 raw string fields, bit 1 ignore case, bit 2 the dBASE 7 table), then
// the text. Only the engine's own exceptions may come out; results must stay in bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_parser.h"
#include "platform/byte_order.h"
#include "platform/exceptions.h"

namespace {

struct Field {
  const char* name;
  char type;
  uint8_t length;
  uint8_t decimals;
};

// The bytes of a table: header, descriptors, terminator, records, end-of-file mark.
std::vector<uint8_t> TableBytes(bool dBase7, const std::vector<Field>& fields,
                                const std::vector<std::string>& records) {
  const size_t mainSize = dBase7 ? 68 : 32;
  const size_t descriptorSize = dBase7 ? 48 : 32;
  size_t recordSize = 1;
  for (const Field& field : fields) recordSize += field.length;
  std::vector<uint8_t> bytes(mainSize, 0);
  bytes[0] = dBase7 ? 0x04 : 0x03;
  bytes[1] = 124;
  bytes[2] = 1;
  bytes[3] = 2;
  platform::PutLE32(&bytes[4], static_cast<uint32_t>(records.size()));
  platform::PutLE16(&bytes[8],
                    static_cast<uint16_t>(mainSize + fields.size() * descriptorSize + 1));
  platform::PutLE16(&bytes[10], static_cast<uint16_t>(recordSize));
  bytes[29] = dBase7 ? 0 : 0x10;  // code page 850
  for (const Field& field : fields) {
    std::vector<uint8_t> descriptor(descriptorSize, 0);
    std::memcpy(descriptor.data(), field.name, std::strlen(field.name));
    descriptor[dBase7 ? 32 : 11] = static_cast<uint8_t>(field.type);
    descriptor[dBase7 ? 33 : 16] = field.length;
    descriptor[dBase7 ? 34 : 17] = field.decimals;
    bytes.insert(bytes.end(), descriptor.begin(), descriptor.end());
  }
  bytes.push_back(0x0D);
  for (const std::string& record : records) {
    std::string padded = record;
    padded.resize(recordSize, ' ');
    bytes.insert(bytes.end(), padded.begin(), padded.end());
  }
  bytes.push_back(0x1A);
  return bytes;
}

std::string BigEndian(uint64_t value, int size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  for (int i = size - 1; i >= 0; --i, value >>= 8)
    bytes[static_cast<size_t>(i)] = char(value & 0xFF);
  return bytes;
}

struct Table {
  std::unique_ptr<dbf::TDbfFile> file;
  std::vector<std::vector<uint8_t>> records;  // each record, then a blank one
};

Table OpenTable(const std::vector<uint8_t>& bytes) {
  std::string path = "/tmp/tabulet-expr-fuzz-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
    std::abort();
  close(fd);
  Table table;
  table.file = std::make_unique<dbf::TDbfFile>(path);
  table.file->SetMode(dbf::pfReadOnly);
  table.file->SetUseFloatFields(false);
  table.file->Open();
  unlink(path.c_str());  // the open descriptor keeps the file readable
  const int32_t size = table.file->GetRecordSize();
  for (int32_t recNo = 1; recNo <= table.file->GetRecordCount(); ++recNo) {
    table.records.emplace_back(static_cast<size_t>(size));
    if (table.file->ReadRecord(recNo, table.records.back().data()) != size) std::abort();
  }
  table.records.emplace_back(static_cast<size_t>(size), ' ');
  return table;
}

Table& TextTable() {
  static Table table = OpenTable(
      TableBytes(false,
                 {{"NAME", 'C', 10, 0},
                  {"CITY", 'C', 8, 0},
                  {"AMOUNT", 'N', 8, 2},
                  {"QTY", 'N', 4, 0},
                  {"COUNT", 'N', 9, 0},
                  {"BIG", 'N', 18, 0},
                  {"FLAG", 'L', 1, 0},
                  {"BOOKED", 'D', 8, 0}},
                 {" Oak       M\x81nchen  1234.50  -5123456789  9007199254740993T20240229",
                  " ab        Berlin     -0.01   0        0                  0F        ",
                  "*\xff\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6xxxxxxxx--------"
                  "9999999999999999999999999999999?????"
                  "???"}));
  return table;
}

Table& BinaryTable() {
  static Table table = OpenTable(TableBytes(
      true,
      {{"ID", 'I', 4, 0},
       {"SEQ", '+', 4, 0},
       {"STAMP", '@', 8, 0},
       {"RATE", 'O', 8, 0},
       {"NAME", 'C', 6, 0}},
      {" " + BigEndian(0x7FFFFFF9u, 4) + BigEndian(0x8000000Cu, 4) +
           BigEndian(0x42A587A3A9400000ull, 8) + BigEndian(0x3FD0000000000000ull, 8) + "abc",
       " " + std::string(24, '\0') + "      ",
       " " + std::string(24, '\xff') + "\xff\xff\xff\xff\xff\xff"}));
  return table;
}

// Reads every byte of the result, so that the sanitizer sees a result out of bounds.
int Touch(const dbf::TDbfParser& parser, const char* result) {
  size_t length = 0;
  switch (parser.ResultType()) {
    case dbf::rkBoolean:
      length = 1;
      break;
    case dbf::rkInteger:
      length = 4;
      break;
    case dbf::rkLargeInt:
    case dbf::rkFloat:
    case dbf::rkDateTime:
      length = 8;
      break;
    case dbf::rkString:
      length =
          parser.IsCompiled() ? std::strlen(result) : static_cast<size_t>(parser.ResultLength());
      break;
    default:
      break;
  }
  int sum = 0;
  for (size_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(result[i]);
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  Table& table = (options & 4) ? BinaryTable() : TextTable();
  dbf::TDbfParser parser(table.file.get());
  parser.SetRawStringFields((options & 1) != 0);
  parser.SetCaseInsensitive((options & 2) != 0);
  try {
    parser.Compile(text);
  } catch (const platform::Exception&) {
    return 0;  // syntax, argument, conversion and field errors are the expected answers
  }
  if (parser.ResultType() == dbf::rkUnknown) return 0;  // an empty text compiles to nothing
  volatile int sink = 0;
  for (int round = 0; round < 2; ++round)
    for (const auto& record : table.records)
      sink = sink + Touch(parser, parser.EvaluateRecord(record.data()));
  return 0;
}
