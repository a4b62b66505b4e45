#include "app/commands.h"

#include "app/studio_app.h"

#include "base/args.h"
#include "brain/brain.h"
#include "brain/physics.h"
#include "scene/draw_command.h"
#include "brain/pencil.h"
#include "base/text.h"
#include "base/vocabulary.h"

#include <algorithm>
#include <array>
#include <cmath>

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

// Looks up an optional number argument: absent gives the fallback, a non-number fails.
CommandReply reply_of(const Result<std::string>& r) { return r.ok() ? ok(*r) : fail(r.error); }

CommandReply crew_command(App& app, const json& args) {
  Crew& crew = app.crew;
  if (json_member(args, "add") != nullptr) {
    const Result<double> n = required_number_arg(args, "add");
    if (!n.ok()) return fail(n.error);
    const double limit = static_cast<double>(crew.max_buddies);
    const auto count = static_cast<std::size_t>(std::clamp(*n, 1.0, limit));
    std::optional<std::string> color;
    if (const json* c = json_member(args, "color"); c && c->is_string())
      color = c->get<std::string>();
    // A colour that is not text can't name a table colour.
    if (const json* c = json_member(args, "color"); c && !c->is_string() && !c->is_null())
      return fail("color must be one of: " + color_names_text());
    for (std::size_t i = 0; i < count && crew.buddies.size() < crew.max_buddies; ++i) {
      Status s = crew.add(color, !crew.buddies.empty());
      if (!s.ok()) return fail(s.error);
    }
  }
  if (const json* remove = json_member(args, "remove")) {
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
  if (json_member(args, "size") != nullptr) {
    const Result<double> n = required_number_arg(args, "size");
    if (!n.ok()) return fail(n.error);
    auto targets = resolve_targets(crew, json_member(args, "id"), true);
    if (!targets.ok()) return fail(targets.error);
    crew.resize(*targets, *n);
  }
  crew.rebuild_snapshot();
  return ok(std::to_string(crew.buddies.size()) + " buddies, ids " + crew.ids_text());
}

CommandReply status_command(App& app, const json&) {
  json buddies = json::array();
  for (const Buddy& b : app.crew.buddies) buddies.push_back(b.status());
  const double now = app.sim_clock;
  const bool typing = std::any_of(app.crew.buddies.begin(), app.crew.buddies.end(),
                                  [&](const Buddy& b) { return now < b.typing_until; });
  const WorldView& v = app.view;
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

CommandReply perf_command(App& app, const json&) { return ok(stats_text(app.work_ms, app.gap_ms)); }

std::string act_list_message(const char* key) {
  return std::string(key) + " must be one of: " + act_names_text();
}

// The act an argument names, or nothing for anything but one of the act names.
std::optional<Act> act_arg(const json* v) {
  if (v == nullptr || !v->is_string()) return std::nullopt;
  return act_named(v->get_ref<const std::string&>());
}

CommandReply say_command_args(App& app, Buddy& b, const json& args) {
  std::string text;
  if (const json* t = json_member(args, "text"); t && t->is_string())
    text = first_chars(trim(t->get_ref<const std::string&>()), 200);
  if (text.empty()) return fail("say needs some text");
  const Result<double> seconds = number_arg(args, "seconds", 6.0);
  if (!seconds.ok()) return fail(seconds.error);
  std::optional<Act> act;
  if (const json* a = json_member(args, "act")) {
    act = act_arg(a);
    if (!act) return fail(act_list_message("act"));
  }
  return reply_of(say_command(b, std::move(text), *seconds, act, app.view));
}

CommandReply walk_command(App& app, Buddy& b, const json& args) {
  const WorldView& v = app.view;
  const json* to = json_member(args, "to");
  std::optional<double> x;
  if (to != nullptr) {
    if (to->is_string()) {
      const auto& s = to->get_ref<const std::string&>();
      if (s == "left") x = v.left + 40.0 * b.unit;
      else if (s == "right") x = v.right - 40.0 * b.unit;
      else if (s == "center") x = (v.left + v.right) / 2.0;
      else if (s == "cursor") x = v.cursor_x;
    } else {
      x = json_number(*to);
    }
  }
  if (!x) return fail("to must be cursor, left, right, center or an x pixel");
  const double target = std::clamp(*x, v.left, v.right);
  (void)walk_to(b, target, v);
  return ok("walking to x=" + rounded_int_text(target));
}

CommandReply leap_command_args(App& app, Buddy& b, const json& args) {
  const Result<double> x = required_number_arg(args, "x");
  if (!x.ok()) return fail(x.error);
  const Result<double> y = required_number_arg(args, "y");
  if (!y.ok()) return fail(y.error);
  // A leap ends a pencil flight and drops the waiting drawings; a held buddy refuses below.
  if (b.mode != BuddyMode::held) abandon_drawing(b);
  return reply_of(leap_command(b, *x, *y, app.view));
}

CommandReply fx_command(App& app, Buddy& b, const json& args) {
  const json* kind = json_member(args, "kind");
  if (kind == nullptr || !kind->is_string() ||
      !is_one_of(kEffectKinds, kind->get_ref<const std::string&>()))
    return fail("kind must be one of: " + joined(kEffectKinds));
  const Result<double> x = number_arg(args, "x", b.x);
  if (!x.ok()) return fail(x.error);
  const Result<double> y = number_arg(args, "y", b.y - 10.0 * b.unit);
  if (!y.ok()) return fail(y.error);
  if (b.mode == BuddyMode::sleep) wake_quietly(b);
  const std::string name = kind->get<std::string>();
  b.push_event(EffectEvent{*parse_effect(name), *x, *y});
  (void)app;
  return ok(name);
}

CommandReply act_command_args(App& app, Buddy& b, const json& args) {
  const std::optional<Act> action = act_arg(json_member(args, "action"));
  if (!action) return fail(act_list_message("action"));
  return reply_of(act_command(b, *action, app.view));
}

CommandReply queue_plan(App& app, Buddy& b, Result<DrawPlan> plan) {
  if (!plan.ok()) return fail(plan.error);
  if (plan->clear) {
    if (b.mode == BuddyMode::sleep) wake_quietly(b);
    b.push_event(ClearEvent{});
    return ok(plan->reply);
  }
  const std::size_t points = job_points(*plan->job);
  const std::size_t room =
      kMaxCrewDrawingPoints - std::min(app.drawing_points, kMaxCrewDrawingPoints);
  if (Status s = queue_job(b, std::move(*plan->job), room); !s.ok()) return fail(s.error);
  app.drawing_points += points;
  return ok(plan->reply);
}

CommandReply draw_command(App& app, Buddy& b, const json& args) {
  return queue_plan(app, b, plan_draw(args, b, app.display_scale));
}

CommandReply turtle_command(App& app, Buddy& b, const json& args) {
  return queue_plan(app, b, plan_turtle(args, b, app.display_scale));
}

CommandReply chatty_command(App&, Buddy& b, const json& args) {
  if (const json* on = json_member(args, "on"); on && on->is_boolean())
    b.world.chatty = on->get<bool>();
  else
    b.world.chatty = !b.world.chatty;
  return ok(b.world.chatty ? "chatty" : "quiet");
}

CommandReply quit_command(App& app, const json&) {
  app.running = false;
  return ok("bye");
}

// The command table: the commands run once per call, then those run once per target buddy.
struct AppCommand {
  std::string_view name;
  CommandReply (*run)(App& app, const json& args);
  bool any_args = false;  // quit must work whatever its arguments are
};
constexpr std::array<AppCommand, 5> kAppCommands = {{
    {"quit", quit_command, true},
    {"crew", crew_command},
    {"status", status_command},
    {"perf", perf_command},
    {"studio", studio_command},
}};

struct BuddyCommand {
  std::string_view name;
  CommandReply (*run)(App& app, Buddy& b, const json& args);
};
constexpr std::array<BuddyCommand, 8> kBuddyCommands = {{
    {"say", say_command_args},
    {"act", act_command_args},
    {"walk", walk_command},
    {"leap", leap_command_args},
    {"fx", fx_command},
    {"draw", draw_command},
    {"turtle", turtle_command},
    {"chatty", chatty_command},
}};

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

CommandReply run_buddy_command(App& app, std::size_t index, std::string_view name,
                               const json& args) {
  Buddy& b = app.crew.buddies[index];
  for (const BuddyCommand& c : kBuddyCommands)
    if (c.name == name) return c.run(app, b, args);
  return fail("unknown command " + std::string(name));
}

CommandReply run_command(App& app, std::string_view name, const json& args) {
  for (const AppCommand& c : kAppCommands) {
    if (c.name != name) continue;
    if (!c.any_args && !args.is_object()) return fail("args must be an object");
    return c.run(app, args);
  }
  if (!args.is_object()) return fail("args must be an object");

  auto targets = resolve_targets(app.crew, json_member(args, "id"), false);
  if (!targets.ok()) return fail(targets.error);
  json rest = args;
  rest.erase("id");
  const std::vector<std::size_t>& list = *targets;
  std::string first;
  for (std::size_t k = 0; k < list.size(); ++k) {
    CommandReply r = run_buddy_command(app, list[k], name, rest);
    if (!r.ok) return r;
    if (k == 0) first = std::move(r.msg);
  }
  if (list.size() == 1) return ok(first);
  return ok(std::to_string(list.size()) + " buddies: " + first);
}

void handle_commands(App& app) {
  if (!app.commands) return;
  // Only what waited when the drain began: a client that sends its next request the moment it
  // is answered would otherwise keep this one tick, and the whole world, going for as long as it
  // likes. Later requests wait for the next tick.
  for (std::size_t waiting = app.commands->size(); waiting > 0; --waiting) {
    std::optional<CommandRequest> request = app.commands->try_receive();
    if (!request) break;
    request->answer(run_command(app, request->name, request->args));
  }
}

void summon_everyone(App& app) {
  Crew& crew = app.crew;
  const std::size_t n = crew.buddies.size();
  if (n == 0) return;
  const CursorPos cursor = app.desktop->cursor();
  const double u = std::max(round_half_away(app.settings.size * app.display_scale), 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    const double offset = 18.0 * u * (static_cast<double>(i) - static_cast<double>(n - 1) / 2.0);
    const double x = std::clamp(cursor.x + offset, app.screen.left + 20.0, app.screen.right - 20.0);
    (void)run_buddy_command(app, i, "leap", json{{"x", x}, {"y", cursor.y}});
  }
}

void remove_every_buddy(App& app) { app.crew.truncate(0); }

}  // namespace perchkin
