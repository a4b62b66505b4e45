// Load on the command port: 200 concurrent connections send 100,000 commands in all to an
// in-process listener while a user-interface loop drains the channel every millisecond.
// Prints throughput, reply latency and whether every command arrived exactly once.
// Usage: port_load [connections] [commands]
#include "ipc/port.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace perchkin;
using Clock = std::chrono::steady_clock;

struct ClientResult {
  long replies = 0;
  long wrong = 0;
  double worst_ms = 0;
  std::vector<double> latencies_ms;
};

void run_client(std::uint16_t port, int commands, ClientResult& result) {
  auto socket = net::connect_loopback(port, 5000, nullptr);
  if (!socket) return;
  net::set_receive_timeout(*socket, 10000);
  const std::string request = request_line("walk", {{"x", 400}});
  const std::string expected = reply_line({true, "walking to x=400"});
  char buffer[kReadBufferBytes];
  result.latencies_ms.reserve(static_cast<std::size_t>(commands));
  for (int i = 0; i < commands; ++i) {
    auto start = Clock::now();
    if (!net::write_all(*socket, request.data(), request.size())) break;
    std::string line;
    while (line.empty() || line.back() != '\n') {
      std::ptrdiff_t count = net::read_some(*socket, buffer, sizeof buffer, nullptr);
      if (count <= 0) break;
      line.append(buffer, static_cast<std::size_t>(count));
    }
    if (line.empty() || line.back() != '\n') break;
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    result.latencies_ms.push_back(ms);
    result.worst_ms = std::max(result.worst_ms, ms);
    ++result.replies;
    if (line != expected) ++result.wrong;
  }
  net::close_socket(*socket);
}

}  // namespace

int main(int argc, char** argv) {
  int connections = argc > 1 ? std::atoi(argv[1]) : 200;
  long total = argc > 2 ? std::atol(argv[2]) : 100000;
  if (connections <= 0 || total <= 0) return 2;
  int per_connection = static_cast<int>(total / connections);
  total = static_cast<long>(per_connection) * connections;

  auto channel = std::make_shared<CommandChannel>();
  Result<Listener> listener = bind_listener(0);
  if (!listener.ok()) {
    std::fprintf(stderr, "bind failed: %s\n", listener.error.c_str());
    return 1;
  }
  std::uint16_t port = listener->port;
  start_accept_thread(*listener, channel);

  std::atomic<bool> stop{false};
  std::atomic<long> handled{0};
  std::thread ui([&] {
    while (!stop) {
      while (auto request = channel->try_receive()) {
        request->answer({true, "walking to x=" + std::to_string(request->args["x"].get<int>())});
        ++handled;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });

  std::vector<ClientResult> results(static_cast<std::size_t>(connections));
  std::vector<std::thread> clients;
  auto start = Clock::now();
  for (int c = 0; c < connections; ++c) {
    clients.emplace_back(run_client, port, per_connection,
                         std::ref(results[static_cast<std::size_t>(c)]));
  }
  for (auto& client : clients) client.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  stop = true;
  ui.join();

  long replies = 0;
  long wrong = 0;
  double worst = 0;
  std::vector<double> all;
  all.reserve(static_cast<std::size_t>(total));
  for (const auto& result : results) {
    replies += result.replies;
    wrong += result.wrong;
    worst = std::max(worst, result.worst_ms);
    all.insert(all.end(), result.latencies_ms.begin(), result.latencies_ms.end());
  }
  std::sort(all.begin(), all.end());
  auto percentile = [&](double p) {
    return all.empty() ? 0.0 : all[static_cast<std::size_t>(p * static_cast<double>(all.size() - 1))];
  };
  std::printf("connections %d, commands sent %ld, replies %ld, wrong replies %ld, handled by ui %ld\n",
              connections, total, replies, wrong, handled.load());
  std::printf("elapsed %.2f s, throughput %.0f commands/s\n", seconds,
              static_cast<double>(replies) / seconds);
  std::printf("reply latency ms: median %.2f, p99 %.2f, longest %.2f\n", percentile(0.5),
              percentile(0.99), worst);
  bool lost = replies != total || handled.load() != total || wrong != 0;
  std::printf("%s\n", lost ? "LOST OR WRONG REPLIES" : "no request lost");
  return lost ? 1 : 0;
}
