// An open file on a POSIX descriptor with the sharing rules of the table engine's platform:
// exclusive openers keep other writers out, shared writers keep exclusive openers out, readers
// are never refused. Sharing and byte-range locks are open-file-description locks, so two opens
// in one process conflict as two processes do, and every lock vanishes with its descriptor.
// Positioned reads and writes only; the caller keeps any notion of a current position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// What this opener may do with the file.
enum class FileAccess { Read, ReadWrite };
// What others may do while this opener has the file open.
enum class FileShare { DenyWrite, DenyNone };

// The error code a lock conflict reports through File::LastError().
constexpr int kErrorLockViolation = 33;

enum class LockResult { Locked, Violation, Failed };

class File {
 public:
  // Opens an existing file. Throws EFOpenError when it is missing, not permitted or held by
  // another opener in a way the sharing rules forbid ("sharing violation").
  File(const std::string& path, FileAccess access, FileShare share);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Creates the file when missing (an existing file is left as it is). Throws EFOpenError.
  static void CreateEmpty(const std::string& path);
  static bool Exists(const std::string& path);
  // Removes the file; false when it could not be removed.
  static bool Delete(const std::string& path);

  // Current size in bytes, asked afresh; -1 when the system cannot tell.
  int64_t Size() const;
  // Cuts or extends the file to `size` bytes; false on failure.
  bool SetSize(int64_t size);

  // Reads up to `count` bytes at `offset`; returns the number read (short at end of file).
  size_t ReadAt(void* buffer, size_t count, int64_t offset);
  // Writes `count` bytes at `offset`; returns the number stored (short or 0 on failure).
  size_t WriteAt(const void* buffer, size_t count, int64_t offset);

  // Non-blocking lock over [offset, offset+length). Write lock, or a read lock when the file
  // is open read-only. Violation means another opener holds a conflicting lock.
  LockResult Lock(uint64_t offset, uint64_t length);
  void Unlock(uint64_t offset, uint64_t length);

  // Error of the last operation on this file: 0, kErrorLockViolation, or an errno value.
  int LastError() const { return lastError_; }
  FileAccess Access() const { return access_; }

 private:
  int fd_ = -1;
  FileAccess access_;
  int lastError_ = 0;
};

}  // namespace platform
