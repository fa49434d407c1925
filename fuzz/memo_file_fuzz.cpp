// libFuzzer target for memo files: the first input byte picks the owning table's level and
// the memo format, the rest is the memo file, header and blocks as found. Every block number
// the file could hold is loaded, then a memo is stored in place and at the end and read back.
// Nothing may crash, read out of bounds or loop without end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "dbf/dbf_memo.h"
#include "platform/exceptions.h"

namespace {

constexpr uint8_t kVersions[] = {2, 3, 5, 6};
constexpr int32_t kMaxBlocksLoaded = 256;

const std::string& Scratch() {
  static const std::string path = "/tmp/memo_fuzz_" + std::to_string(getpid()) + ".dbt";
  return path;
}

std::unique_ptr<dbf::TMemoFile> OpenMemo(uint8_t version, dbf::TPagedFileMode mode) {
  std::unique_ptr<dbf::TMemoFile> memo;
  if (version == 5)
    memo = std::make_unique<dbf::TFoxProMemoFile>(Scratch());
  else
    memo = std::make_unique<dbf::TDbaseMemoFile>(Scratch());
  memo->SetDbfVersion(version);
  memo->SetMode(mode);
  memo->Open();
  return memo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t version = kVersions[data[0] % 4];
  FILE* file = std::fopen(Scratch().c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  std::string memo;
  {
    auto reader = OpenMemo(version, dbf::pfReadOnly);
    const int32_t blockSize = reader->BlockSize();
    const int64_t blocks = blockSize > 0 ? int64_t(size) / blockSize + 2 : 2;
    for (int32_t blockNo = -1; blockNo < blocks && blockNo < kMaxBlocksLoaded; ++blockNo)
      reader->LoadMemo(blockNo, memo);
  }
  try {
    auto writer = OpenMemo(version, dbf::pfExclusiveOpen);
    const std::string text(static_cast<size_t>(data[0]) * 3, 'x');
    int32_t blockNo = size > 1 ? data[1] % 8 : 0;
    writer->LoadMemo(blockNo, memo);
    writer->StoreMemo(blockNo, static_cast<int32_t>(memo.size()), text);
    writer->LoadMemo(blockNo, memo);
    int32_t appended = 0;
    writer->StoreMemo(appended, 0, text + "y");
    writer->LoadMemo(appended, memo);
  } catch (const platform::EDbfError&) {
    // A block size or free pointer no memo can be stored under is refused.
  }
  unlink(Scratch().c_str());
  return 0;
}
