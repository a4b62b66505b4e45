#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gpu/frame_driver.h"
#include "gpu/frame_world.h"

namespace perchkin {
namespace {

bool inside(const PixelRect& r, int w, int h) {
  return r.left >= 0 && r.top >= 0 && r.right <= w && r.bottom <= h && r.left < r.right &&
         r.top < r.bottom;
}

bool overlap(const PixelRect& a, const PixelRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Draws nothing; checks that every frame comes in order and stays inside its rectangles.
struct CheckingPresenter final : Presenter {
  int age = 1;
  bool waits = false;
  int width = 0, height = 0;
  std::string calls;  // one letter a step of the frame being drawn
  std::vector<PixelRect> rects;
  std::vector<std::string> frames;

  Status resize(int w, int h) override {
    EXPECT_TRUE(calls.empty()) << "resized in the middle of a frame";
    width = w, height = h;
    return Status::success();
  }
  Status begin(const FrameDraw& f) override {
    EXPECT_TRUE(calls.empty()) << calls;
    calls = "b";
    rects.assign(f.rects.begin(), f.rects.end());
    EXPECT_FALSE(rects.empty());
    EXPECT_TRUE(inside(f.buffer, f.window.width, f.window.height));
    for (std::size_t i = 0; i < rects.size(); ++i) {
      EXPECT_TRUE(inside(rects[i], width, height));
      for (std::size_t j = i + 1; j < rects.size(); ++j) EXPECT_FALSE(overlap(rects[i], rects[j]));
    }
    if (f.whole()) {
      EXPECT_EQ(rects, (std::vector<PixelRect>{{0, 0, width, height}}));
    }
    return Status::success();
  }
  Status layer(const FrameDraw& f, Layer which) override {
    return step(f, which == Layer::below ? "b" : "b1i|b1", which == Layer::below ? '1' : '2');
  }
  Status buddies(const FrameDraw& f) override {
    EXPECT_FALSE(f.instances.empty());
    return step(f, "b1", 'i');
  }
  Status present(const FrameDraw& f) override {
    const Status s = step(f, "b12|b1i2", 'p');
    frames.push_back(calls);
    calls.clear();
    return s;
  }
  int kept_age() const override { return age; }
  bool present_waits() const override { return waits; }

  // `after`: the calls allowed before this one, '|' between choices.
  Status step(const FrameDraw& f, const std::string& after, char call) {
    bool fits = false;
    for (std::size_t at = 0; at <= after.size();) {
      const std::size_t end = std::min(after.find('|', at), after.size());
      fits = fits || after.substr(at, end - at) == calls;
      at = end + 1;
    }
    EXPECT_TRUE(fits) << call << " after \"" << calls << "\"";
    EXPECT_EQ(std::vector<PixelRect>(f.rects.begin(), f.rects.end()), rects)
        << "the rectangles changed during the frame";
    calls += call;
    return Status::success();
  }
};

struct World : FrameWorld {
  World() {
    overlay = {0.0, 0.0, 1920.0, 1080.0};
    crew.buddies.push_back(idle_buddy(1, 400.0, 500.0));
  }
  // Drawn where the buddy stands, not on its way there.
  FrameInput input() {
    FrameInput in = FrameWorld::input();
    entries.entries[0].prev_x = entries.entries[0].x = crew.buddies[0].motion.x;
    entries.entries[0].prev_y = entries.entries[0].y = crew.buddies[0].motion.y;
    return in;
  }
};

struct Paced {
  double clock = 100.0;
  std::vector<double> sleeps;
  FramePacing pacing() {
    return {[this] { return clock; },
            [this](double until) {
              sleeps.push_back(until);
              clock = std::max(clock, until);
            }};
  }
};

TEST(FrameDriver, DrawsInOrderInsideTheRectanglesTheBufferDoesNotStillHold) {
  for (const int age : {1, 0}) {
    SCOPED_TRACE(age);
    World w;
    Paced paced;
    FrameDriver driver(paced.pacing());
    auto owned = std::make_unique<CheckingPresenter>();
    CheckingPresenter& p = *owned;
    p.age = age;
    driver.use(std::move(owned), {});
    ASSERT_TRUE(driver.frame(w.input()).ok());
    ASSERT_EQ(p.frames, std::vector<std::string>{"b1i2p"});
    EXPECT_EQ(p.rects, (std::vector<PixelRect>{{0, 0, p.width, p.height}}));

    // Small steps (the first one places the buffer): a buffer that keeps its pixels redraws
    // only around the old and new place.
    Result<FrameResult> r;
    for (int i = 0; i < 2; ++i) {
      w.crew.buddies[0].motion.x += 8.0;
      r = driver.frame(w.input());
      ASSERT_TRUE(r.ok() && r->drawn);
    }
    ASSERT_EQ(p.frames.size(), 3u);
    std::int64_t area = 0;
    for (const PixelRect& c : p.rects)
      area += static_cast<std::int64_t>(c.right - c.left) * (c.bottom - c.top);
    if (age == 0) EXPECT_EQ(area, std::int64_t{p.width} * p.height);
    else EXPECT_LT(area, std::int64_t{p.width} * p.height / 4);

    // Nothing changed: nothing is called.
    r = driver.frame(w.input());
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r->drawn);
    EXPECT_EQ(p.frames.size(), 3u);

    // A smaller display: the buffer moves inside it.
    w.overlay = {0.0, 0.0, 640.0, 480.0};
    w.crew.buddies[0].motion.x = 300.0;
    w.crew.buddies[0].motion.y = 400.0;
    r = driver.frame(w.input());
    ASSERT_TRUE(r.ok() && r->drawn);
  }
}

TEST(FrameDriver, PacesDrawnFramesUnlessPresentingWaitsForTheDisplay) {
  for (const bool waits : {false, true}) {
    World w;
    Paced paced;
    FrameDriver driver(paced.pacing());
    auto p = std::make_unique<CheckingPresenter>();
    p->waits = waits;
    driver.use(std::move(p), {});
    for (int i = 0; i < 3; ++i) {
      w.crew.buddies[0].motion.x += 8.0;
      ASSERT_TRUE(driver.frame(w.input())->drawn);
      paced.clock += 0.004;  // the world's work between frames
    }
    if (waits) {
      EXPECT_TRUE(paced.sleeps.empty());
    } else {
      // The first frame goes at once; the next ones a period apart.
      ASSERT_EQ(paced.sleeps.size(), 3u);
      EXPECT_DOUBLE_EQ(paced.sleeps[0], 100.0);
      EXPECT_DOUBLE_EQ(paced.sleeps[1], 100.0 + kFramePeriod);
      EXPECT_DOUBLE_EQ(paced.sleeps[2], 100.0 + 2 * kFramePeriod);
    }
  }
}

}  // namespace
}  // namespace perchkin
