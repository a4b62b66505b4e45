// The real perchkin process in headless mode, spoken to over TCP.
#include "ipc/port.h"
#include "ipc/socket.h"
#include "base/json.h"

#include <gtest/gtest.h>

#include "test_env.h"

#ifndef _WIN32
#include "child_process.h"
#endif

#ifndef _WIN32
#include <csignal>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace perchkin {
namespace {

using namespace std::chrono_literals;

using test::free_port;

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A child process with its standard output and error in files.
struct Child {
  pid_t pid = -1;
  std::string out_path;
  std::string err_path;

  static Child start(std::vector<std::string> args) {
    static int counter = 0;
    Child c;
    const std::string base = ::testing::TempDir() + "perchkin-child-" +
                             std::to_string(::getpid()) + "-" + std::to_string(counter++);
    c.out_path = base + ".out";
    c.err_path = base + ".err";
    args.insert(args.begin(), PERCHKIN_EXE);
    c.pid = test::spawn(std::move(args), c.err_path, c.out_path);
    EXPECT_GT(c.pid, 0);
    return c;
  }

  // The exit code, or -1 when it did not end in time (it is then killed).
  int wait(std::chrono::milliseconds limit) {
    const int code = test::wait_exit(pid, limit);
    pid = -1;
    return code;
  }

  void kill() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }

  std::string out() const { return read_text(out_path); }
  std::string err() const { return read_text(err_path); }
};

// A headless companion on a free port, quit at the end of the test.
class Companion : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = free_port();
    child_ = Child::start({"--headless", "--port", std::to_string(port_)});
    // Wait until it answers.
    for (int i = 0; i < 200; ++i) {
      if (std::holds_alternative<CommandReply>(send_command(port_, "status", json::object())))
        return;
      std::this_thread::sleep_for(25ms);
    }
    FAIL() << "the companion did not start: " << child_.err();
  }
  void TearDown() override {
    (void)send_command(port_, "quit", json::object());
    EXPECT_EQ(child_.wait(10s), 0) << child_.err();
  }

  // Sends raw bytes on one connection and reads until the peer closes or `replies` lines came.
  std::string exchange(std::string_view bytes, std::size_t replies) {
    net::SocketError error;
    auto s = net::connect_loopback(port_, 5000, &error);
    EXPECT_TRUE(s) << error.message;
    if (!s) return {};
    net::set_receive_timeout(*s, 5000);
    EXPECT_TRUE(net::write_all(*s, bytes.data(), bytes.size()));
    std::string got;
    char buffer[4096];
    while (static_cast<std::size_t>(std::count(got.begin(), got.end(), '\n')) < replies) {
      const auto n = net::read_some(*s, buffer, sizeof buffer, &error);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    net::close_socket(*s);
    return got;
  }

  // True when the server closed the connection after the bad-request reply.
  bool closed_after(std::string_view bytes, std::string* reply) {
    net::SocketError error;
    auto s = net::connect_loopback(port_, 5000, &error);
    if (!s) return false;
    net::set_receive_timeout(*s, 5000);
    net::write_all(*s, bytes.data(), bytes.size());
    char buffer[4096];
    std::ptrdiff_t n;
    while ((n = net::read_some(*s, buffer, sizeof buffer, &error)) > 0)
      reply->append(buffer, static_cast<std::size_t>(n));
    net::close_socket(*s);
    return n == 0;
  }

  std::uint16_t port_ = 0;
  Child child_;
};

TEST_F(Companion, MalformedRequestsGetTheFixedReplyAndAClosedConnection) {
  for (std::string_view bad : {"hello\n", "{\"cmd\":5}\n", "[1,2]\n", "\nmore\n",
                               "{\"cmd\":\"status\"} x\n"}) {
    std::string reply;
    EXPECT_TRUE(closed_after(bad, &reply)) << bad;
    EXPECT_EQ(reply, "{\"ok\":false,\"msg\":\"bad request\"}\n") << bad;
    EXPECT_EQ(reply.size(), 33u);
  }
}

TEST_F(Companion, ArgsAbsentNullAndPipelined) {
  const std::string got = exchange(
      "{\"cmd\":\"crew\"}\n{\"cmd\":\"crew\",\"args\":null}  \r\n"
      "{\"cmd\":\"crew\",\"args\":{\"add\":2}}\n{\"cmd\":\"say\",\"args\":\"hi\"}\n",
      4);
  EXPECT_EQ(got,
            "{\"msg\":\"1 buddies, ids 0\",\"ok\":true}\n"
            "{\"msg\":\"1 buddies, ids 0\",\"ok\":true}\n"
            "{\"msg\":\"3 buddies, ids 0,1,2\",\"ok\":true}\n"
            "{\"msg\":\"args must be an object\",\"ok\":false}\n");
}

