#include "base/args.h"

#include <optional>
#include <string>

namespace perchkin {

namespace {

Result<double> not_a_number(std::string_view key) {
  return Result<double>::fail(std::string(key) + " must be a number");
}

}  // namespace

Result<double> number_arg(const json& args, std::string_view key, double fallback) {
  const json* member = json_member(args, key);
  // Only an absent member takes the fallback: null is given, and it is not a number.
  if (member == nullptr) return fallback;
  if (const std::optional<double> n = json_number(*member)) return *n;
  return not_a_number(key);
}

Result<double> required_number_arg(const json& args, std::string_view key) {
  const json* member = json_member(args, key);
  if (member == nullptr) return not_a_number(key);
  if (const std::optional<double> n = json_number(*member)) return *n;
  return not_a_number(key);
}

Result<std::optional<double>> optional_number_arg(const json& args, std::string_view key) {
  if (json_member(args, key) == nullptr) return std::optional<double>{};
  const Result<double> n = required_number_arg(args, key);
  if (!n.ok()) return n.status();
  return std::optional<double>{*n};
}

}  // namespace perchkin
