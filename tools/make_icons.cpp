// Developer and build tool: writes the crab icon as PNGs for the Linux desktop entry and as the
// Windows icon file.
//
//   make_icons --png DIR      DIR/perchkin-16.png ... DIR/perchkin-256.png
//   make_icons --ico FILE     every size in one .ico
#include "gpu/icon.h"
#include "gpu/png.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

using namespace perchkin;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_icons --png DIR | --ico FILE\n", stderr);
    return 2;
  }
  const std::string_view mode = argv[1];
  const std::string target = argv[2];
  if (mode == "--png") {
    for (int size : kIconSizes) {
      const std::string path = target + "/perchkin-" + std::to_string(size) + ".png";
      const Status written = write_png(path, crab_icon(size));
      if (!written.ok()) {
        std::fprintf(stderr, "%s\n", written.error.c_str());
        return 1;
      }
    }
    return 0;
  }
  if (mode == "--ico") {
    std::vector<RgbaImage> images;
    for (int size : kIconSizes) images.push_back(crab_icon(size));
    const std::vector<std::uint8_t> bytes = encode_ico(images);
    std::ofstream out(target, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "could not write %s\n", target.c_str());
      return 1;
    }
    return 0;
  }
  std::fputs("usage: make_icons --png DIR | --ico FILE\n", stderr);
  return 2;
}
