// The Studio's pages drawn by Cairo, as the window shows them. With PERCHKIN_STUDIO_SHOTS set
// to a folder, each page is also written there as studio-<page>.png to be looked at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gpu/canvas_cairo.h"
#include "gpu/png.h"
#include "studio/studio.h"

namespace perchkin {
namespace {

struct Shot {
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgra;
  std::uint32_t rgb(int x, int y) const {
    const std::uint8_t* p = &bgra[static_cast<std::size_t>((y * width + x) * 4)];
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
  }
};

Shot draw_page(int page, Settings& settings, double scale, bool at_end = false) {
  CairoCanvas canvas;
  Shot shot;
  shot.width = static_cast<int>(kStudioWidth * scale);
  shot.height = static_cast<int>(kStudioHeight * scale);
  shot.bgra.assign(static_cast<std::size_t>(shot.width * shot.height * 4), 0);
  canvas.target(shot.bgra.data(), shot.width, shot.height, shot.width * 4);
  StudioState state;
  studio_open_page(state, page);
  StudioContext ctx;
  ctx.scale = scale;
  ctx.crew_size = 5;
  StudioInput input;
  if (at_end) {
    // The first frame measures the page, the second scrolls to its end.
    studio_frame(canvas, state, input, settings, ctx);
    input.wheel = -1000.0f;
  }
  studio_frame(canvas, state, input, settings, ctx);
  canvas.flush();
  return shot;
}

void maybe_write(const Shot& shot, const std::string& name) {
  const char* folder = std::getenv("PERCHKIN_STUDIO_SHOTS");
  if (!folder || !*folder) return;
  RgbaImage image = make_image(shot.width, shot.height);
  for (std::size_t i = 0; i + 3 < shot.bgra.size(); i += 4) {
    image.pixels[i] = shot.bgra[i + 2];
    image.pixels[i + 1] = shot.bgra[i + 1];
    image.pixels[i + 2] = shot.bgra[i];
    image.pixels[i + 3] = shot.bgra[i + 3];
  }
  EXPECT_TRUE(write_png((std::filesystem::path(folder) / name).string(), image).ok());
}

TEST(StudioCairo, EveryPageFillsTheWindowOpaquely) {
  const char* names[] = {"look", "personality", "world", "menu", "general", "about", "speech"};
  for (double scale : {1.0, 1.5}) {
    for (int page = 0; page < kStudioPages; ++page) {
      Settings settings;
      if (page == kStudioLook && scale == 1.0) {
        settings.look.custom = true;
        settings.look.pattern = 2;
        settings.look.hat = 1;
        settings.look.glasses = 1;
        settings.look.glow = true;
      }
      if (page == kStudioSpeech) {
        settings.phrases = {"Hello!", "Crabs rule.", std::string(80, 'w')};
        settings.lines[1] = "Good morning";
      }
      for (bool at_end : {false, true}) {
        const Shot shot = draw_page(page, settings, scale, at_end);
        for (std::size_t i = 3; i < shot.bgra.size(); i += 4) ASSERT_EQ(shot.bgra[i], 255) << page;
        maybe_write(shot, std::string("studio-") + names[page] + (at_end ? "-end" : "") +
                              (scale == 1.0 ? "" : "@1.5") + ".png");
      }
    }
  }
}

TEST(StudioCairo, ThePreviewWearsTheMainColour) {
  Settings settings;
  settings.look.custom = true;
  settings.look.color = 0x2060F0;
  const Shot shot = draw_page(kStudioLook, settings, 1.0);
  // Somewhere in the preview's card (right of the controls) the body colour shows.
  bool found = false;
  for (int y = 110; y < 400 && !found; ++y)
    for (int x = 680; x < 900 && !found; ++x) found = shot.rgb(x, y) == 0x2060F0;
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace perchkin
