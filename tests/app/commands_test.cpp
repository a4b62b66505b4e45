// The command set through run_command: argument rules, messages, replies.
#include "app/app.h"
#include "app_fixture.h"
#include "app/commands.h"
#include "base/command_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>

namespace perchkin {
namespace {

struct Commands : test::AppFixture {
  void SetUp() override {
    start(12, 31337);
    settle(2.0);
  }
  void settle(double seconds) { ticks(static_cast<int>(seconds * 60)); }
  std::string msg(const char* name, const json& args) { return run_command(app, name, args).msg; }
  bool ok(const char* name, const json& args) { return run_command(app, name, args).ok; }
};

const std::string kActs =
    "idle, sit, sleep, wave, dance, happy, jump, type, backflip, spin, explode, dizzy, angry, "
    "love, think, scared, celebrate, chase";

TEST_F(Commands, OneDrainTakesOnlyWhatWaitedSoAFloodCannotHoldTheTick) {
  ASSERT_TRUE(ok("crew", {{"add", 49}}));
  app.platform.commands = std::make_shared<CommandChannel>();
  // A client that keeps eight requests waiting, sending the next the moment one is answered.
  constexpr std::size_t kInFlight = 8;
  std::atomic<int> answered{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::thread client([&] {
    std::deque<ReplyReceiver> waiting;
    for (int sent = 0; sent < 5000 && !stop;) {
      if (waiting.size() < kInFlight) {
        ReplyPair reply = make_reply_channel();
        if (!app.platform.commands->send({"status", json::object(), std::move(reply.sender)}))
          break;
        waiting.push_back(std::move(reply.receiver));
        ++sent;
        continue;
      }
      if (!waiting.front().wait_until(std::chrono::steady_clock::now() + std::chrono::seconds(5)))
        break;
      waiting.pop_front();
      answered += 1;
    }
    done = true;
  });
  while (app.platform.commands->size() < kInFlight) std::this_thread::yield();
  handle_commands(app);
  const int in_one_drain = answered.load();
  stop = true;
  while (!done) handle_commands(app);
  client.join();
  handle_commands(app);  // whatever the client left unanswered
  EXPECT_LE(in_one_drain, static_cast<int>(kInFlight));
}

TEST_F(Commands, DispatchAndArgs) {
  EXPECT_EQ(msg("quit", json(5)), "bye");
  EXPECT_FALSE(app.running);
  app.running = true;
  EXPECT_EQ(msg("status", json(5)), "args must be an object");
  EXPECT_EQ(msg("dance", json::object()), "unknown command dance");
  EXPECT_EQ(msg("Status", json::object()), "unknown command Status");
  EXPECT_EQ(msg("studio", json::object()).rfind("Could not open Perchkin Studio: ", 0), 0u);
}

TEST_F(Commands, TargetResolution) {
  ASSERT_TRUE(ok("crew", {{"add", 5}}));
  ASSERT_TRUE(ok("crew", {{"remove", 1}}));
  ASSERT_TRUE(ok("crew", {{"remove", "3"}}));
  ASSERT_TRUE(ok("crew", {{"remove", "+4"}}));
  EXPECT_EQ(app.world.crew.ids_text(), "0,2,5");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", 7}}), "no buddy with id 7; ids are 0,2,5");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", "7"}}), "no buddy with id 7; ids are 0,2,5");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", -1}}), "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", 2.5}}), "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", "+"}}), "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", "ALL"}}), "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", json::array({2})}}),
            "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", 4294967298ull}}),
            "no buddy with id 4294967298; ids are 0,2,5");
  // Too many digits for any id: still a buddy id, of nobody.
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", "99999999999999999999999"}}),
            "no buddy with id 99999999999999999999999; ids are 0,2,5");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", "+000099999999999999999999"}}),
            "no buddy with id 99999999999999999999; ids are 0,2,5");
  EXPECT_EQ(msg("crew", {{"remove", "99999999999999999999999"}}),
            "no buddy with id 99999999999999999999999; ids are 0,2,5");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", ""}}), "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("act", {{"action", "wave"}, {"id", "9999999999999999999x"}}),
            "id must be a buddy id or 'all'");
  EXPECT_EQ(msg("chatty", {{"on", false}, {"id", "+2"}}), "quiet");
  EXPECT_FALSE(app.world.crew.buddies[1].world.chatty);
  EXPECT_TRUE(app.world.crew.buddies[0].world.chatty);
  EXPECT_EQ(msg("act", {{"action", "dance"}, {"id", "all"}}), "3 buddies: ok");
  EXPECT_EQ(msg("chatty", {{"id", nullptr}}), "quiet");
}

