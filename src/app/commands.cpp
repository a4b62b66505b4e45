#include "app/commands.h"

#include "app/studio_app.h"

#include "base/args.h"
#include "base/command_table.h"
#include "brain/brain.h"
#include "brain/physics.h"
#include "scene/draw_command.h"
#include "brain/pencil.h"
#include "base/text.h"
#include "base/vocabulary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace perchkin {

namespace {

CommandReply ok(std::string msg) { return {true, std::move(msg)}; }
CommandReply fail(std::string msg) { return {false, std::move(msg)}; }

// A JSON number, or a whole finite double as an integer, or null when not finite.
json number_or_null(double v) {
  if (!std::isfinite(v)) return nullptr;
  if (v == std::trunc(v) && std::abs(v) < 9e15) return static_cast<std::int64_t>(v);
  return v;
}

std::string no_buddy_text(std::string_view id, const Crew& crew) {
  return "no buddy with id " + std::string(id) + "; ids are " + crew.ids_text();
}

// The brain's answer as the command's reply.
CommandReply reply_of(const Result<std::string>& r) { return r.ok() ? ok(*r) : fail(r.error); }

CommandReply crew_command(App& app, const json& args) {
  Crew& crew = app.world.crew;
  if (json_member(args, arg::crew_add.name) != nullptr) {
    const Result<double> n = required_number_arg(args, arg::crew_add.name);
    if (!n.ok()) return fail(n.error);
    const double limit = static_cast<double>(crew.max_buddies);
    const auto count = static_cast<std::size_t>(std::clamp(*n, arg::crew_add.min, limit));
    std::optional<std::string> color;
    if (const json* c = json_member(args, arg::crew_color.name); c && c->is_string())
      color = c->get<std::string>();
    // A colour that is not text can't name a table colour.
    else if (c && !c->is_null())
      return fail(choices_message(arg::crew_color));
    if (Status s = add_buddies(app, count, color); !s.ok()) return fail(s.error);
  }
  if (const json* remove = json_member(args, arg::crew_remove.name)) {
    if (remove->is_string() && remove->get_ref<const std::string&>() == "all") {
      crew.truncate(std::min<std::size_t>(crew.buddies.size(), 1));
    } else {
      auto targets = resolve_targets(crew, remove->is_null() ? nullptr : remove, false);
      if (!targets.ok()) return fail(targets.error);
      std::vector<std::uint32_t> ids;
      for (std::size_t i : *targets) ids.push_back(crew.buddies[i].id);
      for (std::uint32_t id : ids) {
        Status s = crew.remove(id);
        if (!s.ok()) return fail(s.error);
      }
    }
  }
  if (json_member(args, arg::crew_size.name) != nullptr) {
    const Result<double> n = required_number_arg(args, arg::crew_size.name);
    if (!n.ok()) return fail(n.error);
    auto targets = resolve_targets(crew, json_member(args, "id"), true);
    if (!targets.ok()) return fail(targets.error);
    crew.resize(*targets, *n);
  }
  crew.rebuild_snapshot();
  return ok(std::to_string(crew.buddies.size()) + " buddies, ids " + crew.ids_text());
}

CommandReply status_command(App& app) {
  json buddies = json::array();
  for (const Buddy& b : app.world.crew.buddies) buddies.push_back(b.status());
  const double now = app.sim_clock;
  const bool typing = std::any_of(app.world.crew.buddies.begin(), app.world.crew.buddies.end(),
                                  [&](const Buddy& b) { return now < b.mind.typing_until; });
  const WorldView& v = app.world.view;
  json status = {
      {"buddies", buddies},
      {"cursor", json::array({number_or_null(v.cursor_x), number_or_null(v.cursor_y)})},
      {"screen", json::array({number_or_null(app.screen.left), number_or_null(app.screen.top),
                              number_or_null(app.screen.right),
                              number_or_null(app.screen.bottom)})},
      {"typing", typing},
  };
  return ok(dump_compact(status));
}

// The act an argument names, or nothing for anything but one of the act names.
std::optional<Act> act_arg(const json* v) {
  if (v == nullptr || !v->is_string()) return std::nullopt;
  return act_named(v->get_ref<const std::string&>());
}

CommandReply say_command_args(App& app, Buddy& b, const json& args) {
  std::string text;
  if (const json* t = json_member(args, arg::say_text.name); t && t->is_string())
    text = first_chars(trim(t->get_ref<const std::string&>()),
                       static_cast<std::size_t>(arg::say_text.max));
  if (text.empty()) return fail("say needs some text");
  const Result<double> seconds = number_arg(args, arg::say_seconds.name, arg::say_seconds.fallback);
  if (!seconds.ok()) return fail(seconds.error);
  std::optional<Act> act;
  if (const json* a = json_member(args, arg::say_act.name)) {
    act = act_arg(a);
    if (!act) return fail(choices_message(arg::say_act));
  }
  return reply_of(say_command(b, std::move(text), *seconds, act, app.world.view));
}

CommandReply walk_command(App& app, Buddy& b, const json& args) {
  const WorldView& v = app.world.view;
  const json* to = json_member(args, arg::walk_to.name);
  std::optional<double> x;
  if (to != nullptr) {
    if (to->is_string()) {
      // The places in the order of the table's words: cursor, left, right, center.
      const auto& s = to->get_ref<const std::string&>();
      const std::array<double, 4> places = {v.cursor_x, v.left + 40.0 * b.motion.unit,
                                            v.right - 40.0 * b.motion.unit,
                                            (v.left + v.right) / 2.0};
      static_assert(places.size() == arg::kWalkPlaces.size());
      for (std::size_t i = 0; i < places.size(); ++i)
        if (s == arg::kWalkPlaces[i]) x = places[i];
    } else {
      x = json_number(*to);
    }
  }
  if (!x) {
    return fail(std::string(arg::walk_to.name) + " must be " + joined(arg::kWalkPlaces) +
                " or an x pixel");
  }
  return reply_of(walk_to(b, std::clamp(*x, v.left, v.right), v));
}

CommandReply leap_command_args(App& app, std::size_t index, const json& args) {
  const Result<double> x = required_number_arg(args, arg::leap_x.name);
  if (!x.ok()) return fail(x.error);
  const Result<double> y = required_number_arg(args, arg::leap_y.name);
  if (!y.ok()) return fail(y.error);
  return leap_buddy(app, index, *x, *y);
}

CommandReply fx_command(App& app, std::size_t index, const json& args) {
  const json* kind = json_member(args, arg::fx_kind.name);
  if (kind == nullptr || !kind->is_string() ||
      !is_one_of(kEffectKinds, kind->get_ref<const std::string&>()))
    return fail(choices_message(arg::fx_kind));
  const Result<std::optional<double>> x = optional_number_arg(args, arg::x.name);
  if (!x.ok()) return fail(x.error);
  const Result<std::optional<double>> y = optional_number_arg(args, arg::y.name);
  if (!y.ok()) return fail(y.error);
  return fx_buddy(app, index, *parse_effect(kind->get_ref<const std::string&>()), *x, *y);
}

CommandReply act_command_args(App& app, std::size_t index, const json& args) {
  const std::optional<Act> action = act_arg(json_member(args, arg::act_action.name));
  if (!action) return fail(choices_message(arg::act_action));
  return act_buddy(app, index, *action);
}

CommandReply draw_command(App& app, std::size_t index, const json& args) {
  Result<DrawRequest> request = read_draw_request(args);
  if (!request.ok()) return fail(request.error);
  return draw_buddy(app, index, *request);
}

CommandReply turtle_command(App& app, std::size_t index, const json& args) {
  Result<logo::TurtleRequest> request = logo::read_turtle_request(args);
  if (!request.ok()) return fail(request.error);
  return turtle_buddy(app, index, *request);
}

CommandReply chatty_command(Buddy& b, const json& args) {
  if (const json* on = json_member(args, arg::chatty_on.name); on && on->is_boolean())
    b.world.chatty = on->get<bool>();
  else
    b.world.chatty = !b.world.chatty;
  return ok(b.world.chatty ? "chatty" : "quiet");
}

// The commands run once per call.
CommandReply run_app_command(App& app, CommandId id, const json& args) {
  switch (id) {
    case CommandId::quit:
      app.running = false;
      return ok("bye");
    case CommandId::crew: return crew_command(app, args);
    case CommandId::status: return status_command(app);
    case CommandId::perf: return ok(stats_text(app.work_ms, app.gap_ms));
    case CommandId::studio: return studio_command(app, args);
    default: break;
  }
  return fail("unknown command " + std::string(command_entry(id).name));
}

// The commands run once per target buddy.
CommandReply run_buddy(App& app, std::size_t index, CommandId id, const json& args) {
  Buddy& b = app.world.crew.buddies[index];
  switch (id) {
    case CommandId::say: return say_command_args(app, b, args);
    case CommandId::act: return act_command_args(app, index, args);
    case CommandId::walk: return walk_command(app, b, args);
    case CommandId::leap: return leap_command_args(app, index, args);
    case CommandId::fx: return fx_command(app, index, args);
    case CommandId::draw: return draw_command(app, index, args);
    case CommandId::turtle: return turtle_command(app, index, args);
    case CommandId::chatty: return chatty_command(b, args);
    default: break;
  }
  return fail("unknown command " + std::string(command_entry(id).name));
}

}  // namespace

