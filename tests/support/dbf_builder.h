// Builds .dbf table files byte by byte for tests: a main header, descriptors of the level's
// size, the terminator, optional extra header bytes, records and the end-of-file byte. It
// writes what it is told, damaged layouts included; the header's counts and lengths are
// computed unless overridden.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_util {

struct FieldSpec {
  std::string name;
  char type;
  int length;        // stored length byte (for C the low byte when `decimals` holds the high)
  int decimals = 0;  // stored decimal byte
  uint32_t nextAutoInc = 0;  // dBASE 7 descriptors only
};

class DbfBuilder {
 public:
  // A dBASE 7 layout (68-byte header, 48-byte descriptors) when the version byte's low three
  // bits are 4.
  DbfBuilder(uint8_t versionByte, std::vector<FieldSpec> fields, uint8_t languageId = 0);

  DbfBuilder& LanguageName(const std::string& name);  // dBASE 7 header bytes 32-63
  DbfBuilder& MdxFlag(uint8_t flag);
  // Bytes placed after the terminator, inside the header (dBASE 7 properties, FoxPro area).
  DbfBuilder& ExtraHeader(std::vector<uint8_t> bytes);
  DbfBuilder& HeaderRecordCount(uint32_t count);
  DbfBuilder& HeaderLength(uint16_t length);
  DbfBuilder& RecordLength(uint16_t length);
  // One record: each value is copied into its field and blank-padded (binary values are
  // given as their exact bytes).
  DbfBuilder& Record(const std::vector<std::string>& values, bool deleted = false);

  bool IsDBase7() const { return (version_ & 0x07) == 4; }
  // The computed lengths (overrides left out).
  int HeaderLengthComputed() const;
  int RecordLengthComputed() const;
  std::vector<uint8_t> Bytes() const;
  void Write(const std::string& path) const;

 private:
  int StoredLength(const FieldSpec& field) const;

  uint8_t version_;
  uint8_t languageId_;
  uint8_t mdxFlag_ = 0;
  std::vector<FieldSpec> fields_;
  std::string languageName_;
  std::vector<uint8_t> extraHeader_;
  std::vector<std::vector<uint8_t>> records_;
  std::optional<uint32_t> recordCount_;
  std::optional<uint16_t> headerLength_;
  std::optional<uint16_t> recordLength_;
};

// Big-endian bytes of the stored forms of I/+ (ordered integer), O (ordered double) and
// @ (timestamp milliseconds), for building records.
std::string OrderedInt(int32_t value);
std::string OrderedDouble(double value);
std::string TimeStampBytes(double milliseconds);

}  // namespace testing_util
