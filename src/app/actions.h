// What the port's commands, the menu, the hotkeys and the Studio do to the crew. Below the port's
// command handling and the user interface, so both call down into it.
#pragma once

#include "app/app.h"
#include "base/status.h"
#include "crowd/act.h"
#include "crowd/buddy_event.h"
#include "ipc/command.h"
#include "logo/turtle_command.h"
#include "scene/draw_command.h"

#include <optional>
#include <string>
#include <string_view>

namespace perchkin {

// The per-buddy commands with their arguments already read, for the menu, the hotkeys and the
// Studio; `index` is the buddy's place in the crew.
CommandReply act_buddy(App& app, std::size_t index, Act action);
CommandReply leap_buddy(App& app, std::size_t index, double x, double y);
CommandReply draw_buddy(App& app, std::size_t index, const DrawRequest& request);
CommandReply turtle_buddy(App& app, std::size_t index, const logo::TurtleRequest& request);
// x and y default to just above the buddy.
CommandReply fx_buddy(App& app, std::size_t index, EffectKind kind,
                      std::optional<double> x = std::nullopt,
                      std::optional<double> y = std::nullopt);
// Adds up to `count` buddies, stopping quietly at the crew limit.
Status add_buddies(App& app, std::size_t count, const std::optional<std::string>& color);

// Where a failed action of the menu, a hotkey or the Studio is told: they have no reply to
// carry it, so it goes to standard error.
void report_failure(std::string_view action, std::string_view error);

// The crew-wide actions of the hotkeys and the menu.
void summon_everyone(App& app);
void remove_every_buddy(App& app);

}  // namespace perchkin
