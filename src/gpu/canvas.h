// The 2D vector interface the overlay, the action menu and the Studio draw with: fills and
// strokes of simple shapes and paths (always with round caps and joins), text layouts, bitmaps,
// transforms and clips. Colours are straight (not premultiplied) RGBA floats; the backends
// draw into premultiplied targets. Backends: Cairo/Pango, Direct2D/DirectWrite, and the
// recording canvas for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

struct CanvasColor {
  float r = 0.0f, g = 0.0f, b = 0.0f, a = 1.0f;
  friend bool operator==(const CanvasColor&, const CanvasColor&) = default;
};
// 0xRRGGBB with an opacity.
constexpr CanvasColor canvas_rgb(std::uint32_t rgb, float alpha = 1.0f) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
          static_cast<float>((rgb >> 8) & 0xFF) / 255.0f, static_cast<float>(rgb & 0xFF) / 255.0f,
          alpha};
}

struct CanvasPoint {
  float x = 0.0f, y = 0.0f;
  friend bool operator==(const CanvasPoint&, const CanvasPoint&) = default;
};

struct CanvasRect {
  float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
  friend bool operator==(const CanvasRect&, const CanvasRect&) = default;
};

// x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy (Direct2D's matrix layout).
struct CanvasTransform {
  float m11 = 1.0f, m12 = 0.0f, m21 = 0.0f, m22 = 1.0f, dx = 0.0f, dy = 0.0f;
  friend bool operator==(const CanvasTransform&, const CanvasTransform&) = default;
};
CanvasTransform canvas_translate(float dx, float dy);
CanvasTransform canvas_rotate(float degrees, CanvasPoint centre);
// a then b.
CanvasTransform canvas_multiply(const CanvasTransform& a, const CanvasTransform& b);

// A figure of straight segments and cubic curves, open or closed.
struct CanvasPath {
  enum class Op : std::uint8_t { move, line, cubic, close };
  std::vector<Op> ops;
  std::vector<CanvasPoint> points;  // move and line take one point, cubic three

  CanvasPath& move_to(CanvasPoint p);
  CanvasPath& line_to(CanvasPoint p);
  CanvasPath& cubic_to(CanvasPoint c1, CanvasPoint c2, CanvasPoint end);
  CanvasPath& close();
};

enum class TextAlign : std::uint8_t { leading, centre, trailing };

struct TextFormat {
  std::string family = "Segoe UI";  // backends substitute what the system has
  float size = 13.5f;               // pixels
  int weight = 400;
  bool italic = false;
  TextAlign horizontal = TextAlign::leading;
  TextAlign vertical = TextAlign::leading;  // leading = top
  std::string locale = "en-us";
  friend bool operator==(const TextFormat&, const TextFormat&) = default;
};

struct TextSize {
  float width = 0.0f, height = 0.0f;
};

// Text laid out once, measured, and drawn any number of times.
class CanvasText {
 public:
  virtual ~CanvasText() = default;
  virtual TextSize size() const = 0;
};

// Premultiplied BGRA pixels, rows tightly packed. `id` is unique per image content, so backends
// can keep an uploaded copy.
struct CanvasBitmap {
  std::uint64_t id = 0;
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgra;
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void set_transform(const CanvasTransform& t) = 0;
  virtual CanvasTransform transform() const = 0;
  // Clips are rectangles in the current transform's space, nested.
  virtual void push_clip(const CanvasRect& r) = 0;
  virtual void pop_clip() = 0;

  virtual void fill_rect(const CanvasRect& r, CanvasColor c) = 0;
  virtual void stroke_rect(const CanvasRect& r, CanvasColor c, float width) = 0;
  virtual void fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) = 0;
  virtual void stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c,
                                   float width) = 0;
  virtual void fill_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c) = 0;
  virtual void stroke_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c,
                              float width) = 0;
  virtual void line(CanvasPoint a, CanvasPoint b, CanvasColor c, float width) = 0;
  virtual void polyline(const std::vector<CanvasPoint>& points, CanvasColor c, float width) = 0;
  virtual void fill_path(const CanvasPath& path, CanvasColor c) = 0;
  virtual void stroke_path(const CanvasPath& path, CanvasColor c, float width) = 0;

  // Lays text out in a box of max_width x max_height: lines wrap at words within max_width and
  // the format's alignments place each line in the box's width and the text in its height (a
  // centred format drawn at (x - W/2, y - H/2) is centred on (x, y)). size() is the text's own
  // extent. Null when it fails.
  virtual std::unique_ptr<CanvasText> layout_text(std::string_view text, const TextFormat& format,
                                                  float max_width, float max_height) = 0;
  // Draws a layout with its box's top-left at origin.
  virtual void draw_text(const CanvasText& text, CanvasPoint origin, CanvasColor c) = 0;

  virtual void draw_bitmap(const CanvasBitmap& bitmap, const CanvasRect& dest, float opacity,
                           bool smooth) = 0;
};

// Records every call as one line of text, for tests that assert what was drawn and in which
// order. Text measures 0.55 x size per character wide and 1.2 x size per line high.
class RecordingCanvas final : public Canvas {
 public:
  std::vector<std::string> calls;

  void set_transform(const CanvasTransform& t) override;
  CanvasTransform transform() const override { return transform_; }
  void push_clip(const CanvasRect& r) override;
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
  void draw_bitmap(const CanvasBitmap& bitmap, const CanvasRect& dest, float opacity,
                   bool smooth) override;

 private:
  CanvasTransform transform_;
};

}  // namespace perchkin
