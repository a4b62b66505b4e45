// Pointer input for the Wayland desktop tests: headless compositors have no input devices, so
// this client makes a virtual pointer and plays the steps given on its command line.
//   wayland_pointer [--extent W H] step...
//   wayland_pointer [--extent W H] -      (steps from standard input, "done" after each line:
//                                          the device, and a held button, stay meanwhile)
//   steps: move X Y | down [left|right] | up [left|right] | wheel NOTCHES | wait MS
// Positions are desktop pixels within the extent (the outputs' bounding box, 1280 x 720 by
// default). Exit status 0 when every step was sent, 2 on a bad step, 1 without a compositor.
#include "win/protocols_wayland.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace perchkin;

struct Globals {
  wl_seat* seat = nullptr;
  wlp::VirtualPointerManager* manager = nullptr;
};

const wl_registry_listener kRegistry = {
    [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
       std::uint32_t version) {
      auto* g = static_cast<Globals*>(data);
      if (std::strcmp(interface, wl_seat_interface.name) == 0 && g->seat == nullptr)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
      else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g->manager = static_cast<wlp::VirtualPointerManager*>(wl_registry_bind(
            registry, name, &zwlr_virtual_pointer_manager_v1_interface, version < 2 ? version : 2));
    },
    [](void*, wl_registry*, std::uint32_t) {},
};

std::uint32_t now_ms() {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

bool number(const char* text, long lo, long hi, long& out) {
  char* end = nullptr;
  out = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && out >= lo && out <= hi;
}

}  // namespace

int main(int argc, char** argv) {
  long width = 1280, height = 720;
  int i = 1;
  if (argc > 3 && std::strcmp(argv[1], "--extent") == 0) {
    if (!number(argv[2], 1, 1 << 15, width) || !number(argv[3], 1, 1 << 15, height)) {
      std::fprintf(stderr, "wayland_pointer: bad extent\n");
      return 2;
    }
    i = 4;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "wayland_pointer: no Wayland display\n");
    return 1;
  }
  Globals g;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, &g);
  wl_display_roundtrip(display);
  if (g.manager == nullptr) {
    std::fprintf(stderr, "wayland_pointer: the compositor offers no virtual pointer\n");
    return 1;
  }
  wlp::VirtualPointer* pointer = wlp::create_virtual_pointer(g.manager, g.seat);
  wl_display_roundtrip(display);
  // The seat gains its pointer with the first virtual device; clients bind theirs meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  const auto button_code = [](const std::string& name) -> std::uint32_t {
    return name == "right" ? 0x111 : name == "middle" ? 0x112 : 0x110;
  };
  // Steps from standard input: each line's words become the arguments in turn.
  std::vector<std::string> words;
  std::vector<char*> line_args;
  const bool interactive = i < argc && std::strcmp(argv[i], "-") == 0;
  char line[4096] = {};
  if (interactive && std::fgets(line, sizeof line, stdin) == nullptr) line[0] = '\0';
  for (;; ++i) {
    if (interactive && line_args.empty()) {
      words.clear();
      for (char* w = std::strtok(line, " \t\r\n"); w != nullptr; w = std::strtok(nullptr, " \t\r\n"))
        words.emplace_back(w);
      for (auto& w : words) line_args.push_back(w.data());
      argv = line_args.data();
      argc = static_cast<int>(line_args.size());
      i = 0;
    }
    if (i >= argc) {
      if (!interactive) break;
      std::printf("done\n");
      std::fflush(stdout);
      line_args.clear();
      if (std::fgets(line, sizeof line, stdin) == nullptr) break;
      --i;
      continue;
    }
    const std::string step = argv[i];
    const bool has1 = i + 1 < argc, has2 = i + 2 < argc;
    long a = 0, b = 0;
    if (step == "move" && has2 && number(argv[i + 1], 0, width - 1, a) &&
        number(argv[i + 2], 0, height - 1, b)) {
      wlp::virtual_pointer_motion_absolute(pointer, now_ms(), static_cast<std::uint32_t>(a),
                                           static_cast<std::uint32_t>(b),
                                           static_cast<std::uint32_t>(width),
                                           static_cast<std::uint32_t>(height));
      i += 2;
    } else if (step == "down" || step == "up") {
      std::string which = "left";
      if (has1 && (std::strcmp(argv[i + 1], "left") == 0 || std::strcmp(argv[i + 1], "right") == 0 ||
                   std::strcmp(argv[i + 1], "middle") == 0))
        which = argv[++i];
      wlp::virtual_pointer_button(pointer, now_ms(), button_code(which),
                                  step == "down" ? wlp::kButtonPressed : wlp::kButtonReleased);
    } else if (step == "wheel" && has1 && number(argv[i + 1], -20, 20, a)) {
      wlp::virtual_pointer_axis_discrete(pointer, now_ms(), 0, wl_fixed_from_int(static_cast<int>(15 * a)),
                                         static_cast<std::int32_t>(a));
      ++i;
    } else if (step == "wait" && has1 && number(argv[i + 1], 0, 60000, a)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(a));
      ++i;
      continue;
    } else {
      std::fprintf(stderr, "wayland_pointer: bad step \"%s\"\n", step.c_str());
      return 2;
    }
    wlp::virtual_pointer_frame(pointer);
    wl_display_roundtrip(display);
  }
  wlp::virtual_pointer_destroy(pointer);
  wl_proxy_marshal_flags(reinterpret_cast<wl_proxy*>(g.manager), 1, nullptr,
                         wl_proxy_get_version(reinterpret_cast<wl_proxy*>(g.manager)),
                         WL_MARSHAL_FLAG_DESTROY);
  if (g.seat != nullptr) wl_seat_destroy(g.seat);
  wl_registry_destroy(registry);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
