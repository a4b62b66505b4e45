#include "brain/pencil.h"

#include "brain/brain.h"
#include "crowd/body.h"
#include "crowd/buddy_event.h"

#include <algorithm>
#include <cmath>

namespace perchkin {

namespace {

constexpr double kTravelFactor = 2.2;

double polyline_length(const std::vector<StrokePoint>& pts) {
  double length = 0.0;
  for (std::size_t i = 1; i < pts.size(); ++i)
    length += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
  return length;
}

double speed_factor(const Stroke& s, double speed) {
  if (s.fixed_speed) return speed > 0 ? *s.fixed_speed / speed : 1.0;
  return s.ink ? 1.0 : kTravelFactor;
}

void finish_open_line(Buddy& b) {
  Pencil& p = b.pencil;
  if (!p.line_open) return;
  InkEvent finish;
  finish.id = p.line_id;
  finish.finish = true;
  b.push_event(std::move(finish));
  p.line_open = false;
}

void begin_stroke(Buddy& b, const Stroke& s) {
  Pencil& p = b.pencil;
  p.stroke_started = true;
  p.point = 0;
  p.x = s.points.front().x;
  p.y = s.points.front().y;
  if (s.start_event) b.push_event(*s.start_event);
  if (s.ink) {
    p.line_id = next_drawing_id();
    p.line_open = true;
    InkEvent begin;
    begin.id = p.line_id;
    begin.screen_points = {{p.x, p.y}};
    begin.colour = s.colour;
    begin.width = s.width;
    begin.ttl = s.ttl;
    b.push_event(std::move(begin));
  }
}

void follow_pencil(Buddy& b, const WorldView& view, double pencil_x_before) {
  Pencil& p = b.pencil;
  const double moved = p.x - pencil_x_before;
  if (std::abs(moved) > 0.4 * b.motion.unit) b.motion.facing = moved > 0 ? 1 : -1;
  p.lean += (b.motion.facing * 10.0 - p.lean) * (2.0 / 15.0);
  b.motion.x = std::clamp(p.x - p.lean * b.motion.unit, view.left, std::max(view.left, view.right));
  b.motion.y = std::clamp(p.y + 2.5 * b.motion.unit, view.top + kHeadHeight * b.motion.unit,
                          std::max(view.top + kHeadHeight * b.motion.unit, view.bottom));
}

}  // namespace

void start_flight(Buddy& b, DrawJob job) {
  Pencil& p = b.pencil;
  const StrokePoint start = pencil_home(b);
  if (!job.strokes.empty()) {
    Stroke travel;
    travel.ink = false;
    travel.points = {start, job.strokes.front().points.front()};
    job.strokes.insert(job.strokes.begin(), std::move(travel));
  }
  double length = 0.0;
  for (const Stroke& s : job.strokes)
    length += polyline_length(s.points) / (s.ink ? 1.0 : kTravelFactor);
  p.speed = std::max(170.0 * b.motion.unit, length / 18.0);
  p.job = std::move(job);
  p.stroke = 0;
  p.point = 0;
  p.stroke_started = false;
  p.x = start.x;
  p.y = start.y;
  p.out = true;
  b.motion.mode = BuddyMode::drawing;
  b.mind.act = Act::none;
  b.motion.support.reset();
  b.motion.vx = b.motion.vy = 0.0;
}

std::size_t job_points(const DrawJob& job) {
  std::size_t n = 0;
  for (const Stroke& s : job.strokes) n += s.points.size();
  return n;
}

std::size_t crew_drawing_points(const Crew& crew) {
  std::size_t n = 0;
  for (const Buddy& b : crew.buddies) {
    if (b.pencil.job) n += b.pencil.job->points;
    for (const DrawJob& job : b.pencil.waiting) n += job.points;
  }
  return n;
}

Status queue_job(Buddy& b, DrawJob job, std::size_t room) {
  if (b.motion.mode == BuddyMode::sleep) wake_quietly(b);
  if (b.motion.mode == BuddyMode::held)
    return Status::fail("he is being held by the mouse right now");
  if (b.pencil.job && b.pencil.waiting.size() >= kMaxWaitingJobs)
    return Status::fail("too many drawings waiting; try again in a moment");
  job.points = job_points(job);
  if (job.points > room) return Status::fail(std::string(kTooMuchDrawing));
  if (!b.pencil.job) {
    start_flight(b, std::move(job));
    return Status::success();
  }
  b.pencil.waiting.push_back(std::move(job));
  return Status::success();
}

void pencil_step(Buddy& b, const WorldView& view) {
  Pencil& p = b.pencil;
  if (!p.job) {
    p.out = false;
    b.motion.mode = BuddyMode::fall;
    b.motion.air_drag = kFallDrag;
    return;
  }
  const double x_before = p.x;
  bool first = true;
  double budget = 0.0;
  while (p.job && p.stroke < p.job->strokes.size()) {
    const Stroke& s = p.job->strokes[p.stroke];
    const double factor = speed_factor(s, p.speed);
    if (first) {
      budget = p.speed / 60.0 * factor;
      first = false;
    }
    if (!p.stroke_started) begin_stroke(b, s);
    std::vector<StrokePoint> collected;
    while (p.point + 1 < s.points.size()) {
      const StrokePoint next = s.points[p.point + 1];
      const double d = std::hypot(next.x - p.x, next.y - p.y);
      if (d <= budget) {
        budget -= d;
        p.x = next.x;
        p.y = next.y;
        p.point += 1;
        collected.push_back(next);
      } else {
        const double t = d > 0 ? budget / d : 0.0;
        p.x += (next.x - p.x) * t;
        p.y += (next.y - p.y) * t;
        collected.push_back({p.x, p.y});
        budget = 0.0;
        break;
      }
    }
    if (s.ink && !collected.empty()) {
      InkEvent add;
      add.id = p.line_id;
      add.screen_points = std::move(collected);
      b.push_event(std::move(add));
    }
    if (p.point + 1 < s.points.size()) break;  // the budget ran out inside this stroke
    if (s.ink) finish_open_line(b);
    p.stroke += 1;
    p.stroke_started = false;
    if (p.stroke < p.job->strokes.size()) {
      budget = budget / factor * speed_factor(p.job->strokes[p.stroke], p.speed);
      continue;
    }
    // The job is done.
    if (p.job->end_event) b.push_event(*p.job->end_event);
    p.job.reset();
    follow_pencil(b, view, x_before);
    if (!p.waiting.empty()) {
      DrawJob next = std::move(p.waiting.front());
      p.waiting.erase(p.waiting.begin());
      start_flight(b, std::move(next));
    } else {
      p.out = false;
      b.motion.mode = BuddyMode::fall;
      b.motion.air_drag = kFallDrag;
    }
    return;
  }
  follow_pencil(b, view, x_before);
}

void abandon_drawing(Buddy& b) {
  finish_open_line(b);
  b.pencil.job.reset();
  b.pencil.waiting.clear();
  b.pencil.stroke = 0;
  b.pencil.stroke_started = false;
  b.pencil.out = false;
}

}  // namespace perchkin