TEST_F(Companion, StatusPerfAndUnknownCommands) {
  auto status = send_command(port_, "status", json::object());
  ASSERT_TRUE(std::holds_alternative<CommandReply>(status));
  auto doc = parse_json(std::get<CommandReply>(status).msg);
  ASSERT_TRUE(doc);
  EXPECT_EQ((*doc)["screen"].dump(), "[0,0,1920,1080]");
  EXPECT_EQ((*doc)["buddies"].size(), 1u);
  auto perf = std::get<CommandReply>(send_command(port_, "perf", json::object()));
  EXPECT_TRUE(std::regex_match(perf.msg, std::regex(R"(tick avg \d+\.\dms max \d+\.\dms; frame gap avg \d+\.\dms p95 \d+\.\dms max \d+\.\dms)")))
      << perf.msg;
  auto unknown = std::get<CommandReply>(send_command(port_, "dance", json::object()));
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.msg, "unknown command dance");
}

TEST_F(Companion, SecondLaunchOnATakenPortAndTheQuitClient) {
  Child second = Child::start({"--headless", "--port", std::to_string(port_)});
  EXPECT_EQ(second.wait(10s), 1);
  EXPECT_EQ(second.err(), "Perchkin is already running on port " + std::to_string(port_) + ".\n");
  Child quit = Child::start({"--quit", "--port", std::to_string(port_)});
  EXPECT_EQ(quit.wait(10s), 0);
  EXPECT_EQ(quit.out(), "bye\n");
  EXPECT_EQ(child_.wait(10s), 0);
  Child again = Child::start({"--quit", "--port", std::to_string(port_)});
  EXPECT_EQ(again.wait(10s), 1);
  EXPECT_EQ(again.out(), "buddy is not running\n");
  // Restart so TearDown has someone to quit.
  child_ = Child::start({"--headless", "--port", std::to_string(port_)});
  for (int i = 0; i < 200; ++i) {
    if (std::holds_alternative<CommandReply>(send_command(port_, "status", json::object())))
      break;
    std::this_thread::sleep_for(25ms);
  }
}

// A scripted session over the real port; every command gets exactly one answer.
TEST_F(Companion, ScenarioOverThePort) {
  const auto call = [&](const char* name, json args) {
    auto r = send_command(port_, name, args);
    EXPECT_TRUE(std::holds_alternative<CommandReply>(r)) << name;
    return std::holds_alternative<CommandReply>(r) ? std::get<CommandReply>(r) : CommandReply{};
  };
  const auto status = [&] {
    auto doc = parse_json(call("status", json::object()).msg);
    EXPECT_TRUE(doc);
    return doc ? *doc : json::object();
  };
  EXPECT_EQ(call("crew", {{"add", 9}}).msg, "10 buddies, ids 0,1,2,3,4,5,6,7,8,9");
  EXPECT_EQ(call("draw", {{"kind", "platform"}, {"pts", {{600, 700}, {1000, 700}}}}).msg,
            "drawing platform");
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(call("leap", {{"x", 800}, {"y", 690}, {"id", "all"}}).msg,
            "10 buddies: leaping to 800,690");
  std::this_thread::sleep_for(2s);
  int up_high = 0;
  const json after_leap = status();
  for (const auto& b : after_leap["buddies"])
    if (b["on"] == "drawn" || b["on"] == "buddy") ++up_high;
  EXPECT_GE(up_high, 1);
  EXPECT_EQ(call("draw", {{"kind", "bomb"}, {"pts", {{850, 640}}}, {"id", 1}}).msg, "drawing bomb");
  EXPECT_EQ(call("draw", {{"kind", "fire"}, {"pts", {{300, 1080}}}, {"id", 2}}).msg, "drawing fire");
  EXPECT_EQ(call("draw", {{"kind", "cloud"}, {"pts", {{300, 950}}}, {"id", 3}}).msg, "drawing cloud");
  EXPECT_EQ(call("turtle", {{"prog", "repeat 36 [fd 10 rt 10]"}, {"id", 4}}).msg, "drawing 37 points");
  EXPECT_EQ(call("fx", {{"kind", "fireworks"}}).msg, "fireworks");
  EXPECT_EQ(call("draw", {{"kind", "star"}, {"pts", {{1, 2}, {3}}}}).msg, "each point must be [x, y]");
  EXPECT_EQ(call("say", {{"text", ""}}).msg, "say needs some text");
  std::this_thread::sleep_for(5s);
  EXPECT_EQ(status()["buddies"].size(), 10u);
  EXPECT_EQ(call("crew", {{"remove", "all"}}).msg, "1 buddies, ids 0");
  EXPECT_EQ(status()["buddies"].size(), 1u);
}

