#pragma once
// The outcome of an operation the user must hear about when it fails (a
// settings write, a favourite file): nothing on success, or an Error whose
// detail is for the log. User-facing texts are chosen by the windows.

#include <string>
#include <utility>

namespace nuve::core {

enum class ErrorKind {
  kIo,           // a file could not be read or written
  kInvalidName,  // a name that cannot be a file name or an INI key
  kNetwork,      // a request failed
};

struct Error {
  ErrorKind kind = ErrorKind::kIo;
  std::string detail;
};

class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  Status(Error error) : failed_(true), error_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return error_; }

 private:
  bool failed_ = false;
  Error error_;
};

}  // namespace nuve::core
