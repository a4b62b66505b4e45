// Building the frame's instances and marking their dirty tiles for 10,000 buddies (target: under
// 1 ms together), plus the render entries' tick and the whole frame plan at the same size.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "crowd/crew.h"
#include "gpu/frame_plan.h"
#include "gpu/instances.h"
#include "gpu/render_entries.h"

namespace {

using namespace perchkin;

// A fixed crowd over a 1920 x 1080 desktop in a mix of modes, acts, colours and tilts.
Crew crowd(std::size_t n) {
  constexpr std::array<BuddyMode, 8> kModes = {BuddyMode::idle, BuddyMode::walk, BuddyMode::sit,
                                               BuddyMode::sleep, BuddyMode::act, BuddyMode::fall,
                                               BuddyMode::held, BuddyMode::chase};
  constexpr std::array<Act, 4> kActs = {Act::dance, Act::scared, Act::wave, Act::think};
  Crew crew;
  Xorshift64 r(4242);
  crew.buddies.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    Buddy b;
    b.id = static_cast<std::uint32_t>(i);
    b.color = kBuddyColors[i % kBuddyColors.size()].name;
    b.motion.x = r.range(0.0, 1920.0);
    b.motion.y = r.range(100.0, 1080.0);
    b.motion.unit = 9.0;
    b.motion.mode = kModes[i % kModes.size()];
    b.mind.act = kActs[i % kActs.size()];
    b.mind.clock = r.range(0.0, 100.0);
    b.motion.angle = (i % 5 == 0) ? r.range(-30.0, 30.0) : 0.0;
    b.motion.facing = (i % 2) ? 1 : -1;
    Support s;
    s.kind = (i % 50 == 0) ? SurfaceKind::ceiling : SurfaceKind::floor;
    b.motion.support = s;
    crew.buddies.push_back(std::move(b));
  }
  return crew;
}

RenderEntries entries_for(const Crew& crew) {
  RenderEntries re;
  sync_entries(re, crew);
  return re;
}

void BM_BuildInstances(benchmark::State& state) {
  const Crew crew = crowd(static_cast<std::size_t>(state.range(0)));
  const RenderEntries re = entries_for(crew);
  InstanceParams p;
  p.alpha = 0.4;
  std::vector<BuddyInstance> list;
  for (auto _ : state) {
    build_instances(list, crew, re, p);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildInstances)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The target: instances built and their tiles marked.
void BM_BuildAndMark(benchmark::State& state) {
  const Crew crew = crowd(static_cast<std::size_t>(state.range(0)));
  const RenderEntries re = entries_for(crew);
  const Effects fx;
  const SceneActivity activity;
  InstanceParams p;
  p.alpha = 0.4;
  MarkInput mi;
  mi.overlay_width = 1920;
  mi.overlay_height = 1080;
  std::vector<BuddyInstance> list;
  for (auto _ : state) {
    build_instances(list, crew, re, p);
    TileGrid marks = mark_frame(mi, list, crew, re, fx, activity);
    benchmark::DoNotOptimize(marks.tiles.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildAndMark)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Planning an unchanged frame: the byte comparison that lets an idle crew skip.
void BM_PlanUnchangedFrame(benchmark::State& state) {
  const Crew crew = crowd(static_cast<std::size_t>(state.range(0)));
  const RenderEntries re = entries_for(crew);
  std::vector<BuddyInstance> list;
  build_instances(list, crew, re, InstanceParams{});
  MarkInput mi;
  mi.overlay_width = 1920;
  mi.overlay_height = 1080;
  const Effects fx;
  const SceneActivity activity;
  TileGrid marks = mark_frame(mi, list, crew, re, fx, activity);
  FrameState fs;
  std::vector<BuddyInstance> first = list;
  const FramePlan plan = plan_frame(fs, first, marks, activity, LookSettings{});
  finish_frame(fs, plan, first, marks);
  for (auto _ : state) {
    const FramePlan again = plan_frame(fs, list, marks, activity, LookSettings{});
    benchmark::DoNotOptimize(again.draw);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PlanUnchangedFrame)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_EntryTick(benchmark::State& state) {
  const Crew crew = crowd(static_cast<std::size_t>(state.range(0)));
  RenderEntries re = entries_for(crew);
  EntryTickInput in;
  in.look.trail = 1;
  for (auto _ : state) {
    in.now += 1.0 / 60.0;
    EntryTickOutput out = update_render_entries(re, crew, {}, in);
    benchmark::DoNotOptimize(out.sleep_marks.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EntryTick)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
