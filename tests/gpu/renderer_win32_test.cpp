// What Wine can run of the Windows renderer: Direct2D and DirectWrite into a WIC bitmap, the
// software presenter into its DIB, and the renderer's start-up falling back to that presenter
// where composition is missing. The real shaders never go through Wine's compiler: start-up
// reaches them only after composition has started.
#include <gtest/gtest.h>

#include <windows.h>
#include <d2d1.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>

#include "gpu/canvas_d2d.h"
#include "gpu/frame_prepare.h"
#include "gpu/frame_driver.h"
#include "gpu/frame_world.h"
#include "gpu/presenter_software_win32.h"
#include "gpu/renderer_d3d11.h"
#include "sprites/frames.h"
#include "win/shell_win32.h"

using Microsoft::WRL::ComPtr;

namespace perchkin {
namespace {

struct Com {
  Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
};

using World = FrameWorld;

// Premultiplied BGRA at (x, y) of a top-down image `width` pixels wide.
std::uint32_t bgra_at(const std::uint8_t* p, int width, int x, int y) {
  const std::uint8_t* q = p + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
  return static_cast<std::uint32_t>(q[0]) | static_cast<std::uint32_t>(q[1]) << 8 |
         static_cast<std::uint32_t>(q[2]) << 16 | static_cast<std::uint32_t>(q[3]) << 24;
}

// Wine's Direct2D draws through OpenGL, so without a display it has no device at all.
bool direct2d_can_draw() {
  ComPtr<ID2D1Factory> factory;
  ComPtr<IWICImagingFactory> wic;
  ComPtr<IWICBitmap> bitmap;
  ComPtr<ID2D1RenderTarget> target;
  return SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf())) &&
         SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(wic.GetAddressOf()))) &&
         SUCCEEDED(wic->CreateBitmap(1, 1, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnDemand,
                                     bitmap.GetAddressOf())) &&
         SUCCEEDED(factory->CreateWicBitmapRenderTarget(bitmap.Get(), D2D1::RenderTargetProperties(),
                                                        target.GetAddressOf()));
}

TEST(CanvasD2D, DrawsIntoAWicBitmapAndLaysOutTextWithAnExistingFamily) {
  Com com;
  if (!direct2d_can_draw()) GTEST_SKIP() << "Direct2D has no device here (Wine without a display)";
  ComPtr<ID2D1Factory> factory;
  ASSERT_TRUE(SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf())));
  Result<std::unique_ptr<D2DCanvas>> made = D2DCanvas::create(factory.Get());
  ASSERT_TRUE(made.ok()) << made.error;
  D2DCanvas& canvas = **made;

  ComPtr<IWICImagingFactory> wic;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(wic.GetAddressOf()))));
  ComPtr<IWICBitmap> bitmap;
  ASSERT_TRUE(SUCCEEDED(wic->CreateBitmap(64, 32, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnDemand,
                                          bitmap.GetAddressOf())));
  ComPtr<ID2D1RenderTarget> target;
  ASSERT_TRUE(SUCCEEDED(factory->CreateWicBitmapRenderTarget(
      bitmap.Get(),
      D2D1::RenderTargetProperties(D2D1_RENDER_TARGET_TYPE_SOFTWARE,
                                   D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED)),
      target.GetAddressOf())));
  canvas.set_target(target.Get(), false);
  target->BeginDraw();
  target->Clear(D2D1::ColorF(0, 0, 0, 0));
  canvas.set_transform(canvas_translate(10.0f, 0.0f));
  canvas.fill_rect({0.0f, 0.0f, 10.0f, 10.0f}, canvas_rgb(0xFF0000));
  canvas.fill_rect({20.0f, 0.0f, 30.0f, 10.0f}, canvas_rgb(0x0000FF, 0.5f));
  canvas.pop_clip();  // unbalanced: ignored rather than failing the frame
  canvas.set_transform({});
  ASSERT_TRUE(SUCCEEDED(target->EndDraw()));

  const WICRect all{0, 0, 64, 32};
  ComPtr<IWICBitmapLock> lock;
  ASSERT_TRUE(SUCCEEDED(bitmap->Lock(&all, WICBitmapLockRead, lock.GetAddressOf())));
  UINT stride = 0, size = 0;
  BYTE* data = nullptr;
  ASSERT_TRUE(SUCCEEDED(lock->GetStride(&stride)) && SUCCEEDED(lock->GetDataPointer(&size, &data)));
  ASSERT_EQ(stride, 64u * 4);
  EXPECT_EQ(bgra_at(data, 64, 15, 5), 0xFFFF0000u);  // translated by 10
  EXPECT_EQ(bgra_at(data, 64, 5, 5), 0u);
  const std::uint32_t half_blue = bgra_at(data, 64, 35, 5);
  EXPECT_NEAR(static_cast<int>(half_blue & 0xFF), 128, 2);  // premultiplied
  EXPECT_NEAR(static_cast<int>(half_blue >> 24), 128, 2);
  lock.Reset();

  // Wine has no Segoe fonts: the family must come from the fallbacks, and text must measure.
  TextFormat bubble;
  bubble.family = "Segoe UI";
  std::unique_ptr<CanvasText> text = canvas.layout_text("hello there, friend", bubble, 240.0f, 0.0f);
  ASSERT_NE(text, nullptr);
  EXPECT_GT(text->size().width, 20.0f);
  EXPECT_LE(text->size().width, 240.0f);
  EXPECT_GT(text->size().height, 5.0f);
  EXPECT_FALSE(canvas.resolved_family("Segoe UI").empty());
}

