// Direct2D defers drawing errors to EndDraw, so the drawing calls here return nothing; the
// renderer reports EndDraw's result. Resources tied to a render target (the brush, bitmaps) are
// made again when the target changes device.
#include "gpu/canvas_d2d.h"
#include "base/utf16_win32.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gpu/font_fallback.h"

using Microsoft::WRL::ComPtr;

namespace perchkin {

namespace {

// Bounds on what untrusted content (custom images, Logo text) can make us allocate.
constexpr int kMaxBitmapSide = 4096;
constexpr std::size_t kMaxCachedBitmaps = 64;
constexpr std::size_t kMaxCachedFormats = 64;
constexpr std::size_t kMaxTextChars = 8192;

D2D1_COLOR_F d2d_colour(CanvasColor c) { return D2D1::ColorF(c.r, c.g, c.b, c.a); }
D2D1_POINT_2F d2d_point(CanvasPoint p) { return D2D1::Point2F(p.x, p.y); }
D2D1_RECT_F d2d_rect(const CanvasRect& r) { return D2D1::RectF(r.left, r.top, r.right, r.bottom); }


float finite_or(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

class D2DText final : public CanvasText {
 public:
  D2DText(ComPtr<IDWriteTextLayout> layout, TextSize size) : layout_(std::move(layout)), size_(size) {}
  TextSize size() const override { return size_; }
  IDWriteTextLayout* layout() const { return layout_.Get(); }

 private:
  ComPtr<IDWriteTextLayout> layout_;
  TextSize size_;
};

}  // namespace

std::string hresult_text(const char* call, long hr) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", call, static_cast<unsigned long>(hr));
  return buf;
}

Result<std::unique_ptr<D2DCanvas>> D2DCanvas::create(ID2D1Factory* factory) {
  if (!factory) return Result<std::unique_ptr<D2DCanvas>>::fail(hresult_text("D2D1CreateFactory", E_POINTER));
  std::unique_ptr<D2DCanvas> c(new D2DCanvas());
  c->factory_ = factory;
  HRESULT hr = DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(c->dwrite_.GetAddressOf()));
  if (FAILED(hr)) return Result<std::unique_ptr<D2DCanvas>>::fail(hresult_text("DWriteCreateFactory", hr));
  const D2D1_STROKE_STYLE_PROPERTIES props = D2D1::StrokeStyleProperties(
      D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_CAP_STYLE_ROUND, D2D1_LINE_JOIN_ROUND);
  hr = factory->CreateStrokeStyle(props, nullptr, 0, c->round_.GetAddressOf());
  if (FAILED(hr)) return Result<std::unique_ptr<D2DCanvas>>::fail(hresult_text("CreateStrokeStyle", hr));
  return Result<std::unique_ptr<D2DCanvas>>::success(std::move(c));
}

void D2DCanvas::set_target(ID2D1RenderTarget* target, bool same_device) {
  if (!same_device || !target) {
    brush_.Reset();
    bitmaps_.clear();
  }
  target_ = target;
  clips_ = 0;
  transform_ = {};
}

ID2D1SolidColorBrush* D2DCanvas::brush(CanvasColor c) {
  if (!target_) return nullptr;
  if (!brush_ && FAILED(target_->CreateSolidColorBrush(d2d_colour(c), brush_.GetAddressOf())))
    return nullptr;
  brush_->SetColor(d2d_colour(c));
  return brush_.Get();
}

void D2DCanvas::set_transform(const CanvasTransform& t) {
  transform_ = t;
  if (target_) target_->SetTransform(D2D1::Matrix3x2F(t.m11, t.m12, t.m21, t.m22, t.dx, t.dy));
}

void D2DCanvas::push_clip(const CanvasRect& r) {
  if (!target_) return;
  target_->PushAxisAlignedClip(d2d_rect(r), D2D1_ANTIALIAS_MODE_ALIASED);
  ++clips_;
}

void D2DCanvas::pop_clip() {
  // An unbalanced pop would fail the whole frame at EndDraw.
  if (!target_ || clips_ == 0) return;
  target_->PopAxisAlignedClip();
  --clips_;
}

void D2DCanvas::fill_rect(const CanvasRect& r, CanvasColor c) {
  if (ID2D1SolidColorBrush* b = brush(c)) target_->FillRectangle(d2d_rect(r), b);
}

void D2DCanvas::stroke_rect(const CanvasRect& r, CanvasColor c, float width) {
  if (ID2D1SolidColorBrush* b = brush(c)) target_->DrawRectangle(d2d_rect(r), b, width, round_.Get());
}

void D2DCanvas::fill_rounded_rect(const CanvasRect& r, float radius, CanvasColor c) {
  if (ID2D1SolidColorBrush* b = brush(c))
    target_->FillRoundedRectangle(D2D1::RoundedRect(d2d_rect(r), radius, radius), b);
}

