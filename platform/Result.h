#pragma once
// The outcome of an operation that can fail: success, or failure with the
// text for the error report. Result carries no value; Expected<T> carries the
// value on success. Int codes stay at the C boundary (unrar/, TRAR).
#include <optional>
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

// A value, or failure with the text for the error report. The value may only
// be read when ok().
template <class T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}
  static Expected Failed(std::string message) {
    Expected e;
    e.message_ = std::move(message);
    return e;
  }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }  // "" when ok

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  Expected() = default;
  std::optional<T> value_;
  std::string message_;
};

}  // namespace platform
