#include "brain/social.h"

#include "crowd/body.h"
#include "brain/brain.h"
#include "brain/brain_detail.h"
#include "brain/physics.h"
#include "brain/speech.h"
#include "brain/pencil.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace perchkin {

using namespace brain_detail;

namespace {

constexpr std::array<std::pair<const char*, const char*>, 9> kChatPairs = {{
    {"hi!", "hey :)"},
    {"nice weather on this screen", "it's always 60fps here"},
    {"did you see that window move?", "spooky"},
    {"i'm the original", "we're all clones, buddy"},
    {"what are we building?", "something cool i hope"},
    {"race you!", "you're on!"},
    {"do you ever feel like a sprite?", "every frame"},
    {"i drew a fire earlier", "that explains the smell"},
    {"the user is typing again", "shhh, look busy"},
}};

constexpr std::size_t kMaxPairs = 50;

void become_it(Buddy& b, std::uint32_t chaser_of, std::int32_t bounces, double now) {
  b.mind.partner = chaser_of;
  b.mind.tag_bounces = bounces;
  b.mind.chase_from = now + 0.8;
  b.mind.chase_until = now + 10.0;
  b.mind.walk_target.reset();
  if (b.motion.mode != BuddyMode::sleep && static_cast<std::uint8_t>(b.motion.mode) < 6) {
    b.motion.mode = BuddyMode::chase;
    b.mind.act = Act::none;
  }
}

// Launches a buddy into the air the way hazards and knock-overs do.
void launch(Buddy& b, double vx, double vy) {
  b.motion.mode = BuddyMode::fall;
  b.motion.support.reset();
  b.mind.act = Act::none;
  b.motion.hop.target.reset();
  b.motion.vx = vx;
  b.motion.vy = vy;
  b.mind.run_time = 0.0;
  b.motion.air_time = 0.0;
  throw_buddy(b);
  if (vx != 0.0) b.motion.facing = vx > 0 ? 1 : -1;
}

void say_direct(Buddy& b, std::string_view category) {
  const auto table = line_table(category);
  say_line(b, table[b.rng.pick(table.size())]);
}

}  // namespace

void social_tick(Crew& crew, double now) {
  if (now < crew.next_social) return;
  Xorshift64& rng = crew.social_rng;
  crew.next_social = now + (8.0 + 12.0 * rng.uniform()) / trait(crew.world.w.playful);
  if (!crew.world.w.social) return;

  std::vector<std::size_t> eligible;
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& b = crew.buddies[i];
    if ((b.motion.mode == BuddyMode::idle || b.motion.mode == BuddyMode::sit) && b.world.chatty)
      eligible.push_back(i);
  }
  crew.by_x_in_place(eligible);
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = 0; i < eligible.size() && pairs.size() < kMaxPairs; ++i) {
    const Buddy& a = crew.buddies[eligible[i]];
    for (std::size_t j = i + 1; j < eligible.size() && pairs.size() < kMaxPairs; ++j) {
      const Buddy& b = crew.buddies[eligible[j]];
      if (!(b.motion.x - a.motion.x < 220.0 * a.motion.unit)) break;
      if (std::abs(a.motion.y - b.motion.y) < 30.0 * a.motion.unit)
        pairs.emplace_back(eligible[i], eligible[j]);
    }
  }
  if (pairs.empty()) return;

  const auto [ia, ib] = pairs[rng.pick(pairs.size())];
  auto [a, b] = crew.pair_mut(ia, ib);
  const auto& chat = kChatPairs[rng.pick(kChatPairs.size())];
  a.motion.facing = b.motion.x >= a.motion.x ? 1 : -1;
  b.motion.facing = -a.motion.facing;
  const double u = rng.uniform();
  if (u < 0.35) {
    say_line(a, chat.first);
    say_later(b, chat.second, 1.6);
    play_act(a, Act::wave, false);
  } else if (u < 0.55) {
    say_line(a, "dance off!");
    say_later(b, "oh it's ON", 0.8);
    play_act(a, Act::dance, false);
    play_act(b, Act::dance, false);
  } else if (u < 0.75) {
    say_line(a, "high five!");
    play_act(a, Act::jump, false);
    play_act(b, Act::jump, false);
    a.push_event(SymbolEvent{"\u2726"});
  } else {
    say_line(a, "tag! you're it!");
    say_later(b, "hey!!", 0.5);
    become_it(b, a.id, 3, now);
  }
}

