// Start-up order: the 2D factory and canvas, then the Direct3D 11 presenter; a composition that
// cannot start (Wine has none) hands the frames to the software presenter before any shader is
// compiled. A device lost while drawing is made again, with everything on it.
#include "gpu/renderer_d3d11.h"

#include <windows.h>
#include <d2d1_1.h>
#include <wrl/client.h>

#include <cstdio>

#include "gpu/backend_policy.h"
#include "gpu/canvas_d2d.h"
#include "gpu/frame_driver.h"
#include "gpu/presenter_d3d11.h"
#include "gpu/presenter_software_win32.h"
#include "sprites/frames.h"

using Microsoft::WRL::ComPtr;

namespace perchkin {

namespace {

class D3D11Renderer final : public Renderer {
 public:
  Status start(std::uintptr_t window, const ScreenRect& overlay, bool software) override;
  void resize(const ScreenRect& overlay) override { overlay_ = overlay; }
  Result<FrameResult> frame(const FrameInput& in) override {
    overlay_ = in.overlay;
    return driver_.frame(in);
  }
  Canvas& canvas() override { return canvas_ ? static_cast<Canvas&>(*canvas_) : fallback_; }

 private:
  Result<std::unique_ptr<Presenter>> start_device(StartStage& stage) {
    auto gpu = std::make_unique<D3D11Presenter>(window_, factory_.Get(), *canvas_, textures_);
    if (Status s = gpu->start(overlay_size(overlay_), software_, stage); !s.ok()) return s;
    return Result<std::unique_ptr<Presenter>>::success(std::move(gpu));
  }

  HWND window_ = nullptr;
  ScreenRect overlay_;
  bool software_ = false;
  ComPtr<ID2D1Factory1> factory_;
  std::unique_ptr<D2DCanvas> canvas_;
  RecordingCanvas fallback_;
  SpriteTextures textures_;
  // Last: its presenters draw with the canvas and textures above.
  FrameDriver driver_;
};

Status D3D11Renderer::start(std::uintptr_t window, const ScreenRect& overlay, bool software) {
  window_ = reinterpret_cast<HWND>(window);
  overlay_ = overlay;
  software_ = software;
  textures_ = build_sprite_textures();

  D2D1_FACTORY_OPTIONS options{};
  const HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1),
                                       &options, reinterpret_cast<void**>(factory_.GetAddressOf()));
  if (FAILED(hr)) return Status::fail(hresult_text("D2D1CreateFactory", hr));
  Result<std::unique_ptr<D2DCanvas>> canvas = D2DCanvas::create(factory_.Get());
  if (!canvas.ok()) return canvas.status();
  canvas_ = std::move(*canvas);

  StartStage stage = StartStage::device;
  Result<std::unique_ptr<Presenter>> gpu = start_device(stage);
  if (!gpu.ok() && after_start_failure(stage) == StartOutcome::software_presenter) {
    std::fprintf(stderr, "perchkin: no composition (%s); drawing in software\n", gpu.error.c_str());
    auto soft = std::make_unique<SoftwarePresenter>();
    if (Status s = soft->start(window_, overlay_, factory_.Get(), canvas_.get(), &textures_); !s.ok())
      return s;
    driver_.use(std::move(soft), {});
    return Status::success();
  }
  if (!gpu.ok()) return gpu.status();
  // A lost device is made again, up to three times in a row; then the loss is the error.
  PresenterRecovery recovery;
  recovery.restart = [this] {
    StartStage ignored = StartStage::device;
    return start_device(ignored);
  };
  recovery.fallback = [] {
    return Result<std::unique_ptr<Presenter>>::fail(
        "recreating the Direct3D device: it was lost four times in a row");
  };
  driver_.use(std::move(*gpu.value), std::move(recovery));
  return Status::success();
}

}  // namespace

std::unique_ptr<Renderer> make_d3d11_renderer() { return std::make_unique<D3D11Renderer>(); }

}  // namespace perchkin
