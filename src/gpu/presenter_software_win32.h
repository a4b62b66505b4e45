// The presenter for when composition is unavailable (as under Wine): the 2D passes drawn by
// Direct2D into a WIC bitmap the size of the buffer, the buddies by the CPU reference
// rasterizer between them, the result copied into a DIB of the overlay's size and shown with
// UpdateLayeredWindow.
#pragma once

#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>

#include "gpu/canvas_d2d.h"
#include "gpu/frame_prepare.h"
#include "gpu/presenter.h"
#include "gpu/raster_cpu.h"
#include "sprites/frames.h"

namespace perchkin {

class SoftwarePresenter final : public Presenter {
 public:
  SoftwarePresenter() = default;
  ~SoftwarePresenter() override;
  SoftwarePresenter(const SoftwarePresenter&) = delete;
  SoftwarePresenter& operator=(const SoftwarePresenter&) = delete;

  // `canvas` (on `factory`) is shared with the renderer; the presenter points it at its own
  // target while it draws. Makes `window` (null: none, for tests) take UpdateLayeredWindow,
  // whatever layering it had, and shows it a transparent image covering `overlay`.
  Status start(HWND window, const ScreenRect& overlay, ID2D1Factory* factory, D2DCanvas* canvas,
               const SpriteTextures* textures);

  Status resize(int width, int height) override;
  Status begin(const FrameDraw& f) override;
  Status layer(const FrameDraw& f, Layer which) override;
  Status buddies(const FrameDraw& f) override;
  Status present(const FrameDraw& f) override;
  // Each frame is drawn whole into a freshly cleared image.
  int kept_age() const override { return 0; }

  // The shown image, premultiplied BGRA, top-down, 4 * width bytes a row (for tests).
  const std::uint8_t* pixels() const { return static_cast<const std::uint8_t*>(bits_); }
  PixelSize size() const { return dib_size_; }

 private:
  Status ensure_dib(PixelSize size);
  Status ensure_target(PixelSize size);
  // Shows the DIB on the window at `overlay`; `dirty` is the part that changed (empty: all).
  Status show(const ScreenRect& overlay, PixelSize size, const PixelRect& dirty);

  HWND window_ = nullptr;
  ID2D1Factory* factory_ = nullptr;
  D2DCanvas* canvas_ = nullptr;
  const SpriteTextures* textures_ = nullptr;
  Microsoft::WRL::ComPtr<IWICImagingFactory> wic_;
  Microsoft::WRL::ComPtr<IWICBitmap> bitmap_;
  Microsoft::WRL::ComPtr<ID2D1RenderTarget> target_;
  PixelSize target_size_{0, 0};
  HDC dc_ = nullptr;
  HBITMAP dib_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
  PixelSize dib_size_{0, 0};
  PixelRect shown_{0, 0, 0, 0};  // the DIB area holding last frame's buffer
  RgbaImage layer_;
};

}  // namespace perchkin
