// Each 2D pass is drawn into a freshly cleared bitmap and read back, rather than drawing on top
// of the rasterized buddies: then nothing depends on whether a render target keeps the pixels
// written behind its back between two draws.
#include "gpu/presenter_software_win32.h"

#include <algorithm>
#include <cstring>

#include "gpu/overlay_2d.h"

using Microsoft::WRL::ComPtr;

namespace perchkin {

namespace {

// Premultiplied "over" of one BGRA source pixel onto an RGBA destination pixel.
inline void over_bgra(std::uint8_t* dst, const std::uint8_t* src) {
  const unsigned a = src[3];
  if (a == 0) return;
  const unsigned keep = 255 - a;
  dst[0] = static_cast<std::uint8_t>(std::min(255u, src[2] + (dst[0] * keep + 127) / 255));
  dst[1] = static_cast<std::uint8_t>(std::min(255u, src[1] + (dst[1] * keep + 127) / 255));
  dst[2] = static_cast<std::uint8_t>(std::min(255u, src[0] + (dst[2] * keep + 127) / 255));
  dst[3] = static_cast<std::uint8_t>(std::min(255u, a + (dst[3] * keep + 127) / 255));
}

// A window whose layering was set with SetLayeredWindowAttributes refuses UpdateLayeredWindow
// until the layered style is taken off and put back. Going without a redirection bitmap suits
// only composition, which this window no longer gets. The caller hides the window meanwhile:
// without the style it would be an opaque sheet over the whole desktop.
void restyle_for_layered_updates(HWND window) {
  const LONG_PTR ex = GetWindowLongPtrW(window, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_NOREDIRECTIONBITMAP);
  SetWindowLongPtrW(window, GWL_EXSTYLE, ex & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
  SetWindowLongPtrW(window, GWL_EXSTYLE, ex | WS_EX_LAYERED);
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

SoftwarePresenter::~SoftwarePresenter() {
  if (dc_) {
    if (old_) SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  if (dib_) DeleteObject(dib_);
}

Status SoftwarePresenter::start(HWND window, const ScreenRect& overlay, ID2D1Factory* factory,
                                D2DCanvas* canvas, const SpriteTextures* textures) {
  window_ = window;
  factory_ = factory;
  canvas_ = canvas;
  textures_ = textures;
  // COM may already be set up on this thread, in either model; WIC works in both.
  const HRESULT co = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)co;
  const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(wic_.GetAddressOf()));
  if (FAILED(hr)) return Status::fail(hresult_text("CoCreateInstance(WICImagingFactory)", hr));
  if (!window_) return Status::success();
  const bool visible = IsWindowVisible(window_) != FALSE;
  if (visible) ShowWindow(window_, SW_HIDE);
  restyle_for_layered_updates(window_);
  // One transparent image before the window shows again: a window that cannot take it fails
  // start-up rather than the first frame, and nothing undrawn ever appears.
  const PixelSize size = overlay_size(overlay);
  Status s = ensure_dib(size);
  if (s.ok()) s = show(overlay, size, PixelRect{0, 0, 0, 0});
  if (visible) ShowWindow(window_, SW_SHOWNOACTIVATE);
  return s;
}

Status SoftwarePresenter::ensure_dib(PixelSize size) {
  if (dib_ && size == dib_size_) return Status::success();
  if (!dc_) {
    dc_ = CreateCompatibleDC(nullptr);
    if (!dc_) return Status::fail(hresult_text("CreateCompatibleDC", HRESULT_FROM_WIN32(GetLastError())));
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = size.width;
  info.bmiHeader.biHeight = -size.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) return Status::fail(hresult_text("CreateDIBSection", HRESULT_FROM_WIN32(GetLastError())));
  HGDIOBJ previous = SelectObject(dc_, dib);
  if (dib_) DeleteObject(dib_);
  else old_ = previous;
  dib_ = dib;
  bits_ = bits;
  dib_size_ = size;
  std::memset(bits_, 0, static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4);
  shown_ = {0, 0, 0, 0};
  return Status::success();
}

Status SoftwarePresenter::ensure_target(PixelSize size) {
  if (target_ && size == target_size_) return Status::success();
  canvas_->set_target(nullptr, false);
  target_.Reset();
  bitmap_.Reset();
  HRESULT hr = wic_->CreateBitmap(static_cast<UINT>(size.width), static_cast<UINT>(size.height),
                                  GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnDemand,
                                  bitmap_.GetAddressOf());
  if (FAILED(hr)) return Status::fail(hresult_text("IWICImagingFactory::CreateBitmap", hr));
  const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
      D2D1_RENDER_TARGET_TYPE_SOFTWARE,
      D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
  hr = factory_->CreateWicBitmapRenderTarget(bitmap_.Get(), props, target_.GetAddressOf());
  if (FAILED(hr)) return Status::fail(hresult_text("CreateWicBitmapRenderTarget", hr));
  target_size_ = size;
  return Status::success();
}

Status SoftwarePresenter::layer(const FrameDraw& f, Layer which) {
  const bool first = which == Layer::below;
  const PixelRect& buffer = f.buffer;
  canvas_->set_target(target_.Get(), true);
  target_->BeginDraw();
  target_->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 0.0f));
  canvas_->set_transform(canvas_translate(static_cast<float>(-buffer.left), static_cast<float>(-buffer.top)));
  if (first) draw_pass_one(*canvas_, *f.in);
  else draw_pass_two(*canvas_, *f.in, f.instances);
  canvas_->set_transform({});
  HRESULT hr = target_->EndDraw();
  if (FAILED(hr)) return Status::fail(hresult_text("EndDraw", hr));

