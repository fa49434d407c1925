// The exception hierarchy shared by every layer. Each class carries only a message; the class
// tells callers what kind of failure it was. EAbort is the silent abort: callers end the
// operation and show nothing.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const char* Message() const noexcept { return what(); }
};

// A declined operation; never shown to the user.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// Text that does not convert to a number or a date.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The operating system refused to open or create a file (sharing violation, no permission).
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class EDbfError : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

class EDbfWriteError : public EDbfError {
 public:
  using EDbfError::EDbfError;
};

// An expression text that does not compile or evaluate.
class EParserException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace platform
