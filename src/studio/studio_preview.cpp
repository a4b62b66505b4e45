// The Look page's live preview: one buddy in the chosen look, drawn by the reference rasterizer
// with the sprite pass's own colour rule, and its wear placed as the overlay places it. The
// rasterized buddy is kept until the look changes, so redrawing the page costs a bitmap draw.
#include "crowd/buddy.h"
#include "gpu/instances.h"
#include "gpu/overlay_2d.h"
#include "gpu/raster_cpu.h"
#include "studio/studio_ui.h"
#include "wear/wear_image.h"
#include "wear/wear_store.h"

#include <cmath>

namespace perchkin {

namespace th = studio_theme;

namespace {

// The cells around the sprite the glow and the shadow reach into.
constexpr int kSideCells = 4, kTopCells = 4, kBottomCells = 4;

struct PreviewKey {
  bool custom = false;
  std::uint32_t color = 0, color2 = 0;
  std::uint8_t pattern = 0;
  bool glow = false;
  double glow_power = 0.0;
  int unit = 0;
  bool operator==(const PreviewKey&) const = default;
};

PreviewKey key_for(const LookSettings& look, int unit) {
  return {look.custom, look.color, look.color2, look.pattern, look.glow, look.glow_power, unit};
}

// The instance of the preview buddy with its feet at `feet`.
BuddyInstance preview_instance(const LookSettings& look, int unit, Float2 feet) {
  Buddy model;  // a fresh buddy: its own colour is the crew's first
  const BuddyColours colours = buddy_colours(model, look);
  BuddyInstance in;
  in.pos = feet;
  in.unit = static_cast<float>(unit);
  in.sy = 1.0f;
  in.frame = 0.0f;
  in.eye = colours.eye;
  in.tint = colours.tint;
  in.tint2 = colours.tint2;
  in.pattern = colours.pattern;
  in.shadow = 1.0f;
  return in;
}

}  // namespace

struct StudioState::Detail::Preview {
  SpriteTextures textures;
  PreviewKey key;
  bool valid = false;
  CanvasBitmap bitmap;
};

void studio_draw_preview(StudioUi& ui, const CanvasRect& box) {
  StudioState::Detail& d = ui.detail();
  if (!d.preview) {
    d.preview = std::make_shared<StudioState::Detail::Preview>();
    d.preview->textures = build_sprite_textures();
  }
  StudioState::Detail::Preview& p = *d.preview;
  const LookSettings& look = ui.settings().look;
  const int unit = std::max(1, static_cast<int>(std::lround(8.0f * ui.s())));
  const int width = (16 + 2 * kSideCells) * unit;
  const int height = (10 + kTopCells + kBottomCells) * unit;
  const Float2 feet{static_cast<float>(width) / 2.0f,
                    static_cast<float>((10 + kTopCells) * unit)};

  const PreviewKey key = key_for(look, unit);
  if (!p.valid || !(p.key == key)) {
    RgbaImage image = make_image(width, height);
    Frame frame;
    frame.screen = {static_cast<float>(image.width), static_cast<float>(image.height)};
    frame.glow = look.glow ? static_cast<float>(look.glow_power) : 0.0f;
    const BuddyInstance in = preview_instance(look, unit, feet);
    draw_instances(image, frame, std::span<const BuddyInstance>(&in, 1), p.textures);
    p.bitmap.width = image.width;
    p.bitmap.height = image.height;
    p.bitmap.bgra = std::move(image.pixels);
    for (std::size_t i = 0; i + 3 < p.bitmap.bgra.size(); i += 4)
      std::swap(p.bitmap.bgra[i], p.bitmap.bgra[i + 2]);
    p.bitmap.id = bitmap_content_id(p.bitmap.width, p.bitmap.height, p.bitmap.bgra);
    p.key = key;
    p.valid = true;
  }

  Canvas& c = ui.canvas();
  c.fill_rounded_rect(box, ui.px(10.0f), canvas_rgb(th::kTile));
  ui.text("Live preview", ui.font(13.0f, 600), {box.left + ui.px(16.0f), box.top + ui.px(14.0f)},
          box.right - box.left - ui.px(32.0f), th::kText2);
  c.push_clip(box);
  const float dest_left = std::round((box.left + box.right - static_cast<float>(width)) / 2.0f);
  const float dest_top = std::round(box.bottom - ui.px(28.0f) - static_cast<float>(height));
  // A floor for the buddy to stand on.
  const float floor_y = dest_top + feet.y;
  c.fill_rect({box.left + ui.px(16.0f), floor_y, box.right - ui.px(16.0f), floor_y + ui.px(1.0f)},
              canvas_rgb(th::kBorder));
  c.draw_bitmap(p.bitmap,
                {dest_left, dest_top, dest_left + static_cast<float>(width),
                 dest_top + static_cast<float>(height)},
                1.0f, false);
  const BuddyInstance placed =
      preview_instance(look, unit, {dest_left + feet.x, dest_top + feet.y});
  const WearImages* wear = ui.ctx().wear;
  draw_buddy_wear(c, placed, look, wear ? selected_wear(*wear, ui.settings(), WearKind::hat) : nullptr,
                  wear ? selected_wear(*wear, ui.settings(), WearKind::glasses) : nullptr);
  c.pop_clip();
}

}  // namespace perchkin
