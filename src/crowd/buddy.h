// One buddy's simulation record and the small kinds it is made of.
#pragma once

#include "crowd/act.h"
#include "crowd/buddy_event.h"
#include "crowd/pencil.h"
#include "crowd/rng.h"
#include "base/json.h"
#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace perchkin {

enum class BuddyMode : std::uint8_t {
  idle = 0,
  walk = 1,
  sit = 2,
  sleep = 3,
  type = 4,
  act = 5,
  chase = 6,
  fall = 7,
  hop = 8,
  held = 9,
  slide = 10,
  drawing = 11,
};

// Modes up to chase stand on something; the rest are airborne or busy.
constexpr bool is_grounded(BuddyMode m) { return static_cast<std::uint8_t>(m) <= 6; }
// The status name of a mode; the act mode reports the act's own name instead.
const char* mode_name(BuddyMode m);

enum class SurfaceKind : std::uint8_t {
  floor = 0,
  taskbar = 1,
  window = 2,
  buddy = 3,
  drawn = 4,
  ceiling = 5,
  none = 255,
};
const char* surface_name(SurfaceKind k);  // "air" for none

inline constexpr std::int64_t kCeilingId = std::numeric_limits<std::int64_t>::min();

// One horizontal ledge a buddy can stand on.
struct Support {
  std::int64_t id = 0;
  double left = 0.0;
  double right = 0.0;
  double top = 0.0;
  SurfaceKind kind = SurfaceKind::floor;
  std::array<std::uint8_t, 4> extra{};
};

// The platform id of a buddy as a surface.
constexpr std::int64_t buddy_platform_id(std::uint32_t id) {
  return ~static_cast<std::int64_t>(id);
}

// What one buddy asks another (tag, chat lines); defined in full by social play.
struct SocialMessage {
  enum Kind : std::uint8_t { line = 0, tag_back = 1 };
  std::uint32_t to = 0;
  Kind kind = line;
  std::string text;          // line
  double delay = 0.0;        // line
  std::uint32_t from = 0;    // tag back: the sender
  std::int32_t bounces = 0;  // tag back: how many more times the game may bounce
};

// The user's lines and speech mode, shared read-only by all buddies.
struct SpeechLines {
  std::vector<std::string> phrases;
  std::array<std::string, 8> lines;  // indexed like kLineMoments
  std::uint8_t mode = 0;             // 0 mix, 1 only mine, 2 built-in
};

// The world settings every buddy carries a copy of.
struct BuddyWorld {
  WorldSettings w;
  bool unleashed = false;
  bool chatty = true;
};

struct HopArc {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  double height = 0.0;
  double duration = 0.0;
  double elapsed = 0.0;
  double spin_total = 0.0;
  std::optional<Support> target;
};

struct PointerSample {
  double t = 0.0;
  double x = 0.0;
  double y = 0.0;
};

struct DelayedLine {
  double due = 0.0;
  std::string text;
};

// What motion and the crowd pass read and write: where the body is, how it moves, what holds
// it up, and the hand's grip while carried.
struct BuddyMotion {
  double x = 0.0, y = 0.0;
  double vx = 0.0, vy = 0.0;
  double angle = 0.0;
  double spin = 0.0;
  std::int32_t facing = 1;
  double unit = 1.0;
  double scale = 1.0;
  std::optional<Support> support;
  BuddyMode mode = BuddyMode::fall;
  HopArc hop;
  bool pressed = false;  // marked by this tick's crowd pass
  bool thrown = false;
  // Let go by the hand: only such a flight, bounces included, knocks other buddies over.
  // Cleared on landing and by any other launch.
  bool hurled = false;
  // Added with a fling before the first buddy had been placed: flung from wherever that buddy
  // is when this one takes its first step.
  bool fling_pending = false;
  double air_drag = 3.0;
  double flight_peak = 0.0;
  double air_time = 0.0;
  double slide_time = 0.0;
  // carried by the hand
  double grab_dx = 0.0, grab_dy = 0.0;
  std::vector<PointerSample> pointer_samples;
  double grab_time = 0.0;
};

// The mind: what the buddy is doing, what it wants next, and its timers.
struct BuddyMind {
  Act act = Act::none;
  double act_time = 0.0;
  std::optional<Act> queued_act;
  std::optional<double> walk_target;
  bool nap = false;
  bool looking_up = false;
  double run_time = 0.0;
  double press_time = 0.0;
  bool started = false;
  double clock = 0.0;
  double now = 0.0;
  // timers (absolute simulation times; 0 = none)
  double chase_until = 0.0, chase_from = 0.0;
  double hop_ready = 0.0;
  double next_chat = 0.0;
  double last_active = 0.0;
  double last_command = 0.0;
  double typing_until = 0.0;
  double typing_level = 0.0;
  double typing_cheer_at = 0.0;
  double wake_at = 0.0;
  double hot_until = 0.0;
  std::uint32_t keys_seen = 0;  // the view's keystroke counter at the last brain step
  // social
  std::optional<std::uint32_t> partner;
  double pet_ready = 0.0, hazard_ready = 0.0;
  std::vector<double> poke_times;
  bool hold_line_said = false;
  std::int32_t tag_bounces = 0;
  // Set by the brain when this buddy's chase catches its partner; social play applies the tag
  // rule and clears it.
  std::optional<std::uint32_t> caught_partner;
};

// The bubble, the lines waiting to be said, and the user's lines.
struct BuddySpeech {
  std::string bubble_text;
  double bubble_until = 0.0;
  std::uint64_t bubble_serial = 0;
  bool bubble_replaceable = false;
  std::vector<DelayedLine> delayed_lines;
  std::uint64_t spoken_serial = 0;
  std::shared_ptr<const SpeechLines> lines;
};

struct Buddy {
  std::uint32_t id = 0;
  std::string color;
  BuddyMotion motion;
  BuddyMind mind;
  BuddySpeech speech;
  Xorshift64 rng;
  BuddyWorld world;
  // outboxes for the world tick
  std::vector<BuddyEvent> events;
  std::vector<SocialMessage> messages;
  Pencil pencil;

  // {"id","mode","on","tint","x","y"}; x and y rounded, null when not finite.
  json status() const;
  void push_event(BuddyEvent e) { events.push_back(std::move(e)); }
};

// Where the buddy's pencil is: its tip while out, else beside his hand. Drawings are planned
// from it, so it lives with the record rather than with the pencil's motion.
StrokePoint pencil_home(const Buddy& b);

}  // namespace perchkin
