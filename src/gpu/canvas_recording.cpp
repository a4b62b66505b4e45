// The canvas helpers every backend shares, and the recording canvas.
#include "gpu/canvas.h"

#include "base/text.h"

#include <cmath>
#include <cstdio>

namespace perchkin {

CanvasTransform canvas_translate(float dx, float dy) { return {1, 0, 0, 1, dx, dy}; }

CanvasTransform canvas_rotate(float degrees, CanvasPoint c) {
  const double r = static_cast<double>(degrees) * 3.14159265358979323846 / 180.0;
  const auto cs = static_cast<float>(std::cos(r)), sn = static_cast<float>(std::sin(r));
  return {cs, sn, -sn, cs, c.x - cs * c.x + sn * c.y, c.y - sn * c.x - cs * c.y};
}

CanvasTransform canvas_multiply(const CanvasTransform& a, const CanvasTransform& b) {
  return {a.m11 * b.m11 + a.m12 * b.m21,         a.m11 * b.m12 + a.m12 * b.m22,
          a.m21 * b.m11 + a.m22 * b.m21,         a.m21 * b.m12 + a.m22 * b.m22,
          a.dx * b.m11 + a.dy * b.m21 + b.dx,    a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

CanvasPath& CanvasPath::move_to(CanvasPoint p) {
  ops.push_back(Op::move);
  points.push_back(p);
  return *this;
}

CanvasPath& CanvasPath::line_to(CanvasPoint p) {
  ops.push_back(Op::line);
  points.push_back(p);
  return *this;
}

CanvasPath& CanvasPath::cubic_to(CanvasPoint c1, CanvasPoint c2, CanvasPoint end) {
  ops.push_back(Op::cubic);
  points.insert(points.end(), {c1, c2, end});
  return *this;
}

CanvasPath& CanvasPath::close() {
  ops.push_back(Op::close);
  return *this;
}

namespace {

std::string num(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
  return buf;
}

std::string color(CanvasColor c) {
  char buf[24];
  auto byte = [](float v) {
    return static_cast<unsigned>(std::lround(std::fmin(1.0, std::fmax(0.0, static_cast<double>(v))) * 255.0));
  };
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", byte(c.r), byte(c.g), byte(c.b));
  std::string out = buf;
  if (c.a != 1.0f) out += "@" + num(c.a);
  return out;
}

std::string rect(const CanvasRect& r) {
  return num(r.left) + "," + num(r.top) + "," + num(r.right) + "," + num(r.bottom);
}

std::string point(CanvasPoint p) { return num(p.x) + "," + num(p.y); }

std::string path_text(const CanvasPath& path) {
  std::string out;
  std::size_t k = 0;
  for (CanvasPath::Op op : path.ops) {
    switch (op) {
      case CanvasPath::Op::move: out += " M" + point(path.points[k++]); break;
      case CanvasPath::Op::line: out += " L" + point(path.points[k++]); break;
      case CanvasPath::Op::cubic:
        out += " C" + point(path.points[k]) + " " + point(path.points[k + 1]) + " " +
               point(path.points[k + 2]);
        k += 3;
        break;
      case CanvasPath::Op::close: out += " Z"; break;
    }
  }
  return out;
}

class RecordedText final : public CanvasText {
 public:
  RecordedText(std::string text, TextSize size) : text_(std::move(text)), size_(size) {}
  TextSize size() const override { return size_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  TextSize size_;
};

}  // namespace

void RecordingCanvas::set_transform(const CanvasTransform& t) {
  transform_ = t;
  calls.push_back("transform " + num(t.m11) + " " + num(t.m12) + " " + num(t.m21) + " " +
                  num(t.m22) + " " + num(t.dx) + " " + num(t.dy));
}

void RecordingCanvas::push_clip(const CanvasRect& r) { calls.push_back("clip " + rect(r)); }
void RecordingCanvas::pop_clip() { calls.push_back("unclip"); }

void RecordingCanvas::fill_rect(const CanvasRect& r, CanvasColor c) {
  calls.push_back("fill_rect " + rect(r) + " " + color(c));
}

void RecordingCanvas::stroke_rect(const CanvasRect& r, CanvasColor c, float width) {
  calls.push_back("stroke_rect " + rect(r) + " " + color(c) + " w" + num(width));
}

void RecordingCanvas::fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) {
  calls.push_back("fill_rounded_rect " + rect(r) + " r" + num(radius) + " " + color(c));
}

void RecordingCanvas::stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c,
                                          float width) {
  calls.push_back("stroke_rounded_rect " + rect(r) + " r" + num(radius) + " " + color(c) + " w" +
                  num(width));
}

void RecordingCanvas::fill_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c) {
  calls.push_back("fill_ellipse " + point(centre) + " " + num(rx) + "x" + num(ry) + " " +
                  color(c));
}

void RecordingCanvas::stroke_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c,
                                     float width) {
  calls.push_back("stroke_ellipse " + point(centre) + " " + num(rx) + "x" + num(ry) + " " +
                  color(c) + " w" + num(width));
}

void RecordingCanvas::line(CanvasPoint a, CanvasPoint b, CanvasColor c, float width) {
  calls.push_back("line " + point(a) + " " + point(b) + " " + color(c) + " w" + num(width));
}

void RecordingCanvas::polyline(const std::vector<CanvasPoint>& points, CanvasColor c,
                               float width) {
  std::string s = "polyline";
  for (CanvasPoint p : points) s += " " + point(p);
  calls.push_back(s + " " + color(c) + " w" + num(width));
}

void RecordingCanvas::fill_path(const CanvasPath& path, CanvasColor c) {
  calls.push_back("fill_path" + path_text(path) + " " + color(c));
}

void RecordingCanvas::stroke_path(const CanvasPath& path, CanvasColor c, float width) {
  calls.push_back("stroke_path" + path_text(path) + " " + color(c) + " w" + num(width));
}

std::unique_ptr<CanvasText> RecordingCanvas::layout_text(std::string_view text,
                                                         const TextFormat& format, float max_width,
                                                         float max_height) {
  calls.push_back("layout \"" + std::string(text) + "\" " + format.family + " " +
                  num(format.size) + " " + std::to_string(format.weight) + " max " +
                  num(max_width) + "x" + num(max_height));
  const float width = 0.55f * format.size * static_cast<float>(char_count(text));
  const float lines = max_width > 0.0f ? std::ceil(width / max_width) : 1.0f;
  return std::make_unique<RecordedText>(
      std::string(text), TextSize{std::fmin(width, max_width), 1.2f * format.size * std::fmax(1.0f, lines)});
}

void RecordingCanvas::draw_text(const CanvasText& text, CanvasPoint origin, CanvasColor c) {
  const auto* recorded = dynamic_cast<const RecordedText*>(&text);
  calls.push_back("text \"" + (recorded ? recorded->text() : std::string()) + "\" " +
                  point(origin) + " " + color(c));
}

void RecordingCanvas::draw_bitmap(const CanvasBitmap& bitmap, const CanvasRect& dest,
                                  float opacity, bool smooth) {
  calls.push_back("bitmap " + std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height) +
                  " " + rect(dest) + " o" + num(opacity) + (smooth ? " smooth" : " nearest"));
}

}  // namespace perchkin