Result<std::vector<std::size_t>> resolve_targets(const Crew& crew, const json* id,
                                                 bool absent_means_all) {
  std::vector<std::size_t> all(crew.buddies.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  if (id == nullptr || id->is_null()) {
    if (absent_means_all) return all;
    if (crew.buddies.empty()) return Status::fail(std::string(kNoBuddies));
    return std::vector<std::size_t>{0};
  }
  std::optional<std::uint64_t> wanted;
  std::string shown;
  if (id->is_string()) {
    const auto& s = id->get_ref<const std::string&>();
    if (s == "all") return all;
    wanted = parse_unsigned(s);
    if (wanted) {
      shown = std::to_string(*wanted);
    } else if (const std::string_view digits = std::string_view(s).substr(s.rfind('+', 0) == 0);
               !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos) {
      // Digits too many for any id still name a buddy, one that does not exist.
      const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
      return Status::fail(no_buddy_text(digits.substr(first), crew));
    }
  } else if (json_is_non_negative_integer(*id)) {
    wanted = id->is_number_unsigned() ? id->get<std::uint64_t>()
                                      : static_cast<std::uint64_t>(id->get<std::int64_t>());
    shown = std::to_string(*wanted);
  }
  if (!wanted) return Status::fail("id must be a buddy id or 'all'");
  if (*wanted <= 0xFFFFFFFFu) {
    if (auto index = crew.index_of(static_cast<std::uint32_t>(*wanted)))
      return std::vector<std::size_t>{*index};
  }
  return Status::fail(no_buddy_text(shown, crew));
}

CommandReply run_command(App& app, std::string_view name, const json& args) {
  const CommandEntry* command = find_command(name);
  if (command != nullptr && !command->per_buddy) {
    if (!command->any_args && !args.is_object()) return fail("args must be an object");
    return run_app_command(app, command->id, args);
  }
  if (!args.is_object()) return fail("args must be an object");

  auto targets = resolve_targets(app.world.crew, json_member(args, "id"), false);
  if (!targets.ok()) return fail(targets.error);
  json rest = args;
  rest.erase("id");
  const std::vector<std::size_t>& list = *targets;
  std::string first;
  for (std::size_t k = 0; k < list.size(); ++k) {
    CommandReply r = command != nullptr ? run_buddy(app, list[k], command->id, rest)
                                        : fail("unknown command " + std::string(name));
    if (!r.ok) return r;
    if (k == 0) first = std::move(r.msg);
  }
  if (list.size() == 1) return ok(first);
  return ok(std::to_string(list.size()) + " buddies: " + first);
}

void handle_commands(App& app) {
  if (!app.platform.commands) return;
  // Only what waited when the drain began: a client that sends its next request the moment it
  // is answered would otherwise keep this one tick, and the whole world, going for as long as it
  // likes. Later requests wait for the next tick.
  for (std::size_t waiting = app.platform.commands->size(); waiting > 0; --waiting) {
    std::optional<CommandRequest> request = app.platform.commands->try_receive();
    if (!request) break;
    request->answer(run_command(app, request->name, request->args));
  }
}

}  // namespace perchkin