void D2DCanvas::stroke_rounded_rect(const CanvasRect& r, float radius, CanvasColor c, float width) {
  if (ID2D1SolidColorBrush* b = brush(c))
    target_->DrawRoundedRectangle(D2D1::RoundedRect(d2d_rect(r), radius, radius), b, width, round_.Get());
}

void D2DCanvas::fill_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c) {
  if (ID2D1SolidColorBrush* b = brush(c)) target_->FillEllipse(D2D1::Ellipse(d2d_point(centre), rx, ry), b);
}

void D2DCanvas::stroke_ellipse(CanvasPoint centre, float rx, float ry, CanvasColor c, float width) {
  if (ID2D1SolidColorBrush* b = brush(c))
    target_->DrawEllipse(D2D1::Ellipse(d2d_point(centre), rx, ry), b, width, round_.Get());
}

void D2DCanvas::line(CanvasPoint a, CanvasPoint b, CanvasColor c, float width) {
  if (ID2D1SolidColorBrush* br = brush(c))
    target_->DrawLine(d2d_point(a), d2d_point(b), br, width, round_.Get());
}

void D2DCanvas::polyline(const std::vector<CanvasPoint>& points, CanvasColor c, float width) {
  if (points.size() < 2) return;
  CanvasPath path;
  path.move_to(points.front());
  for (std::size_t i = 1; i < points.size(); ++i) path.line_to(points[i]);
  stroke_path(path, c, width);
}

ComPtr<ID2D1PathGeometry> D2DCanvas::geometry(const CanvasPath& path, bool filled) {
  ComPtr<ID2D1PathGeometry> g;
  if (FAILED(factory_->CreatePathGeometry(g.GetAddressOf()))) return nullptr;
  ComPtr<ID2D1GeometrySink> sink;
  if (FAILED(g->Open(sink.GetAddressOf()))) return nullptr;
  const D2D1_FIGURE_BEGIN begin = filled ? D2D1_FIGURE_BEGIN_FILLED : D2D1_FIGURE_BEGIN_HOLLOW;
  bool open = false;
  std::size_t k = 0;
  const std::vector<CanvasPoint>& pts = path.points;
  for (CanvasPath::Op op : path.ops) {
    switch (op) {
      case CanvasPath::Op::move:
        if (k >= pts.size()) return nullptr;
        if (open) sink->EndFigure(D2D1_FIGURE_END_OPEN);
        sink->BeginFigure(d2d_point(pts[k++]), begin);
        open = true;
        break;
      case CanvasPath::Op::line:
        if (k >= pts.size()) return nullptr;
        if (!open) {
          sink->BeginFigure(d2d_point(pts[k]), begin);
          open = true;
        }
        sink->AddLine(d2d_point(pts[k++]));
        break;
      case CanvasPath::Op::cubic:
        if (k + 3 > pts.size() || !open) return nullptr;
        sink->AddBezier(D2D1::BezierSegment(d2d_point(pts[k]), d2d_point(pts[k + 1]), d2d_point(pts[k + 2])));
        k += 3;
        break;
      case CanvasPath::Op::close:
        if (open) sink->EndFigure(D2D1_FIGURE_END_CLOSED);
        open = false;
        break;
    }
  }
  if (open) sink->EndFigure(D2D1_FIGURE_END_OPEN);
  if (FAILED(sink->Close())) return nullptr;
  return g;
}

void D2DCanvas::fill_path(const CanvasPath& path, CanvasColor c) {
  ID2D1SolidColorBrush* b = brush(c);
  if (!b) return;
  if (ComPtr<ID2D1PathGeometry> g = geometry(path, true)) target_->FillGeometry(g.Get(), b);
}

void D2DCanvas::stroke_path(const CanvasPath& path, CanvasColor c, float width) {
  ID2D1SolidColorBrush* b = brush(c);
  if (!b) return;
  if (ComPtr<ID2D1PathGeometry> g = geometry(path, false)) target_->DrawGeometry(g.Get(), b, width, round_.Get());
}

std::wstring D2DCanvas::resolved_family(const std::string& family) {
  if (auto it = families_.find(family); it != families_.end()) return it->second;
  std::wstring chosen = widen(family);
  ComPtr<IDWriteFontCollection> fonts;
  if (SUCCEEDED(dwrite_->GetSystemFontCollection(fonts.GetAddressOf(), FALSE))) {
    for (const std::string& candidate : font_fallbacks(family)) {
      const std::wstring wide = widen(candidate);
      UINT32 index = 0;
      BOOL exists = FALSE;
      if (SUCCEEDED(fonts->FindFamilyName(wide.c_str(), &index, &exists)) && exists) {
        chosen = wide;
        break;
      }
    }
  }
  if (families_.size() < kMaxCachedFormats) families_.emplace(family, chosen);
  return chosen;
}

