#include "studio/studio_window_x11.h"

#include "base/text.h"
#include "gpu/canvas_cairo.h"
#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <vector>

namespace perchkin {

namespace {

// The focus keys by their unshifted keysym; Shift turns Tab back.
std::optional<StudioKey> focus_key(KeySym keysym, bool shift) {
  switch (keysym) {
    case XK_Tab:
    case XK_ISO_Left_Tab: return shift || keysym == XK_ISO_Left_Tab ? StudioKey::back_tab : StudioKey::tab;
    case XK_Left:
    case XK_KP_Left: return StudioKey::left;
    case XK_Right:
    case XK_KP_Right: return StudioKey::right;
    case XK_Up:
    case XK_KP_Up: return StudioKey::up;
    case XK_Down:
    case XK_KP_Down: return StudioKey::down;
    case XK_Return:
    case XK_KP_Enter: return StudioKey::enter;
    case XK_space: return StudioKey::space;
    default: return std::nullopt;
  }
}

}  // namespace

char32_t studio_keysym_char(unsigned long keysym) {
  switch (keysym) {
    case XK_BackSpace: return kStudioBackspace;
    case XK_Tab: return 9;
    case XK_Return:
    case XK_KP_Enter: return kStudioEnter;
    case XK_Escape: return kStudioEscape;
    case XK_Delete: return 127;
    default: break;
  }
  if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
    return static_cast<char32_t>(keysym);
  // Keysyms 0x01000000 + U name Unicode characters directly.
  if ((keysym & 0xFF000000UL) == 0x01000000UL) {
    const auto c = static_cast<char32_t>(keysym & 0x00FFFFFFUL);
    if (c >= 0x20 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) return c;
  }
  return 0;
}

namespace {

constexpr long kEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         EnterWindowMask | LeaveWindowMask | KeyPressMask | StructureNotifyMask |
                         FocusChangeMask;

class X11StudioWindow final : public StudioWindow {
 public:
  explicit X11StudioWindow(std::string display_name) : display_name_(std::move(display_name)) {}
  ~X11StudioWindow() override { close(); }
  X11StudioWindow(const X11StudioWindow&) = delete;
  X11StudioWindow& operator=(const X11StudioWindow&) = delete;

  Status open(double scale) override {
    if (window_ != None) {
      raise();
      return Status::success();
    }
    auto opened = X11Session::open(display_name_.c_str());
    if (!opened.ok()) return opened.status();
    session_ = std::move(*opened);
    if (Status s = create(scale); !s.ok()) {
      close();
      return s;
    }
    return Status::success();
  }

  void close() override {
    if (!session_) return;
    Display* d = session_->display();
    if (ic_ != nullptr) XDestroyIC(ic_);
    if (im_ != nullptr) XCloseIM(im_);
    if (gc_ != nullptr) XFreeGC(d, gc_);
    if (window_ != None) XDestroyWindow(d, window_);
    if (colormap_ != None) XFreeColormap(d, colormap_);
    ic_ = nullptr;
    im_ = nullptr;
    gc_ = nullptr;
    window_ = None;
    colormap_ = None;
    inside_ = false;
    pixels_ = {};
    canvas_.reset();
    // Closing the connection gives the X server's resources back in one go.
    session_.reset();
  }

  bool is_open() const override { return window_ != None; }

  void pump(StudioInput& input) override {
    if (window_ == None) return;
    Display* d = session_->display();
    while (XPending(d) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      // The input method sees every event first; what it takes (a compose sequence in
      // progress) is not ours.
      if (XFilterEvent(&e, None)) continue;
      // A changed keyboard map (xdotool maps characters it types onto a spare key for a
      // moment): the keys that follow are read with the new one.
      if (e.type == MappingNotify) {
        XRefreshKeyboardMapping(&e.xmapping);
        continue;
      }
      if (e.xany.window != window_) continue;
      handle(e, input);
    }
  }

  bool pointer_over() override { return window_ != None && inside_; }

