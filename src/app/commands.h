// The command handling on the user-interface thread: the application-level commands and the
// per-buddy commands with their argument rules and replies.
#pragma once

#include "app/app.h"
#include "base/status.h"
#include "ipc/command.h"

#include <string_view>
#include <vector>

namespace perchkin {

inline constexpr std::string_view kNoBuddies =
    "there are no buddies right now; add one with crew";

// Answers, without blocking, every request the command channel held when it was called.
void handle_commands(App& app);
CommandReply run_command(App& app, std::string_view name, const json& args);
CommandReply run_buddy_command(App& app, std::size_t index, std::string_view name,
                               const json& args);

// The buddy indices an "id" argument names (nullptr = absent), or the failure message.
// `absent_means_all` is for crew's size.
Result<std::vector<std::size_t>> resolve_targets(const Crew& crew, const json* id,
                                                 bool absent_means_all);

// The crew-wide actions of the hotkeys and the menu.
void summon_everyone(App& app);
void remove_every_buddy(App& app);

}  // namespace perchkin
