#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "gpu/backend_policy.h"
#include "gpu/font_fallback.h"
#include "gpu/frame_prepare.h"
#include "gpu/frame_world.h"
#include "gpu/overlay_2d.h"
#include "gpu/shader_hlsl.h"

namespace perchkin {
namespace {

struct World : FrameWorld {
  FrameState state;
  PreparedFrame frame;

  World() { overlay = {100.0, 50.0, 100.0 + 1920.0, 50.0 + 1080.0}; }
  FrameInput input(double at = 10.0) {
    clock = at;
    return FrameWorld::input();
  }
  bool run(const FrameInput& in) {
    prepare_frame(state, in, frame);
    if (frame.plan.draw) finish_prepared(state, frame);
    return frame.plan.draw;
  }
};

bool marked(const TileGrid& g, double x, double y) {
  const int c = static_cast<int>(x) / kTileSize;
  const int r = static_cast<int>(y) / kTileSize;
  return g.tiles[static_cast<std::size_t>(r * g.columns + c)] != 0;
}

TEST(FramePrepare, EmptyWorldDrawsOnceWithoutGpuPassThenSkips) {
  World w;
  EXPECT_TRUE(w.run(w.input()));
  EXPECT_FALSE(w.frame.plan.gpu_pass);
  EXPECT_EQ(w.frame.plan.present_interval, 0);
  EXPECT_FALSE(w.run(w.input()));
  // A forced redraw draws one frame, then skipping resumes.
  FrameInput forced = w.input();
  forced.forced = true;
  EXPECT_TRUE(w.run(forced));
  EXPECT_FALSE(w.run(w.input()));
}

TEST(FramePrepare, InstancesAreInOverlayPixelsAndFitTheUploadedBuffer) {
  World w;
  for (std::uint32_t i = 0; i < 257; ++i) w.crew.buddies.push_back(idle_buddy(i, 120.0 + 7.0 * i, 900.0));
  const FrameInput in = w.input();
  ASSERT_TRUE(w.run(in));
  // After finishing, the drawn list became the previous one.
  ASSERT_EQ(w.state.previous.size(), 257u);
  EXPECT_EQ(w.state.previous[0].pos.x, 20.0f);  // 120 - overlay left 100
  EXPECT_EQ(w.state.previous[0].pos.y, 850.0f);
  EXPECT_EQ(w.frame.plan.capacity, 512u);
  EXPECT_TRUE(w.frame.plan.capacity_grew);
  EXPECT_LE(w.state.previous.size() * sizeof(BuddyInstance), w.frame.plan.capacity * 64);
}

TEST(FramePrepare, MenuSelectionAndBubblesDecideWhatIsMarked) {
  World w;
  w.crew.buddies.push_back(idle_buddy(0, 1100.0, 1000.0));
  ASSERT_TRUE(w.run(w.input()));
  ASSERT_FALSE(w.run(w.input()));

  // A speech bubble forces drawing and marks the area above the head, well past the body box.
  w.crew.buddies[0].speech.bubble_text = "hello there";
  w.crew.buddies[0].speech.bubble_until = 20.0;
  w.crew.buddies[0].speech.bubble_serial = 1;
  RecordingCanvas measure;
  update_bubbles(w.entries, w.crew, measure, 1.0, 9.0);
  ASSERT_TRUE(w.run(w.input()));
  EXPECT_TRUE(w.frame.activity.bubbles);
  EXPECT_TRUE(marked(w.frame.marks, 1000.0, 950.0 - 4.0 * 12.0 - 60.0));
  EXPECT_FALSE(marked(w.frame.marks, 100.0, 100.0));
  // Past its time the bubble marks nothing.
  update_bubbles(w.entries, w.crew, measure, 1.0, 30.0);
  EXPECT_TRUE(w.run(w.input(30.0)));  // the previous frame moved, so one more is drawn
  EXPECT_FALSE(w.frame.activity.bubbles);
  EXPECT_FALSE(w.run(w.input(30.0)));

  FrameInput menu = w.input(30.0);
  menu.draw_menu = [](Canvas&) {};
  ASSERT_TRUE(w.run(menu));
  EXPECT_TRUE(w.frame.activity.menu_open);
  EXPECT_TRUE(marked(w.frame.marks, 100.0, 100.0));  // the whole overlay
  FrameInput selection = w.input(30.0);
  selection.draw_selection = [](Canvas&) {};
  ASSERT_TRUE(w.run(selection));
  EXPECT_TRUE(w.frame.activity.selection);
}

TEST(FramePrepare, DizzyStarsKeepDrawingWhileTheBuddyStandsStill) {
  World w;
  w.crew.buddies.push_back(idle_buddy(0, 1100.0, 1000.0));
  w.crew.buddies[0].motion.mode = BuddyMode::act;
  w.crew.buddies[0].mind.act = Act::dizzy;
  ASSERT_TRUE(w.run(w.input()));
  // The picture is the same act frame; only the stars move, by the buddy's clock.
  w.crew.buddies[0].mind.clock += 1.0 / 60.0;
  EXPECT_TRUE(w.run(w.input()));
  EXPECT_TRUE(w.frame.activity.animated_wear);
  w.crew.buddies[0].motion.mode = BuddyMode::idle;
  w.crew.buddies[0].mind.act = Act::none;
  EXPECT_TRUE(w.run(w.input()));  // the stars' last place is cleared
  EXPECT_FALSE(w.run(w.input()));
}

bool clears_cover(const FramePlan& plan, double x, double y) {
  for (const PixelRect& r : plan.clears)
    if (x >= r.left + plan.buffer.left && x < r.right + plan.buffer.left && y >= r.top + plan.buffer.top &&
        y < r.bottom + plan.buffer.top)
      return true;
  return false;
}

TEST(FramePrepare, TwoBufferSwapChainClearsWhatWasDrawnTwoFramesAgo) {
  World w;
  w.crew.buddies.push_back(idle_buddy(0, 700.0, 600.0));
  BackBufferHistory history;
  // Moves the buddy (without interpolation) and runs one frame as the Direct3D renderer does.
  auto frame_at = [&](double x) {
    w.crew.buddies[0].motion.x = x;
    FrameInput in = w.input();
    RenderEntry& e = w.entries.entries[0];
    e.prev_x = e.x = x;
    e.prev_y = e.y = 600.0;
    prepare_frame(w.state, in, w.frame);
    widen_clears(history, w.frame.plan);
    remember_presented(history, w.state, w.frame.plan);
    finish_prepared(w.state, w.frame);
    return w.frame.plan;
  };
  EXPECT_TRUE(frame_at(700.0).clear_all);   // the whole overlay at first
  EXPECT_TRUE(frame_at(1100.0).clear_all);  // the buffer shrinks to the buddy
  EXPECT_TRUE(frame_at(700.0).clear_all);   // and grows to hold both places
  // The other buffer has not been drawn since that change: cleared whole, though the plan
  // only asked for tiles.
  EXPECT_TRUE(frame_at(1100.0).clear_all);
  EXPECT_FALSE(frame_at(700.0).clear_all);
  // The buffer being drawn showed the buddy two frames ago at 1100, whose right part neither
  // this frame's marks (900) nor last frame's (700) cover.
  const FramePlan p = frame_at(900.0);
  ASSERT_FALSE(p.clear_all);
  EXPECT_TRUE(clears_cover(p, 1080.0, 530.0));  // overlay pixels
  EXPECT_TRUE(clears_cover(p, 800.0, 530.0));
  EXPECT_TRUE(clears_cover(p, 600.0, 530.0));
}

TEST(FramePrepare, SwapChainSizesAreWholePixelsAtLeastOne) {
  EXPECT_EQ(buffer_size({256, 0, 768, 512}), (PixelSize{512, 512}));
  EXPECT_EQ(buffer_size({300, 300, 300, 200}), (PixelSize{1, 1}));
  EXPECT_EQ(overlay_size({-1920.0, 0.0, 1920.0, 1080.0}), (PixelSize{3840, 1080}));
  EXPECT_EQ(overlay_size({0.0, 0.0, 0.5, -3.0}), (PixelSize{1, 1}));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(overlay_size({0.0, 0.0, nan, std::numeric_limits<double>::infinity()}), (PixelSize{1, 1}));
}

// The shader reads the same bytes the CPU writes: the fields of the HLSL records must be
// declared in the order, and with the sizes, of the C++ records.
struct Field {
  std::string name;
  std::size_t bytes;
};

std::vector<Field> hlsl_fields(std::string_view source, const std::string& opening) {
  const std::string text(source);
  const std::size_t begin = text.find(opening);
  const std::size_t end = text.find("};", begin);
  std::vector<Field> out;
  if (begin == std::string::npos || end == std::string::npos) return out;
  const std::string body = text.substr(begin + opening.size(), end - begin - opening.size());
  const std::regex field(R"((float[234]?)\s+(\w+)\s*;)");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), field); it != std::sregex_iterator(); ++it) {
    const std::string type = (*it)[1];
    const std::size_t n = type.size() == 5 ? 1 : static_cast<std::size_t>(type[5] - '0');
    out.push_back({(*it)[2], 4 * n});
  }
  return out;
}