TEST_F(Commands, FirstFailureEndsAMultiTargetCommand) {
  ASSERT_TRUE(ok("crew", {{"add", 2}}));
  settle(3.0);
  app.world.crew.buddies[1].motion.mode = BuddyMode::held;
  EXPECT_EQ(msg("leap", {{"x", 100}, {"y", 100}, {"id", "all"}}),
            "he is being held by the mouse right now");
  EXPECT_EQ(app.world.crew.buddies[0].motion.mode,
            BuddyMode::fall);  // the first one leapt
  EXPECT_NE(app.world.crew.buddies[2].motion.mode,
            BuddyMode::fall);  // the third never ran
}

TEST_F(Commands, Crew) {
  EXPECT_EQ(msg("crew", json::object()), "1 buddies, ids 0");
  EXPECT_EQ(msg("crew", {{"add", "3"}}), "add must be a number");
  EXPECT_EQ(msg("crew", {{"add", 0}}), "2 buddies, ids 0,1");
  EXPECT_EQ(msg("crew", {{"add", 1}, {"color", "mauve"}}),
            "color must be one of: orange, blue, green, purple, pink, yellow, teal, red, white, black");
  EXPECT_EQ(msg("crew", {{"add", 3}, {"size", 6}}), "5 buddies, ids 0,1,2,3,4");
  for (const Buddy& b : app.world.crew.buddies) EXPECT_EQ(b.motion.unit, 6.0);
  EXPECT_EQ(msg("crew", {{"size", "big"}}), "size must be a number");
  EXPECT_EQ(msg("crew", {{"size", 2}, {"id", 3}}), "5 buddies, ids 0,1,2,3,4");
  EXPECT_EQ(app.world.crew.buddies[3].motion.unit, 2.0);
  EXPECT_EQ(app.world.crew.buddies[2].motion.unit, 6.0);
  EXPECT_EQ(msg("crew", {{"remove", 9}}), "no buddy with id 9; ids are 0,1,2,3,4");
  EXPECT_EQ(msg("crew", {{"remove", "all"}}), "1 buddies, ids 0");
  EXPECT_EQ(msg("crew", {{"remove", "all"}}), "1 buddies, ids 0");
  EXPECT_EQ(msg("crew", {{"remove", nullptr}}), "the last buddy stays");
  const std::string full = msg("crew", {{"add", 500}});
  EXPECT_EQ(full, "200 buddies, ids " + app.world.crew.ids_text());
  EXPECT_EQ(app.world.crew.buddies.size(), 200u);
}

TEST_F(Commands, SayActWalkLeapFxChatty) {
  EXPECT_EQ(msg("say", {{"text", "   "}}), "say needs some text");
  EXPECT_EQ(msg("say", {{"text", 5}}), "say needs some text");
  EXPECT_EQ(msg("say", {{"text", "hi"}, {"seconds", "long"}}), "seconds must be a number");
  EXPECT_EQ(msg("say", {{"text", "hi"}, {"act", "fly"}}), "act must be one of: " + kActs);
  EXPECT_EQ(msg("say", {{"text", "hi"}, {"act", 3}}), "act must be one of: " + kActs);
  EXPECT_EQ(msg("say", {{"text", std::string(300, 'a')}, {"seconds", 0.2}}), "said");
  const Buddy& b = app.world.crew.buddies[0];
  EXPECT_EQ(b.speech.bubble_text.size(), 200u);
  EXPECT_NEAR(b.speech.bubble_until - b.mind.now, 1.0, 1e-9);
  EXPECT_EQ(msg("say", {{"text", "hi"}, {"seconds", 600}}), "said");
  EXPECT_NEAR(b.speech.bubble_until - b.mind.now, 60.0, 1e-9);

  EXPECT_EQ(msg("act", json::object()), "action must be one of: " + kActs);
  EXPECT_EQ(msg("act", {{"action", "Dance"}}), "action must be one of: " + kActs);

  EXPECT_EQ(msg("walk", {{"to", "Left"}}), "to must be cursor, left, right, center or an x pixel");
  EXPECT_EQ(msg("walk", json::object()), "to must be cursor, left, right, center or an x pixel");
  EXPECT_EQ(msg("walk", {{"to", 99999}}), "walking to x=1920");
  EXPECT_EQ(msg("walk", {{"to", "center"}}), "walking to x=960");
  EXPECT_EQ(msg("walk", {{"to", -12.5}}), "walking to x=0");

  EXPECT_EQ(msg("leap", {{"y", 5}}), "x must be a number");
  EXPECT_EQ(msg("leap", {{"x", 5}}), "y must be a number");
  EXPECT_EQ(msg("leap", {{"x", "5"}, {"y", 5}}), "x must be a number");

  EXPECT_EQ(msg("fx", {{"kind", "rain"}}),
            "kind must be one of: confetti, fireworks, hearts, sparkle, snow");
  EXPECT_EQ(msg("fx", json::object()),
            "kind must be one of: confetti, fireworks, hearts, sparkle, snow");
  EXPECT_EQ(msg("fx", {{"kind", "snow"}, {"x", "a"}}), "x must be a number");
  EXPECT_EQ(msg("fx", {{"kind", "snow"}, {"y", true}}), "y must be a number");
  EXPECT_EQ(msg("fx", {{"kind", "confetti"}}), "confetti");

  EXPECT_EQ(msg("chatty", json::object()), "quiet");
  EXPECT_EQ(msg("chatty", json::object()), "chatty");
  EXPECT_EQ(msg("chatty", {{"on", true}}), "chatty");
  EXPECT_EQ(msg("chatty", {{"on", "no"}}), "quiet");
}

