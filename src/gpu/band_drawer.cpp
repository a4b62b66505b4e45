#include "gpu/band_drawer.h"

#include <algorithm>

namespace perchkin {

BandDrawer::BandDrawer() {
  if (std::thread::hardware_concurrency() >= 2) helper_ = std::thread([this] { serve(); });
}

BandDrawer::~BandDrawer() {
  if (!helper_.joinable()) return;
  finish();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  helper_.join();
}

void BandDrawer::start(Part part, const PixelTarget& target, const Frame& frame,
                       std::span<const BuddyInstance> list, const SpriteTextures& textures,
                       std::span<const PixelRect> rects) {
  finish();
  if (!shares(list.size())) {
    draw(part, target, frame, list, textures, rects);
    return;
  }
  const std::vector<int> edges = row_bands(frame, list, rects, target.height, kBands);
  bands_.assign(kBands, {});
  for (int k = 0; k < kBands; ++k)
    for (const PixelRect& r : rects) {
      const PixelRect piece{r.left, std::max(r.top, edges[static_cast<std::size_t>(k)]), r.right,
                            std::min(r.bottom, edges[static_cast<std::size_t>(k) + 1])};
      if (piece.left < piece.right && piece.top < piece.bottom)
        bands_[static_cast<std::size_t>(k)].push_back(piece);
    }
  target_ = target;
  frame_ = frame;
  job_ = [this, part, list, &textures] {
    for (int k = next_.fetch_add(1); k < kBands; k = next_.fetch_add(1))
      if (!bands_[static_cast<std::size_t>(k)].empty())
        draw(part, target_, frame_, list, textures, bands_[static_cast<std::size_t>(k)]);
  };
  next_.store(0);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    ++round_;
  }
  wake_.notify_one();
}

void BandDrawer::finish() {
  if (!job_) return;
  job_();
  std::unique_lock<std::mutex> lock(mutex_);
  open_ = false;
  done_.wait(lock, [&] { return !helping_; });
  job_ = nullptr;
}

void BandDrawer::draw(Part part, const PixelTarget& target, const Frame& frame,
                      std::span<const BuddyInstance> list, const SpriteTextures& textures,
                      std::span<const PixelRect> rects) {
  if (part == Part::bodies) (void)draw_bodies(target, frame, list, textures, rects);
  else if (part == Part::under_bodies) draw_under_bodies(target, frame, list, textures, rects);
  else draw_instances(target, frame, list, textures, rects);
}

void BandDrawer::serve() {
  std::uint64_t seen = 0;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return stop_ || (open_ && round_ != seen); });
    if (stop_) return;
    seen = round_;
    helping_ = true;
    lock.unlock();
    job_();
    lock.lock();
    helping_ = false;
    done_.notify_one();
  }
}

}  // namespace perchkin