  const WICRect all{0, 0, target_size_.width, target_size_.height};
  ComPtr<IWICBitmapLock> lock;
  hr = bitmap_->Lock(&all, WICBitmapLockRead, lock.GetAddressOf());
  if (FAILED(hr)) return Status::fail(hresult_text("IWICBitmap::Lock", hr));
  UINT stride = 0, bytes = 0;
  BYTE* data = nullptr;
  if (FAILED(hr = lock->GetStride(&stride)) || FAILED(hr = lock->GetDataPointer(&bytes, &data)) || !data)
    return Status::fail(hresult_text("IWICBitmapLock::GetDataPointer", FAILED(hr) ? hr : E_POINTER));
  const int w = std::min(target_size_.width, layer_.width);
  const int h = std::min(target_size_.height, layer_.height);
  if (static_cast<std::size_t>(stride) * static_cast<std::size_t>(h) > bytes || stride < static_cast<UINT>(w) * 4)
    return Status::fail(hresult_text("IWICBitmapLock::GetStride", E_UNEXPECTED));
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = data + static_cast<std::size_t>(y) * stride;
    std::uint8_t* dst = layer_.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(layer_.width) * 4;
    for (int x = 0; x < w; ++x, src += 4, dst += 4) {
      if (first) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = src[3];
      } else {
        over_bgra(dst, src);
      }
    }
  }
  return Status::success();
}

Status SoftwarePresenter::resize(int, int) { return Status::success(); }

Status SoftwarePresenter::begin(const FrameDraw& f) {
  if (Status s = ensure_dib(f.window); !s.ok()) return s;
  const PixelSize bsize = buffer_size(f.buffer);
  if (Status s = ensure_target(bsize); !s.ok()) return s;
  if (layer_.width != bsize.width || layer_.height != bsize.height) layer_ = make_image(bsize.width, bsize.height);
  return Status::success();
}

Status SoftwarePresenter::buddies(const FrameDraw& f) {
  draw_instances(layer_, *f.constants, f.instances, *textures_);
  return Status::success();
}

// The buffer is redrawn whole each drawn frame, so the planned tile clears are implied.
Status SoftwarePresenter::present(const FrameDraw& f) {
  const PixelSize overlay = f.window;
  const PixelRect b = f.buffer;
  auto* bits = static_cast<std::uint8_t*>(bits_);
  const auto row_bytes = static_cast<std::size_t>(overlay.width) * 4;
  auto clip = [&](PixelRect r) {
    return PixelRect{std::clamp(r.left, 0, overlay.width), std::clamp(r.top, 0, overlay.height),
                     std::clamp(r.right, 0, overlay.width), std::clamp(r.bottom, 0, overlay.height)};
  };
  const PixelRect old = clip(shown_);
  for (int y = old.top; y < old.bottom; ++y)
    std::memset(bits + static_cast<std::size_t>(y) * row_bytes + static_cast<std::size_t>(old.left) * 4, 0,
                static_cast<std::size_t>(old.right - old.left) * 4);
  const PixelRect now = clip(b);
  for (int y = now.top; y < now.bottom; ++y) {
    const std::uint8_t* src = layer_.pixels.data() +
                              (static_cast<std::size_t>(y - b.top) * static_cast<std::size_t>(layer_.width) +
                               static_cast<std::size_t>(now.left - b.left)) * 4;
    std::uint8_t* dst = bits + static_cast<std::size_t>(y) * row_bytes + static_cast<std::size_t>(now.left) * 4;
    for (int x = now.left; x < now.right; ++x, src += 4, dst += 4) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      dst[3] = src[3];
    }
  }
  shown_ = now;
  GdiFlush();
  if (!window_) return Status::success();
  const PixelRect dirty{std::min(old.left, now.left), std::min(old.top, now.top), std::max(old.right, now.right),
                        std::max(old.bottom, now.bottom)};
  return show(f.in->overlay, overlay, dirty);
}

Status SoftwarePresenter::show(const ScreenRect& overlay, PixelSize size, const PixelRect& dirty) {
  POINT dest{static_cast<LONG>(overlay.left), static_cast<LONG>(overlay.top)};
  SIZE extent{size.width, size.height};
  POINT origin{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const RECT rect{dirty.left, dirty.top, dirty.right, dirty.bottom};
  UPDATELAYEREDWINDOWINFO info{};
  info.cbSize = sizeof info;
  info.pptDst = &dest;
  info.psize = &extent;
  info.hdcSrc = dc_;
  info.pptSrc = &origin;
  info.pblend = &blend;
  info.dwFlags = ULW_ALPHA;
  info.prcDirty = rect.left < rect.right && rect.top < rect.bottom ? &rect : nullptr;
  // Some systems refuse a dirty rectangle; the whole image always works.
  if (!UpdateLayeredWindowIndirect(window_, &info) &&
      !UpdateLayeredWindow(window_, nullptr, &dest, &extent, dc_, &origin, 0, &blend, ULW_ALPHA))
    return Status::fail(hresult_text("UpdateLayeredWindow", HRESULT_FROM_WIN32(GetLastError())));
  return Status::success();
}

}  // namespace perchkin