// A null number argument is given and is not a number; only leaving it out takes the default.
TEST_F(Commands, NullIsNotANumber) {
  const json style = {{"kind", "line"}, {"pts", {{1, 2}, {3, 4}}}};
  const auto with = [](json args, const char* key) {
    args[key] = nullptr;
    return args;
  };
  EXPECT_EQ(msg("say", with({{"text", "hi"}}, "seconds")), "seconds must be a number");
  EXPECT_EQ(msg("draw", with(style, "width")), "width must be a number");
  EXPECT_EQ(msg("draw", with(style, "ttl")), "ttl must be a number");
  EXPECT_EQ(msg("draw", with({{"kind", "fire"}, {"pts", {{1, 2}}}}, "size")),
            "size must be a number");
  EXPECT_EQ(msg("draw", with({{"kind", "text"}, {"text", "hi"}, {"pts", {{1, 2}}}}, "size")),
            "size must be a number");
  EXPECT_EQ(msg("fx", with({{"kind", "snow"}}, "x")), "x must be a number");
  EXPECT_EQ(msg("fx", with({{"kind", "snow"}}, "y")), "y must be a number");
  EXPECT_EQ(msg("turtle", with({{"prog", "fd 10"}}, "x")), "x must be a number");
  EXPECT_EQ(msg("turtle", with({{"prog", "fd 10"}}, "y")), "y must be a number");
  EXPECT_EQ(msg("leap", {{"x", nullptr}, {"y", 5}}), "x must be a number");
  EXPECT_EQ(msg("crew", {{"add", nullptr}}), "add must be a number");
  EXPECT_EQ(msg("crew", {{"size", nullptr}}), "size must be a number");
  EXPECT_EQ(msg("say", {{"text", "hi"}}), "said");
  EXPECT_EQ(msg("fx", {{"kind", "snow"}}), "snow");
}

TEST_F(Commands, StatusIsSortedJsonWithNullForNonFinite) {
  app.world.crew.buddies[0].motion.x = std::numeric_limits<double>::quiet_NaN();
  const std::string text = msg("status", json::object());
  auto doc = parse_json(text);
  ASSERT_TRUE(doc);
  EXPECT_TRUE((*doc)["buddies"][0]["x"].is_null());
  EXPECT_EQ(text.rfind("{\"buddies\":[{\"id\":0,\"mode\":", 0), 0u);
  EXPECT_LT(text.find("\"cursor\""), text.find("\"screen\""));
  EXPECT_LT(text.find("\"screen\""), text.find("\"typing\""));
}

TEST_F(Commands, CrewWideActions) {
  ASSERT_TRUE(ok("crew", {{"add", 2}}));
  settle(3.0);
  desktop.pointer = {10, 500};
  summon_everyone(app);
  // Three buddies at size 9: offsets -162, 0, 162 around the cursor, kept 20 px inside.
  for (const Buddy& b : app.world.crew.buddies) EXPECT_EQ(b.motion.mode, BuddyMode::fall);
  remove_every_buddy(app);
  EXPECT_TRUE(app.world.crew.buddies.empty());
  EXPECT_EQ(msg("walk", {{"to", 5}}), "there are no buddies right now; add one with crew");
  summon_everyone(app);  // nothing to do
  EXPECT_EQ(msg("crew", {{"add", 1}}), "1 buddies, ids 3");  // ids are never reused
}

// A word the table offers (an act, a draw kind, an effect) but the command behind it does not
// take would be shown to assistants and then refused.
TEST_F(Commands, EveryWordTheTableOffersIsTaken) {
  ASSERT_TRUE(ok("crew", {{"add", 19}}));
  std::size_t next = 0;
  for (const CommandEntry& command : kCommandTable) {
    for (const CommandArg& a : command.args) {
      if (a.type != ArgType::word) continue;
      for (std::string_view word : a.words) {
        // One buddy each, so that no pencil queue fills up.
        const std::uint32_t id = app.world.crew.buddies[next++ % app.world.crew.buddies.size()].id;
        const json args = {{std::string(a.name), word}, {"id", id}, {"text", "hi"},
                           {"pts", {{300, 300}, {500, 400}}}};
        const CommandReply r = run_command(app, command.name, args);
        EXPECT_TRUE(r.ok) << command.name << " " << word << ": " << r.msg;
      }
    }
  }
}

}  // namespace
}  // namespace perchkin
