// The command port over real loopback sockets, with a fake user-interface thread answering.
#include "ipc/port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace perchkin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Drains the channel like the frame loop does and answers "did <name>"; records every command
// it carried out. pause() holds it up to simulate a stalled frame. A padding makes every reply
// that much longer.
class FakeUi {
 public:
  explicit FakeUi(std::shared_ptr<CommandChannel> channel, std::size_t padding = 0)
      : channel_(std::move(channel)), padding_(padding) {
    thread_ = std::thread([this] { run(); });
  }
  ~FakeUi() {
    stop_ = true;
    thread_.join();
  }
  void pause(bool paused) { paused_ = paused; }
  std::vector<std::string> done() {
    std::lock_guard lock(mutex_);
    return done_;
  }
  std::vector<json> args() {
    std::lock_guard lock(mutex_);
    return args_;
  }

 private:
  void run() {
    while (!stop_) {
      if (!paused_) {
        while (auto request = channel_->try_receive()) {
          {
            std::lock_guard lock(mutex_);
            done_.push_back(request->name);
            args_.push_back(request->args);
          }
          request->answer({true, "did " + request->name + std::string(padding_, '.')});
        }
      }
      std::this_thread::sleep_for(1ms);
    }
  }

  std::shared_ptr<CommandChannel> channel_;
  std::size_t padding_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::mutex mutex_;
  std::vector<std::string> done_;
  std::vector<json> args_;
};

std::uint16_t start_port(const std::shared_ptr<CommandChannel>& channel, PortLimits limits = {}) {
  Result<Listener> listener = bind_listener(0);
  EXPECT_TRUE(listener.ok()) << listener.error;
  if (!listener.ok()) return 0;
  EXPECT_NE(listener->port, 0);
  EXPECT_TRUE(start_accept_thread(*listener, channel, limits));
  return listener->port;
}

// A raw client for checking exact bytes.
struct RawClient {
  net::SocketHandle socket = net::kNoSocket;
  explicit RawClient(std::uint16_t port) {
    socket = net::connect_loopback(port, 5000, nullptr).value_or(net::kNoSocket);
    EXPECT_NE(socket, net::kNoSocket);
    net::set_receive_timeout(socket, 10000);
  }
  ~RawClient() { net::close_socket(socket); }
  void write(const std::string& bytes) const {
    EXPECT_TRUE(net::write_all(socket, bytes.data(), bytes.size()));
  }
  // One line, or what came before end of stream.
  std::string read_line() const {
    std::string line;
    char c = 0;
    while (net::read_some(socket, &c, 1, nullptr) == 1) {
      line += c;
      if (c == '\n') break;
    }
    return line;
  }
  // True when the server closed the connection (end of stream or reset).
  bool closed_by_server() const {
    char c = 0;
    return net::read_some(socket, &c, 1, nullptr) <= 0;
  }
};

TEST(Port, AnswersPipelinedRequestsInOrderWithExactBytes) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  RawClient client(start_port(channel));
  client.write("{\"cmd\":\"walk\",\"args\":{\"x\":400}}\n{\"cmd\":\"status\"}\r\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"did walk\",\"ok\":true}\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"did status\",\"ok\":true}\n");
  EXPECT_EQ(ui.args(), (std::vector<json>{{{"x", 400}}, json::object()}));
  // The connection stays open for more.
  client.write("{\"cmd\":\"say\",\"args\":\"hi\"}\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"did say\",\"ok\":true}\n");
  EXPECT_EQ(ui.args().back(), json("hi"));
}

TEST(Port, DeepestAllowedArgumentsFitTheSmallConnectionStack) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  RawClient client(start_port(channel));
  client.write("{\"cmd\":\"turtle\",\"args\":" + std::string(127, '[') + std::string(127, ']') +
               "}\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"did turtle\",\"ok\":true}\n");
  client.write("{\"cmd\":\"turtle\",\"args\":" + std::string(5000, '[') + "}\n");
  EXPECT_EQ(client.read_line(), kBadRequestReply);
}

