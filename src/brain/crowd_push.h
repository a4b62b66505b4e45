// The crowd pass's push of one touching pair, on packed arrays: shared by the pass and by the
// benchmarks that measure the pushes alone.
#pragma once

#include "base/tick.h"
#include "crowd/body.h"

#include <algorithm>
#include <cmath>

namespace perchkin::crowd {

// A press mark. Not a byte: stores through a character type could alias the positions and
// make the compiler reload them after every mark.
struct Mark {
  bool on = false;
};

// Where a push may move a body: both ends its own x when it may not move, so that every shift
// moves it by nothing, as the plain pass leaves a buddy that may not move.
struct Range {
  double lo = 0.0, hi = 0.0;
};

// shift_within for a step known to be finite and non-zero, in a known direction. A position
// changes only by a non-zero move (a shift that moves nothing leaves x bit for bit), so the
// writeback needs no moved mark: it stores x, which is the old value when nothing moved.
inline double shift_up(double& x, double dx, double hi) {
  const double nx = std::max(x, std::min(x + dx, hi));
  const double moved = nx - x;
  x = nx;
  return moved;
}
inline double shift_down(double& x, double dx, double lo) {
  const double nx = std::min(x, std::max(x + dx, lo));
  const double moved = nx - x;
  x = nx;
  return moved;
}

// The pair constants of the plain pass's push. With one unit for everybody they are the same for every
// pair and computed once, with the same arithmetic.
struct PairRule {
  double reach = 0.0;    // kPushReach * (a.unit + b.unit)
  double squeeze = 0.0;  // 0.2 * reach
  double rate = 0.0;     // 30 * min(a.unit, b.unit)
};

inline PairRule pair_rule(double ua, double ub) {
  const double reach = kPushReach * (ua + ub);
  return {reach, 0.2 * reach, 30.0 * std::min(ua, ub)};
}

// push_pair on the packed arrays with the same arithmetic, split by direction: dir is ±1, so
// every product with it is an exact sign change.
// The sweep's own buddy (a) is held in registers for its whole scan: ax and its press mark pa.
inline void push_bodies(const PairRule& rule, double& ax, const Range& ra, bool& pa, double& bx,
                        const Range& rb, Mark& pb) {
  const double dx = bx - ax;
  const double overlap = rule.reach - std::abs(dx);
  const bool squeezed = overlap > rule.squeeze;
  pa = pa | squeezed;
  pb.on = pb.on | squeezed;
  const double push = std::min(overlap, (rule.rate + 10.0 * overlap) * kTick);
  if (!(push > 0.0)) return;
  const double half = push / 2.0;
  if (bx >= ax) {
    const double ma = shift_down(ax, -half, ra.lo);
    const double mb = shift_up(bx, half, rb.hi);
    const double rest = push - (mb - ma);
    if (rest <= 1e-9) return;
    const double left = rest + shift_down(ax, -rest, ra.lo);
    if (left > 1e-9) shift_up(bx, left, rb.hi);
  } else {
    const double ma = shift_up(ax, half, ra.hi);
    const double mb = shift_down(bx, -half, rb.lo);
    const double rest = push - (ma - mb);
    if (rest <= 1e-9) return;
    const double left = rest - shift_up(ax, rest, ra.hi);
    if (left > 1e-9) shift_down(bx, -left, rb.lo);
  }
}

}  // namespace perchkin::crowd