// "crew add 29" on a fresh companion: the newcomers fly out of buddy 0 without knocking it off
// the floor, and 12 s later every buddy's feet are on the screen.
TEST_F(Companion, ACrewOfThirtyLeavesTheFirstStandingAndStaysOnTheScreen) {
  const auto status = [&] {
    auto r = send_command(port_, "status", json::object());
    EXPECT_TRUE(std::holds_alternative<CommandReply>(r));
    auto doc = std::holds_alternative<CommandReply>(r) ? parse_json(std::get<CommandReply>(r).msg)
                                                       : std::nullopt;
    return doc ? *doc : json::object();
  };
  for (int i = 0; i < 100 && status()["buddies"][0]["on"] != "floor"; ++i)
    std::this_thread::sleep_for(50ms);
  std::this_thread::sleep_for(500ms);  // past the landing squat
  ASSERT_EQ(status()["buddies"][0]["on"], "floor");
  const auto added = std::chrono::steady_clock::now();
  auto reply = send_command(port_, "crew", {{"add", 29}});
  ASSERT_TRUE(std::holds_alternative<CommandReply>(reply));
  ASSERT_TRUE(std::get<CommandReply>(reply).msg.starts_with("30 buddies"));
  // Knocked over, it would be flying ("fall") within half a second; a hop or an act of its own
  // is not what this is about.
  while (std::chrono::steady_clock::now() - added < 600ms) {
    const json first = status()["buddies"][0];
    ASSERT_NE(first["mode"], "fall") << first.dump();
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_until(added + 12s);
  const json now = status();
  const double left = now["screen"][0].get<double>(), right = now["screen"][2].get<double>();
  ASSERT_EQ(now["buddies"].size(), 30u);
  for (const json& b : now["buddies"]) {
    EXPECT_GE(b["x"].get<double>(), left) << b.dump();
    EXPECT_LE(b["x"].get<double>(), right) << b.dump();
  }
}

TEST(CompanionBench, PrintsOneLinePerSizeAndExits) {
  Child bench = Child::start({"--headless", "--port", std::to_string(free_port()), "--bench", "10,50"});
  ASSERT_EQ(bench.wait(120s), 0) << bench.err();
  const std::string out = bench.out();
  const std::regex line(
      R"(( {2}10| {2}50) buddies \(\d+ settled, \d+ moved\): tick avg \d+\.\dms max \d+\.\dms; frame gap avg \d+\.\dms p95 \d+\.\dms max \d+\.\dms\n)");
  const auto first_end = out.find('\n') + 1;
  EXPECT_TRUE(std::regex_match(out.substr(0, first_end), line)) << out;
  EXPECT_TRUE(std::regex_match(out.substr(first_end), line)) << out;
  EXPECT_EQ(out.rfind("  10 buddies", 0), 0u);
  // The steadier figures go beside it, on standard error.
  const std::regex beside(R"(  50 buddies: processor \d+\.\dms a frame; floor \d+\.\dms a tick\n)");
  EXPECT_TRUE(std::regex_search(bench.err(), beside)) << bench.err();

  Child empty = Child::start({"--headless", "--port", std::to_string(free_port()), "--bench", "none"});
  EXPECT_EQ(empty.wait(10s), 0);
  EXPECT_EQ(empty.out(), "");
}

TEST(CompanionStart, WithoutHeadlessAndNoReachableDisplayFailsWithTheGraphicsMessage) {
  const char* had = std::getenv("DISPLAY");
  const std::string saved = had != nullptr ? had : "";
  testing_env::set("DISPLAY", ":9999");
  Child c = Child::start({"--port", std::to_string(free_port())});
  if (had != nullptr) testing_env::set("DISPLAY", saved);
  else testing_env::unset("DISPLAY");
  EXPECT_EQ(c.wait(10s), 1);
  EXPECT_EQ(c.err().rfind("could not start the graphics: cannot open the X display :9999", 0), 0u)
      << c.err();
}

// An assistant asking for a companion that cannot start hears why at once, not after 8 s.
TEST(CompanionStart, TheMcpServerPassesOnWhyTheCompanionDidNotStart) {
  const char* had = std::getenv("DISPLAY");
  const std::string saved = had != nullptr ? had : "";
  testing_env::set("DISPLAY", ":9999");
  testing_env::set("PERCHKIN_PORT", std::to_string(free_port()));
  const std::string requests =
      R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"t","version":"1"}}}\n)"
      R"({"jsonrpc":"2.0","method":"notifications/initialized"}\n)"
      R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"status","arguments":{}}}\n)";
  const auto started = std::chrono::steady_clock::now();
  const std::string base = ::testing::TempDir() + "perchkin-mcp-" + std::to_string(::getpid());
  const pid_t pid = test::spawn({"sh", "-c", "printf '" + requests + "' | " PERCHKIN_EXE " --mcp"},
                                base + ".err", base + ".out");
  if (had != nullptr) testing_env::set("DISPLAY", saved);
  else testing_env::unset("DISPLAY");
  testing_env::unset("PERCHKIN_PORT");
  EXPECT_EQ(test::wait_exit(pid, 20s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 6s);
  const std::string out = read_text(base + ".out");
  EXPECT_NE(out.find("buddy did not start: could not start the graphics: cannot open the X "
                     "display :9999 (exit code 1)"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace perchkin
#endif
