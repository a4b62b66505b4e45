#pragma once

#include <windows.h>
#include <d2d1_1.h>
#include <d3dcommon.h>
#include <wrl/client.h>

#include <memory>

#include "gpu/backend_policy.h"
#include "gpu/canvas_d2d.h"
#include "gpu/presenter.h"
#include "gpu/shader_hlsl.h"
#include "sprites/frames.h"

namespace perchkin {

// Direct3D 11 on a composition swap chain of two buffers, with the 2D layers drawn by Direct2D
// on the same surface. `factory`, `canvas` and `textures` outlive the presenter; the canvas
// draws on this presenter's surface until it is gone.
class D3D11Presenter final : public Presenter {
 public:
  D3D11Presenter(HWND window, ID2D1Factory1* factory, D2DCanvas& canvas,
                 const SpriteTextures& textures);
  ~D3D11Presenter() override;
  D3D11Presenter(const D3D11Presenter&) = delete;
  D3D11Presenter& operator=(const D3D11Presenter&) = delete;

  // On a swap chain of `size`; `software` tries the WARP rasterizer only. `stage` tells where
  // it failed.
  Status start(const PixelSize& size, bool software, StartStage& stage);

  Status resize(int width, int height) override;
  Status begin(const FrameDraw& f) override;
  Status layer(const FrameDraw& f, Layer which) override;
  Status buddies(const FrameDraw& f) override;
  Status present(const FrameDraw& f) override;
  // After each present the flip chain hands back the buffer drawn two presents ago.
  int kept_age() const override { return 2; }
  bool present_waits() const override { return true; }
  bool lost() override;

 private:
  struct GpuObjects;

  Status start_device(const PixelSize& size, bool software, StartStage& stage);
  Status start_pipelines();
  Status compile(const ShaderEntry& entry, Microsoft::WRL::ComPtr<ID3DBlob>& code);
  Status create_instance_buffer(std::size_t capacity);
  Status attach_back_buffer();
  void draw_instances(const FrameDraw& f);
  // A failing call while drawing; its result decides whether the device was lost.
  Status failed(const char* call, HRESULT hr) {
    failed_hr_ = hr;
    return Status::fail(hresult_text(call, hr));
  }

  HWND window_;
  ID2D1Factory1* factory_;
  D2DCanvas& canvas_;
  const SpriteTextures& textures_;
  std::unique_ptr<GpuObjects> gpu_;
  HRESULT failed_hr_ = S_OK;
  bool lost_ = false;
};

}  // namespace perchkin