TEST(Port, BadRequestGetsTheFixedReplyAndAClosedConnection) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  std::uint16_t port = start_port(channel);
  for (std::string bytes : {"{\"cmd\":5}\n", "[1,2]\n", "hello\n", "\n{\"cmd\":\"walk\"}\n"}) {
    RawClient client(port);
    client.write(bytes);
    EXPECT_EQ(client.read_line(), kBadRequestReply) << bytes;
    EXPECT_TRUE(client.closed_by_server()) << bytes;
  }
  EXPECT_TRUE(ui.done().empty());  // the walk after the empty line never ran
}

TEST(Port, RequestLineIsCutAt262144Bytes) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  std::uint16_t port = start_port(channel);
  const std::string head = "{\"cmd\":\"say\",\"args\":{\"text\":\"";
  const std::string tail = "\"}}\n";
  std::size_t fill = kMaxRequestLineBytes - head.size() - tail.size();
  {
    RawClient client(port);
    client.write(head + std::string(fill, 'a') + tail);
    EXPECT_EQ(client.read_line(), "{\"msg\":\"did say\",\"ok\":true}\n");
    EXPECT_EQ(ui.args().back()["text"].get<std::string>().size(), fill);
  }
  {
    // Three bytes over: the cut falls inside the string.
    RawClient client(port);
    client.write(head + std::string(fill + 3, 'a') + tail);
    EXPECT_EQ(client.read_line(), kBadRequestReply);
    EXPECT_TRUE(client.closed_by_server());
  }
  {
    // No line feed at all: reading still stops at the limit.
    RawClient client(port);
    client.write(std::string(kMaxRequestLineBytes + 50000, ' '));
    EXPECT_EQ(client.read_line(), kBadRequestReply);
  }
  EXPECT_EQ(ui.done().size(), 1u);
}

TEST(Port, StalledUiGetsBusyReplyAndTheCommandStillRuns) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  RawClient client(start_port(channel));
  ui.pause(true);
  auto start = Clock::now();
  client.write("{\"cmd\":\"walk\"}\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"buddy is busy, try again\",\"ok\":false}\n");
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, 2900ms);
  EXPECT_LT(waited, 6s);
  EXPECT_TRUE(ui.done().empty());
  ui.pause(false);
  // The late answer is dropped; the same connection serves the next request normally.
  client.write("{\"cmd\":\"sit\"}\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"did sit\",\"ok\":true}\n");
  EXPECT_EQ(ui.done(), (std::vector<std::string>{"walk", "sit"}));
}

TEST(Port, SilentPeerIsDroppedWithoutReply) {
  auto channel = std::make_shared<CommandChannel>();
  PortLimits limits;
  limits.request_timeout = 200ms;
  RawClient client(start_port(channel, limits));
  client.write("{\"cmd\":\"wa");  // half a request, then silence
  EXPECT_EQ(client.read_line(), "");
  EXPECT_FALSE(channel->try_receive());
}

TEST(Port, ClosedChannelEndsTheConnectionAndDropsQueuedCommands) {
  auto channel = std::make_shared<CommandChannel>();
  RawClient client(start_port(channel));
  client.write("{\"cmd\":\"walk\"}\n");
  std::this_thread::sleep_for(100ms);
  auto start = Clock::now();
  channel->close();
  // The queued command went with the channel, so the busy reply comes without the 3 s wait.
  EXPECT_EQ(client.read_line(), "{\"msg\":\"buddy is busy, try again\",\"ok\":false}\n");
  EXPECT_LT(Clock::now() - start, 2s);
  client.write("{\"cmd\":\"walk\"}\n");
  EXPECT_TRUE(client.closed_by_server());
}

