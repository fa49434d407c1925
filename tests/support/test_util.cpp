#include "support/test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_util {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tabulet-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Child::Child(std::function<int(Child&)> body) {
  std::signal(SIGPIPE, SIG_IGN);  // a child that has ended must not kill the writer
  if (pipe(toParent_) != 0 || pipe(toChild_) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    close(toParent_[0]);
    close(toChild_[1]);
    int code = 99;
    try {
      code = body(*this);
    } catch (...) {
      code = 98;
    }
    std::_Exit(code);  // no atexit handlers or gtest teardown in the child
  }
  close(toParent_[1]);
  close(toChild_[0]);
}

Child::~Child() {
  if (!joined_ && pid_ > 0) {
    Release();
    Join();
  }
  close(toParent_[0]);
  close(toChild_[1]);
}

void Child::Signal() {
  const char byte = 1;
  (void)!write(toParent_[1], &byte, 1);
}

void Child::WaitRelease() {
  char byte;
  (void)!read(toChild_[0], &byte, 1);
}

void Child::WaitReady() {
  char byte;
  if (read(toParent_[0], &byte, 1) != 1) throw std::runtime_error("child ended before ready");
}

void Child::Release() {
  const char byte = 1;
  (void)!write(toChild_[1], &byte, 1);
}

int Child::Join() {
  if (!joined_) {
    while (waitpid(pid_, &status_, 0) < 0) {
    }
    joined_ = true;
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int RunInChild(const std::function<int()>& body) {
  Child child([&](Child&) { return body(); });
  return child.Join();
}

}  // namespace testing_util
