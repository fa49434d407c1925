// Byte layout of a .dbf table file, shared by its reader and writer: the main header, the
// field descriptors of both sizes and the dBASE 7 field-properties block. Offsets are bytes
// from the start of the structure named; every integer is little-endian (read and written
// through platform/byte_order.h).
#pragma once

#include <cstdint>

namespace dbf {

// Version codes: how the engine names the four table levels.
constexpr uint8_t kDbfVersionDBase3 = 2;
constexpr uint8_t kDbfVersionDBase4 = 3;
constexpr uint8_t kDbfVersionFoxPro = 5;
constexpr uint8_t kDbfVersionDBase7 = 6;

// Main header, all levels (dBASE 7 extends it to 68 bytes).
namespace header {
constexpr int32_t kVersion = 0;     // 1 byte; bit 0x80 marks a table with memo fields
constexpr int32_t kUpdateYear = 1;  // year - 1900, modulo 256
constexpr int32_t kUpdateMonth = 2;
constexpr int32_t kUpdateDay = 3;
constexpr int32_t kRecordCount = 4;    // 4 bytes, unsigned
constexpr int32_t kHeaderLength = 8;   // 2 bytes: bytes before the first record
constexpr int32_t kRecordLength = 10;  // 2 bytes: deletion flag included
constexpr int32_t kMdxFlag = 28;       // non-zero: a production index belongs to the table
constexpr int32_t kLanguageId = 29;    // language-driver byte
constexpr int32_t kLanguageName = 32;  // dBASE 7: 32 bytes, zero-terminated driver name
constexpr int32_t kLanguageNameLength = 32;
constexpr int32_t kSize = 32;  // main header of levels III, IV and FoxPro
constexpr int32_t kSizeDBase7 = 68;
constexpr uint8_t kMemoFlag = 0x80;
}  // namespace header

// Field descriptor of levels III, IV and FoxPro: 32 bytes, the first at offset 32.
namespace descriptor {
constexpr int32_t kName = 0;  // 11 bytes, zero-terminated
constexpr int32_t kNameLength = 11;
constexpr int32_t kType = 11;
constexpr int32_t kLength = 16;    // type C: low byte of the length
constexpr int32_t kDecimals = 17;  // type C: high byte of the length
constexpr int32_t kSize = 32;
}  // namespace descriptor

// Field descriptor of dBASE 7: 48 bytes, the first at offset 68.
namespace descriptor7 {
constexpr int32_t kName = 0;  // 32 bytes, zero-terminated
constexpr int32_t kNameLength = 32;
constexpr int32_t kType = 32;
constexpr int32_t kLength = 33;
constexpr int32_t kDecimals = 34;
constexpr int32_t kNextAutoInc = 42;  // 4 bytes, unsigned: next value of a type + field
constexpr int32_t kSize = 48;
}  // namespace descriptor7

// Byte after the last field descriptor.
constexpr uint8_t kDescriptorTerminator = 0x0D;
// Byte after the last record.
constexpr uint8_t kEndOfFile = 0x1A;
// Deletion flag (record byte 0).
constexpr uint8_t kRecordActive = ' ';
constexpr uint8_t kRecordDeleted = '*';

// dBASE 7 field-properties block, at position P directly after the descriptors (and their
// terminator when present). Its offsets are relative to P.
namespace properties {
constexpr int32_t kCount = 0;        // 2 bytes: number of property descriptors
constexpr int32_t kFirst = 2;        // 2 bytes: offset of the first property descriptor
constexpr int32_t kHeaderSize = 16;  // bytes of the block's own header
// Property descriptor, 15 bytes each.
constexpr int32_t kFieldNo = 2;       // 2 bytes, 1-based; 0: skipped
constexpr int32_t kKind = 4;          // 1 byte: kRequired ... kDefault
constexpr int32_t kValueOffset = 11;  // 2 bytes, relative to P
constexpr int32_t kValueLength = 13;  // 2 bytes
constexpr int32_t kDescriptorSize = 15;
constexpr uint8_t kRequired = 1;
constexpr uint8_t kMinimum = 2;
constexpr uint8_t kMaximum = 3;
constexpr uint8_t kDefault = 4;
}  // namespace properties

}  // namespace dbf
