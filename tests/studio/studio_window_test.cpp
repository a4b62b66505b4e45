// The input record as the windows fill it: edges of the button, wheel notches, typed characters
// (UTF-16 pairs joined, halves and floods dropped), moves that coalesce, and the queue's bound.
#include "studio/studio_window.h"

#include <gtest/gtest.h>

namespace perchkin {
namespace {

using Kind = StudioEvent::Kind;

TEST(StudioInputRecord, ButtonEdgesSurviveAQuickClickAndEveryChangeAsksForAFrame) {
  StudioInput in;
  in.consume();
  studio_button(in, true);
  studio_button(in, false);
  EXPECT_TRUE(in.pressed);
  EXPECT_TRUE(in.released) << "a click between two frames still counts";
  EXPECT_FALSE(in.held);
  EXPECT_TRUE(in.needs_redraw);

  in.consume();
  studio_button(in, false);  // a release that was never pressed: nothing
  studio_pointer_moved(in, -1.0f, -1.0f);  // where it already was
  EXPECT_FALSE(in.released);
  EXPECT_FALSE(in.needs_redraw);

  studio_wheel(in, 1.0f);
  studio_wheel(in, 0.5f);
  EXPECT_FLOAT_EQ(in.wheel, 1.5f);
  EXPECT_TRUE(in.needs_redraw);
  in.consume();
  EXPECT_EQ(in.wheel, 0.0f);
}

TEST(StudioInputRecord, TypedCharactersAreScalarValuesAndBounded) {
  StudioInput in;
  studio_typed(in, U'a');
  studio_typed(in, 0xD83D);  // a surrogate half is not a character
  studio_typed(in, 0x110000);
  studio_typed(in, U'😀');
  studio_typed(in, kStudioBackspace);
  EXPECT_EQ(in.typed, (std::vector<char32_t>{U'a', U'😀', kStudioBackspace}));
  for (int i = 0; i < 1000; ++i) studio_typed(in, U'x');
  EXPECT_EQ(in.typed.size(), kStudioMaxTyped);
}

TEST(StudioInputRecord, Utf16PairsJoinAndLoneHalvesAreDropped) {
  Utf16Joiner j;
  EXPECT_EQ(j.push(u'A'), U'A');
  EXPECT_EQ(j.push(0xD83D), 0u);
  EXPECT_EQ(j.push(0xDE00), U'😀');
  EXPECT_EQ(j.push(0xDE00), 0u) << "a low half alone";
  EXPECT_EQ(j.push(0xD83D), 0u);
  EXPECT_EQ(j.push(u'b'), U'b') << "a high half followed by a character is dropped";
  EXPECT_EQ(j.push(0xDE00), 0u);
  EXPECT_EQ(j.push(0xD83D), 0u);
  EXPECT_EQ(j.push(0xD83C), 0u) << "a second high half replaces the first";
  EXPECT_EQ(j.push(0xDF89), U'🎉');
}

TEST(StudioInputRecord, QueuedEventsCoalesceMovesAndStopGrowing) {
  std::vector<StudioEvent> q;
  queue_studio_event(q, {Kind::move, 1, 1});
  queue_studio_event(q, {Kind::move, 2, 2});
  StudioEvent down{Kind::button};
  down.down = true;
  queue_studio_event(q, down);
  queue_studio_event(q, {Kind::move, 3, 3});
  queue_studio_event(q, {Kind::move, 4, 5});
  ASSERT_EQ(q.size(), 3u);

  StudioInput in;
  in.consume();
  apply_studio_events(q, in);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(in.x, 4.0f);
  EXPECT_EQ(in.y, 5.0f);
  EXPECT_TRUE(in.pressed && in.held);

  for (std::size_t i = 0; i < 3 * kStudioMaxEvents; ++i) {
    StudioEvent e{Kind::typed};
    e.c = U'z';
    queue_studio_event(q, e);
  }
  EXPECT_EQ(q.size(), kStudioMaxEvents);
  queue_studio_event(q, {Kind::close});
  EXPECT_EQ(q.back().kind, Kind::close) << "closing always gets through";
  apply_studio_events(q, in);
  EXPECT_TRUE(in.close_requested);
}

}  // namespace
}  // namespace perchkin