// Waits up to `limit` for the server to close the connection, reading and dropping anything
// else that comes. True when it closed.
bool server_closes_within(const RawClient& client, Clock::duration limit) {
  for (auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    if (net::wait_ready(client.socket, false, 20) != net::Readiness::kReady) continue;
    if (client.closed_by_server()) return true;
  }
  return false;
}

TEST(Port, TricklingBytesDoNotExtendTheWaitForACompleteRequest) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  PortLimits limits;
  limits.request_timeout = 300ms;
  RawClient client(start_port(channel, limits));
  // A complete request restarts the clock...
  std::this_thread::sleep_for(200ms);
  client.write("{\"cmd\":\"hi\"}\n");
  EXPECT_EQ(client.read_line(), "{\"msg\":\"did hi\",\"ok\":true}\n");
  // ...a byte every 30 ms without a line feed does not.
  auto start = Clock::now();
  bool closed = false;
  while (!closed && Clock::now() - start < 3s) {
    net::write_all(client.socket, "x", 1);  // fails once the server is gone
    if (net::wait_ready(client.socket, false, 30) == net::Readiness::kReady) {
      closed = client.closed_by_server();
    }
  }
  auto lasted = Clock::now() - start;
  EXPECT_TRUE(closed);
  EXPECT_GE(lasted, 250ms);
  EXPECT_LT(lasted, 1500ms);
  EXPECT_EQ(ui.done(), std::vector<std::string>{"hi"});
}

TEST(Port, PeerThatNeverReadsItsRepliesIsClosedAfterTheWriteTimeOut) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel, 64 << 10);  // replies large enough to fill every socket buffer
  PortLimits limits;
  limits.write_timeout = 300ms;
  RawClient client(start_port(channel, limits));
  std::string burst;
  while (burst.size() < (64u << 10)) burst += "{\"cmd\":\"big\"}\n";
  // Pipelines requests and never reads. Its own writes block once the server stops reading; they
  // fail when the server gives up and closes.
  std::atomic<bool> failed{false};
  std::thread pipeliner([&] {
    while (net::write_all(client.socket, burst.data(), burst.size())) {
    }
    failed = true;
  });
  auto start = Clock::now();
  while (!failed && Clock::now() - start < 10s) std::this_thread::sleep_for(10ms);
  auto lasted = Clock::now() - start;
  net::shutdown_both(client.socket);  // frees the writer if the server never let go
  pipeliner.join();
  EXPECT_TRUE(failed);
  EXPECT_GE(lasted, 300ms);
  EXPECT_LT(lasted, 5s);
}

TEST(Port, FullHouseClosesTheConnectionWaitingLongestForARequest) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  PortLimits limits;
  limits.max_connections = 3;
  std::uint16_t port = start_port(channel, limits);
  auto ask = [](const RawClient& client) {
    client.write("{\"cmd\":\"hi\"}\n");
    return client.read_line() == "{\"msg\":\"did hi\",\"ok\":true}\n";
  };
  RawClient oldest(port);
  EXPECT_TRUE(ask(oldest));
  RawClient stalled(port);
  stalled.write("{\"cmd\":\"wa");  // half a request, then nothing
  std::this_thread::sleep_for(50ms);
  // The oldest connection asks again after the stalled one opened, so it has waited less.
  EXPECT_TRUE(ask(oldest));
  RawClient third(port);
  EXPECT_TRUE(ask(third));

  // The newcomer is served, not turned away.
  SendResult result = send_command(port, "quit", json::object());
  ASSERT_TRUE(std::holds_alternative<CommandReply>(result)) << std::get<SendFailure>(result).error;
  EXPECT_EQ(std::get<CommandReply>(result).msg, "did quit");
  EXPECT_TRUE(server_closes_within(stalled, 2s));
  EXPECT_TRUE(ask(oldest));
  EXPECT_TRUE(ask(third));
}

