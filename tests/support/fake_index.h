// An index file that keeps no keys but records what the table file asks of it, for tests of
// the append and edit protocols. It can be told to report a key violation or to fail its
// writes (setting the paged file's write-error flag) at a chosen step.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "dbf/dbf_idxbase.h"

namespace testing_util {

class TFakeIndexFile : public dbf::TIndexFileBase {
 public:
  using TIndexFileBase::TIndexFileBase;

  // "check", "insert 3", "delete 3", "update 3", "deleted 3" in the order asked.
  std::vector<std::string> Calls;
  bool Violation = false;
  bool FailInsert = false;
  bool FailDelete = false;
  bool FailUpdate = false;

  bool CheckKeyViolation(const uint8_t*) override {
    Calls.push_back("check");
    return Violation;
  }
  [[noreturn]] void RaiseKeyViolation(int32_t recNo, const uint8_t*) override {
    throw std::runtime_error("key violation " + std::to_string(recNo));
  }
  void InsertKeys(int32_t recNo, const uint8_t*) override {
    Calls.push_back("insert " + std::to_string(recNo));
    if (FailInsert) FWriteError = true;
  }
  void DeleteKeys(int32_t recNo, const uint8_t*) override {
    Calls.push_back("delete " + std::to_string(recNo));
    if (FailDelete) FWriteError = true;
  }
  void UpdateKeys(int32_t recNo, const uint8_t*, const uint8_t*) override {
    Calls.push_back("update " + std::to_string(recNo));
    if (FailUpdate) FWriteError = true;
  }
  void RecordDeleted(int32_t recNo, const uint8_t*) override {
    Calls.push_back("deleted " + std::to_string(recNo));
  }
};

}  // namespace testing_util
