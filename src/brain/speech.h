// Speech bubbles: the built-in line tables, the user's lines, trigger lines and the rules that
// decide whether a new line may replace the bubble showing.
#pragma once

#include "crowd/buddy.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace perchkin {

inline constexpr double kTableLineSeconds = 2.6;
inline constexpr double kUserLineSeconds = 3.2;
// Lines waiting to be said; more than this and the latest-due ones are dropped.
inline constexpr std::size_t kMaxDelayedLines = 32;

// The built-in lines of a category; unknown categories get the idle table.
std::span<const char* const> line_table(std::string_view category);

// Shows a table line (or, in "Only my lines" mode, one of the user's lines) for 2.6 s unless a
// command's bubble is still showing.
void say_line(Buddy& b, std::string_view text);
// Shows the user's trigger line for the category, if one is set. Returns whether it was handled.
bool trigger(Buddy& b, std::string_view category);
// The trigger line, else with probability p a random line of the category's table.
void chirp(Buddy& b, std::string_view category, double p);
// Queues a line at now + delay (a delay that is negative or not finite counts as 0); the queue
// stays sorted by due time (stable) and holds at most kMaxDelayedLines.
void say_later(Buddy& b, std::string text, double delay);
// The same at an absolute time.
void say_at(Buddy& b, std::string text, double due);
// Shows the first delayed line once it is due (one per step).
void speak_due_line(Buddy& b);
// Sets the bubble unconditionally.
void show_bubble(Buddy& b, std::string text, double seconds, bool replaceable);
// The command's bubble: clamp(seconds, 1, 60) s (6 s when not a number), not replaceable.
void say(Buddy& b, std::string text, double seconds);
// A spontaneous line for an idle pause: maybe one of the user's lines, else maybe a table line
// ("night" half the time between 0:00 and 4:59 local time, else "idle").
void spontaneous_line(Buddy& b, int local_hour);

}  // namespace perchkin
