#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/exceptions.h"

namespace platform {
namespace {

// The byte whose lock stands for "this opener writes": far beyond any data or lock byte the
// formats use. Shared writers hold a read lock on it, exclusive openers a write lock.
constexpr uint64_t kShareLockOffset = 0x7FFFFFFF00000000ull;

bool OfdLock(int fd, short type, uint64_t offset, uint64_t length, int& error) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    if (errno == EINTR) continue;
    error = errno;
    return false;
  }
}

[[noreturn]] void ThrowOpenError(const std::string& path, const char* reason) {
  throw EFOpenError(fmt::format("Cannot open file \"{}\". {}", path, reason));
}

}  // namespace

File::File(const std::string& path, FileAccess access, FileShare share) : access_(access) {
  const int flags = (access == FileAccess::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  do {
    fd_ = ::open(path.c_str(), flags);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) ThrowOpenError(path, std::strerror(errno));

  if (access == FileAccess::ReadWrite) {
    const short type = share == FileShare::DenyWrite ? F_WRLCK : F_RDLCK;
    int error = 0;
    if (!OfdLock(fd_, type, kShareLockOffset, 1, error)) {
      ::close(fd_);
      fd_ = -1;
      if (error == EAGAIN || error == EACCES)
        ThrowOpenError(path, "The file is in use by another process (sharing violation).");
      ThrowOpenError(path, std::strerror(error));
    }
  }
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

void File::CreateEmpty(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowOpenError(path, std::strerror(errno));
  ::close(fd);
}

bool File::Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool File::Delete(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

int64_t File::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool File::SetSize(int64_t size) {
  for (;;) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) {
      lastError_ = 0;
      return true;
    }
    if (errno != EINTR) break;
  }
  lastError_ = errno;
  return false;
}

size_t File::ReadAt(void* buffer, size_t count, int64_t offset) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  lastError_ = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      lastError_ = errno;
      break;
    }
  }
  return done;
}

size_t File::WriteAt(const void* buffer, size_t count, int64_t offset) {
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  lastError_ = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(fd_, in + done, count - done, static_cast<off_t>(offset + done));
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      lastError_ = n < 0 ? errno : ENOSPC;
      break;
    }
  }
  return done;
}

LockResult File::Lock(uint64_t offset, uint64_t length) {
  const short type = access_ == FileAccess::Read ? F_RDLCK : F_WRLCK;
  int error = 0;
  if (OfdLock(fd_, type, offset, length, error)) {
    lastError_ = 0;
    return LockResult::Locked;
  }
  if (error == EAGAIN || error == EACCES) {
    lastError_ = kErrorLockViolation;
    return LockResult::Violation;
  }
  lastError_ = error;
  return LockResult::Failed;
}

void File::Unlock(uint64_t offset, uint64_t length) {
  int error = 0;
  OfdLock(fd_, F_UNLCK, offset, length, error);
}

}  // namespace platform
