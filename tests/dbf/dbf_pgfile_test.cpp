#include "dbf/dbf_pgfile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/file.h"
#include "platform/system.h"
#include "support/test_util.h"

using namespace dbf;
using testing_util::Child;
using testing_util::ReadBytes;
using testing_util::TempDir;
using testing_util::WriteBytes;

namespace {

std::vector<uint8_t> Bytes(size_t count, uint8_t first = 0) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(first + i);
  return bytes;
}

// A table-like file: `headerSize` header bytes, then pages of `pageSize` bytes.
std::unique_ptr<TPagedFile> Open(const std::string& path, TPagedFileMode mode,
                                 int32_t headerSize = 0, int32_t pageSize = 0) {
  auto file = std::make_unique<TPagedFile>(path);
  file->SetMode(mode);
  file->OpenFile();
  file->SetHeaderSize(headerSize);
  file->SetRecordSize(pageSize);
  return file;
}

}  // namespace

TEST(PagedFile, PageOffsets) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(100));
  struct Case {
    bool byHeader;
    int32_t headerOffset, headerSize, pageSize, page;
    int64_t offset;
  } const kCases[] = {
      {true, 0, 32, 10, 0, 0},  // page 0 is the header, not the first record
      {true, 0, 32, 10, 1, 32},
      {true, 0, 32, 10, 3, 52},
      {true, 8, 32, 10, 1, 40},
      {true, 8, 32, 10, 0, 0},
      {false, 0, 32, 512, 0, 0},
      {false, 0, 32, 512, 2, 1024},
      {true, 0, 32, 70000, 40000, 32 + int64_t(39999) * 70000},  // beyond 32 bits
  };
  for (const auto& c : kCases) {
    TPagedFile file(dir.File("t"));
    file.SetPageOffsetByHeader(c.byHeader);
    file.SetHeaderOffset(c.headerOffset);
    file.OpenFile();
    file.SetHeaderSize(c.headerSize);
    file.SetRecordSize(c.pageSize);
    EXPECT_EQ(file.CalcPageOffset(c.page), c.offset) << c.page;
  }
}

TEST(PagedFile, ShortFileGivesZeroedHeaderTailAndNoRecords) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(10, 1));
  auto file = Open(dir.File("t"), pfReadOnly, 32, 8);
  const uint8_t* header = file->GetHeader();
  EXPECT_EQ(header[0], 1);
  EXPECT_EQ(header[9], 10);
  for (int i = 10; i < 32; ++i) EXPECT_EQ(header[i], 0) << i;
  EXPECT_EQ(file->GetRecordCount(), 0);
}

TEST(PagedFile, CountsOnlyWholePagesAndReadsShortAtTheEnd) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(32 + 3 * 8 + 1));  // the extra byte: an end-of-file mark
  auto file = Open(dir.File("t"), pfReadOnly, 32, 8);
  EXPECT_EQ(file->GetRecordCount(), 3);
  uint8_t record[8];
  EXPECT_EQ(file->ReadRecord(3, record), 8);
  EXPECT_EQ(record[0], 32 + 16);
  EXPECT_EQ(file->ReadRecord(4, record), 1);
  EXPECT_EQ(file->ReadRecord(5, record), 0);
}

TEST(PagedFile, MissingFileWithoutAutoCreateRaisesPlainException) {
  TempDir dir;
  TPagedFile file(dir.File("missing.dbf"));
  file.SetMode(pfReadWriteOpen);
  try {
    file.OpenFile();
    FAIL() << "opened a missing file";
  } catch (const platform::EDbfError&) {
    FAIL() << "must not be an EDbfError";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Open: file not found: \"" + dir.File("missing.dbf") + "\".");
  }
  EXPECT_FALSE(platform::File::Exists(dir.File("missing.dbf")));
}

