// The behaviour brain: what one buddy does each step (idle pauses, wandering, sitting, naps,
// typing along, acts, chasing, the landing reaction) and the entry points commands use.
#pragma once

#include "base/status.h"
#include "base/vocabulary.h"
#include "brain/world_view.h"
#include "crowd/buddy.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

bool is_act_name(std::string_view name);
// "idle, sit, ..., chase"
std::string act_names_text();
// Seconds an act plays; acts without a length last 3 s.
double act_duration(Act act);

// One brain step at view.now: bookkeeping, the motion of the current mode, then the decision.
// Buddies in mode `drawing` are moved by the pencil step, not here.
void brain_step(Buddy& b, const WorldView& view);

// The landing reaction: the squat, then a queued act, a dizzy or happy throw reaction, or the
// chase resumed.
void on_landed(Buddy& b, const WorldView& view);

// Waking by itself or from user activity: idle for 0.5 s, maybe a "wake" line.
void wake_up(Buddy& b);
// A command's wake-up: idle for 0.5 s, no line.
void wake_quietly(Buddy& b);

// The act command (and the menu's actions); the command layer turns names into acts.
// Replies "queued until he lands", "chasing the cursor", "sleeping", "sitting", "idle",
// "typing", "ok", or a hop act's own name.
Result<std::string> act_command(Buddy& b, Act action, const WorldView& view);
// An act the pointer asks for (a double click): plays as the act command would, but counts
// as the user's activity rather than a command.
void pointer_act(Buddy& b, Act act);
// Walks to x (the command layer resolves and clamps it); replies "walking to x={x}".
Result<std::string> walk_to(Buddy& b, double x, const WorldView& view);
// The command's bubble for clamp(seconds, 1, 60) s, not replaceable, then the optional act.
// Replies "said".
Result<std::string> say_command(Buddy& b, std::string text, double seconds,
                       std::optional<Act> act, const WorldView& view);
// A leap toward (x, y) clamped into the desktop; replies "leaping to {x},{y}".
Result<std::string> leap_command(Buddy& b, double x, double y, const WorldView& view);

}  // namespace perchkin
