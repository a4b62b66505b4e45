// The window-manager cache over a recorded property set: what it reads again after which event,
// and what it forgets.
#include "win/wm_recorded.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

const DesktopWindow* find(const std::vector<DesktopWindow>& list, std::int64_t id) {
  for (const DesktopWindow& w : list)
    if (w.id == id) return &w;
  return nullptr;
}

TEST(WmCache, ReadsEachClientOnceAndAgainOnlyWhereAnEventSaidSo) {
  RecordedWmSource source = recorded_desktop(50);
  WmCache cache;
  const std::int64_t own[] = {source.bottom_to_top.back()};  // the dock, as if it were ours
  auto list = cache.windows(source, own);
  ASSERT_EQ(list.size(), 50u);
  EXPECT_EQ(source.followed, 50u);
  // Front to back: the newest window first.
  EXPECT_EQ(list.front().id, source.bottom_to_top[source.bottom_to_top.size() - 2]);
  EXPECT_EQ(source.reads, 2u + 50u * 10u);

  // Nothing happened: nothing is read.
  source.reads = 0;
  (void)cache.windows(source, own);
  EXPECT_FALSE(cache.stale());
  EXPECT_EQ(source.reads, 0u);

  // The frame of one window moved: only its geometry is read, found through its frame.
  auto& moved = std::next(source.windows.begin(), 1)->second;  // past the dock
  moved.info.client.left += 100.0;
  moved.info.client.right += 100.0;
  EXPECT_TRUE(cache.changed(moved.frame, WmStale::geometry));
  EXPECT_TRUE(cache.stale());
  list = cache.windows(source, own);
  EXPECT_EQ(source.reads, 3u);
  ASSERT_NE(find(list, moved.info.id), nullptr);
  EXPECT_EQ(find(list, moved.info.id)->frame.left, moved.info.client.left - 1.0);

  // A property of another: only its properties.
  source.reads = 0;
  auto& hidden = std::next(source.windows.begin(), 5)->second;
  hidden.info.hidden = true;
  EXPECT_TRUE(cache.changed(hidden.info.id, WmStale::properties));
  list = cache.windows(source, own);
  EXPECT_EQ(source.reads, 7u);
  EXPECT_TRUE(find(list, hidden.info.id)->minimised);

  // Events about windows it never listed change nothing.
  EXPECT_FALSE(cache.changed(0x7777, WmStale::geometry));
  EXPECT_FALSE(cache.stale());
}

TEST(WmCache, TheStackingListAddsAndForgetsClients) {
  RecordedWmSource source = recorded_desktop(3);
  WmCache cache;
  (void)cache.windows(source, {});
  EXPECT_EQ(cache.size(), 4u);
  // One window closes and leaves the list.
  const std::int64_t gone = source.bottom_to_top[1];
  source.bottom_to_top.erase(source.bottom_to_top.begin() + 1);
  cache.root_changed();
  source.reads = 0;
  auto list = cache.windows(source, {});
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_EQ(find(list, gone), nullptr);
  EXPECT_EQ(source.reads, 2u);  // the list and the current desktop; the others are known
  // A destroyed window is forgotten even before the list says so.
  cache.destroyed(source.bottom_to_top[0]);
  EXPECT_TRUE(cache.stale());
  EXPECT_EQ(cache.size(), 2u);

  // A window asked about that the cache does not list is read but not kept.
  source.reads = 0;
  const WmClient c = cache.client(source, gone);
  EXPECT_EQ(c.id, gone);
  EXPECT_EQ(source.reads, 10u);
  EXPECT_EQ(cache.size(), 2u);
}

}  // namespace
}  // namespace perchkin
