// The per-frame decisions that need no graphics API: whether to draw at all, which tiles are
// dirty, where the buffer sits on the overlay, which rectangles to clear, the constant buffer and
// the instance buffer's capacity. A backend calls plan_frame, carries the plan out, then
// finish_frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "crowd/crew.h"
#include "gpu/instance.h"
#include "gpu/instances.h"
#include "gpu/render_entries.h"
#include "props/effects.h"
#include "region/tile_grid.h"
#include "scene/scene.h"
#include "settings/settings.h"

namespace perchkin {

struct BoxF {
  double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
};

// Frames a too-large buffer is kept before it shrinks.
inline constexpr int kShrinkFrames = 180;

// A text particle as drawn: its text at a whole-pixel place. Texts move slowly, most frames
// by less than a pixel, so a frame whose marks equal the last drawn frame's shows the same texts.
struct TextMark {
  std::int32_t x = 0, y = 0;  // the layout box's top-left, as drawn
  Rgba color;
  std::uint8_t style = 0;
  std::string text;
  BoxF box;  // where its ink can be (overlay pixels); not part of the comparison
  auto key() const { return std::tie(x, y, color.r, color.g, color.b, color.a, style, text); }
  friend bool operator<(const TextMark& a, const TextMark& b) { return a.key() < b.key(); }
  friend bool operator==(const TextMark& a, const TextMark& b) { return a.key() == b.key(); }
};

// The text particles' marks, sorted.
void text_marks(const Effects& fx, double ui_scale, std::vector<TextMark>& out);
// Boxes of the marks in one list and not the other (counting repeats): where the texts differ.
void changed_text_boxes(std::span<const TextMark> before, std::span<const TextMark> now,
                        std::vector<BoxF>& out);

// What the 2D layers hold this frame.
struct SceneActivity {
  bool drawings_in_flight = false;  // ink lines still being drawn
  bool particles = false;           // other than text, which text_changed covers
  bool text_changed = false;        // a text particle appeared, left or moved a whole pixel
  bool bubbles = false;             // any visible speech bubble
  bool pending_effects = false;     // rings, timed bursts, snow, unshown prop entries
  bool bursts = false;              // buddies burst into loose pixels
  bool animated_wear = false;       // dizzy stars circling a head, a pencil out
  bool whole_overlay = false;       // finished drawings, text being typed or hazards
  bool menu_open = false;
  bool selection = false;

  // Content that moves by itself, so the next frame must be drawn even if it is gone by then.
  bool moving() const {
    return drawings_in_flight || particles || bubbles || pending_effects || bursts ||
           animated_wear;
  }
};

// Everything but the menu and the selection, which the caller sets.
SceneActivity scene_activity(const Crew& crew, const RenderEntries& re, const Scene& scene,
                             const Effects& fx, double now);

// Half the side of a buddy's dirty square, in cells: room for the built-in hats, or for the
// user's own hat and glasses images at their size and lift.
double instance_box_cells(const LookSettings& look, bool custom_hat, bool custom_glasses);

// A text particle is laid out centred on its point in a square of this half-side (times the UI
// scale), where longer texts wrap.
inline constexpr double kTextParticleHalf = 130.0;
// Where a text particle's ink can be: a box around its point sized from its characters and its
// style's font size, or the whole layout square for text that may wrap.
BoxF text_particle_box(const Particle& p, double s);

// Marking, all in overlay pixels.
void mark_instances(TileGrid& grid, std::span<const BuddyInstance> instances, double box_cells);
void mark_bursts(TileGrid& grid, const Crew& crew, const RenderEntries& re, double overlay_left,
                 double overlay_top);
void mark_effects(TileGrid& grid, const Effects& fx);


// This frame's marks: everything when the activity asks for the whole overlay, else instances,
// bursts, particles, rings and the extra boxes (speech bubbles, already grown by 24 s).
struct MarkInput {
  int overlay_width = 1, overlay_height = 1;
  double overlay_left = 0.0, overlay_top = 0.0;
  double box_cells = 24.0;
  std::span<const BoxF> extra_boxes;
};
TileGrid mark_frame(const MarkInput& in, std::span<const BuddyInstance> instances,
                    const Crew& crew, const RenderEntries& re, const Effects& fx,
                    const SceneActivity& activity);

// Kept from frame to frame.
struct FrameState {
  std::vector<BuddyInstance> previous;
  std::optional<TileGrid> previous_grid;  // absent until the first drawn frame
  bool moving_2d = false;
  std::optional<PixelRect> buffer;  // absent: the buffer still covers the whole overlay
  int shrink_count = 0;
  bool forced_redraw = false;
  std::size_t capacity = kInitialInstanceCapacity;
  std::vector<TextMark> text_marks;  // of the last drawn frame
};

// False when the frame can be skipped: same instances byte for byte, nothing moving or open in
// the 2D layers (texts only where a mark changed), no forced redraw, no moving content last
// frame, and the overlay's size as it was.
bool must_draw(const FrameState& state, std::span<const BuddyInstance> instances,
               const SceneActivity& activity, const TileGrid& marks);

// The padded rectangle the buffer wants for the marked tiles; nullopt when nothing is marked.
std::optional<PixelRect> tight_box(const TileGrid& marks);
PixelRect wanted_rect(const PixelRect& tight, int overlay_width, int overlay_height);
// The grow-at-once, shrink-after-180-frames rule. Leaves the rectangle alone with no marks.
void update_buffer_rect(FrameState& state, const TileGrid& marks);

struct FramePlan {
  bool draw = false;
  bool gpu_pass = false;           // at least one instance
  bool grid_rebuilt = false;       // first frame or the overlay's size changed
  PixelRect buffer;                // on the overlay
  bool buffer_changed = false;     // resize and move the buffer before drawing
  bool clear_all = false;          // clear the whole target (new, moved or resized buffer)
  std::vector<PixelRect> clears;   // buffer pixels, clipped, at most kMaxClearRects
  Frame constants;
  std::size_t capacity = kInitialInstanceCapacity;
  bool capacity_grew = false;      // replace the instance buffer and its view
  int present_interval = 1;
  bool moving_2d = false;
};

// Decides the frame and updates the buffer rectangle and capacity in `state`. `marks` is this
// frame's grid (mark_frame), sized like the overlay.
FramePlan plan_frame(FrameState& state, std::span<const BuddyInstance> instances,
                     const TileGrid& marks, const SceneActivity& activity, const LookSettings& look);

// After a drawn frame: keeps the instances and marks for the next comparison, the moving flag,
// and clears the forced redraw. `instances` is swapped with the previous list, for reuse.
void finish_frame(FrameState& state, const FramePlan& plan, std::vector<BuddyInstance>& instances,
                  TileGrid marks);

}  // namespace perchkin
