#include "dbf/dbf_memo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/byte_order.h"
#include "platform/exceptions.h"
#include "support/test_util.h"

using namespace dbf;
using testing_util::ReadBytes;
using testing_util::TempDir;
using testing_util::WriteBytes;

namespace {

template <class MemoFile>
std::unique_ptr<MemoFile> OpenMemo(const std::string& path, uint8_t version,
                                   TPagedFileMode mode = pfExclusiveOpen,
                                   int32_t requestedBlockSize = 0) {
  auto memo = std::make_unique<MemoFile>(path);
  memo->SetDbfVersion(version);
  memo->SetRequestedBlockSize(requestedBlockSize);
  memo->SetMode(mode);
  memo->Open();
  return memo;
}

std::unique_ptr<TDbaseMemoFile> NewDbase(const std::string& path, uint8_t version) {
  return OpenMemo<TDbaseMemoFile>(path, version, pfExclusiveCreate, 512);
}

std::string Text(size_t length, char first = 'a') {
  std::string text(length, ' ');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(first + i % 26);
  return text;
}

// A memo file image: a 512-byte header and the given blocks.
std::vector<uint8_t> Image(const std::vector<uint8_t>& header,
                           const std::vector<std::vector<uint8_t>>& blocks, size_t blockSize) {
  std::vector<uint8_t> bytes(512, 0);
  std::copy(header.begin(), header.end(), bytes.begin());
  bytes.resize(std::max<size_t>(512, blockSize));
  for (const auto& block : blocks) {
    std::vector<uint8_t> padded = block;
    padded.resize(blockSize, ' ');
    bytes.insert(bytes.end(), padded.begin(), padded.end());
  }
  return bytes;
}

}  // namespace

TEST(MemoFile, NewFileStartsAtBlockOneAndEmptyMemosTouchNothing) {
  TempDir dir;
  const std::string path = dir.File("t.dbt");
  auto memo = NewDbase(path, 3);
  int32_t blockNo = 7;
  memo->StoreMemo(blockNo, 0, "");
  EXPECT_EQ(blockNo, 0);
  memo->Close();
  auto bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 512u);
  EXPECT_EQ(platform::GetLE32(bytes.data()), 1u);
  EXPECT_EQ(platform::GetLE16(bytes.data() + 20), 512);

  memo = OpenMemo<TDbaseMemoFile>(path, 3);
  blockNo = 0;
  memo->StoreMemo(blockNo, 0, "hello");
  EXPECT_EQ(blockNo, 1);
  memo->Close();
  bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(std::memcmp(bytes.data() + 512, "\xFF\xFF\x08\x00\x0D\x00\x00\x00hello   ", 16), 0);
  EXPECT_EQ(platform::GetLE32(bytes.data()), 2u);
}

TEST(MemoFile, DbaseIIIEndMarksAtTheBlockBoundary) {
  struct Case {
    size_t length;
    size_t blocks;           // blocks the memo occupies
    size_t firstMarkOffset;  // file offset of the first 0x1A
  } const kCases[] = {
      {510, 1, 512 + 510},  // data and both marks fill one block
      {511, 2, 512 + 511},  // first mark ends block 1, second starts block 2
      {512, 2, 1024},       // both marks in block 2
      {3, 1, 515},
  };
  for (const auto& c : kCases) {
    TempDir dir;
    const std::string path = dir.File("t.dbt");
    auto memo = NewDbase(path, 2);
    const std::string data = Text(c.length);
    int32_t blockNo = 0;
    memo->StoreMemo(blockNo, 0, data);
    ASSERT_EQ(blockNo, 1);
    std::string back;
    memo->LoadMemo(blockNo, back);
    EXPECT_EQ(back, data) << c.length;
    memo->Close();
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 512 + 512 * c.blocks) << c.length;
    EXPECT_EQ(bytes[c.firstMarkOffset], 0x1A) << c.length;
    EXPECT_EQ(bytes[c.firstMarkOffset + 1], 0x1A) << c.length;
    EXPECT_EQ(platform::GetLE32(bytes.data()), 1 + c.blocks);
    EXPECT_EQ(bytes[16], 3);  // the dBASE III version byte goes out with the header
  }
}

