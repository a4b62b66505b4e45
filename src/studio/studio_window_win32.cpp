// The window procedure only queues events; pump() hands them to the input record. The shell's
// message pump dispatches this window's messages too, so the queue also gathers what arrived
// while the rest of the program's windows were pumped.
#include "studio/studio_window_win32.h"

#include "gpu/canvas_d2d.h"

#include <windows.h>
#include <windowsx.h>
#include <d2d1.h>
#include <dwmapi.h>

#include <algorithm>
#include <cmath>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace perchkin {

namespace {

constexpr wchar_t kClassName[] = L"PerchkinStudio";
constexpr wchar_t kTitle[] = L"Perchkin Studio";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// DWMWA_USE_IMMERSIVE_DARK_MODE; Windows 10 before 20H1 knew it as 19.
constexpr DWORD kDarkModeAttribute = 20, kDarkModeAttributeOld = 19;

class Win32StudioWindow final : public StudioWindow {
 public:
  Win32StudioWindow() = default;
  ~Win32StudioWindow() override { close(); }
  Win32StudioWindow(const Win32StudioWindow&) = delete;
  Win32StudioWindow& operator=(const Win32StudioWindow&) = delete;

  Status open(double scale) override {
    if (hwnd_ != nullptr) {
      raise();
      return Status::success();
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &Win32StudioWindow::procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    // Registered once per process; a second registration fails harmlessly.
    RegisterClassExW(&wc);

    const double k = std::isfinite(scale) && scale > 0.0 ? std::min(scale, 8.0) : 1.0;
    width_ = std::max(1, static_cast<int>(std::lround(kStudioWidth * k)));
    height_ = std::max(1, static_cast<int>(std::lround(kStudioHeight * k)));
    RECT frame{0, 0, width_, height_};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    HWND hwnd = CreateWindowExW(0, kClassName, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, this);
    if (hwnd == nullptr)
      return Status::fail(hresult_text("CreateWindowExW", static_cast<long>(HRESULT_FROM_WIN32(GetLastError()))));
    hwnd_ = hwnd;
    const BOOL dark = TRUE;
    if (FAILED(DwmSetWindowAttribute(hwnd_, kDarkModeAttribute, &dark, sizeof dark)))
      (void)DwmSetWindowAttribute(hwnd_, kDarkModeAttributeOld, &dark, sizeof dark);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
    queue_studio_event(events_, {StudioEvent::Kind::expose});
    return Status::success();
  }

  void close() override {
    if (hwnd_ == nullptr) return;
    if (GetCapture() == hwnd_) ReleaseCapture();
    if (canvas_) canvas_->set_target(nullptr, false);
    target_.Reset();
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
    events_.clear();
    joiner_ = {};
  }

  bool is_open() const override { return hwnd_ != nullptr; }

  void pump(StudioInput& input) override {
    if (hwnd_ == nullptr) return;
    MSG msg;
    // What the shell's pump left for this window has been dispatched already; this takes the
    // rest (and everything when the window runs without the shell, as in tests).
    while (hwnd_ != nullptr && PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    apply_studio_events(events_, input);
  }

  bool pointer_over() override {
    if (hwnd_ == nullptr) return false;
    POINT p;
    if (!GetCursorPos(&p)) return false;
    // The window under the pointer, past click-through windows like the overlay.
    HWND under = WindowFromPoint(p);
    return under != nullptr && GetAncestor(under, GA_ROOT) == hwnd_;
  }

  Status present(const std::function<void(Canvas&)>& draw) override {
    if (hwnd_ == nullptr) return Status::fail("the Studio window is closed");
    if (Status s = make_target(); !s.ok()) return s;
    target_->BeginDraw();
    target_->SetTransform(D2D1::Matrix3x2F::Identity());
    target_->Clear(D2D1::ColorF(0x1B1B26));
    draw(*canvas_);
    const HRESULT hr = target_->EndDraw();
    if (hr == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
      // The device went away: the next frame makes a new target.
      canvas_->set_target(nullptr, false);
      target_.Reset();
      queue_studio_event(events_, {StudioEvent::Kind::expose});
    }
    if (FAILED(hr)) return Status::fail(hresult_text("EndDraw", hr));
    ValidateRect(hwnd_, nullptr);
    return Status::success();
  }

  HWND handle() const { return hwnd_; }

 private:
  Status make_target() {
    if (!factory_) {
      const HRESULT hr = D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory_.GetAddressOf());
      if (FAILED(hr)) return Status::fail(hresult_text("D2D1CreateFactory", hr));
    }
    if (!canvas_) {
      auto made = D2DCanvas::create(factory_.Get());
      if (!made.ok()) return made.status();
      canvas_ = std::move(*made);
    }
    if (target_) return Status::success();
    // 96 DPI: one unit is one pixel, as the pages measure.
    const D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), 96.0f, 96.0f);
    // Presenting never waits for the display: the loop paces itself.
    const D2D1_HWND_RENDER_TARGET_PROPERTIES hwnd_props = D2D1::HwndRenderTargetProperties(
        hwnd_, D2D1::SizeU(static_cast<UINT32>(width_), static_cast<UINT32>(height_)),
        D2D1_PRESENT_OPTIONS_IMMEDIATELY);
    const HRESULT hr = factory_->CreateHwndRenderTarget(props, hwnd_props, target_.GetAddressOf());
    if (FAILED(hr)) return Status::fail(hresult_text("CreateHwndRenderTarget", hr));
    canvas_->set_target(target_.Get(), false);
    return Status::success();
  }

