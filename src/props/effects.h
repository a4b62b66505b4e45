// Screen effects: the scene's particles, rings, timed bursts, snow and placed props in one state
// record, the effects the `fx` command and buddy events start, and the per-tick update.
//
// A world tick uses this module in this order:
//   1. take_buddy_events(effects, crew, now)   - events of kinds 0-7, 10 and 11 act on visuals/props
//   2. add_trail_puffs / add_sleep_marks        - from the render entries
//   3. prop_pass(effects, crew, surfaces, now)  - props act (props/hazards.h); returns the hits
//   4. step_effects(effects, now)               - everything moves, spawns and expires
//   5. the world tick applies the hits' burn, zap and blast reactions
#pragma once

#include "crowd/crew.h"
#include "crowd/rng.h"
#include "props/particle.h"
#include "props/prop.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace perchkin {

// Timed bursts waiting at once; a flood of effect requests cannot grow the list without end.
inline constexpr std::size_t kMaxTimedBursts = 2048;

struct Effects {
  Xorshift64 rng;       // every random draw of this module
  double scale = 1.0;   // display scale s
  // The overlay's top-left corner in desktop pixels and its size. Props live in desktop pixels,
  // particles and rings in overlay pixels.
  double overlay_left = 0.0, overlay_top = 0.0;
  double width = 1920.0, height = 1080.0;

  std::vector<Particle> particles;  // at most kMaxParticles
  std::vector<Ring> rings;
  std::vector<TimedBurst> bursts;
  double snow_until = 0.0;  // snow falls while now is before this

  std::vector<Prop> props;
  std::uint32_t next_prop_id = 0;
  std::vector<PropEntry> entries;  // recorded by the prop pass, shown by step_effects
};

// Appends a particle unless kMaxParticles are alive; returns whether it was added.
bool spawn(Effects& fx, Particle p);
// A fresh start phase 2πu.
float random_phase(Effects& fx);

// Starts an effect at (x, y) in overlay pixels; a non-finite point does nothing.
void start_effect(Effects& fx, EffectKind kind, double x, double y, double now);

// A smoke or steam puff of size c and life factor L at (x, y), overlay pixels.
void add_puff(Effects& fx, double x, double y, double c, double life, Rgba color);
// One dust particle at (x, y), overlay pixels, for a buddy of size `unit`.
void add_dust(Effects& fx, double x, double y, double unit);

// What buddy events ask of the buddies' render entries (owned by the renderer).
struct SquashKick {
  std::uint32_t buddy_id = 0;
  double dv = 0.0;  // lower the entry's squash velocity by this much
};
struct BurstStart {
  std::uint32_t buddy_id = 0;
  double duration = 0.0;  // the explosion event's duration
};
struct RenderRequests {
  std::vector<SquashKick> squash_kicks;
  std::vector<BurstStart> bursts;
};

// Shows one buddy event: kinds 0-7 become particles and effects, kind 10 places a prop and kind
// 11 (clear) removes every prop; the drawing kinds 8 and 9 belong to the drawing store and are
// ignored here. Event positions
// are desktop pixels. Returns whether the event was one of this module's.
bool take_buddy_event(Effects& fx, const Buddy& buddy, const BuddyEvent& event, double now,
                      RenderRequests& requests);
// take_buddy_event for every queued event of every buddy, in crew order. The events stay in the
// buddies' lists; the world tick clears them.
RenderRequests take_buddy_events(Effects& fx, const Crew& crew, double now);

// A buddy's trail puff or sleep mark, overlay pixels, with the buddy's size.
struct TrailPuff {
  double x = 0.0, y = 0.0;
  double unit = 1.0;
};
struct SleepMark {
  double x = 0.0, y = 0.0;
  double unit = 1.0;
};
// This tick's trail puffs: look.trail 1 gives sparkles, 2 hearts, 0 nothing.
void add_trail_puffs(Effects& fx, std::span<const TrailPuff> puffs, std::uint8_t trail);
void add_sleep_marks(Effects& fx, std::span<const SleepMark> marks);

// One scene tick of 1/60 s: particles move and expire (rocket shells burst), rings grow and
// expire, the prop pass's entries become sparks, debris, puffs and rings, props emit flames,
// embers, rain and fuse sparks, due timed bursts start and snow falls.
void step_effects(Effects& fx, double now);

// The parts of step_effects, for callers and tests that need one of them alone.
void step_particles(Effects& fx);
void step_rings(Effects& fx);
void start_due_bursts(Effects& fx, double now);
void step_snow(Effects& fx, double now);
void show_prop_entries(Effects& fx);
void firework_burst(Effects& fx, double x, double y, Rgba color);

}  // namespace perchkin
