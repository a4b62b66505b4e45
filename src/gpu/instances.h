// Building the per-frame BuddyInstance list from the crew and its render entries: interpolated,
// snapped positions, rotation in 15-degree steps, the frame table, colours and the shadow. Plain
// data in, plain data out, so every graphics backend only uploads and draws the result.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "crowd/crew.h"
#include "gpu/instance.h"
#include "gpu/render_entries.h"
#include "settings/settings.h"

namespace perchkin {

inline constexpr std::size_t kInitialInstanceCapacity = 256;
// Steps larger than this many cells (|dx| + |dy|) between two ticks are teleports.
inline constexpr double kTeleportCells = 200.0;

// Atlas frame 0-25 for a mode, act name and clock t (seconds), with the idle looking-up flag.
int frame_for(BuddyMode mode, Act act, double t, bool looking_up);
int frame_for(const Buddy& b);

// Colours the sprite pass gives a buddy; the Studio preview uses the same rule.
struct BuddyColours {
  Float3 tint;
  Float3 tint2;
  float eye = 0.0f;
  float pattern = 0.0f;
};
Float3 rgb_float3(std::uint32_t rgb);
bool is_charred(const Buddy& b);
BuddyColours buddy_colours(const Buddy& b, const LookSettings& look);

// Rotation in whole degrees after the 15-degree snap, 0..345; non-finite angles give 0.
int snapped_degrees(double degrees);
// The squash as drawn: clamped to 0.6..1.4, in steps of 0.04, two decimals.
float snapped_squash(double s);

// Drawn upside down: standing on the ceiling, or hopping towards it.
bool upside_down(const Buddy& b);

struct InstanceParams {
  double alpha = 1.0;  // interpolation fraction between the last two ticks
  double overlay_left = 0.0, overlay_top = 0.0;
  LookSettings look;
};

// One buddy's instance from its entry.
BuddyInstance buddy_instance(const Buddy& b, const RenderEntry& e, const InstanceParams& p);

// The frame's list, in crew order, skipping buddies without an entry or with a burst; the first
// held buddy is swapped to the end so it is drawn over the others. `out` is reused.
void build_instances(std::vector<BuddyInstance>& out, const Crew& crew, const RenderEntries& re,
                     const InstanceParams& p);

// Instance buffer capacity for `count` instances: unchanged while it fits, else the next power
// of two not below the count.
std::size_t instance_capacity(std::size_t current, std::size_t count);

}  // namespace perchkin