TEST(ShaderLayout, HlslRecordsMatchTheUploadedBytes) {
  const std::vector<Field> buddy = hlsl_fields(shader_hlsl(), "struct Buddy {");
  const std::vector<Field> expect_buddy = {
      {"pos", 8},  {"unit", 4},   {"sy", 4},     {"angle", 4}, {"frame", 4},  {"flip", 4},
      {"eye", 4},  {"tint", 12},  {"shadow", 4}, {"tint2", 12}, {"pattern", 4}};
  ASSERT_EQ(buddy.size(), expect_buddy.size());
  const std::size_t offsets[] = {offsetof(BuddyInstance, pos),   offsetof(BuddyInstance, unit),
                                 offsetof(BuddyInstance, sy),    offsetof(BuddyInstance, angle),
                                 offsetof(BuddyInstance, frame), offsetof(BuddyInstance, flip),
                                 offsetof(BuddyInstance, eye),   offsetof(BuddyInstance, tint),
                                 offsetof(BuddyInstance, shadow), offsetof(BuddyInstance, tint2),
                                 offsetof(BuddyInstance, pattern)};
  std::size_t at = 0;
  for (std::size_t i = 0; i < buddy.size(); ++i) {
    EXPECT_EQ(buddy[i].name, expect_buddy[i].name);
    EXPECT_EQ(buddy[i].bytes, expect_buddy[i].bytes) << buddy[i].name;
    EXPECT_EQ(offsets[i], at) << buddy[i].name;  // structured buffers are tightly packed
    at += buddy[i].bytes;
  }
  EXPECT_EQ(at, sizeof(BuddyInstance));

  // Constant buffers pack to 16-byte registers; no field here may straddle one.
  const std::vector<Field> frame = hlsl_fields(shader_hlsl(), "cbuffer Frame : register(b0) {");
  const std::size_t frame_offsets[] = {offsetof(Frame, screen), offsetof(Frame, glow), offsetof(Frame, unused),
                                       offsetof(Frame, origin), offsetof(Frame, spare)};
  ASSERT_EQ(frame.size(), 5u);
  at = 0;
  for (std::size_t i = 0; i < frame.size(); ++i) {
    EXPECT_EQ(frame_offsets[i], at) << frame[i].name;
    EXPECT_EQ(at / 16, (at + frame[i].bytes - 1) / 16) << frame[i].name;
    at += frame[i].bytes;
  }
  EXPECT_EQ(at, sizeof(Frame));
}

