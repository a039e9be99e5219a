// How the link, the serial layer, the image files and the backups say that
// something failed: one result type for all of them.
//
// An operation that can fail returns a Result. It tests true on success and
// false on failure, and a failed one carries why: Failure() is the layer's
// closed set of kinds with the system's error number (LinkFailure,
// SerialFailure, ImageFileFailure, BackupFailure, each documented where it
// is declared).
// The reason travels with the answer; no object keeps a "last failure" that
// a later call could overwrite or a caller could read stale. A caller that
// needs a reason after further calls keeps the result it got.
//
// An operation that gives a value on success returns Result<Value, Failure>
// (as std::expected does): Value() on success, ValueOr(fallback) for a
// caller that needs a value either way.
//
// Both constructors are implicit, so that an operation ends with `return
// value;`, `return failure;` or `return {};` (success without a value).
// Results are [[nodiscard]]: dropping one does not compile with our
// warnings. A caller that means to ignore a failure says so by casting the
// call to void.
//
// Asking a result for what it does not hold is safe, never undefined:
// Failure() of a success is a default Failure (whose kind says that nothing
// failed), and Value() of a failure is a default Value.
#pragma once

#include <utility>

namespace qlr {

template <typename ValueType, typename FailureType>
class [[nodiscard]] Result {
 public:
  // Success, with its value.
  // cppcheck-suppress noExplicitConstructor
  Result(ValueType value) : value_(std::move(value)) {}
  // Failure, with its reason.
  // cppcheck-suppress noExplicitConstructor
  Result(FailureType failure) : failed_(true), failure_(std::move(failure)) {}

  explicit operator bool() const { return !failed_; }
  const ValueType& Value() const { return value_; }
  ValueType ValueOr(ValueType fallback) const { return failed_ ? std::move(fallback) : value_; }
  const FailureType& Failure() const { return failure_; }

 private:
  bool failed_ = false;
  ValueType value_{};
  FailureType failure_{};
};

// Success or a failure, without a value.
template <typename FailureType>
class [[nodiscard]] Result<void, FailureType> {
 public:
  // Success.
  Result() = default;
  // Failure, with its reason.
  // cppcheck-suppress noExplicitConstructor
  Result(FailureType failure) : failed_(true), failure_(std::move(failure)) {}

  explicit operator bool() const { return !failed_; }
  const FailureType& Failure() const { return failure_; }

 private:
  bool failed_ = false;
  FailureType failure_{};
};

}  // namespace qlr