void apply_tag_catch(Buddy& c) {
  if (!c.mind.caught_partner) return;
  const std::uint32_t p = *c.mind.caught_partner;
  c.mind.caught_partner.reset();
  say_direct(c, "tag");
  const auto tagged = line_table("tagged");
  SocialMessage line;
  line.to = p;
  line.kind = SocialMessage::line;
  line.text = tagged[c.rng.pick(tagged.size())];
  line.delay = 0.6;
  c.messages.push_back(std::move(line));
  if (c.mind.tag_bounces > 1) {
    SocialMessage back;
    back.to = p;
    back.kind = SocialMessage::tag_back;
    back.from = c.id;
    back.bounces = c.mind.tag_bounces - 1;
    c.messages.push_back(back);
  }
  c.mind.tag_bounces = 0;
}

void deliver_messages(Crew& crew, std::size_t sender) {
  if (sender >= crew.buddies.size() || crew.buddies[sender].messages.empty()) return;
  std::vector<SocialMessage> outbox;
  outbox.swap(crew.buddies[sender].messages);
  // A target later in crew order has not stepped yet this tick: times count from the sender's.
  const double now = crew.buddies[sender].mind.now;
  for (SocialMessage& m : outbox) {
    const auto target = crew.index_of(m.to);
    if (!target) continue;
    Buddy& t = crew.buddies[*target];
    if (m.kind == SocialMessage::line) {
      say_at(t, std::move(m.text), now + (std::isfinite(m.delay) && m.delay > 0.0 ? m.delay : 0.0));
    } else {
      become_it(t, m.from, m.bounces, now);
    }
  }
}

void grab(Buddy& b, double now, double px, double py) {
  if (b.motion.mode == BuddyMode::drawing) abandon_drawing(b);
  b.motion.mode = BuddyMode::held;
  b.mind.act = Act::none;
  b.motion.support.reset();
  b.motion.hop.target.reset();
  b.mind.walk_target.reset();
  if (b.mind.queued_act && *b.mind.queued_act == Act::sleep) b.mind.queued_act.reset();
  b.motion.grab_dx = b.motion.x - px;
  b.motion.grab_dy = b.motion.y - py;
  b.motion.pointer_samples.clear();
  b.motion.pointer_samples.push_back({now, px, py});
  b.motion.vx = b.motion.vy = b.motion.spin = 0.0;
  b.motion.grab_time = now;
  b.mind.hold_line_said = false;
  b.mind.partner.reset();
  b.mind.chase_until = 0.0;
  chirp(b, "grab", 0.7);
}

void poke(Buddy& b, double now) {
  b.mind.last_active = now;
  if (b.motion.mode == BuddyMode::sleep) {
    start_act(b, Act::scared, 1.2);
    b.motion.angle = 0.0;
    chirp(b, "wake", 1.0);
    b.push_event(SymbolEvent{"!"});
    return;
  }
  if (!is_grounded(b.motion.mode) || !b.motion.support) return;
  std::erase_if(b.mind.poke_times, [&](double t) { return now - t > 4.0; });
  const std::size_t earlier = b.mind.poke_times.size();
  b.mind.poke_times.push_back(now);
  if (earlier < 4) {
    b.push_event(SymbolEvent{"!"});
    chirp(b, "poke", 0.6);
    const bool ceiling = b.motion.support->kind == SurfaceKind::ceiling;
    hop(b, b.motion.x, b.motion.y, (ceiling ? -14.0 : 14.0) * b.motion.unit, 0.35, 0.0,
        b.motion.support);
  } else {
    b.mind.poke_times.clear();
    start_act(b, Act::angry, 3.0);
    b.motion.angle = 0.0;
    chirp(b, "poked_lots", 1.0);
  }
}

void pet(Buddy& b, double now) {
  if (!is_grounded(b.motion.mode) || now < b.mind.pet_ready) return;
  b.mind.pet_ready = now + 1.0;
  b.mind.last_active = now;
  if (b.motion.mode == BuddyMode::sleep) {
    hearts(b, 1);
    return;
  }
  hearts(b, 2);
  start_act(b, Act::love, 2.0);
  b.motion.angle = 0.0;
  chirp(b, "pet", 0.4);
}