TEST(PagedFile, AutoCreateTurnsEveryModeIntoItsCreateTwin) {
  struct Case {
    TPagedFileMode asked, opened;
  } const kCases[] = {{pfReadOnly, pfReadWriteCreate},
                      {pfReadWriteOpen, pfReadWriteCreate},
                      {pfExclusiveOpen, pfExclusiveCreate},
                      {pfReadWriteCreate, pfReadWriteCreate},
                      {pfExclusiveCreate, pfExclusiveCreate}};
  for (const auto& c : kCases) {
    TempDir dir;
    TPagedFile file(dir.File("new.dbf"));
    file.SetMode(c.asked);
    file.SetAutoCreate(true);
    file.OpenFile();
    EXPECT_EQ(file.GetMode(), c.opened);
    EXPECT_TRUE(platform::File::Exists(dir.File("new.dbf")));
    file.WriteChunk("x", 1, 0);  // created files are always writable
    EXPECT_FALSE(file.GetWriteError());
  }
}

TEST(PagedFile, CreateModesEmptyAnExistingFile) {
  for (TPagedFileMode mode : {pfExclusiveCreate, pfReadWriteCreate}) {
    TempDir dir;
    WriteBytes(dir.File("t"), Bytes(100));
    auto file = Open(dir.File("t"), mode, 0, 10);
    EXPECT_EQ(file->GetRecordCount(), 0);
    file->CloseFile();
    EXPECT_TRUE(ReadBytes(dir.File("t")).empty());
  }
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(100));
  Open(dir.File("t"), pfExclusiveOpen, 0, 10);
  EXPECT_EQ(ReadBytes(dir.File("t")).size(), 100u);
}

TEST(PagedFile, HeaderWritesArePendingInExclusiveAccessAndImmediateInShared) {
  TempDir dir;
  const std::string path = dir.File("t");
  // Each flush point writes the pending header; until then the file keeps its old bytes.
  const std::function<void(TPagedFile&)> kFlushPoints[] = {
      [](TPagedFile& f) { f.CloseFile(); },
      [](TPagedFile& f) { f.ReadHeader(); },
      [](TPagedFile& f) { f.SetHeaderSize(16); },
      [](TPagedFile& f) { f.SetHeaderOffset(4); },
  };
  for (const auto& flush : kFlushPoints) {
    WriteBytes(path, Bytes(64));
    auto file = Open(path, pfExclusiveOpen, 8, 8);
    file->GetHeader()[0] = 0xAA;
    file->WriteHeader();
    EXPECT_EQ(ReadBytes(path)[0], 0);
    flush(*file);
    EXPECT_EQ(ReadBytes(path)[0], 0xAA);
  }
  WriteBytes(path, Bytes(64));
  auto shared = Open(path, pfReadWriteOpen, 8, 8);
  shared->GetHeader()[1] = 0xBB;
  shared->WriteHeader();
  EXPECT_EQ(ReadBytes(path)[1], 0xBB);
}

TEST(PagedFile, SetHeaderSizeWithSameSizeNeitherFlushesNorRereads) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64));
  auto file = Open(dir.File("t"), pfExclusiveOpen, 8, 8);
  file->GetHeader()[0] = 0xAA;
  file->WriteHeader();
  file->SetHeaderSize(8);
  EXPECT_EQ(file->GetHeader()[0], 0xAA);      // not re-read
  EXPECT_EQ(ReadBytes(dir.File("t"))[0], 0);  // not flushed
}

TEST(PagedFile, RecordCountFollowsWritesAndSetRecordCount) {
  TempDir dir;
  auto file = Open(dir.File("t"), pfExclusiveCreate, 16, 4);
  const uint8_t record[4] = {1, 2, 3, 4};
  for (int32_t recNo = 1; recNo <= 5; ++recNo) file->WriteRecord(recNo, record);
  EXPECT_EQ(file->GetRecordCount(), 5);
  EXPECT_EQ(file->GetCachedSize(), 16 + 5 * 4);
  file->SetRecordCount(2);
  EXPECT_EQ(file->GetRecordCount(), 2);
  EXPECT_EQ(ReadBytes(dir.File("t")).size(), 16u + 8u);
  file->SetRecordCount(4);
  EXPECT_EQ(ReadBytes(dir.File("t")).size(), 16u + 16u);
}

