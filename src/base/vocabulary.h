// The words of the command set, defined once: the port's validation messages and the MCP tool
// schemas both list them, in this order.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace perchkin {

inline constexpr std::array<std::string_view, 18> kActNames = {
    "idle", "sit",     "sleep", "wave",  "dance", "happy", "jump",   "type",      "backflip",
    "spin", "explode", "dizzy", "angry", "love",  "think", "scared", "celebrate", "chase"};

inline constexpr std::array<std::string_view, 14> kDrawKinds = {
    "line", "curve", "rect", "ellipse", "arrow", "heart",    "star",
    "text", "fire",  "cloud", "bolt",   "bomb",  "platform", "clear"};

inline constexpr std::array<std::string_view, 5> kEffectKinds = {"confetti", "fireworks", "hearts",
                                                                 "sparkle", "snow"};

// The crew's buddy colours (their body colours live with the crew).
inline constexpr std::array<std::string_view, 10> kCrewColorNames = {
    "orange", "blue", "green", "purple", "pink", "yellow", "teal", "red", "white", "black"};

// Crew limits: the crew enforces them and the crew tool's description quotes them.
inline constexpr std::size_t kDefaultMaxBuddies = 200;
inline constexpr double kBuddySizeMin = 1.0;
inline constexpr double kBuddySizeMax = 12.0;

template <std::size_t N>
constexpr bool is_one_of(const std::array<std::string_view, N>& words, std::string_view word) {
  for (std::string_view w : words)
    if (w == word) return true;
  return false;
}

// The words joined by the separator: "idle, sit, ..." for messages.
template <std::size_t N>
std::string joined(const std::array<std::string_view, N>& words,
                   std::string_view separator = ", ") {
  std::string out;
  for (std::string_view w : words) {
    if (!out.empty()) out += separator;
    out += w;
  }
  return out;
}

}  // namespace perchkin
