// The Canvas on Direct2D and DirectWrite. It draws into whatever render target it is given: the
// Direct3D renderer's device context on the swap chain's back buffer, or the software
// presenter's WIC bitmap. One solid brush, one round stroke style, text formats made on demand
// with the family picked from what the system has.
#pragma once

#include <d2d1_1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "base/status.h"
#include "gpu/canvas.h"

namespace perchkin {

// "hresult 0x8899000c" style text for a failed call, used in every Windows graphics error.
std::string hresult_text(const char* call, long hr);

class D2DCanvas final : public Canvas {
 public:
  // Creates the DirectWrite factory and the stroke style on `factory`.
  static Result<std::unique_ptr<D2DCanvas>> create(ID2D1Factory* factory);

  // Draws into `target` from now on (null: nothing until one is set). Bitmaps are kept when
  // `same_device` (a device context whose target bitmap changed), else made again.
  void set_target(ID2D1RenderTarget* target, bool same_device);
  ID2D1RenderTarget* target() const { return target_.Get(); }

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

  // The family actually used for a requested one (after the fallbacks), for tests and logs.
  std::wstring resolved_family(const std::string& family);

 private:
  D2DCanvas() = default;
  ID2D1SolidColorBrush* brush(CanvasColor c);
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> geometry(const CanvasPath& path, bool filled);
  IDWriteTextFormat* text_format(const TextFormat& format);

  Microsoft::WRL::ComPtr<ID2D1Factory> factory_;
  Microsoft::WRL::ComPtr<IDWriteFactory> dwrite_;
  Microsoft::WRL::ComPtr<ID2D1StrokeStyle> round_;
  Microsoft::WRL::ComPtr<ID2D1RenderTarget> target_;
  Microsoft::WRL::ComPtr<ID2D1SolidColorBrush> brush_;
  CanvasTransform transform_;
  int clips_ = 0;
  std::map<std::string, std::wstring> families_;
  std::map<std::string, Microsoft::WRL::ComPtr<IDWriteTextFormat>> formats_;
  std::unordered_map<std::uint64_t, Microsoft::WRL::ComPtr<ID2D1Bitmap>> bitmaps_;
};

}  // namespace perchkin