  Status present(const std::function<void(Canvas&)>& draw) override {
    if (window_ == None) return Status::fail("the Studio window is closed");
    const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4;
    if (pixels_.size() != bytes) pixels_.assign(bytes, 0);
    if (!canvas_) canvas_ = std::make_unique<CairoCanvas>();
    canvas_->target(pixels_.data(), width_, height_, width_ * 4);
    if (!canvas_->has_target()) return Status::fail("cannot draw the Studio");
    draw(*canvas_);
    canvas_->flush();
    canvas_->release_target();
    // The whole frame was drawn in memory first, so the window never shows half of one.
    XImage* image = XCreateImage(session_->display(), visual_, static_cast<unsigned>(depth_),
                                 ZPixmap, 0, reinterpret_cast<char*>(pixels_.data()),
                                 static_cast<unsigned>(width_), static_cast<unsigned>(height_), 32,
                                 width_ * 4);
    if (image == nullptr) return Status::fail("cannot make an image for the Studio");
    XPutImage(session_->display(), window_, gc_, image, 0, 0, 0, 0,
              static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    image->data = nullptr;  // the memory is ours
    XDestroyImage(image);
    // Xlib has copied the pixels into its request buffer; the next frame may draw at once.
    XFlush(session_->display());
    return Status::success();
  }

 private:
  Status create(double scale) {
    Display* d = session_->display();
    const X11Atoms& atoms = session_->atoms();
    const double k = std::isfinite(scale) && scale > 0.0 ? std::min(scale, 8.0) : 1.0;
    width_ = std::max(1, static_cast<int>(std::lround(kStudioWidth * k)));
    height_ = std::max(1, static_cast<int>(std::lround(kStudioHeight * k)));

    // Cairo's memory is BGRA, which a 24-bit true-colour visual with 32-bit pixels takes as is.
    XVisualInfo info{};
    if (XMatchVisualInfo(d, session_->screen_number(), 24, TrueColor, &info) == 0 ||
        info.red_mask != 0xFF0000UL || info.green_mask != 0xFF00UL || info.blue_mask != 0xFFUL)
      return Status::fail("the display has no 24-bit true-colour visual");
    visual_ = info.visual;
    depth_ = info.depth;
    colormap_ = XCreateColormap(d, session_->root(), visual_, AllocNone);

    XSetWindowAttributes attrs{};
    attrs.colormap = colormap_;
    attrs.border_pixel = 0;
    attrs.background_pixel = 0x1B1B26;  // shown for the moment before the first frame
    attrs.event_mask = kEvents;
    attrs.bit_gravity = NorthWestGravity;
    const bool made = session_->without_errors([&] {
      window_ = XCreateWindow(d, session_->root(), 0, 0, static_cast<unsigned>(width_),
                              static_cast<unsigned>(height_), 0, depth_, InputOutput, visual_,
                              CWColormap | CWBorderPixel | CWBackPixel | CWEventMask |
                                  CWBitGravity,
                              &attrs);
    });
    if (!made || window_ == None) {
      window_ = None;
      return Status::fail("the X server refused the window");
    }
    // After the first frame the server keeps the old pixels while the next one comes.
    XSetWindowBackgroundPixmap(d, window_, None);

    const std::string title = "Perchkin Studio";
    XStoreName(d, window_, title.c_str());
    XChangeProperty(d, window_, atoms.net_wm_name, atoms.utf8_string, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XClassHint klass{};
    std::string res_name = "perchkin", res_class = "PerchkinStudio";
    klass.res_name = res_name.data();
    klass.res_class = res_class.data();
    XSetClassHint(d, window_, &klass);
    // A fixed size: the window manager offers no resizing and no maximising.
    XSizeHints* size = XAllocSizeHints();
    if (size != nullptr) {
      size->flags = PMinSize | PMaxSize;
      size->min_width = size->max_width = width_;
      size->min_height = size->max_height = height_;
      XSetWMNormalHints(d, window_, size);
      XFree(size);
    }
    XWMHints* hints = XAllocWMHints();
    if (hints != nullptr) {
      hints->flags = InputHint | StateHint;
      hints->input = True;
      hints->initial_state = NormalState;
      XSetWMHints(d, window_, hints);
      XFree(hints);
    }
    Atom protocols[] = {atoms.wm_delete_window};
    XSetWMProtocols(d, window_, protocols, 1);
    const long pid = static_cast<long>(::getpid());
    XChangeProperty(d, window_, atoms.net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    const long type = static_cast<long>(atoms.net_wm_window_type_normal);
    XChangeProperty(d, window_, atoms.net_wm_window_type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&type), 1);

    gc_ = XCreateGC(d, window_, 0, nullptr);
    open_input_method();
    XMapRaised(d, window_);
    XFlush(d);
    return Status::success();
  }

  // Typed text through the input method where there is one (dead keys, compose, other
  // layouts); plain key events otherwise.
  void open_input_method() {
    Display* d = session_->display();
    XSetLocaleModifiers("");
    im_ = XOpenIM(d, nullptr, nullptr, nullptr);
    if (im_ == nullptr) {
      XSetLocaleModifiers("@im=none");
      im_ = XOpenIM(d, nullptr, nullptr, nullptr);
    }
    if (im_ == nullptr) return;
    ic_ = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                    window_, XNFocusWindow, window_, nullptr);
    if (ic_ == nullptr) return;
    long filter = 0;
    if (XGetICValues(ic_, XNFilterEvents, &filter, nullptr) == nullptr && (filter & ~kEvents) != 0)
      XSelectInput(d, window_, kEvents | filter);
  }

  void raise() {
    Display* d = session_->display();
    XMapRaised(d, window_);
    // Window managers honour a pager's request to activate a window (source 2), which also
    // brings a minimised one back.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window_;
    e.xclient.message_type = session_->atoms().net_active_window;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, session_->root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
  }

  void handle(XEvent& e, StudioInput& input) {
    switch (e.type) {
      case Expose:
      case MapNotify:
        input.needs_redraw = true;
        break;
      case MotionNotify:
        studio_pointer_moved(input, static_cast<float>(e.xmotion.x), static_cast<float>(e.xmotion.y));
        break;
      case EnterNotify:
        inside_ = true;
        studio_pointer_moved(input, static_cast<float>(e.xcrossing.x), static_cast<float>(e.xcrossing.y));
        break;
      case LeaveNotify:
        inside_ = false;
        // While the button is held the window keeps the pointer (a slider being dragged).
        if (!input.held) studio_pointer_left(input);
        break;
      case ButtonPress:
        studio_pointer_moved(input, static_cast<float>(e.xbutton.x), static_cast<float>(e.xbutton.y));
        if (e.xbutton.button == Button1) studio_button(input, true);
        else if (e.xbutton.button == Button4) studio_wheel(input, 1.0f);
        else if (e.xbutton.button == Button5) studio_wheel(input, -1.0f);
        break;
      case ButtonRelease:
        if (e.xbutton.button != Button1) break;
        studio_pointer_moved(input, static_cast<float>(e.xbutton.x), static_cast<float>(e.xbutton.y));
        studio_button(input, false);
        if (!inside_) studio_pointer_left(input);
        break;
      case KeyPress: key(e.xkey, input); break;
      case FocusIn:
        if (ic_ != nullptr) XSetICFocus(ic_);
        break;
      case FocusOut:
        if (ic_ != nullptr) XUnsetICFocus(ic_);
        break;
      case ClientMessage:
        if (e.xclient.format == 32 &&
            static_cast<Atom>(e.xclient.data.l[0]) == session_->atoms().wm_delete_window) {
          input.close_requested = true;
          input.needs_redraw = true;
        }
        break;
      default: break;
    }
  }

  void key(XKeyEvent& e, StudioInput& input) {
    if (const auto focus = focus_key(XLookupKeysym(&e, 0), (e.state & ShiftMask) != 0))
      studio_key(input, *focus);
    KeySym keysym = NoSymbol;
    if (ic_ != nullptr) {
      char buffer[64];
      ::Status status = 0;
      int n = Xutf8LookupString(ic_, &e, buffer, sizeof buffer - 1, &keysym, &status);
      std::vector<char> big;
      if (status == XBufferOverflow && n > 0 && n < 4096) {
        big.resize(static_cast<std::size_t>(n) + 1);
        n = Xutf8LookupString(ic_, &e, big.data(), n, &keysym, &status);
      }
      if (status == XLookupChars || status == XLookupBoth) {
        const char* text = big.empty() ? buffer : big.data();
        for (char32_t c : decode_utf8(std::string_view(text, static_cast<std::size_t>(std::max(0, n)))))
          studio_typed(input, c);
        return;
      }
      if (status != XLookupKeySym && status != XLookupNone) return;
    } else {
      char ignored[8];
      XLookupString(&e, ignored, sizeof ignored, &keysym, nullptr);
    }
    if (const char32_t c = studio_keysym_char(keysym); c != 0) studio_typed(input, c);
  }

  std::string display_name_;
  std::unique_ptr<X11Session> session_;
  Window window_ = None;
  Colormap colormap_ = None;
  Visual* visual_ = nullptr;
  int depth_ = 24;
  GC gc_ = nullptr;
  XIM im_ = nullptr;
  XIC ic_ = nullptr;
  int width_ = 1, height_ = 1;
  bool inside_ = false;
  std::vector<std::uint8_t> pixels_;
  std::unique_ptr<CairoCanvas> canvas_;  // made at the first frame, kept while open
};

}  // namespace

std::unique_ptr<StudioWindow> make_x11_studio_window(std::string display_name) {
  return std::make_unique<X11StudioWindow>(std::move(display_name));
}

}  // namespace perchkin