TEST(PagedFile, SharedAccessSeesAppendsOfOtherOpeners) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(16));
  auto reader = Open(dir.File("t"), pfReadOnly, 16, 4);
  auto writer = Open(dir.File("t"), pfReadWriteOpen, 16, 4);
  EXPECT_EQ(reader->GetRecordCount(), 0);
  const uint8_t record[4] = {};
  writer->WriteRecord(1, record);
  writer->WriteRecord(2, record);
  EXPECT_EQ(reader->GetRecordCount(), 2);
}

TEST(PagedFile, ExclusiveAccessLocksWithoutTouchingTheFile) {
  TempDir dir;
  auto file = Open(dir.File("t"), pfExclusiveCreate, 16, 4);
  EXPECT_TRUE(file->LockPage(1, false));
  file->UnlockPage(1);
  EXPECT_THROW(Open(dir.File("t"), pfReadWriteOpen), platform::EFOpenError);
  EXPECT_NO_THROW(file->CheckExclusiveAccess());
}

TEST(PagedFile, CheckExclusiveAccessRefusesSharedModes) {
  TempDir dir;
  auto file = Open(dir.File("t"), pfReadWriteCreate);
  try {
    file->CheckExclusiveAccess();
    FAIL();
  } catch (const platform::EDbfError& e) {
    EXPECT_STREQ(e.what(), "Exclusive access is required for this operation.");
  }
}

TEST(PagedFileLocks, RecordLocksOfTwoProcessesConflict) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64));
  Child child([&](Child& self) {
    auto file = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
    if (!file->LockPage(1, false)) return 1;
    self.Signal();
    self.WaitRelease();
    return 0;
  });
  child.WaitReady();
  auto file = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
  EXPECT_FALSE(file->LockPage(1, false));
  EXPECT_TRUE(file->LockPage(2, false));
  EXPECT_TRUE(file->LockPage(0, false));  // the header lock is a byte of its own
  uint8_t record[8];
  EXPECT_EQ(file->ReadRecord(1, record), 8);  // a virtual lock never blocks reading
  child.Release();
  EXPECT_EQ(child.Join(), 0);
  EXPECT_TRUE(file->LockPage(1, false));  // gone with the process
}

TEST(PagedFileLocks, VirtualLockBytesSitBelowTheHeaderLockByte) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64));
  const std::string path = dir.File("t");
  struct Case {
    uint64_t byte;
    int32_t page;
  } const kCases[] = {{0xEFFFFFFE, 0}, {0xEFFFFFFD, 1}, {0xEFFFFFFC, 2}};
  for (const auto& c : kCases) {
    platform::File raw(path, platform::FileAccess::ReadWrite, platform::FileShare::DenyNone);
    ASSERT_EQ(raw.Lock(c.byte, 1), platform::LockResult::Locked);
    auto file = Open(path, pfReadWriteOpen, 16, 8);
    for (int32_t page = 0; page <= 2; ++page) {
      EXPECT_EQ(file->LockPage(page, false), page != c.page) << c.byte << " page " << page;
      file->UnlockPage(page);
    }
  }
}

TEST(PagedFileLocks, TwoOpensInOneProcessConflict) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64));
  auto first = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
  auto second = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
  ASSERT_TRUE(first->LockPage(3, false));
  EXPECT_FALSE(second->LockPage(3, false));
  first->UnlockPage(3);
  EXPECT_TRUE(second->LockPage(3, false));
}

TEST(PagedFileLocks, RealPageLocksCoverThePageBytes) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(2048));
  auto memo = std::make_unique<TPagedFile>(dir.File("t"));
  memo->SetVirtualLocks(false);
  memo->SetPageOffsetByHeader(false);
  memo->SetMode(pfReadWriteOpen);
  memo->OpenFile();
  memo->SetRecordSize(512);
  ASSERT_TRUE(memo->LockPage(2, false));
  platform::File raw(dir.File("t"), platform::FileAccess::ReadWrite, platform::FileShare::DenyNone);
  EXPECT_EQ(raw.Lock(1023, 1), platform::LockResult::Locked);
  EXPECT_EQ(raw.Lock(1024, 1), platform::LockResult::Violation);
  EXPECT_EQ(raw.Lock(1535, 1), platform::LockResult::Violation);
  EXPECT_EQ(raw.Lock(1536, 1), platform::LockResult::Locked);
}