  void raise() {
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    ShowWindow(hwnd_, SW_SHOW);
    // A program that is not in front may not take the foreground; a moment as a topmost
    // window still brings the Studio above the others.
    SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd_);
    SetFocus(hwnd_);
  }

  void queue(const StudioEvent& e) { queue_studio_event(events_, e); }

  void move_to(LPARAM lp) {
    StudioEvent e{StudioEvent::Kind::move};
    e.x = static_cast<float>(GET_X_LPARAM(lp));
    e.y = static_cast<float>(GET_Y_LPARAM(lp));
    queue(e);
  }
  void button(bool down) {
    StudioEvent e{StudioEvent::Kind::button};
    e.down = down;
    queue(e);
  }
  bool pointer_in_client() const {
    POINT p;
    RECT r;
    return GetCursorPos(&p) && ScreenToClient(hwnd_, &p) && GetClientRect(hwnd_, &r) &&
           PtInRect(&r, p);
  }

  LRESULT message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_MOUSEMOVE:
        move_to(lp);
        if (!tracking_) {
          TRACKMOUSEEVENT t{};
          t.cbSize = sizeof t;
          t.dwFlags = TME_LEAVE;
          t.hwndTrack = hwnd_;
          tracking_ = TrackMouseEvent(&t) != FALSE;
        }
        return 0;
      case WM_MOUSELEAVE:
        tracking_ = false;
        // While the button is held the window keeps the pointer (a slider being dragged).
        if (GetCapture() != hwnd_) queue({StudioEvent::Kind::leave});
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        SetFocus(hwnd_);
        SetCapture(hwnd_);
        move_to(lp);
        button(true);
        return 0;
      case WM_LBUTTONUP:
        move_to(lp);
        button(false);
        if (GetCapture() == hwnd_) ReleaseCapture();
        if (!pointer_in_client()) queue({StudioEvent::Kind::leave});
        return 0;
      case WM_CAPTURECHANGED:
        // Someone else took the pointer mid-drag: the drag ends here.
        if (reinterpret_cast<HWND>(lp) != hwnd_) button(false);
        return 0;
      case WM_MOUSEWHEEL: {
        StudioEvent e{StudioEvent::Kind::wheel};
        e.notches = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wp)) / static_cast<float>(WHEEL_DELTA);
        queue(e);
        return 0;
      }
      case WM_KEYDOWN: {
        StudioEvent e{StudioEvent::Kind::key};
        bool known = true;
        switch (wp) {
          case VK_TAB: e.key = GetKeyState(VK_SHIFT) < 0 ? StudioKey::back_tab : StudioKey::tab; break;
          case VK_LEFT: e.key = StudioKey::left; break;
          case VK_RIGHT: e.key = StudioKey::right; break;
          case VK_UP: e.key = StudioKey::up; break;
          case VK_DOWN: e.key = StudioKey::down; break;
          case VK_RETURN: e.key = StudioKey::enter; break;
          case VK_SPACE: e.key = StudioKey::space; break;
          default: known = false; break;
        }
        if (known) queue(e);
        break;  // the typed character still follows as WM_CHAR
      }
      case WM_CHAR: {
        const char32_t c = joiner_.push(static_cast<char16_t>(wp & 0xFFFF));
        if (c != 0) {
          StudioEvent e{StudioEvent::Kind::typed};
          e.c = c;
          queue(e);
        }
        return 0;
      }
      case WM_CLOSE:
        // The loop closes the window, saving first; the message alone destroys nothing.
        queue({StudioEvent::Kind::close});
        return 0;
      case WM_ERASEBKGND: return 1;  // every frame covers the whole client area
      case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd_, &ps);
        EndPaint(hwnd_, &ps);
        queue({StudioEvent::Kind::expose});
        return 0;
      }
      default: break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
  }

  static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32StudioWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->message(msg, wp, lp);
  }

  HWND hwnd_ = nullptr;
  int width_ = 1, height_ = 1;
  bool tracking_ = false;
  std::vector<StudioEvent> events_;
  Utf16Joiner joiner_;
  ComPtr<ID2D1Factory> factory_;
  ComPtr<ID2D1HwndRenderTarget> target_;
  std::unique_ptr<D2DCanvas> canvas_;
};

}  // namespace

std::unique_ptr<StudioWindow> make_win32_studio_window() {
  return std::make_unique<Win32StudioWindow>();
}

void* studio_window_handle(StudioWindow& window) {
  auto* w = dynamic_cast<Win32StudioWindow*>(&window);
  return w != nullptr ? w->handle() : nullptr;
}

}  // namespace perchkin
