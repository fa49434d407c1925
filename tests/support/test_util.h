// Helpers shared by the test programs: a scratch folder removed with its contents, and
// children run as real processes with a pipe for "I am ready" signals.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_util {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// A forked child running `body`; its return value is the exit code. The child may call
// Signal() once it holds what the parent waits for; the parent blocks in WaitReady() until
// then and in Release() lets the child go on, which then ends when `body` returns.
class Child {
 public:
  explicit Child(std::function<int(Child&)> body);
  ~Child();
  void WaitReady();
  void Release();
  // Exit code of the child; -1 when it died by a signal.
  int Join();
  // Called in the child.
  void Signal();
  void WaitRelease();

 private:
  pid_t pid_ = -1;
  int toParent_[2] = {-1, -1};
  int toChild_[2] = {-1, -1};
  bool joined_ = false;
  int status_ = 0;
};

// Runs `body` in a forked child and returns its exit code (-1 for a signal).
int RunInChild(const std::function<int()>& body);

}  // namespace testing_util
