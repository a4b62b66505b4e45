// Acts: the named animations a buddy plays. The brain compares them every tick, so they are an
// enum; the port and MCP speak their names, converted at the command boundary.
#pragma once

#include "base/vocabulary.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace perchkin {

// The command's act names first, in the order of kActNames; then the acts only the brain
// plays. none: no act.
enum class Act : std::uint8_t {
  none,
  idle,
  sit,
  sleep,
  wave,
  dance,
  happy,
  jump,
  type,
  backflip,
  spin,
  explode,
  dizzy,
  angry,
  love,
  think,
  scared,
  celebrate,
  chase,
  squat,  // the landing crouch
};

// The act's name; "" for none.
constexpr std::string_view act_name(Act a) {
  const auto i = static_cast<std::size_t>(a);
  if (a == Act::none) return {};
  if (a == Act::squat) return "squat";
  return i - 1 < kActNames.size() ? kActNames[i - 1] : std::string_view();
}

// The act a command names: one of the eighteen command names, else nothing.
constexpr std::optional<Act> act_named(std::string_view name) {
  for (std::size_t i = 0; i < kActNames.size(); ++i)
    if (kActNames[i] == name) return static_cast<Act>(i + 1);
  return std::nullopt;
}

static_assert(act_name(Act::chase) == "chase" && act_named("idle") == Act::idle &&
              static_cast<std::size_t>(Act::squat) == kActNames.size() + 1);

}  // namespace perchkin
