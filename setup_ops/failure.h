// Errors are values: a Failure carries the message the user may be shown; Status and Result carry
// either success or a Failure up to the boundary that decides what to do with it.
#pragma once

#include <string_view>
#include <utility>

#include "bounded_text.h"

// Room for the longest message composed: a fixed phrase and a full path.
using FailureMessage = BoundedText<512>;

struct Failure {
  FailureMessage message;
};

inline Failure MakeFailure(std::string_view text, std::string_view detail = {},
                           std::string_view tail = {}) {
  Failure failure{FailureMessage::Truncated(text, detail)};
  failure.message.AppendTruncated(tail);
  return failure;
}

class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  Status(const Failure &failure) : failed_(true), failure_(failure) {}

  bool IsOk() const { return !failed_; }
  explicit operator bool() const { return IsOk(); }
  const Failure &GetFailure() const { return failure_; }

 private:
  Status() = default;
  bool failed_ = false;
  Failure failure_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(const Failure &failure) : failed_(true), failure_(failure) {}

  bool IsOk() const { return !failed_; }
  explicit operator bool() const { return IsOk(); }
  const T &Value() const { return value_; }
  T &Value() { return value_; }
  const Failure &GetFailure() const { return failure_; }

 private:
  bool failed_ = false;
  T value_{};
  Failure failure_;
};