TEST(SoftwarePresenter, DrawsBuddiesIntoTheDibAndErasesWhereTheyLeft) {
  Com com;
  if (!direct2d_can_draw()) GTEST_SKIP() << "Direct2D has no device here (Wine without a display)";
  ComPtr<ID2D1Factory> factory;
  ASSERT_TRUE(SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf())));
  Result<std::unique_ptr<D2DCanvas>> canvas = D2DCanvas::create(factory.Get());
  ASSERT_TRUE(canvas.ok()) << canvas.error;
  const SpriteTextures textures = build_sprite_textures();
  auto owned = std::make_unique<SoftwarePresenter>();
  SoftwarePresenter& presenter = *owned;
  ASSERT_TRUE(presenter.start(nullptr, {0, 0, 800, 600}, factory.Get(), canvas->get(), &textures).ok());
  FrameDriver driver(FramePacing{[] { return 0.0; }, [](double) {}});
  driver.use(std::move(owned), {});

  World w;
  w.crew.buddies.push_back(idle_buddy(0, 200.0, 500.0));
  FrameInput in = w.input();
  int pass_two_calls = 0;
  in.draw_selection = [&](Canvas& c) {
    ++pass_two_calls;
    c.fill_rect({600.0f, 100.0f, 610.0f, 110.0f}, canvas_rgb(0x00FF00));
  };
  Result<FrameResult> r = driver.frame(in);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(r->drawn);
  EXPECT_EQ(pass_two_calls, 1);

  ASSERT_EQ(presenter.size(), (PixelSize{800, 600}));
  const std::uint8_t* px = presenter.pixels();
  // The body covers 16 x 10 cells of 4 px above the feet; its middle is opaque and not black.
  const std::uint32_t body = bgra_at(px, 800, 200, 500 - 4 * 3);
  EXPECT_EQ(body >> 24, 0xFFu);
  EXPECT_NE(body & 0xFFFFFF, 0u);
  EXPECT_EQ(bgra_at(px, 800, 50, 50), 0u);
  EXPECT_EQ(bgra_at(px, 800, 605, 105), 0xFF00FF00u);  // the second pass, on top

  // Moved far away: the old place is transparent again.
  w.crew.buddies[0].motion.x = 650.0;
  w.crew.buddies[0].motion.y = 300.0;
  in = w.input();
  w.entries.entries[0].prev_x = w.entries.entries[0].x = 650.0;
  w.entries.entries[0].prev_y = w.entries.entries[0].y = 300.0;
  r = driver.frame(in);
  ASSERT_TRUE(r.ok() && r->drawn) << r.error;
  EXPECT_EQ(bgra_at(px, 800, 200, 500 - 4 * 3), 0u);
  EXPECT_EQ(bgra_at(px, 800, 650, 300 - 4 * 3) >> 24, 0xFFu);
}

