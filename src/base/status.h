// The one way a fallible operation reports: success, or a failure carrying the exact message
// the caller passes on unchanged.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace perchkin {

struct [[nodiscard]] Status {
  std::string error;
  bool ok() const { return error.empty(); }
  static Status success() { return {}; }
  static Status fail(std::string message) { return {std::move(message)}; }
};

// A value, or the failure that stopped it.
template <typename T>
struct [[nodiscard]] Result {
  std::optional<T> value;
  std::string error;

  static Result success(T v) { return {std::move(v), {}}; }
  static Result fail(std::string message) { return {std::nullopt, std::move(message)}; }
  Result() = default;
  Result(std::optional<T> v, std::string e) : value(std::move(v)), error(std::move(e)) {}
  // A value converts, so `return value;` works too.
  Result(T v) : value(std::move(v)) {}  // NOLINT: implicit on purpose
  // A failed Status converts, so `return status;` works inside a Result function.
  Result(Status s) : error(std::move(s.error)) {}  // NOLINT: implicit on purpose
  bool ok() const { return value.has_value(); }
  Status status() const { return ok() ? Status::success() : Status::fail(error); }
  T& operator*() { return *value; }
  const T& operator*() const { return *value; }
  T* operator->() { return &*value; }
  const T* operator->() const { return &*value; }
};

}  // namespace perchkin