void burn(Buddy& b, double away, double now) {
  if (b.motion.mode == BuddyMode::held || now < b.mind.hazard_ready) return;
  b.mind.hot_until = now + 4.0;
  b.mind.hazard_ready = now + 2.5;
  abandon_drawing(b);
  say_direct(b, "burn");
  const double dir = away < 0 ? -1.0 : 1.0;
  launch(b, dir * 90.0 * b.motion.unit, -170.0 * b.motion.unit);
  b.motion.spin = dir * 500.0;
  b.motion.flight_peak = std::max(b.motion.flight_peak, std::abs(b.motion.vx) / b.motion.unit);
  b.mind.queued_act = Act::scared;
}

void zap(Buddy& b, double now) {
  if (b.motion.mode == BuddyMode::held || now < b.mind.hazard_ready) return;
  b.mind.hot_until = now + 5.0;
  b.mind.hazard_ready = now + 2.0;
  abandon_drawing(b);
  say_direct(b, "zap");
  b.push_event(DizzyEvent{});
  launch(b, (60.0 * b.rng.uniform() - 30.0) * b.motion.unit, -140.0 * b.motion.unit);
  b.motion.spin = 720.0;
  b.motion.flight_peak = std::max(b.motion.flight_peak, std::abs(b.motion.vx) / b.motion.unit);
  b.mind.queued_act = Act::dizzy;
}

void blast(Buddy& b, double vx, double vy) {
  if (b.motion.mode == BuddyMode::held) return;
  abandon_drawing(b);
  launch(b, vx, vy);
  b.motion.spin = std::clamp(vx / b.motion.unit * 2.5, -900.0, 900.0);
  b.motion.flight_peak = std::max(b.motion.flight_peak, std::hypot(vx, vy) / b.motion.unit);
  chirp(b, "boom", 0.7);
}

void knock_overs(Crew& crew) {
  if (!crew.world.w.collide) return;
  std::vector<std::size_t> flyers;
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& f = crew.buddies[i];
    if (f.motion.hurled && f.motion.mode == BuddyMode::fall &&
        std::hypot(f.motion.vx, f.motion.vy) > 150.0 * f.motion.unit)
      flyers.push_back(i);
  }
  if (flyers.empty()) return;
  // Grounded buddies by x, so each flyer only looks at its neighbours.
  std::vector<std::pair<double, std::size_t>> targets;
  double widest = 0.0;
  for (std::size_t i = 0; i < crew.buddies.size(); ++i) {
    const Buddy& t = crew.buddies[i];
    if (is_grounded(t.motion.mode) && std::isfinite(t.motion.x)) {
      targets.emplace_back(t.motion.x, i);
      widest = std::max(widest, t.motion.unit);
    }
  }
  std::sort(targets.begin(), targets.end());
  for (std::size_t fi : flyers) {
    Buddy& f = crew.buddies[fi];
    if (f.motion.mode != BuddyMode::fall) continue;
    const double reach = 6.0 * (f.motion.unit + widest);
    auto it = std::lower_bound(targets.begin(), targets.end(),
                               std::make_pair(f.motion.x - reach, std::size_t{0}));
    for (; it != targets.end() && it->first <= f.motion.x + reach; ++it) {
      Buddy& t = crew.buddies[it->second];
      if (it->second == fi || !is_grounded(t.motion.mode)) continue;
      // Contact: the bodies (16 x 10 units, centred 5 units above the feet) overlap.
      const double dx = std::abs(t.motion.x - f.motion.x);
      const double dy =
          std::abs((t.motion.y - 5.0 * t.motion.unit) - (f.motion.y - 5.0 * f.motion.unit));
      if (dx >= 6.0 * (f.motion.unit + t.motion.unit) ||
          dy >= 5.0 * (f.motion.unit + t.motion.unit))
        continue;
      const double vx = 0.7 * f.motion.vx;
      const double vy = std::min(0.5 * f.motion.vy, 0.0) - 120.0 * t.motion.unit;
      abandon_drawing(t);
      launch(t, vx, vy);
      t.motion.spin = std::clamp(vx / t.motion.unit * 2.5, -900.0, 900.0);
      t.motion.flight_peak = std::max(t.motion.flight_peak, std::hypot(vx, vy) / t.motion.unit);
      chirp(t, "bonk", 0.7);
      f.motion.vx *= -0.35;
    }
  }
}

}  // namespace perchkin