TEST(MemoFile, TerminatedMemosReadByTheEndMarkRules) {
  struct Case {
    const char* name;
    std::vector<std::vector<uint8_t>> blocks;
    std::string expected;
  } const kCases[] = {
      {"lone 0x1A followed by a letter is data",
       {{'a', 0x1A, 'b', 0x1A, 0x1A}},
       "a\x1A"
       "b"},
      {"mark then zero ends", {{'x', 'y', 0x1A, 0}}, "xy"},
      {"no signature in a dBASE IV file", {{'n', 'o', 0x1A, 0x1A}}, "no"},
  };
  for (const auto& c : kCases) {
    TempDir dir;
    std::vector<uint8_t> header(32, 0);
    platform::PutLE16(header.data() + 20, 512);
    WriteBytes(dir.File("t.dbt"), Image(header, c.blocks, 512));
    auto memo = OpenMemo<TDbaseMemoFile>(dir.File("t.dbt"), 3, pfReadOnly);
    std::string back;
    memo->LoadMemo(1, back);
    EXPECT_EQ(back, c.expected) << c.name;
  }
  // A mark in the last byte of a block with a mark opening the next one ends the memo there.
  TempDir dir;
  std::vector<uint8_t> first(512, 'q');
  first[511] = 0x1A;
  WriteBytes(dir.File("t.dbt"), Image({}, {first, {0x1A, 'z'}}, 512));
  auto memo = OpenMemo<TDbaseMemoFile>(dir.File("t.dbt"), 2, pfReadOnly);
  std::string back;
  memo->LoadMemo(1, back);
  EXPECT_EQ(back, std::string(511, 'q'));
}

TEST(MemoFile, RewritesStayInPlaceWhileTheyFit) {
  TempDir dir;
  auto memo = NewDbase(dir.File("t.dbt"), 4);
  int32_t blockNo = 0;
  memo->StoreMemo(blockNo, 0, Text(500));
  ASSERT_EQ(blockNo, 1);
  memo->StoreMemo(blockNo, 500, Text(504, 'b'));  // 504 + 8 fits one block
  EXPECT_EQ(blockNo, 1);
  EXPECT_EQ(memo->FreeBlockPointer(), 2);
  memo->StoreMemo(blockNo, 504, Text(505, 'c'));  // needs two blocks: moves to the end
  EXPECT_EQ(blockNo, 2);
  EXPECT_EQ(memo->FreeBlockPointer(), 4);
  std::string back;
  memo->LoadMemo(2, back);
  EXPECT_EQ(back, Text(505, 'c'));
  memo->LoadMemo(1, back);
  EXPECT_EQ(back, Text(504, 'b'));  // the abandoned blocks keep their old memo
}

TEST(MemoFile, LargeMemosRoundTripInBothFormats) {
  const std::string big = Text(100000);
  for (uint8_t version : {uint8_t(3), uint8_t(5)}) {
    TempDir dir;
    std::unique_ptr<TMemoFile> memo;
    if (version == 5) {
      memo = OpenMemo<TFoxProMemoFile>(dir.File("t.fpt"), 5, pfExclusiveCreate, 64);
      EXPECT_EQ(memo->FreeBlockPointer(), 8);  // 512 / 64: the header spans eight blocks
    } else {
      memo = NewDbase(dir.File("t.dbt"), 3);
    }
    int32_t first = 0, second = 0;
    memo->StoreMemo(first, 0, big);
    memo->StoreMemo(second, 0, "tail");
    std::string back;
    memo->LoadMemo(first, back);
    EXPECT_EQ(back, big);
    memo->LoadMemo(second, back);
    EXPECT_EQ(back, "tail");
  }
}

TEST(MemoFile, FoxProBlocksFollowTheHeaderBlockSize) {
  TempDir dir;
  std::vector<uint8_t> header(8, 0);
  platform::PutBE32(header.data(), 10);
  platform::PutBE16(header.data() + 6, 64);
  std::vector<uint8_t> bytes(512 + 64 * 2, 0);
  std::copy(header.begin(), header.end(), bytes.begin());
  uint8_t* block = bytes.data() + 512 + 64;  // block 9 at offset 9 x 64
  platform::PutBE32(block, 1);
  platform::PutBE32(block + 4, 60);
  for (int i = 0; i < 56; ++i) block[8 + i] = 'a' + i % 26;
  bytes.resize(512 + 64 * 3, ' ');  // block 10 holds the last four bytes
  for (int i = 56; i < 60; ++i) bytes[512 + 128 + i - 56] = 'a' + i % 26;
  WriteBytes(dir.File("t.fpt"), bytes);
  auto memo = OpenMemo<TFoxProMemoFile>(dir.File("t.fpt"), 5, pfReadOnly);
  EXPECT_EQ(memo->BlockSize(), 64);
  std::string back;
  memo->LoadMemo(9, back);
  EXPECT_EQ(back, Text(60));
}

