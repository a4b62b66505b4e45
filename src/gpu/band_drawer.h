#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "gpu/raster_cpu.h"

namespace perchkin {

// A second thread for the buddies' pass: the dirty rectangles are cut into bands of rows and
// both threads take the next band until none is left, so when the helper waits for a core
// the caller simply draws more of them. Bands cover disjoint rows, so each pixel is drawn
// exactly as by one thread.
class BandDrawer {
 public:
  BandDrawer();
  ~BandDrawer();
  BandDrawer(const BandDrawer&) = delete;
  BandDrawer& operator=(const BandDrawer&) = delete;

  enum class Part { all, bodies, under_bodies };

  // Whether a crew this size is shared with the helper.
  bool shares(std::size_t buddies) const { return helper_.joinable() && buddies >= kLeastShared; }

  // Draws, or starts drawing with the helper, that part of the buddies' pass; finish()
  // completes it. The list and textures must stay alive until then.
  void start(Part part, const PixelTarget& target, const Frame& frame,
             std::span<const BuddyInstance> list, const SpriteTextures& textures,
             std::span<const PixelRect> rects);

  // The bands nobody has taken yet are drawn here; a helper that has not started by then
  // never will this round, and one drawing a band is waited for.
  void finish();

 private:
  static void draw(Part part, const PixelTarget& target, const Frame& frame,
                   std::span<const BuddyInstance> list, const SpriteTextures& textures,
                   std::span<const PixelRect> rects);

  // Below this many buddies the helper costs more processor time than the wall time it
  // saves matters (200 buddies: about 6 ms a frame alone, 7-8 ms with the helper).
  static constexpr std::size_t kLeastShared = 400;
  static constexpr int kBands = 6;

  void serve();

  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool stop_ = false, open_ = false, helping_ = false;
  std::uint64_t round_ = 0;
  std::atomic<int> next_{0};
  std::function<void()> job_;  // set while a frame's bands are being drawn
  std::vector<std::vector<PixelRect>> bands_;
  PixelTarget target_;
  Frame frame_;
};

}  // namespace perchkin
