// The Wayland renderer: the frame driver with the shared-memory presenter; outputs and their
// surfaces changing make the next frame whole.
#include "gpu/renderer_wayland.h"

#include "gpu/frame_driver.h"
#include "gpu/presenter_shm_wayland.h"

namespace perchkin {

namespace {

class WaylandRenderer final : public Renderer {
 public:
  explicit WaylandRenderer(std::shared_ptr<WaylandSession> session)
      : session_(std::move(session)), buffers_(*session_) {}

  Status start(std::uintptr_t, const ScreenRect&, bool) override {
    textures_ = build_sprite_textures();
    auto made = start_wayland_shm_presenter(buffers_, textures_, layers_);
    if (!made.ok()) return Status::fail(made.error);
    driver_.use(std::move(*made.value), PresenterRecovery{});
    return Status::success();
  }

  void resize(const ScreenRect&) override { driver_.redraw_whole(); }

  Result<FrameResult> frame(const FrameInput& in) override {
    if (!driver_.ready() || in.crew == nullptr || in.entries == nullptr ||
        in.settings == nullptr || in.scene == nullptr || in.effects == nullptr)
      return Result<FrameResult>::success(FrameResult{});
    // A surface made since the last frame (an output came, the overlay showed again) has
    // nothing on it yet.
    std::uint64_t surfaces = 0;
    for (const auto& o : session_->outputs())
      if (o->configured) surfaces = surfaces * 31 + o->global * 7 + o->surface_serial;
    if (surfaces != surfaces_) {
      surfaces_ = surfaces;
      driver_.redraw_whole();
    }
    buffers_.flush();
    return driver_.frame(in);
  }

  Canvas& canvas() override { return layers_.canvas(); }

 private:
  std::shared_ptr<WaylandSession> session_;
  WaylandOutputBuffers buffers_;
  std::uint64_t surfaces_ = 0;
  SpriteTextures textures_;
  FrameLayers layers_;
  // Last: its presenter draws with the layers, textures and buffers above.
  FrameDriver driver_;
};

}  // namespace

std::unique_ptr<Renderer> make_wayland_renderer(std::shared_ptr<WaylandSession> session) {
  return std::make_unique<WaylandRenderer>(std::move(session));
}

}  // namespace perchkin