TEST(Port, DrainAfterABadRequestEndsInBoundedTimeForASlowSender) {
  auto channel = std::make_shared<CommandChannel>();
  PortLimits limits;
  limits.drain_time = 300ms;
  RawClient client(start_port(channel, limits));
  client.write("hello\n");
  EXPECT_EQ(client.read_line(), kBadRequestReply);
  // A byte every 20 ms never leaves the drain silent for long; only its total time ends it.
  auto start = Clock::now();
  bool refused = false;
  while (!refused && Clock::now() - start < 3s) {
    refused = !net::write_all(client.socket, "x", 1);
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(refused);
  EXPECT_LT(Clock::now() - start, 1500ms);
}

TEST(SendCommand, RoundTripsThroughThePort) {
  auto channel = std::make_shared<CommandChannel>();
  FakeUi ui(channel);
  std::uint16_t port = start_port(channel);
  SendResult result = send_command(port, "say", {{"text", "hi"}});
  ASSERT_TRUE(std::holds_alternative<CommandReply>(result));
  EXPECT_TRUE(std::get<CommandReply>(result).ok);
  EXPECT_EQ(std::get<CommandReply>(result).msg, "did say");
  EXPECT_EQ(ui.args(), std::vector<json>{json({{"text", "hi"}})});
}

TEST(SendCommand, NothingListeningIsReportedAsRefused) {
  Result<Listener> throwaway = bind_listener(0);
  ASSERT_TRUE(throwaway.ok());
  std::uint16_t port = throwaway->port;
  close_listener(*throwaway);
  SendResult result = send_command(port, "quit", json::object());
  ASSERT_TRUE(std::holds_alternative<SendFailure>(result));
  EXPECT_TRUE(std::get<SendFailure>(result).refused);
  EXPECT_EQ(std::get<SendFailure>(result).error, "connection refused");
}

TEST(SendCommand, TakenPortCannotBeBoundTwice) {
  Result<Listener> first = bind_listener(0);
  ASSERT_TRUE(first.ok());
  const Result<Listener> second = bind_listener(first->port);
  EXPECT_FALSE(second.ok());
  EXPECT_FALSE(second.error.empty());
  close_listener(*first);
}

// A server that answers every connection with fixed bytes, then closes.
std::uint16_t fixed_reply_server(std::string bytes) {
  Result<Listener> listener = bind_listener(0);
  EXPECT_TRUE(listener.ok());
  if (!listener.ok()) return 0;
  std::thread([socket = listener->socket, bytes] {
    for (;;) {
      auto peer = net::accept_connection(socket);
      if (!peer) continue;
      char buffer[256];
      net::read_some(*peer, buffer, sizeof buffer, nullptr);
      net::write_all(*peer, bytes.data(), bytes.size());
      net::close_socket(*peer);
    }
  }).detach();
  return listener->port;
}

TEST(SendCommand, NonJsonOrMissingReplyMeansTheBuddyClosedTheConnection) {
  for (std::string bytes : {"", "nope\n", "{\"msg\":\"half"}) {
    SendResult result = send_command(fixed_reply_server(bytes), "status", json::object());
    ASSERT_TRUE(std::holds_alternative<SendFailure>(result)) << bytes;
    EXPECT_EQ(std::get<SendFailure>(result).error, "buddy closed the connection");
    EXPECT_FALSE(std::get<SendFailure>(result).refused);
  }
}

TEST(SendCommand, SilentCompanionTimesOutAfterFiveSeconds) {
  Result<Listener> listener = bind_listener(0);
  ASSERT_TRUE(listener.ok());
  // Accepted by the backlog, never answered.
  auto start = Clock::now();
  SendResult result = send_command(listener->port, "status", json::object());
  auto waited = Clock::now() - start;
  ASSERT_TRUE(std::holds_alternative<SendFailure>(result));
  EXPECT_EQ(std::get<SendFailure>(result).error, "timed out");
  EXPECT_FALSE(std::get<SendFailure>(result).refused);
  EXPECT_GE(waited, 4900ms);
  EXPECT_LT(waited, 8s);
  close_listener(*listener);
}

}  // namespace
}  // namespace perchkin
