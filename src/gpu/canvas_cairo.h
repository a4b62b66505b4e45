// The Linux desktop's Canvas: Cairo draws into premultiplied BGRA memory (Cairo's ARGB32 on a
// little-endian machine), Pango lays text out with fonts found by fontconfig. Without a target
// it still measures text, so the world tick can size bubbles between frames.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "gpu/canvas.h"

namespace perchkin {

// The installed families tried for one of the program's font names, best first, as a Pango
// family list ("Segoe UI" -> "Segoe UI,Noto Sans,DejaVu Sans,sans-serif"). Unknown names are
// tried as given, then fall back to the system's sans-serif.
std::string font_families(std::string_view family);

class CairoCanvas final : public Canvas {
 public:
  CairoCanvas();
  ~CairoCanvas() override;
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

  // Draws from now on into `pixels`: height rows of `stride` bytes, width premultiplied BGRA
  // pixels each. The memory must outlive the drawing; call flush() before reading it. The
  // transform and clips are reset. A null pointer, a size below 1 x 1 or above 16384 a side, or
  // a stride that is not a multiple of 4 at least 4 x width drops the target instead: drawing
  // then goes nowhere and text is still measured.
  void target(std::uint8_t* pixels, int width, int height, int stride);
  // Drops the target; drawing goes nowhere until the next target().
  void release_target() { target(nullptr, 0, 0, 0); }
  bool has_target() const;
  // Finishes every pending draw into the target's memory.
  void flush();

  void set_transform(const CanvasTransform& t) override;
  CanvasTransform transform() const override { return transform_; }
  void push_clip(const CanvasRect& r) override;
  // One clip made of several rectangles (their union), popped by one pop_clip(): a frame's
  // dirty rectangles are drawn in one pass instead of one pass each.
  void push_clip_rects(std::span<const CanvasRect> rects);
  void pop_clip() override;
  void fill_rect(const CanvasRect& r, CanvasColor c) override;
  void stroke_rect(const CanvasRect& r, CanvasColor c, float width) override;
  void fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) override;
  void stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c,
                           float width) override;
  void fill_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c) override;
  void stroke_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c,
                      float width) override;
  void line(CanvasPoint a, CanvasPoint b, CanvasColor c, float width) override;
  void polyline(const std::vector<CanvasPoint>& points, CanvasColor c, float width) override;
  void fill_path(const CanvasPath& path, CanvasColor c) override;
  void stroke_path(const CanvasPath& path, CanvasColor c, float width) override;
  std::unique_ptr<CanvasText> layout_text(std::string_view text, const TextFormat& format,
                                          float max_width, float max_height) override;
  void draw_text(const CanvasText& text, CanvasPoint origin, CanvasColor c) override;
  // Where draw_text(text, origin) may put ink, in the current transform's space, with a pixel
  // to spare on each side; infinite for a text this canvas did not lay out.
  CanvasRect text_ink(const CanvasText& text, CanvasPoint origin) const;
  void draw_bitmap(const CanvasBitmap& bitmap, const CanvasRect& dest, float opacity,
                   bool smooth) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  CanvasTransform transform_;
};

}  // namespace perchkin
