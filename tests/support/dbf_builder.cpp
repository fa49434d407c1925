#include "support/dbf_builder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/byte_order.h"
#include "support/test_util.h"

namespace testing_util {
namespace {

std::string BigEndian64(uint64_t bits) {
  std::string bytes(8, '\0');
  platform::PutBE64(reinterpret_cast<uint8_t*>(bytes.data()), bits);
  return bytes;
}

}  // namespace

DbfBuilder::DbfBuilder(uint8_t versionByte, std::vector<FieldSpec> fields, uint8_t languageId)
    : version_(versionByte), languageId_(languageId), fields_(std::move(fields)) {}

DbfBuilder& DbfBuilder::LanguageName(const std::string& name) {
  languageName_ = name;
  return *this;
}
DbfBuilder& DbfBuilder::MdxFlag(uint8_t flag) {
  mdxFlag_ = flag;
  return *this;
}
DbfBuilder& DbfBuilder::ExtraHeader(std::vector<uint8_t> bytes) {
  extraHeader_ = std::move(bytes);
  return *this;
}
DbfBuilder& DbfBuilder::HeaderRecordCount(uint32_t count) {
  recordCount_ = count;
  return *this;
}
DbfBuilder& DbfBuilder::HeaderLength(uint16_t length) {
  headerLength_ = length;
  return *this;
}
DbfBuilder& DbfBuilder::RecordLength(uint16_t length) {
  recordLength_ = length;
  return *this;
}

int DbfBuilder::StoredLength(const FieldSpec& field) const {
  return field.type == 'C' ? field.length + 256 * field.decimals : field.length;
}

int DbfBuilder::HeaderLengthComputed() const {
  const int mainSize = IsDBase7() ? 68 : 32;
  const int descriptorSize = IsDBase7() ? 48 : 32;
  return mainSize + int(fields_.size()) * descriptorSize + 1 + int(extraHeader_.size());
}

int DbfBuilder::RecordLengthComputed() const {
  int length = 1;
  for (const FieldSpec& field : fields_) length += StoredLength(field);
  return length;
}

DbfBuilder& DbfBuilder::Record(const std::vector<std::string>& values, bool deleted) {
  std::vector<uint8_t> record(size_t(RecordLengthComputed()), ' ');
  record[0] = deleted ? '*' : ' ';
  size_t offset = 1;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const size_t length = size_t(StoredLength(fields_[i]));
    if (i < values.size())
      std::memcpy(record.data() + offset, values[i].data(), std::min(length, values[i].size()));
    offset += length;
  }
  records_.push_back(std::move(record));
  return *this;
}

std::vector<uint8_t> DbfBuilder::Bytes() const {
  const bool dBase7 = IsDBase7();
  const int mainSize = dBase7 ? 68 : 32;
  const int descriptorSize = dBase7 ? 48 : 32;
  std::vector<uint8_t> bytes(size_t(mainSize), 0);
  bytes[0] = version_;
  bytes[1] = 124;  // 2024-01-02
  bytes[2] = 1;
  bytes[3] = 2;
  platform::PutLE32(&bytes[4], recordCount_.value_or(uint32_t(records_.size())));
  platform::PutLE16(&bytes[8], headerLength_.value_or(uint16_t(HeaderLengthComputed())));
  platform::PutLE16(&bytes[10], recordLength_.value_or(uint16_t(RecordLengthComputed())));
  bytes[28] = mdxFlag_;
  bytes[29] = languageId_;
  if (dBase7)
    std::memcpy(&bytes[32], languageName_.data(), std::min<size_t>(31, languageName_.size()));

  for (const FieldSpec& field : fields_) {
    std::vector<uint8_t> descriptor(size_t(descriptorSize), 0);
    const size_t nameMax = dBase7 ? 31 : 10;
    std::memcpy(descriptor.data(), field.name.data(), std::min(nameMax, field.name.size()));
    const size_t typeAt = dBase7 ? 32 : 11;
    descriptor[typeAt] = uint8_t(field.type);
    descriptor[dBase7 ? 33 : 16] = uint8_t(field.length);
    descriptor[dBase7 ? 34 : 17] = uint8_t(field.decimals);
    if (dBase7) platform::PutLE32(&descriptor[42], field.nextAutoInc);
    bytes.insert(bytes.end(), descriptor.begin(), descriptor.end());
  }
  bytes.push_back(0x0D);
  bytes.insert(bytes.end(), extraHeader_.begin(), extraHeader_.end());
  for (const auto& record : records_) bytes.insert(bytes.end(), record.begin(), record.end());
  bytes.push_back(0x1A);
  return bytes;
}

void DbfBuilder::Write(const std::string& path) const {
  WriteBytes(path, Bytes());
}

std::string OrderedInt(int32_t value) {
  std::string bytes(4, '\0');
  platform::PutBE32(reinterpret_cast<uint8_t*>(bytes.data()),
                    static_cast<uint32_t>(value) ^ 0x80000000u);
  return bytes;
}

std::string OrderedDouble(double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  bits = value >= 0 ? bits | (uint64_t(1) << 63) : ~bits;
  return BigEndian64(bits);
}

std::string TimeStampBytes(double milliseconds) {
  return BigEndian64(std::bit_cast<uint64_t>(milliseconds));
}

}  // namespace testing_util
