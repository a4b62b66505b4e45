// The crew: the ordered buddies, the id counter, the limit and the group's random source.
#pragma once

#include "base/status.h"
#include "base/vocabulary.h"
#include "crowd/buddy.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace perchkin {

inline constexpr std::size_t kUnleashedCrewLimit = 1'000'000;

struct BuddyColor {
  std::string_view name;
  std::uint32_t rgb;
};
// Body colours in the order of kCrewColorNames.
inline constexpr std::array<BuddyColor, kCrewColorNames.size()> kBuddyColors = {{
    {kCrewColorNames[0], 0xD77757},
    {kCrewColorNames[1], 0x5B8DEF},
    {kCrewColorNames[2], 0x5DBB63},
    {kCrewColorNames[3], 0x9B6BDF},
    {kCrewColorNames[4], 0xE86FA6},
    {kCrewColorNames[5], 0xE8B73A},
    {kCrewColorNames[6], 0x3FB8AF},
    {kCrewColorNames[7], 0xD9534F},
    {kCrewColorNames[8], 0xE8E4DC},
    {kCrewColorNames[9], 0x3A3A3A},
}};
// The body colour of a colour name; anything unknown gets the default orange.
std::uint32_t buddy_rgb(std::string_view color);

// The published per-buddy summary, rebuilt every tick.
struct BuddySummary {
  bool standing = false;
  std::int64_t support_id = 0;
  double support_top = 0.0;
  double x = 0.0, y = 0.0;
  double unit = 1.0;
  std::uint32_t id = 0;
  BuddyMode mode = BuddyMode::fall;
};

BuddySummary summarize(const Buddy& b);

// A spot where a buddy was removed, for the scene to show a ring.
struct RemovalMark {
  double x = 0.0;
  double y = 0.0;
  double radius = 0.0;
};

struct Crew {
  std::vector<Buddy> buddies;
  std::uint32_t next_id = 0;
  std::size_t start_limit = kDefaultMaxBuddies;  // from --max-buddies
  std::size_t max_buddies = kDefaultMaxBuddies;
  double size = 9.0;
  double scale = 1.0;
  Xorshift64 rng;
  Xorshift64 social_rng;     // only for the social tick
  double next_social = 0.0;  // time of the next social tick
  std::vector<BuddySummary> snapshot;
  // The crowd pass's x order (crew indices) from the last tick, where the next one starts.
  std::vector<std::uint32_t> crowd_order;
  std::vector<RemovalMark> removal_marks;
  BuddyWorld world;  // settings copy for new buddies
  std::shared_ptr<const SpeechLines> speech = std::make_shared<SpeechLines>();

  Status add(std::optional<std::string_view> color, bool fling_from_first);
  // Puts a flung buddy where the first buddy stands (and sparkles there); called when it is
  // added, or at its first step when the first buddy had not been placed yet.
  void place_fling(Buddy& b);
  Status remove(std::uint32_t id);
  // Keeps the first k buddies and drops the rest (no "last buddy" rule).
  void truncate(std::size_t k);
  // Size clamped to 1..12 (1..300 unleashed); unit clamped to 1..2000.
  void resize(std::span<const std::size_t> indices, double size);
  std::pair<Buddy&, Buddy&> pair_mut(std::size_t i, std::size_t j);
  // Indices ordered by x, stable; NaN sorts by the IEEE total order.
  std::vector<std::size_t> by_x(std::vector<std::size_t> indices) const;
  void by_x_in_place(std::vector<std::size_t>& indices) const;
  void apply_settings(const Settings& settings, bool unleashed);
  void rebuild_snapshot();

  std::optional<std::size_t> index_of(std::uint32_t id) const;
  std::string ids_text() const;  // "0,1,4"
  double unit_for(double buddy_size) const;
  // Seeds the crew and social generators from one wall-clock reading.
  void seed(std::uint64_t clock_nanos);
};

std::string color_names_text();  // "orange, blue, ..., black"
BuddyWorld buddy_world(const Settings& settings, bool unleashed);
std::shared_ptr<const SpeechLines> speech_lines(const Settings& settings);

}  // namespace perchkin