TEST(PagedFileLocks, WaitingLockPollsUntilTheHolderLetsGo) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64));
  Child child([&](Child& self) {
    auto file = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
    if (!file->LockPage(0, false)) return 1;
    self.Signal();
    self.WaitRelease();
    platform::Sleep(50);
    return 0;  // the lock goes with the process
  });
  child.WaitReady();
  auto file = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
  EXPECT_FALSE(file->LockPage(0, false));
  child.Release();
  EXPECT_TRUE(file->LockPage(0, true));
  EXPECT_EQ(child.Join(), 0);
}

TEST(PagedFileSharing, TryExclusiveStaysSharedWhileAnotherProcessWrites) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64, 7));
  Child child([&](Child& self) {
    auto file = Open(dir.File("t"), pfReadWriteOpen, 16, 8);
    self.Signal();
    self.WaitRelease();
    return 0;
  });
  child.WaitReady();
  auto file = Open(dir.File("t"), pfReadWriteCreate, 16, 8);  // empties the file
  ASSERT_TRUE(file->IsSharedAccess());
  const uint8_t record[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  file->WriteRecord(1, record);
  EXPECT_NO_THROW(file->TryExclusive());
  EXPECT_TRUE(file->IsSharedAccess());
  EXPECT_EQ(file->GetMode(), pfReadWriteOpen);  // never a create mode again
  child.Release();
  EXPECT_EQ(child.Join(), 0);

  file->TryExclusive();
  EXPECT_FALSE(file->IsSharedAccess());
  file->TryExclusive();  // a second request while exclusive does nothing
  EXPECT_EQ(file->GetMode(), pfExclusiveOpen);
  file->EndExclusive();
  EXPECT_EQ(file->GetMode(), pfReadWriteOpen);
  EXPECT_EQ(file->GetRecordCount(), 1);
  uint8_t back[8];
  ASSERT_EQ(file->ReadRecord(1, back), 8);
  EXPECT_EQ(std::memcmp(back, record, 8), 0);
}

TEST(PagedFileSharing, ExclusiveHolderRefusesWritersButNotReaders) {
  TempDir dir;
  WriteBytes(dir.File("t"), Bytes(64));
  Child child([&](Child& self) {
    auto file = Open(dir.File("t"), pfExclusiveOpen, 16, 8);
    self.Signal();
    self.WaitRelease();
    return 0;
  });
  child.WaitReady();
  EXPECT_THROW(Open(dir.File("t"), pfReadWriteOpen), platform::EFOpenError);
  EXPECT_THROW(Open(dir.File("t"), pfExclusiveOpen), platform::EFOpenError);
  auto reader = Open(dir.File("t"), pfReadOnly, 16, 8);
  EXPECT_EQ(reader->GetRecordCount(), 6);
  // A reader holds no share lock, so a later exclusive opener is not refused either.
  child.Release();
  EXPECT_EQ(child.Join(), 0);
  EXPECT_NO_THROW(Open(dir.File("t"), pfExclusiveOpen));
}

TEST(PagedFileWriteError, AStoreThatFailsSetsTheStickyFlagWithoutThrowing) {
  TempDir dir;
  const std::string path = dir.File("t");
  const int code = testing_util::RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    auto file = Open(path, pfExclusiveCreate, 16, 100);
    file->WriteRecord(1, std::vector<uint8_t>(100, 'a').data());
    if (file->GetWriteError()) return 1;
    struct rlimit limit {
      150, 150
    };
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      file->WriteRecord(2, std::vector<uint8_t>(100, 'b').data());  // stores 34 of 100
      if (!file->GetWriteError()) return 2;
      file->WriteRecord(3, std::vector<uint8_t>(100, 'c').data());  // stores nothing
      file->ResetError();
      if (file->GetWriteError()) return 3;
      file->WriteChunk("z", 1, 500);
      if (!file->GetWriteError()) return 4;
      file->ResetError();
      file->GetHeader()[0] = 9;
      file->WriteHeader();
      file->FlushHeader();  // within the limit: stored
      if (file->GetWriteError()) return 5;
    } catch (...) {
      return 6;
    }
    return 0;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(path)[0], 9);
}
