// Rectangles: on the desktop in pixels as doubles (ScreenRect), and in whole pixels of an
// image or the overlay (PixelRect, right and bottom exclusive).
#pragma once

#include <algorithm>
#include <cstdint>

namespace perchkin {

struct ScreenRect {
  double left = 0.0, top = 0.0, right = 1920.0, bottom = 1080.0;
};

inline bool contains(const ScreenRect& r, double x, double y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

inline bool is_empty(const PixelRect& r) { return r.left >= r.right || r.top >= r.bottom; }

inline std::int64_t area(const PixelRect& r) {
  return static_cast<std::int64_t>(std::max(0, r.right - r.left)) *
         static_cast<std::int64_t>(std::max(0, r.bottom - r.top));
}

inline bool inside(const PixelRect& a, const PixelRect& outer) {
  return a.left >= outer.left && a.top >= outer.top && a.right <= outer.right &&
         a.bottom <= outer.bottom;
}

// May be empty (see is_empty) when they do not meet.
inline PixelRect intersect(const PixelRect& a, const PixelRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

inline PixelRect bounding_box(const PixelRect& a, const PixelRect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

// Clipped to a w x h image at the origin.
inline PixelRect clip_to(const PixelRect& r, int w, int h) { return intersect(r, {0, 0, w, h}); }

}  // namespace perchkin