TEST(MemoFile, BlockSizeRepairsAndRefusals) {
  TempDir dir;
  std::vector<uint8_t> header(32, 0);
  platform::PutLE16(header.data() + 20, 100);
  WriteBytes(dir.File("iv.dbt"), Image(header, {}, 512));
  auto dbase4 = OpenMemo<TDbaseMemoFile>(dir.File("iv.dbt"), 3);
  EXPECT_EQ(dbase4->BlockSize(), 512);
  dbase4->Close();
  EXPECT_EQ(platform::GetLE16(ReadBytes(dir.File("iv.dbt")).data() + 20), 512);

  platform::PutLE16(header.data() + 20, 1024);
  WriteBytes(dir.File("iii.dbt"), Image(header, {}, 512));
  EXPECT_EQ(OpenMemo<TDbaseMemoFile>(dir.File("iii.dbt"), 2)->BlockSize(), 512);
  EXPECT_EQ(OpenMemo<TDbaseMemoFile>(dir.File("iii.dbt"), 3)->BlockSize(), 1024);

  WriteBytes(dir.File("zero.fpt"), std::vector<uint8_t>(1024, 0));
  auto fox = OpenMemo<TFoxProMemoFile>(dir.File("zero.fpt"), 5);
  std::string back = "stale";
  fox->LoadMemo(1, back);
  EXPECT_EQ(back, "");
  int32_t blockNo = 0;
  EXPECT_THROW(fox->StoreMemo(blockNo, 0, "x"), platform::EDbfError);
}

TEST(MemoFile, DamagedReferencesAndLengthsReadSafely) {
  TempDir dir;
  std::vector<uint8_t> header(32, 0);
  platform::PutLE32(header.data(), 3);
  platform::PutLE16(header.data() + 20, 512);
  std::vector<uint8_t> counted = {0xFF, 0xFF, 0x08, 0x00, 0xF0, 0xFF, 0xFF, 0x7F, 'x', 'y'};
  std::vector<uint8_t> negative = {0xFF, 0xFF, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00};
  WriteBytes(dir.File("t.dbt"), Image(header, {counted, negative}, 512));
  auto memo = OpenMemo<TDbaseMemoFile>(dir.File("t.dbt"), 4);
  std::string back;
  memo->LoadMemo(1, back);  // claims 2 GiB; only the blocks that exist are read
  EXPECT_EQ(back.size(), 504u + 512u);
  EXPECT_EQ(back.substr(0, 2), "xy");
  for (int32_t blockNo : {0, -5, 3, 1000000, INT32_MAX}) {
    memo->LoadMemo(blockNo, back);
    EXPECT_EQ(back, "") << blockNo;
  }
  memo->LoadMemo(2, back);  // length below the head: empty
  EXPECT_EQ(back, "");

  // A record pointing into the header is never rewritten in place.
  int32_t blockNo = 0;
  memo->StoreMemo(blockNo, 100000, "safe");
  EXPECT_EQ(blockNo, 3);
  EXPECT_EQ(memo->FreeBlockPointer(), 4);
}

TEST(MemoFile, MissingFileIsNamedAndSharedHeaderWritesAreImmediate) {
  TempDir dir;
  try {
    OpenMemo<TDbaseMemoFile>(dir.File("none.dbt"), 3, pfReadWriteOpen);
    FAIL();
  } catch (const platform::Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Open: file not found: \"" + dir.File("none.dbt") + "\".");
  }
  NewDbase(dir.File("s.dbt"), 4)->Close();
  auto shared = OpenMemo<TDbaseMemoFile>(dir.File("s.dbt"), 4, pfReadWriteOpen);
  int32_t blockNo = 0;
  shared->StoreMemo(blockNo, 0, "abc");
  EXPECT_EQ(platform::GetLE32(ReadBytes(dir.File("s.dbt")).data()), 2u);
}
