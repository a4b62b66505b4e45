#include "app/actions.h"

#include "brain/brain.h"
#include "brain/pencil.h"
#include "brain/physics.h"
#include "base/text.h"
#include "base/vocabulary.h"

#include <algorithm>
#include <cstdio>

namespace perchkin {

namespace {

CommandReply ok(std::string msg) { return {true, std::move(msg)}; }
CommandReply fail(std::string msg) { return {false, std::move(msg)}; }

// The brain's answer as the command's reply.
CommandReply reply_of(const Result<std::string>& r) { return r.ok() ? ok(*r) : fail(r.error); }

CommandReply queue_plan(App& app, Buddy& b, Result<DrawPlan> plan) {
  if (!plan.ok()) return fail(plan.error);
  if (plan->clear) {
    if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
    b.push_event(ClearEvent{});
    return ok(plan->reply);
  }
  const std::size_t points = job_points(*plan->job);
  const std::size_t room =
      kMaxCrewDrawingPoints - std::min(app.world.drawing_points, kMaxCrewDrawingPoints);
  if (Status s = queue_job(b, std::move(*plan->job), room); !s.ok()) return fail(s.error);
  app.world.drawing_points += points;
  return ok(plan->reply);
}

}  // namespace

CommandReply act_buddy(App& app, std::size_t index, Act action) {
  return reply_of(act_command(app.world.crew.buddies[index], action, app.world.view));
}

CommandReply leap_buddy(App& app, std::size_t index, double x, double y) {
  Buddy& b = app.world.crew.buddies[index];
  // A leap ends a pencil flight and drops the waiting drawings; a held buddy refuses below.
  if (b.motion.mode != BuddyMode::held) abandon_drawing(b);
  return reply_of(leap_command(b, x, y, app.world.view));
}

CommandReply draw_buddy(App& app, std::size_t index, const DrawRequest& request) {
  Buddy& b = app.world.crew.buddies[index];
  return queue_plan(app, b, plan_draw_request(request, b, app.display_scale));
}

CommandReply turtle_buddy(App& app, std::size_t index, const logo::TurtleRequest& request) {
  Buddy& b = app.world.crew.buddies[index];
  return queue_plan(app, b, plan_turtle_request(request, b, app.display_scale));
}

CommandReply fx_buddy(App& app, std::size_t index, EffectKind kind, std::optional<double> x,
                      std::optional<double> y) {
  Buddy& b = app.world.crew.buddies[index];
  const double at_x = x.value_or(b.motion.x), at_y = y.value_or(b.motion.y - 10.0 * b.motion.unit);
  if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
  b.push_event(EffectEvent{kind, at_x, at_y});
  return ok(std::string(effect_name(kind)));
}

Status add_buddies(App& app, std::size_t count, const std::optional<std::string>& color) {
  Crew& crew = app.world.crew;
  for (std::size_t i = 0; i < count && crew.buddies.size() < crew.max_buddies; ++i)
    if (Status s = crew.add(color, !crew.buddies.empty()); !s.ok()) return s;
  return Status::success();
}

void report_failure(std::string_view action, std::string_view error) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(action.size()), action.data(),
               static_cast<int>(error.size()), error.data());
  std::fflush(stderr);
}

void summon_everyone(App& app) {
  Crew& crew = app.world.crew;
  const std::size_t n = crew.buddies.size();
  if (n == 0) return;
  const CursorPos cursor = app.platform.desktop->cursor();
  const double u = std::max(round_half_away(app.settings.size * app.display_scale), 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    // The buddy in the user's hand stays there.
    if (crew.buddies[i].motion.mode == BuddyMode::held) continue;
    const double offset = 18.0 * u * (static_cast<double>(i) - static_cast<double>(n - 1) / 2.0);
    const double x = std::clamp(cursor.x + offset, app.screen.left + 20.0, app.screen.right - 20.0);
    if (const CommandReply r = leap_buddy(app, i, x, cursor.y); !r.ok) report_failure("summon", r.msg);
  }
}

void remove_every_buddy(App& app) { app.world.crew.truncate(0); }

}  // namespace perchkin