// The overlay exactly as start-up makes it: layered through SetLayeredWindowAttributes, which
// UpdateLayeredWindow refuses until the presenter has set the window up again.
TEST(SoftwarePresenter, TakesOverTheShellsOverlayAndKeepsItClickThrough) {
  Com com;
  if (!direct2d_can_draw()) GTEST_SKIP() << "Direct2D has no device here (Wine without a display)";
  Win32Shell shell;
  ASSERT_TRUE(shell.create_windows({0, 0, 640, 480}, 1.0).ok());
  HWND overlay = shell.hwnd(ShellWindow::overlay);
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(overlay, nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 255);

  ComPtr<ID2D1Factory> factory;
  ASSERT_TRUE(SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf())));
  Result<std::unique_ptr<D2DCanvas>> canvas = D2DCanvas::create(factory.Get());
  ASSERT_TRUE(canvas.ok()) << canvas.error;
  const SpriteTextures textures = build_sprite_textures();
  auto presenter = std::make_unique<SoftwarePresenter>();
  const Status started = presenter->start(overlay, {0, 0, 640, 480}, factory.Get(), canvas->get(), &textures);
  ASSERT_TRUE(started.ok()) << started.error;
  FrameDriver driver(FramePacing{[] { return 0.0; }, [](double) {}});
  driver.use(std::move(presenter), {});

  World w;
  w.crew.buddies.push_back(idle_buddy(0, 300.0, 400.0));
  for (int i = 0; i < 3; ++i) {
    FrameInput in = w.input();
    in.overlay = {0.0, 0.0, 640.0, 480.0};
    in.forced = true;
    Result<FrameResult> r = driver.frame(in);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r->drawn);
  }
  EXPECT_TRUE(IsWindowVisible(overlay));
  const LONG_PTR ex = GetWindowLongPtrW(overlay, GWL_EXSTYLE);
  const LONG_PTR kept = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
  EXPECT_EQ(ex & kept, kept);
  EXPECT_EQ(SendMessageW(overlay, WM_NCHITTEST, 0, MAKELPARAM(300, 390)), HTTRANSPARENT);
}

// The renderer on the shell's own overlay: composition where the system has it, else the
// software presenter (Wine). Either way frames draw, and an unchanged frame is skipped.
TEST(RendererD3D11, StartsOnTheOverlayAndDrawsThroughWhicheverPresenterTheSystemHas) {
  Com com;
  Win32Shell shell;
  if (!shell.create_windows({0, 0, 640, 480}, 1.0).ok()) GTEST_SKIP() << "no window system";
  HWND window = shell.hwnd(ShellWindow::overlay);
  std::unique_ptr<Renderer> renderer = make_d3d11_renderer();
  const Status started = renderer->start(reinterpret_cast<std::uintptr_t>(window), {0, 0, 640, 480}, true);
  if (!started.ok() && started.error.rfind("D3D11CreateDevice", 0) == 0) GTEST_SKIP() << started.error;
  ASSERT_TRUE(started.ok()) << started.error;

  World w;
  w.crew.buddies.push_back(idle_buddy(0, 300.0, 400.0));
  FrameInput in = w.input();
  in.overlay = {0.0, 0.0, 640.0, 480.0};
  Result<FrameResult> first = renderer->frame(in);
  ASSERT_TRUE(first.ok()) << first.error;
  EXPECT_TRUE(first->drawn);
  Result<FrameResult> second = renderer->frame(in);
  ASSERT_TRUE(second.ok()) << second.error;
  EXPECT_FALSE(second->drawn);  // nothing changed
  w.crew.buddies[0].motion.x = 100.0;
  in = w.input();
  in.overlay = {0.0, 0.0, 640.0, 480.0};
  w.entries.entries[0].prev_x = w.entries.entries[0].x = 100.0;
  Result<FrameResult> moved = renderer->frame(in);
  ASSERT_TRUE(moved.ok()) << moved.error;
  EXPECT_TRUE(moved->drawn);

  TextFormat label;
  label.family = "Segoe UI";
  label.size = 16.0f;
  label.weight = 700;
  EXPECT_NE(renderer->canvas().layout_text("Hello", label, 200.0f, 50.0f), nullptr);
  renderer.reset();
}

// Where neither composition nor a layered picture can be shown, start-up fails with the failing
// call, which start-up reports as the graphics failure, instead of the first frame failing.
TEST(RendererD3D11, AWindowThatTakesNoPictureFailsStartUpWithTheCall) {
  Com com;
  HWND gone = CreateWindowExW(WS_EX_LAYERED, L"STATIC", L"", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr,
                              nullptr, nullptr);
  if (gone == nullptr) GTEST_SKIP() << "no window system";
  DestroyWindow(gone);
  std::unique_ptr<Renderer> renderer = make_d3d11_renderer();
  const Status started = renderer->start(reinterpret_cast<std::uintptr_t>(gone), {0, 0, 320, 240}, true);
  if (!started.ok() && started.error.rfind("D3D11CreateDevice", 0) == 0) GTEST_SKIP() << started.error;
  ASSERT_FALSE(started.ok());
  EXPECT_NE(started.error.find(" failed (0x"), std::string::npos) << started.error;
}

}  // namespace
}  // namespace perchkin
