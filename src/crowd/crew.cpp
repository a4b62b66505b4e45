#include "crowd/crew.h"

#include "crowd/body.h"
#include "base/text.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>

namespace perchkin {

std::uint32_t buddy_rgb(std::string_view color) {
  for (const auto& c : kBuddyColors)
    if (color == c.name) return c.rgb;
  return kBuddyColors[0].rgb;
}

std::string color_names_text() { return joined(kCrewColorNames); }

BuddyWorld buddy_world(const Settings& settings, bool unleashed) {
  return BuddyWorld{settings.world, unleashed, settings.chatty};
}

std::shared_ptr<const SpeechLines> speech_lines(const Settings& settings) {
  auto lines = std::make_shared<SpeechLines>();
  lines->phrases = settings.phrases;
  for (std::size_t i = 0; i < lines->lines.size(); ++i) lines->lines[i] = trim(settings.lines[i]);
  lines->mode = settings.speech_mode;
  return lines;
}

double Crew::unit_for(double buddy_size) const {
  return std::max(round_half_away(buddy_size * scale), 1.0);
}

void Crew::seed(std::uint64_t clock_nanos) {
  rng = Xorshift64(group_seed(clock_nanos));
  social_rng = Xorshift64((clock_nanos * 0x9E3779B97F4A7C15ull) | 1u);
}

std::optional<std::size_t> Crew::index_of(std::uint32_t id) const {
  for (std::size_t i = 0; i < buddies.size(); ++i)
    if (buddies[i].id == id) return i;
  return std::nullopt;
}

std::string Crew::ids_text() const {
  std::string out;
  for (std::size_t i = 0; i < buddies.size(); ++i) {
    if (i) out += ',';
    out += std::to_string(buddies[i].id);
  }
  return out;
}

Status Crew::add(std::optional<std::string_view> color, bool fling_from_first) {
  if (buddies.size() >= max_buddies)
    return Status::fail("there can be at most " + std::to_string(max_buddies) + " buddies");

  std::string chosen;
  if (color) {
    const bool known = std::any_of(kBuddyColors.begin(), kBuddyColors.end(),
                                   [&](const BuddyColor& c) { return *color == c.name; });
    if (!known) return Status::fail("color must be one of: " + color_names_text());
    chosen = std::string(*color);
  } else if (buddies.empty()) {
    chosen = kBuddyColors[0].name;
  } else {
    if (buddies.size() < kBuddyColors.size()) {
      for (const auto& c : kBuddyColors) {
        const bool used = std::any_of(buddies.begin(), buddies.end(),
                                      [&](const Buddy& b) { return b.color == c.name; });
        if (!used) {
          chosen = c.name;
          break;
        }
      }
    }
    if (chosen.empty()) chosen = kBuddyColors[rng.pick(kBuddyColors.size())].name;
  }

  Buddy b;
  b.id = next_id;
  b.color = std::move(chosen);
  b.motion.unit = unit_for(size);
  b.motion.scale = scale;
  const double h = std::floor(rng.uniform() * 1e15);
  const std::uint64_t id64 = b.id;
  b.rng = Xorshift64((static_cast<std::uint64_t>(h) ^ (id64 * 5340353u + 5340353u)) *
                         0x9E3779B97F4A7C15ull |
                     1u);
  next_id += 1;

  if (fling_from_first && !buddies.empty()) {
    Buddy& first = buddies.front();
    const double u1 = b.rng.uniform(), u2 = b.rng.uniform(), u3 = b.rng.uniform(),
                 u4 = b.rng.uniform();
    b.motion.vx = (60.0 + 80.0 * u2) * b.motion.unit;
    if (u1 < 0.5) b.motion.vx = -b.motion.vx;
    b.motion.vy = -(150.0 + 80.0 * u3) * b.motion.unit;
    b.motion.spin = 800.0 * u4 - 400.0;
    throw_buddy(b);
    b.motion.flight_peak = std::hypot(b.motion.vx, b.motion.vy) / b.motion.unit;
    b.motion.facing = b.motion.vx >= 0.0 ? 1 : -1;
    // Before its first step the first buddy stands nowhere yet (it is placed then): the new one
    // waits and is flung from wherever that turns out to be.
    if (first.mind.started) {
      place_fling(b);
    } else {
      b.motion.fling_pending = true;
    }
  }
  b.motion.mode = BuddyMode::fall;
  b.world = world;
  b.speech.lines = speech;
  buddies.push_back(std::move(b));
  return Status::success();
}

void Crew::place_fling(Buddy& b) {
  b.motion.fling_pending = false;
  if (buddies.empty() || &buddies.front() == &b || !buddies.front().mind.started) {
    // Nobody to be flung from: it drops in like a first buddy.
    b.motion.x = b.motion.y = b.motion.vx = b.motion.vy = b.motion.spin = 0.0;
    b.motion.thrown = false;
    b.motion.air_drag = kFallDrag;
    b.motion.flight_peak = 0.0;
    return;
  }
  Buddy& first = buddies.front();
  b.motion.x = first.motion.x;
  b.motion.y = first.motion.y - 5.0 * first.motion.unit;
  first.push_event(
      EffectEvent{EffectKind::sparkle, first.motion.x, first.motion.y - 10.0 * first.motion.unit});
}

Status Crew::remove(std::uint32_t id) {
  if (buddies.size() < 2) return Status::fail("the last buddy stays");
  const auto index = index_of(id);
  if (!index)
    return Status::fail("no buddy with id " + std::to_string(id) + "; ids are " + ids_text());
  const Buddy& gone = buddies[*index];
  removal_marks.push_back(
      {gone.motion.x, gone.motion.y - 4.0 * gone.motion.unit, 12.0 * gone.motion.unit});
  buddies.erase(buddies.begin() + static_cast<std::ptrdiff_t>(*index));
  for (Buddy& b : buddies) {
    if (b.mind.partner == id) {
      b.mind.partner.reset();
      b.mind.chase_until = 0.0;
    }
  }
  rebuild_snapshot();
  return Status::success();
}

void Crew::truncate(std::size_t k) {
  if (k >= buddies.size()) return;
  std::vector<std::uint32_t> gone;
  for (std::size_t i = k; i < buddies.size(); ++i) {
    const Buddy& b = buddies[i];
    gone.push_back(b.id);
    removal_marks.push_back({b.motion.x, b.motion.y - 4.0 * b.motion.unit, 12.0 * b.motion.unit});
  }
  buddies.resize(k);
  const auto removed = [&](std::uint32_t id) {
    return std::find(gone.begin(), gone.end(), id) != gone.end();
  };
  for (Buddy& b : buddies) {
    if (b.mind.partner && removed(*b.mind.partner)) {
      b.mind.partner.reset();
      b.mind.chase_until = 0.0;
    }
    if (b.motion.support && b.motion.support->kind == SurfaceKind::buddy &&
        removed(static_cast<std::uint32_t>(~b.motion.support->id))) {
      b.motion.support.reset();
      b.motion.mode = BuddyMode::fall;
      b.mind.act = Act::none;
      b.motion.vx = b.motion.vy = 0.0;
      b.motion.air_drag = kFallDrag;
    }
  }
  rebuild_snapshot();
}

void Crew::resize(std::span<const std::size_t> indices, double new_size) {
  const double s = std::clamp(new_size, kBuddySizeMin, world.unleashed ? 300.0 : kBuddySizeMax);
  const double unit = std::clamp(round_half_away(s * scale), 1.0, 2000.0);
  for (std::size_t i : indices) {
    if (i >= buddies.size()) continue;
    Buddy& b = buddies[i];
    b.motion.unit = unit;
    if (is_grounded(b.motion.mode)) b.push_event(PuffEvent{b.motion.x, b.motion.y, 0.3, false});
  }
}

std::pair<Buddy&, Buddy&> Crew::pair_mut(std::size_t i, std::size_t j) {
  assert(i != j && i < buddies.size() && j < buddies.size());
  return {buddies[i], buddies[j]};
}

namespace {

// Maps a double to an integer whose order is the IEEE total order.
std::int64_t total_order_key(double v) {
  auto bits = std::bit_cast<std::int64_t>(v);
  return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

}  // namespace

void Crew::by_x_in_place(std::vector<std::size_t>& indices) const {
  if (indices.size() <= 20) {
    for (std::size_t i = 1; i < indices.size(); ++i) {
      const std::size_t v = indices[i];
      const std::int64_t key = total_order_key(buddies[v].motion.x);
      std::size_t j = i;
      while (j > 0 && total_order_key(buddies[indices[j - 1]].motion.x) > key) {
        indices[j] = indices[j - 1];
        --j;
      }
      indices[j] = v;
    }
    return;
  }
  // Sorting (key, position) pairs gives exactly the stable order, and keys read each x once.
  std::vector<std::pair<std::int64_t, std::size_t>> keyed(indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i)
    keyed[i] = {total_order_key(buddies[indices[i]].motion.x), i};
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::size_t> sorted(indices.size());
  for (std::size_t i = 0; i < keyed.size(); ++i) sorted[i] = indices[keyed[i].second];
  indices.swap(sorted);
}

std::vector<std::size_t> Crew::by_x(std::vector<std::size_t> indices) const {
  by_x_in_place(indices);
  return indices;
}

void Crew::apply_settings(const Settings& settings, bool unleashed) {
  const bool on = unleashed || settings.unleashed;
  max_buddies = on ? kUnleashedCrewLimit : start_limit;
  if (buddies.size() > max_buddies) truncate(max_buddies);
  size = settings.size;
  world = buddy_world(settings, on);
  speech = speech_lines(settings);
  for (Buddy& b : buddies) {
    b.world = world;
    b.speech.lines = speech;
  }
}

BuddySummary summarize(const Buddy& b) {
  BuddySummary s;
  s.standing = b.motion.support.has_value();
  s.support_id = b.motion.support ? b.motion.support->id : 0;
  s.support_top = b.motion.support ? b.motion.support->top : 0.0;
  s.x = b.motion.x;
  s.y = b.motion.y;
  s.unit = b.motion.unit;
  s.id = b.id;
  s.mode = b.motion.mode;
  return s;
}

void Crew::rebuild_snapshot() {
  snapshot.resize(buddies.size());
  for (std::size_t i = 0; i < buddies.size(); ++i) snapshot[i] = summarize(buddies[i]);
}

}  // namespace perchkin
