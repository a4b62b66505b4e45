// Driving a real X desktop in tests: xdotool, polling with a deadline, and finding the window
// manager's client windows by class.
#pragma once

#include "app/child_process.h"
#include "win/session_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace perchkin::test {

// Runs xdotool with the arguments and waits for it.
inline bool xdotool(std::vector<std::string> args) {
  args.insert(args.begin(), "xdotool");
  const pid_t pid = spawn(std::move(args));
  return pid > 0 && wait_exit(pid, std::chrono::seconds(10)) == 0;
}

// Polls `probe` until it gives a value or `limit` passes.
template <typename T>
std::optional<T> poll(std::chrono::milliseconds limit, const std::function<std::optional<T>()>& probe) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (auto v = probe()) return v;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

// The window manager's client windows (_NET_CLIENT_LIST) whose WM_CLASS class is `wm_class`.
inline std::vector<Window> client_windows(const X11Session& session, const std::string& wm_class) {
  Display* d = session.display();
  std::vector<Window> found;
  const auto list = session.read_longs(session.root(), XInternAtom(d, "_NET_CLIENT_LIST", False),
                                       XA_WINDOW, 4096);
  for (long v : list) {
    XClassHint hint{};
    const auto w = static_cast<Window>(v);
    if (XGetClassHint(d, w, &hint) == 0) continue;
    if (hint.res_class != nullptr && wm_class == hint.res_class) found.push_back(w);
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
  }
  return found;
}

}  // namespace perchkin::test