TEST(ShaderLayout, EverySixEntryPointIsDefinedOnceWithItsStage) {
  const std::string text(shader_hlsl());
  for (const ShaderEntry& e : kShaderEntries) {
    const std::string name(e.name);
    const std::string signature =
        e.stage == ShaderStage::vertex ? "VOut " + name + "(uint v : SV_VertexID, uint i : SV_InstanceID)"
                                       : "float4 " + name + "(VOut i) : SV_Target";
    EXPECT_NE(text.find(signature), std::string::npos) << name;
    EXPECT_EQ(e.target, e.stage == ShaderStage::vertex ? "vs_5_0" : "ps_5_0");
  }
  for (const char* decl : {"StructuredBuffer<Buddy> buddies : register(t0)", "Texture2D<uint> atlas : register(t1)",
                           "Texture2D<float> halo : register(t2)", "SamplerState soft : register(s0)",
                           "float4 clip_at(float2 w)"})
    EXPECT_NE(text.find(decl), std::string::npos) << decl;
}

TEST(BackendPolicy, DriversFallbacksAndLostDevices) {
  EXPECT_EQ(device_attempts(false), (std::vector<DriverKind>{DriverKind::hardware, DriverKind::warp}));
  EXPECT_EQ(device_attempts(true), (std::vector<DriverKind>{DriverKind::warp}));
  EXPECT_EQ(after_start_failure(StartStage::composition), StartOutcome::software_presenter);
  for (StartStage s : {StartStage::factory, StartStage::device, StartStage::shaders, StartStage::resources})
    EXPECT_EQ(after_start_failure(s), StartOutcome::fail);
  EXPECT_TRUE(device_lost(0x887A0005u));   // removed
  EXPECT_TRUE(device_lost(0x887A0007u));   // reset
  EXPECT_FALSE(device_lost(0x887A0001u));  // invalid call: our bug, not a lost device
  EXPECT_FALSE(device_lost(0x80004001u));  // not implemented
  EXPECT_FALSE(device_lost(0u));
}

TEST(FontFallback, AskedFamilyFirstThenLookAlikesWithoutRepeats) {
  for (const char* family : {"Segoe UI", "Segoe UI Symbol", "Impact", "Segoe Print", "Comic Neue"}) {
    const std::vector<std::string> list = font_fallbacks(family);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), family);
    for (std::size_t i = 0; i < list.size(); ++i)
      for (std::size_t j = i + 1; j < list.size(); ++j) EXPECT_NE(list[i], list[j]) << family;
    // Every list ends in the common sans families, so something always exists.
    EXPECT_EQ(list.back(), "Verdana");
  }
  const std::vector<std::string> symbol = font_fallbacks("Segoe UI Symbol");
  EXPECT_NE(std::find(symbol.begin(), symbol.end(), "Symbola"), symbol.end());
  EXPECT_EQ(font_fallbacks("").front(), "Segoe UI");
}

}  // namespace
}  // namespace perchkin
