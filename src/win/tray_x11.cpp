// The tray icon as an XEmbed client of the freedesktop system tray: a small window showing the
// crab, handed to whoever owns the _NET_SYSTEM_TRAY_Sn selection. Without a tray the window
// simply stays unmapped; when a tray (re)starts it announces itself with a MANAGER message on
// the root window and the icon docks again.
#include "win/tray_x11.h"

#include "sprites/frames.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace perchkin {

namespace {

constexpr long kRequestDock = 0;
constexpr long kXembedMapped = 1;
constexpr int kDefaultSize = 22;
constexpr const char* kTooltip = "Perchkin: click to show or hide, right-click for menu";
constexpr std::uint32_t kBodyRgb = 0xD77757;
constexpr std::uint32_t kEyeRgb = 0x222222;

int lowest_bit(unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1ul) == 0) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

unsigned long channel(unsigned long mask, std::uint32_t value8) {
  const int shift = lowest_bit(mask);
  const unsigned long max = mask >> shift;
  return ((value8 * max + 127) / 255) << shift;
}

unsigned long pixel_for(Display* display, int screen, std::uint32_t rgb) {
  Visual* v = DefaultVisual(display, screen);
  if (v->c_class == TrueColor)
    return channel(v->red_mask, (rgb >> 16) & 0xFF) | channel(v->green_mask, (rgb >> 8) & 0xFF) |
           channel(v->blue_mask, rgb & 0xFF);
  XColor c{};
  c.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257);
  c.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257);
  c.blue = static_cast<unsigned short>((rgb & 0xFF) * 257);
  if (XAllocColor(display, DefaultColormap(display, screen), &c) != 0) return c.pixel;
  return BlackPixel(display, screen);
}

}  // namespace

struct TrayX11 {
  X11Session* session = nullptr;
  Window icon = None;
  Window manager = None;
  Atom selection = None;
  GC gc = nullptr;
  int width = kDefaultSize, height = kDefaultSize;
  unsigned long body = 0, eye = 0, blush = 0;

  Display* display() const { return session->display(); }

  // The icon window with its XEmbed and naming properties; false when it cannot be made.
  bool make_icon() {
    Display* d = display();
    XSetWindowAttributes attrs{};
    attrs.background_pixmap = ParentRelative;
    attrs.event_mask = ButtonPressMask | ButtonReleaseMask | ExposureMask | StructureNotifyMask;
    const bool ok = session->without_errors([&] {
      icon = XCreateWindow(d, session->root(), 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWBackPixmap | CWEventMask, &attrs);
    });
    if (!ok || icon == None) {
      icon = None;
      return false;
    }
    const X11Atoms& a = session->atoms();
    const long info[2] = {0, kXembedMapped};
    XChangeProperty(d, icon, a.xembed_info, a.xembed_info, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(info), 2);
    // Trays that show tooltips take them from the icon's name.
    XStoreName(d, icon, kTooltip);
    XChangeProperty(d, icon, a.net_wm_name, a.utf8_string, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(kTooltip),
                    static_cast<int>(std::strlen(kTooltip)));
    XClassHint hint{const_cast<char*>("perchkin"), const_cast<char*>("Perchkin")};
    XSetClassHint(d, icon, &hint);
    return true;
  }

  // Out of sight while no tray holds it. A dying tray hands the icon back to the root window
  // (it was in the tray's save set), mapped, and the window manager would frame it as a stray
  // little window; withdrawing it tells the window manager to let go too.
  void withdraw() {
    if (icon == None) return;
    session->without_errors(
        [&] { XWithdrawWindow(display(), icon, session->screen_number()); });
  }

  void dock() {
    Display* d = display();
    manager = XGetSelectionOwner(d, selection);
    if (manager == None) return;
    // A tray that did not keep the icon in its save set took it down with its own windows.
    if (icon == None && !make_icon()) return;
    session->without_errors([&] {
      // Learn when the tray goes away.
      XSelectInput(d, manager, StructureNotifyMask);
      XEvent e{};
      e.xclient.type = ClientMessage;
      e.xclient.window = manager;
      e.xclient.message_type = session->atoms().net_system_tray_opcode;
      e.xclient.format = 32;
      e.xclient.data.l[0] = CurrentTime;
      e.xclient.data.l[1] = kRequestDock;
      e.xclient.data.l[2] = static_cast<long>(icon);
      XSendEvent(d, manager, False, NoEventMask, &e);
    });
  }

