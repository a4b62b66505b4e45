// Per-buddy render state kept between ticks: the last two tick positions for interpolation, the
// squash spring, sleep-mark timing and the loose pixels of a buddy burst by "explode". Keyed by
// buddy id and updated once per world tick; the instance builder and the 2D overlay read it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "crowd/crew.h"
#include "crowd/rng.h"
#include "props/effects.h"
#include "props/particle.h"
#include "settings/settings.h"

namespace perchkin {

// One loose pixel of a burst buddy; overlay pixels, the square's top-left.
struct LoosePixel {
  double x = 0.0, y = 0.0;
  double vx = 0.0, vy = 0.0;
  Rgba color;
  int column = 0, row = 0;  // its cell in the standing sprite (after mirroring)
};

struct Burst {
  std::vector<LoosePixel> pixels;
  double floor = 0.0;  // overlay y of the buddy's feet when it burst
  double ends = 0.0;   // world time the burst is over (0.2 s before the act)
  double unit = 1.0;
};

// A speech bubble while it shows: its text, when it started popping up and the text's size as
// laid out in the bubble format (overlay pixels).
struct SpeechBubble {
  std::string text;
  double start = 0.0;
  double text_width = 80.0, text_height = 20.0;
};

struct RenderEntry {
  std::uint32_t id = 0;
  double prev_x = 0.0, prev_y = 0.0;  // desktop pixels, last tick
  double x = 0.0, y = 0.0;            // desktop pixels, this tick
  double squash = 1.0;                // s, 1 = undeformed
  double squash_v = 0.0;              // v
  BuddyMode prev_mode = BuddyMode::fall;
  double next_sleep_mark = 0.0;
  std::optional<Burst> burst;
  std::optional<SpeechBubble> bubble;
  std::uint64_t bubble_serial = 0;  // the buddy's bubble_serial when the bubble was measured
};

struct RenderEntries {
  std::vector<RenderEntry> entries;  // ascending id
  Xorshift64 rng;                    // burst velocities
};

// The entry of a buddy, or null. `hint` is where the entry is expected (the buddy's crew index),
// tried before a binary search.
const RenderEntry* find_entry(const RenderEntries& re, std::uint32_t id, std::size_t hint = 0);
RenderEntry* find_entry(RenderEntries& re, std::uint32_t id, std::size_t hint = 0);

// Adds an entry for each new buddy (both positions at its place) and drops the entries of
// buddies that left.
void sync_entries(RenderEntries& re, const Crew& crew);

struct EntryTickInput {
  double now = 0.0;                             // world time after the tick
  double overlay_left = 0.0, overlay_top = 0.0;  // the overlay's top-left in desktop pixels
  LookSettings look;
};

struct EntryTickOutput {
  std::vector<TrailPuff> trail_puffs;  // overlay pixels
  std::vector<SleepMark> sleep_marks;  // overlay pixels
};

// One tick of every entry, in crew order: positions, trail puffs, the squash spring with this
// tick's kicks, sleep marks, bursts started by explosions and the loose pixels' motion.
// Syncs the entries with the crew first.
EntryTickOutput update_render_entries(RenderEntries& re, const Crew& crew,
                                      const RenderRequests& requests, const EntryTickInput& in);

// The standing cell a loose pixel flies home to, overlay pixels.
double home_x(const Buddy& b, const LoosePixel& p, double overlay_left);
double home_y(const Buddy& b, const LoosePixel& p, double overlay_top);

}  // namespace perchkin
