// A request a buddy queues for the world tick (hearts, puffs, effects, drawing events).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace perchkin {

enum class BuddyEventKind : std::uint8_t {
  heart = 0,
  symbol = 1,
  puff = 2,
  dust = 3,
  smoke = 4,
  dizzy = 5,
  explode = 6,
  effect = 7,
  ink = 8,
  text = 9,
  place = 10,
  clear = 11,
};

// A request a buddy queues for the world tick. Fields are used by kind; drawing kinds carry
// their data in `data` (defined by the scene).
struct BuddyEvent {
  BuddyEventKind kind = BuddyEventKind::heart;
  double x = 0.0;
  double y = 0.0;
  double value = 0.0;  // puff strength, explosion duration
  bool flag = false;   // puff: wall or top-edge hit
  std::string text;    // symbol or effect name
  std::shared_ptr<const void> data;

  static BuddyEvent at(BuddyEventKind kind, double x, double y) {
    BuddyEvent e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    return e;
  }
  static BuddyEvent puff(double x, double y, double strength, bool wall) {
    BuddyEvent e = at(BuddyEventKind::puff, x, y);
    e.value = strength;
    e.flag = wall;
    return e;
  }
  static BuddyEvent effect(std::string name, double x, double y) {
    BuddyEvent e = at(BuddyEventKind::effect, x, y);
    e.text = std::move(name);
    return e;
  }
  static BuddyEvent symbol(std::string text, double x, double y) {
    BuddyEvent e = at(BuddyEventKind::symbol, x, y);
    e.text = std::move(text);
    return e;
  }
};

}  // namespace perchkin