  void draw() {
    Display* d = display();
    XClearWindow(d, icon);
    const int cell = std::max(1, std::min(width / kFrameColumns, height / kFrameRows));
    const int x0 = (width - cell * kFrameColumns) / 2;
    const int y0 = (height - cell * kFrameRows) / 2;
    const FrameCells cells = frame_cells(0);
    for (int row = 0; row < kFrameRows; ++row)
      for (int col = 0; col < kFrameColumns; ++col) {
        const std::uint8_t code = cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
        if (code == kCellClear) continue;
        XSetForeground(d, gc, code == kCellBody ? body : code == kCellBlush ? blush : eye);
        XFillRectangle(d, icon, gc, x0 + col * cell, y0 + row * cell,
                       static_cast<unsigned>(cell), static_cast<unsigned>(cell));
      }
  }
};

void TrayX11Deleter::operator()(TrayX11* tray) const {
  if (tray == nullptr) return;
  tray->session->without_errors([&] {
    if (tray->gc != nullptr) XFreeGC(tray->display(), tray->gc);
    // Destroying the embedded window is how an XEmbed client leaves the tray.
    if (tray->icon != None) XDestroyWindow(tray->display(), tray->icon);
  });
  delete tray;
}

TrayX11Ptr tray_x11_add(X11Session& session, double scale) {
  Display* d = session.display();
  const int screen = session.screen_number();
  TrayX11Ptr tray(new TrayX11);
  tray->session = &session;
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  tray->selection = XInternAtom(d, name.c_str(), False);
  const int size = std::clamp(static_cast<int>(kDefaultSize * (scale > 0.0 ? scale : 1.0)), 16, 128);
  tray->width = tray->height = size;
  if (!tray->make_icon()) return nullptr;
  // A GC outlives the window it was made for: it serves icons made again later.
  tray->gc = XCreateGC(d, tray->icon, 0, nullptr);
  tray->body = pixel_for(d, screen, kBodyRgb);
  tray->eye = pixel_for(d, screen, kEyeRgb);
  tray->blush = pixel_for(d, screen, kBlushRgb);

  // A tray that starts later announces itself on the root window; keep the shell's own
  // selection there and add ours.
  XWindowAttributes root_attrs;
  long mask = StructureNotifyMask;
  if (XGetWindowAttributes(d, session.root(), &root_attrs) != 0) mask |= root_attrs.your_event_mask;
  XSelectInput(d, session.root(), mask);

  tray->dock();
  XFlush(d);
  return tray;
}

bool tray_x11_handle_event(TrayX11* tray, const XEvent& event, EventRecords& records) {
  if (tray == nullptr) return false;
  const X11Atoms& a = tray->session->atoms();
  switch (event.type) {
    case ClientMessage:
      if (event.xclient.window == tray->session->root() && event.xclient.message_type == a.manager &&
          static_cast<Atom>(event.xclient.data.l[1]) == tray->selection) {
        tray->dock();
        return true;
      }
      return false;
    case DestroyNotify:
      if (tray->icon != None && event.xdestroywindow.window == tray->icon) {
        tray->icon = None;  // made again when a tray asks for it
        return true;
      }
      if (event.xdestroywindow.window != tray->manager || tray->manager == None) return false;
      tray->manager = None;
      tray->withdraw();
      return true;
    case ButtonPress: return event.xbutton.window == tray->icon;
    case ButtonRelease:
      if (event.xbutton.window != tray->icon) return false;
      if (event.xbutton.button == Button1) records.shell_events.push_back({kShellTrayLeft, 0});
      if (event.xbutton.button == Button3) records.shell_events.push_back({kShellTrayRight, 0});
      return true;
    case Expose:
      if (event.xexpose.window != tray->icon) return false;
      if (event.xexpose.count == 0) tray->draw();
      return true;
    case ConfigureNotify:
      if (event.xconfigure.window != tray->icon) return false;
      tray->width = std::max(1, event.xconfigure.width);
      tray->height = std::max(1, event.xconfigure.height);
      return true;
    case MapNotify:
    case ReparentNotify:
      if (tray->icon == None || event.xany.window != tray->icon) return false;
      // Shown or taken in by anyone but a tray (the window manager, after the tray died).
      if (tray->manager == None) tray->withdraw();
      return true;
    case UnmapNotify:
      return tray->icon != None && event.xany.window == tray->icon;
    default: return false;
  }
}

}  // namespace perchkin
