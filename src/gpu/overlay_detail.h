// Small rules of the 2D overlay shared by its two source files and checked by tests.
#pragma once

#include <cstdint>

#include "crowd/crew.h"
#include "gpu/canvas.h"
#include "gpu/instances.h"
#include "gpu/overlay_2d.h"
#include "gpu/render_entries.h"
#include "props/particle.h"
#include "props/prop.h"

namespace perchkin {

inline constexpr std::uint32_t kCloudEdgeRgb = 0x9AA7B8;
inline constexpr std::uint32_t kCloudFillRgb = 0xEEF1F6;
inline constexpr std::uint32_t kInkRgb = 0x1C1C1C;      // bubble outline and text, pencil tip
inline constexpr std::uint32_t kMarkRgb = 0xFFD23F;     // menu and selection marks

inline CanvasColor canvas_color(const Rgba& c) { return {c.r, c.g, c.b, c.a}; }

// Cell size of the heart and star maps: max(1, round(2 s)).
float map_cell(double s);

// A bolt shows for its first 0.3 s, then flickers out whenever sin 47a + sin 91a <= -0.8.
bool bolt_visible(double age);
// The fuse's length factor: burns from 1 to 0.05 over the 3 s after lighting; 1 while unlit.
double bomb_fuse(const Prop& bomb, double now);
// More than 2 s after lighting the body turns red on every odd eighth of a second.
bool bomb_blinks(const Prop& bomb, double now);

// Half-width and half-height of a rectangle or dot particle now: shrinking or growing with age,
// the width narrowed by the tumble when it spins.
struct ParticleSize {
  float w = 0.0f, h = 0.0f;
};
ParticleSize particle_size(const Particle& p);

// The frame's text formats, built once per pass.
struct TextFormats {
  TextFormat bubble, symbol, label, shout;
  explicit TextFormats(double s)
      : bubble(bubble_format(s)), symbol(symbol_format(s)), label(label_format(s)),
        shout(shout_format(s)) {}
};

// The instance parameters of the frame's buddies.
InstanceParams frame_instance_params(const FrameInput& in);

// The buddies pass two draws more for than their instance (stars circle the dizzy ones, the
// drawing ones hold the pencil), in crew order: fn(buddy, instance, dizzy, pencil).
template <typename Fn>
void for_each_dizzy_or_drawing(const FrameInput& in, Fn&& fn) {
  if (!in.crew || !in.entries) return;
  const InstanceParams params = frame_instance_params(in);
  for (std::size_t i = 0; i < in.crew->buddies.size(); ++i) {
    const Buddy& b = in.crew->buddies[i];
    const bool dizzy = b.motion.mode == BuddyMode::act && b.mind.act == Act::dizzy;
    const bool pencil = b.motion.mode == BuddyMode::drawing && b.pencil.out;
    if (!dizzy && !pencil) continue;
    if (const RenderEntry* e = find_entry(*in.entries, b.id, i))
      fn(b, buddy_instance(b, *e, params), dizzy, pencil);
  }
}

}  // namespace perchkin
