// The port's commands on the user-interface thread: each request's arguments read and checked,
// run through the actions, and answered.
#pragma once

#include "app/actions.h"
#include "app/app.h"
#include "base/status.h"
#include "crowd/act.h"
#include "crowd/buddy_event.h"
#include "ipc/command.h"
#include "scene/draw_command.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace perchkin {

inline constexpr std::string_view kNoBuddies =
    "there are no buddies right now; add one with crew";

// Answers, without blocking, every request the command channel held when it was called.
void handle_commands(App& app);
CommandReply run_command(App& app, std::string_view name, const json& args);

// The buddy indices an "id" argument names (nullptr = absent), or the failure message.
// `absent_means_all` is for crew's size.
Result<std::vector<std::size_t>> resolve_targets(const Crew& crew, const json* id,
                                                 bool absent_means_all);

}  // namespace perchkin