IDWriteTextFormat* D2DCanvas::text_format(const TextFormat& f) {
  char key_tail[96];
  std::snprintf(key_tail, sizeof key_tail, "|%.3f|%d|%d|%d|%d|", static_cast<double>(f.size), f.weight,
                f.italic ? 1 : 0, static_cast<int>(f.horizontal), static_cast<int>(f.vertical));
  const std::string key = f.family + key_tail + f.locale;
  if (auto it = formats_.find(key); it != formats_.end()) return it->second.Get();

  const std::wstring family = resolved_family(f.family);
  const std::wstring locale = widen(f.locale.empty() ? std::string_view("en-us") : f.locale);
  const float size = std::clamp(finite_or(f.size, 13.5f), 1.0f, 1000.0f);
  const auto weight = static_cast<DWRITE_FONT_WEIGHT>(std::clamp(f.weight, 1, 999));
  ComPtr<IDWriteTextFormat> format;
  if (FAILED(dwrite_->CreateTextFormat(family.c_str(), nullptr, weight,
                                       f.italic ? DWRITE_FONT_STYLE_ITALIC : DWRITE_FONT_STYLE_NORMAL,
                                       DWRITE_FONT_STRETCH_NORMAL, size, locale.c_str(),
                                       format.GetAddressOf())))
    return nullptr;
  static constexpr DWRITE_TEXT_ALIGNMENT kHorizontal[] = {
      DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_TEXT_ALIGNMENT_CENTER, DWRITE_TEXT_ALIGNMENT_TRAILING};
  static constexpr DWRITE_PARAGRAPH_ALIGNMENT kVertical[] = {
      DWRITE_PARAGRAPH_ALIGNMENT_NEAR, DWRITE_PARAGRAPH_ALIGNMENT_CENTER, DWRITE_PARAGRAPH_ALIGNMENT_FAR};
  format->SetTextAlignment(kHorizontal[static_cast<int>(f.horizontal) % 3]);
  format->SetParagraphAlignment(kVertical[static_cast<int>(f.vertical) % 3]);
  format->SetWordWrapping(DWRITE_WORD_WRAPPING_WRAP);
  if (formats_.size() >= kMaxCachedFormats) formats_.clear();
  return formats_.emplace(key, std::move(format)).first->second.Get();
}

std::unique_ptr<CanvasText> D2DCanvas::layout_text(std::string_view text, const TextFormat& format,
                                                   float max_width, float max_height) {
  IDWriteTextFormat* f = text_format(format);
  if (!f) return nullptr;
  std::wstring wide = widen(text.substr(0, kMaxTextChars));
  const float w = std::isfinite(max_width) && max_width > 0.0f ? std::min(max_width, 1.0e5f) : 1.0e5f;
  const float h = std::isfinite(max_height) && max_height > 0.0f ? std::min(max_height, 1.0e5f) : 1.0e5f;
  ComPtr<IDWriteTextLayout> layout;
  if (FAILED(dwrite_->CreateTextLayout(wide.c_str(), static_cast<UINT32>(wide.size()), f, w, h,
                                       layout.GetAddressOf())))
    return nullptr;
  DWRITE_TEXT_METRICS m{};
  if (FAILED(layout->GetMetrics(&m))) return nullptr;
  return std::make_unique<D2DText>(std::move(layout), TextSize{m.width, m.height});
}

void D2DCanvas::draw_text(const CanvasText& text, CanvasPoint origin, CanvasColor c) {
  const auto* t = dynamic_cast<const D2DText*>(&text);
  ID2D1SolidColorBrush* b = brush(c);
  if (!t || !b) return;
  target_->DrawTextLayout(d2d_point(origin), t->layout(), b, D2D1_DRAW_TEXT_OPTIONS_NONE);
}

void D2DCanvas::draw_bitmap(const CanvasBitmap& bitmap, const CanvasRect& dest, float opacity, bool smooth) {
  if (!target_ || bitmap.width <= 0 || bitmap.height <= 0 || bitmap.width > kMaxBitmapSide ||
      bitmap.height > kMaxBitmapSide ||
      bitmap.bgra.size() != static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height) * 4)
    return;
  ComPtr<ID2D1Bitmap>& slot = bitmaps_[bitmap.id];
  if (!slot) {
    if (bitmaps_.size() > kMaxCachedBitmaps) {
      bitmaps_.clear();
      return draw_bitmap(bitmap, dest, opacity, smooth);
    }
    const D2D1_BITMAP_PROPERTIES props =
        D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
    if (FAILED(target_->CreateBitmap(D2D1::SizeU(static_cast<UINT32>(bitmap.width), static_cast<UINT32>(bitmap.height)),
                                     bitmap.bgra.data(), static_cast<UINT32>(bitmap.width) * 4, props,
                                     slot.GetAddressOf()))) {
      bitmaps_.erase(bitmap.id);
      return;
    }
  }
  target_->DrawBitmap(slot.Get(), d2d_rect(dest), std::clamp(finite_or(opacity, 1.0f), 0.0f, 1.0f),
                      smooth ? D2D1_BITMAP_INTERPOLATION_MODE_LINEAR
                             : D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR,
                      nullptr);
}

}  // namespace perchkin
