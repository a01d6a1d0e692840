#pragma once
// The outcome of an operation that can fail: success, or failure with the
// text for the error report. Int codes stay at the C boundary (unrar/, TRAR).
#include <string>
#include <utility>

namespace platform {

class [[nodiscard]] Result {
 public:
  static Result Ok() { return Result(); }
  static Result Failed(std::string message) {
    Result r;
    r.failed_ = true;
    r.message_ = std::move(message);
    return r;
  }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }  // "" when ok

 private:
  Result() = default;
  bool failed_ = false;
  std::string message_;
};

}  // namespace platform
