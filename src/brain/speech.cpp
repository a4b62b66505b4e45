#include "brain/speech.h"

#include "base/command_table.h"
#include "base/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace perchkin {

namespace {

using Table = std::span<const char* const>;

constexpr std::array kIdle = {"*scuttles*", "nice screen you got", "need a hand? i have two",
                              "what are we building?", "beep boop", "is it snack time",
                              "i'm guarding your taskbar"};
constexpr std::array kNight = {"it's late... bed?", "night owl mode", "*yawns in pixels*"};
constexpr std::array kTyping = {"go go go!", "you're on fire", "clack clack clack", "ship it!"};
constexpr std::array kWake = {"huh? i'm up!", "*yawn*", "five more minutes..."};
constexpr std::array kGrab = {"whoa!", "hey!", "up we go", "eep!", "where are we going?"};
constexpr std::array kHoldLong = {"put me down!!", "the view is nice up here",
                                  "ok i live here now"};
constexpr std::array kThrow = {"WHEEEE!", "aaaaaa!", "yeeeet", "to infinity!"};
constexpr std::array kDrop = {"oop", "boop", "careful!"};
constexpr std::array kBonk = {"oof!", "ow!", "bonk!", "my pixels!"};
constexpr std::array kDizzy = {"@_@", "the room is spinning", "i see stars", "which way is up"};
constexpr std::array kAgain = {"again! again!", "that was fun!", "10/10 would fly again"};
constexpr std::array kPoke = {"hey!", "hehe", "that tickles", "boop!", "yes?"};
constexpr std::array kPokedLots = {"STOP POKING ME", "okay that's enough",
                                   "i will bite (i have no mouth)"};
constexpr std::array kPet = {"hehe~", "<3", "more pats pls", "happy crab noises"};
constexpr std::array kCaught = {"gotcha!", "caught it!", "mine now"};
constexpr std::array kBurn = {"HOT HOT HOT", "AAAH FIRE", "who drew that?!", "ouch ouch ouch"};
constexpr std::array kZap = {"ZAP!", "bzzzt", "i can taste colours", "that was shocking"};
constexpr std::array kBoom = {"KABOOM", "my ears!", "worth it", "who lit that?!"};
constexpr std::array kTag = {"tag! you're it!", "got you!", "you're it!"};
constexpr std::array kTagged = {"nooo!", "no fair!", "i'll get you!"};

constexpr std::array<std::pair<std::string_view, Table>, 20> kTables = {{
    {"idle", kIdle},     {"night", kNight},      {"typing", kTyping},        {"wake", kWake},
    {"grab", kGrab},     {"hold_long", kHoldLong}, {"throw", kThrow},        {"drop", kDrop},
    {"bonk", kBonk},     {"dizzy", kDizzy},      {"again", kAgain},          {"poke", kPoke},
    {"poked_lots", kPokedLots}, {"pet", kPet},   {"caught", kCaught},        {"burn", kBurn},
    {"zap", kZap},       {"boom", kBoom},        {"tag", kTag},              {"tagged", kTagged},
}};

int trigger_slot(std::string_view category) {
  if (category == "sleep") return 0;
  if (category == "wake") return 1;
  if (category == "grab") return 2;
  if (category == "throw") return 3;
  if (category == "poke" || category == "poked_lots") return 4;
  if (category == "pet") return 5;
  if (category == "bonk") return 6;
  if (category == "dance") return 7;
  return -1;
}

bool blocked(const Buddy& b) {
  return !b.speech.bubble_replaceable && b.mind.now < b.speech.bubble_until;
}

const SpeechLines& lines_of(const Buddy& b) {
  static const SpeechLines kNone;
  return b.speech.lines ? *b.speech.lines : kNone;
}

}  // namespace

Table line_table(std::string_view category) {
  for (const auto& [name, table] : kTables)
    if (name == category) return table;
  return kIdle;
}

void show_bubble(Buddy& b, std::string text, double seconds, bool replaceable) {
  b.speech.bubble_text = std::move(text);
  b.speech.bubble_until = b.mind.now + seconds;
  b.speech.bubble_serial += 1;
  b.speech.bubble_replaceable = replaceable;
}

void say_line(Buddy& b, std::string_view text) {
  const SpeechLines& lines = lines_of(b);
  std::string shown(text);
  if (lines.mode == 1) {
    if (lines.phrases.empty()) return;
    shown = lines.phrases[b.rng.pick(lines.phrases.size())];
  }
  if (blocked(b)) return;
  show_bubble(b, std::move(shown), kTableLineSeconds, true);
}

bool trigger(Buddy& b, std::string_view category) {
  const int slot = trigger_slot(category);
  if (slot < 0) return false;
  const std::string text = trim(lines_of(b).lines[static_cast<std::size_t>(slot)]);
  if (text.empty()) return false;
  if (!blocked(b)) show_bubble(b, text, kUserLineSeconds, true);
  return true;
}

void chirp(Buddy& b, std::string_view category, double p) {
  if (trigger(b, category)) return;
  // Falling asleep and dancing only ever say the user's own line.
  if (category == "sleep" || category == "dance") return;
  if (!b.rng.chance(p)) return;
  const Table table = line_table(category);
  say_line(b, table[b.rng.pick(table.size())]);
}

void say_later(Buddy& b, std::string text, double delay) {
  say_at(b, std::move(text), b.mind.now + (std::isfinite(delay) && delay > 0.0 ? delay : 0.0));
}

void say_at(Buddy& b, std::string text, double due) {
  // Insert after every line due at the same time or earlier, which keeps the queue stable.
  auto it = std::upper_bound(b.speech.delayed_lines.begin(), b.speech.delayed_lines.end(), due,
                             [](double d, const DelayedLine& l) { return d < l.due; });
  b.speech.delayed_lines.insert(it, DelayedLine{due, std::move(text)});
  // A flood of messages must not grow the queue without end; the latest lines matter least.
  if (b.speech.delayed_lines.size() > kMaxDelayedLines) b.speech.delayed_lines.pop_back();
}

void speak_due_line(Buddy& b) {
  if (b.speech.delayed_lines.empty() || b.speech.delayed_lines.front().due > b.mind.now) return;
  std::string text = std::move(b.speech.delayed_lines.front().text);
  b.speech.delayed_lines.erase(b.speech.delayed_lines.begin());
  say_line(b, text);
}

void say(Buddy& b, std::string text, double seconds) {
  const double shown = std::isnan(seconds) ? arg::say_seconds.fallback
                                           : std::clamp(seconds, arg::say_seconds.min,
                                                        arg::say_seconds.max);
  show_bubble(b, std::move(text), shown, false);
}

void spontaneous_line(Buddy& b, int local_hour) {
  const SpeechLines& lines = lines_of(b);
  if (lines.mode != 2 && !lines.phrases.empty() && b.rng.chance(0.6)) {
    const std::string& line = lines.phrases[b.rng.pick(lines.phrases.size())];
    if (!blocked(b)) show_bubble(b, line, kUserLineSeconds, true);
    return;
  }
  const bool night = local_hour >= 0 && local_hour < 5 && b.rng.chance(0.5);
  chirp(b, night ? "night" : "idle", 0.6);
}

}  // namespace perchkin
