// The Shell on Win32: four layered pop-up windows, their procedures, the tray icon and the
// global hotkeys, all owned by the user-interface thread that creates them.
#pragma once

#include "win/shell.h"

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <vector>

namespace perchkin {

class Win32Shell final : public Shell {
 public:
  Win32Shell() = default;
  // Removes the tray icon and destroys the windows; the process would release them anyway, but
  // a tray icon of a dead process lingers until the mouse passes over it.
  ~Win32Shell() override;
  Win32Shell(const Win32Shell&) = delete;
  Win32Shell& operator=(const Win32Shell&) = delete;

  Status create_windows(const ScreenRect& screen, double scale) override;
  void pump(EventRecords& records) override;
  void show(ShellWindow window, bool shown) override;
  void place(ShellWindow window, const PixelRect& rect) override;
  void set_menu_shape(const MenuShape& shape) override;
  void take_focus(ShellWindow window) override;
  void restore_focus() override;
  void add_tray_icon() override;
  void remove_tray_icon() override;
  void register_hotkeys() override;
  std::uintptr_t native_window(ShellWindow window) override;

  HWND hwnd(ShellWindow window) const { return windows_[static_cast<std::size_t>(window)]; }
  // The four windows, for the desktop's lists to leave out.
  const std::array<HWND, 4>& handles() const { return windows_; }
  bool owns(HWND window) const;
  bool tray_added() const { return tray_added_; }
  // While the shell refuses the icon (not ready yet, as for a program started at sign-in
  // before Explorer), the add is tried again on this timer of the overlay's.
  static constexpr UINT_PTR kTrayRetryTimer = 1;
  static constexpr UINT kTrayRetryMs = 2000;
  // Shell_NotifyIconW, or a stand-in for the shell in tests.
  using NotifyIconCall = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
  void use_notify_icon(NotifyIconCall call) { notify_icon_ = call; }
  // The hotkey ids that registered, in registration order.
  const std::vector<std::uint32_t>& hotkeys_held() const { return hotkeys_held_; }

  // The window procedures' bodies; the callbacks find the shell through the window's user data.
  LRESULT on_message(ShellWindow window, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

 private:
  LRESULT overlay_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT grab_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT selection_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT menu_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void apply_menu_shape();
  void try_tray_add();
  NOTIFYICONDATAW tray_data() const;

  std::array<HWND, 4> windows_{};
  EventRecords pending_;  // filled by the procedures, handed out by pump()
  UINT taskbar_created_ = 0;
  bool tray_added_ = false;
  bool tray_wanted_ = false;  // added and not removed since: kept trying and re-added
  NotifyIconCall notify_icon_ = Shell_NotifyIconW;
  HICON tray_icon_ = nullptr;
  bool tray_icon_loaded_ = false;
  bool hotkeys_registered_ = false;
  std::vector<std::uint32_t> hotkeys_held_;
  HWND focus_return_ = nullptr;
  MenuShape menu_shape_;
  bool menu_shaped_ = false;
  SIZE menu_shape_size_{0, 0};
};

}  // namespace perchkin
