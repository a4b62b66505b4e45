// A hostile mix against a running companion: slow senders that never finish a line, pipeliners
// that never read their replies, and floods of cloud drawings and big turtle programs sent to
// every buddy. While it runs, a status client (standing in for the quit client and the MCP
// server) connects afresh every 250 ms and must be answered within 1 s. Afterwards the
// companion's tick figures and resident memory are compared with those before the load, and it
// is told to quit with `perchkin --quit`.
//
// Usage: hostile_load [--seconds S] [--crew N] [--port P] [--exe PATH | --pid PID]
//   Starts PATH (default: the perchkin beside this program) as `--headless --port P` with its
//   settings in a temporary folder, or, with --pid, uses the companion already listening on P.
// Exit code 0 when every status answer came within 1 s, the ticks came back to within 2 ms
// (or 1.5 times) of their figures before the load, and resident memory stayed under 200 MB.
#include "ipc/port.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace perchkin;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kSlowSenders = 300;        // more than the port's slots on their own
constexpr int kNonReaders = 16;
constexpr int kCloudFlooders = 4;
constexpr int kTurtleFlooders = 2;
constexpr auto kProbeEvery = 250ms;
constexpr double kProbeLimitMs = 1000.0;
constexpr double kRssLimitMb = 200.0;

struct Options {
  int seconds = 60;
  int crew = 200;
  std::uint16_t port = 47999;
  std::string exe;
  pid_t pid = 0;
};

struct Perf {
  double tick_avg = 0, tick_max = 0, gap_avg = 0, gap_p95 = 0, gap_max = 0;
  bool read = false;
};

// "tick avg {a}ms max {b}ms; frame gap avg {c}ms p95 {d}ms max {e}ms"
Perf parse_perf(const std::string& text) {
  Perf p;
  p.read = std::sscanf(text.c_str(), "tick avg %lfms max %lfms; frame gap avg %lfms p95 %lfms max %lfms",
                       &p.tick_avg, &p.tick_max, &p.gap_avg, &p.gap_p95, &p.gap_max) == 5;
  return p;
}

std::optional<CommandReply> call(std::uint16_t port, const std::string& name, const json& args) {
  SendResult result = send_command(port, name, args);
  if (auto* reply = std::get_if<CommandReply>(&result)) return *reply;
  return std::nullopt;
}

Perf read_perf(std::uint16_t port) {
  auto reply = call(port, "perf", json::object());
  return reply ? parse_perf(reply->msg) : Perf{};
}

// Resident and peak resident memory in MB, from /proc.
std::pair<double, double> memory_mb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  double rss = 0, hwm = 0;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::atof(line.c_str() + 6) / 1024.0;
    if (line.rfind("VmHWM:", 0) == 0) hwm = std::atof(line.c_str() + 6) / 1024.0;
  }
  return {rss, hwm};
}

struct Tally {
  std::mutex mutex;
  std::map<std::string, long> replies;  // reply text (numbers and all) -> count
  long failures = 0;                     // connections lost or refused
  void add(const std::string& msg) {
    std::lock_guard lock(mutex);
    replies[msg.substr(0, 60)] += 1;
  }
  void lost() {
    std::lock_guard lock(mutex);
    failures += 1;
  }
};

std::atomic<bool> stop{false};

std::optional<net::SocketHandle> open(std::uint16_t port) {
  return net::connect_loopback(port, 2000, nullptr);
}

// Opens kSlowSenders connections and sends each one byte a second, never a line feed; a closed
// one is opened again.
void slow_senders(std::uint16_t port, std::atomic<long>& reopened) {
  std::vector<net::SocketHandle> sockets(kSlowSenders, net::kNoSocket);
  while (!stop) {
    for (auto& socket : sockets) {
      if (stop) break;
      if (socket != net::kNoSocket) {
        if (net::try_write(socket, "{", 1, nullptr) == 1) continue;
        net::close_socket(socket);
        socket = net::kNoSocket;
        reopened += 1;
      }
      if (auto opened = open(port); opened && net::set_nonblocking(*opened)) socket = *opened;
    }
    for (int i = 0; i < 10 && !stop; ++i) std::this_thread::sleep_for(100ms);
  }
  for (auto socket : sockets) net::close_socket(socket);
}

// Pipelines status requests (long replies with a full crew) and never reads a byte.
void non_reader(std::uint16_t port, std::atomic<long>& reopened) {
  std::string burst;
  while (burst.size() < 16384) burst += request_line("status", json::object());
  while (!stop) {
    auto socket = open(port);
    if (!socket || !net::set_nonblocking(*socket)) {
      if (socket) net::close_socket(*socket);
      std::this_thread::sleep_for(50ms);
      continue;
    }
    std::size_t at = 0;
    while (!stop) {
      std::ptrdiff_t count = net::try_write(*socket, burst.data() + at, burst.size() - at, nullptr);
      if (count == net::kWouldBlock) {
        net::wait_ready(*socket, true, 100);
        continue;
      }
      if (count < 0) break;
      at = (at + static_cast<std::size_t>(count)) % burst.size();
    }
    net::close_socket(*socket);
    if (!stop) reopened += 1;
  }
}

// One request at a time, reading each reply, as fast as the companion answers.
void flooder(std::uint16_t port, const std::string& name, const json& args, Tally& tally) {
  const std::string request = request_line(name, args);
  char buffer[kReadBufferBytes];
  while (!stop) {
    auto socket = open(port);
    if (!socket) {
      tally.lost();
      std::this_thread::sleep_for(50ms);
      continue;
    }
    net::set_receive_timeout(*socket, 5000);
    while (!stop) {
      if (!net::write_all(*socket, request.data(), request.size())) break;
      std::string line;
      while (line.empty() || line.back() != '\n') {
        std::ptrdiff_t count = net::read_some(*socket, buffer, sizeof buffer, nullptr);
        if (count <= 0) break;
        line.append(buffer, static_cast<std::size_t>(count));
      }
      if (line.empty() || line.back() != '\n') break;
      auto reply = parse_reply_line(line);
      tally.add(reply ? (reply->ok ? "ok: " : "failed: ") + reply->msg : "not json");
    }
    net::close_socket(*socket);
    if (!stop) tally.lost();
  }
}

struct Probe {
  std::vector<double> ms;
  long failed = 0;
  std::map<std::string, long> errors;
};

// A fresh connection with one status request every kProbeEvery, as the quit client makes.
void prober(std::uint16_t port, Probe& probe) {
  while (!stop) {
    auto start = Clock::now();
    SendResult result = send_command(port, "status", json::object());
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (auto* failure = std::get_if<SendFailure>(&result)) {
      probe.failed += 1;
      probe.errors[failure->error] += 1;
    } else if (!std::get<CommandReply>(result).ok) {
      probe.failed += 1;
      probe.errors[std::get<CommandReply>(result).msg] += 1;
    }
    probe.ms.push_back(ms);
    std::this_thread::sleep_until(start + kProbeEvery);
  }
}

void print_perf(const char* label, const Perf& p, std::pair<double, double> memory) {
  if (!p.read) {
    std::printf("%-22s perf not answered; rss %.1f MB\n", label, memory.first);
    return;
  }
  std::printf("%-22s tick avg %6.2f ms max %7.1f ms | frame gap avg %6.1f p95 %6.1f max %7.1f ms | "
              "rss %6.1f MB\n",
              label, p.tick_avg, p.tick_max, p.gap_avg, p.gap_p95, p.gap_max, memory.first);
}

bool wait_for_port(std::uint16_t port, Clock::duration limit) {
  for (auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    if (call(port, "status", json::object())) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

pid_t start_companion(const Options& options, const std::string& settings_dir) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("PERCHKIN_SETTINGS", (settings_dir + "/settings.json").c_str(), 1);
  std::string port = std::to_string(options.port);
  // Its console lines would mix with ours.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
  execl(options.exe.c_str(), options.exe.c_str(), "--headless", "--port", port.c_str(),
        static_cast<char*>(nullptr));
  _exit(127);
}

// Settles for `seconds` so the frame statistics (the last 300 frames) hold only this phase.
void settle(int seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); }

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string self = argv[0];
  options.exe = self.substr(0, self.find_last_of('/') + 1) + "perchkin";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--seconds") options.seconds = std::max(1, std::atoi(value));
    else if (key == "--crew") options.crew = std::max(1, std::atoi(value));
    else if (key == "--port") options.port = static_cast<std::uint16_t>(std::atoi(value));
    else if (key == "--exe") options.exe = value;
    else if (key == "--pid") options.pid = static_cast<pid_t>(std::atoi(value));
    else {
      std::fprintf(stderr, "usage: %s [--seconds S] [--crew N] [--port P] [--exe PATH | --pid PID]\n",
                   argv[0]);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);

  std::string settings_dir;
  bool started = options.pid == 0;
  if (started) {
    char folder[] = "/tmp/hostile_load_XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    settings_dir = folder;
    options.pid = start_companion(options, settings_dir);
    if (options.pid < 0) return 1;
  }
  if (!wait_for_port(options.port, 20s)) {
    std::fprintf(stderr, "nothing answers on port %u\n", options.port);
    if (started) kill(options.pid, SIGKILL);
    return 1;
  }
  auto crew = call(options.port, "crew", {{"add", options.crew}});
  std::printf("companion pid %d on port %u: %s\n", static_cast<int>(options.pid), options.port,
              crew ? crew->msg.substr(0, 40).c_str() : "crew not answered");
  settle(10);
  Perf before = read_perf(options.port);
  auto memory_before = memory_mb(options.pid);

  std::atomic<long> slow_reopened{0};
  std::atomic<long> non_reader_reopened{0};
  Tally clouds;
  Tally turtles;
  Probe probe;
  std::vector<std::thread> threads;
  threads.emplace_back(slow_senders, options.port, std::ref(slow_reopened));
  for (int i = 0; i < kNonReaders; ++i) {
    threads.emplace_back(non_reader, options.port, std::ref(non_reader_reopened));
  }
  const json cloud = {{"kind", "cloud"}, {"pts", {{800, 300}}}, {"size", 1}, {"ttl", 0},
                      {"id", "all"}};
  for (int i = 0; i < kCloudFlooders; ++i) {
    threads.emplace_back(flooder, options.port, "draw", cloud, std::ref(clouds));
  }
  // 19,991 points, within every limit of one program.
  const json turtle = {{"prog", "repeat 10 [repeat 1999 [fd 1 rt 1]]"}, {"id", "all"}};
  for (int i = 0; i < kTurtleFlooders; ++i) {
    threads.emplace_back(flooder, options.port, "turtle", turtle, std::ref(turtles));
  }
  threads.emplace_back(prober, options.port, std::ref(probe));

  double peak_rss = 0;
  auto load_end = Clock::now() + std::chrono::seconds(options.seconds);
  while (Clock::now() < load_end) {
    std::this_thread::sleep_for(1s);
    peak_rss = std::max(peak_rss, memory_mb(options.pid).first);
  }
  Perf during = read_perf(options.port);
  stop = true;
  for (auto& thread : threads) thread.join();

  settle(10);
  Perf after = read_perf(options.port);
  auto memory_after = memory_mb(options.pid);
  auto cleared = call(options.port, "draw", {{"kind", "clear"}});
  settle(10);
  Perf after_clear = read_perf(options.port);
  auto memory_cleared = memory_mb(options.pid);

  std::sort(probe.ms.begin(), probe.ms.end());
  double probe_max = probe.ms.empty() ? 0 : probe.ms.back();
  double probe_p99 =
      probe.ms.empty() ? 0 : probe.ms[static_cast<std::size_t>(0.99 * (probe.ms.size() - 1))];
  long late = std::count_if(probe.ms.begin(), probe.ms.end(),
                            [](double ms) { return ms > kProbeLimitMs; });

  std::printf("\nload: %d s; %d slow senders (reopened %ld), %d non-readers (reopened %ld), "
              "%d cloud and %d turtle flooders\n",
              options.seconds, kSlowSenders, slow_reopened.load(), kNonReaders,
              non_reader_reopened.load(), kCloudFlooders, kTurtleFlooders);
  for (auto* tally : {&clouds, &turtles}) {
    std::printf("%s replies (connections lost %ld):\n", tally == &clouds ? "cloud" : "turtle",
                tally->failures);
    for (const auto& [msg, count] : tally->replies) std::printf("  %7ld  %s\n", count, msg.c_str());
  }
  std::printf("status probes: %zu, failed %ld, over 1 s %ld, p99 %.1f ms, longest %.1f ms\n",
              probe.ms.size(), probe.failed, late, probe_p99, probe_max);
  for (const auto& [error, count] : probe.errors) std::printf("  %7ld  %s\n", count, error.c_str());
  std::printf("\n");
  print_perf("before load", before, memory_before);
  print_perf("end of load", during, {peak_rss, 0});
  print_perf("10 s after load", after, memory_after);
  print_perf(cleared ? "10 s after clear" : "clear not answered", after_clear, memory_cleared);
  double hwm = memory_mb(options.pid).second;
  std::printf("peak resident memory %.1f MB (sampled %.1f MB)\n", hwm, peak_rss);

  auto quit_start = Clock::now();
  int quit_status = -1;
  if (started) {
    std::string command = "'" + options.exe + "' --quit --port " + std::to_string(options.port);
    quit_status = std::system(command.c_str());
  } else {
    auto reply = call(options.port, "quit", json::object());
    quit_status = reply && reply->ok ? 0 : 1;
  }
  double quit_ms = std::chrono::duration<double, std::milli>(Clock::now() - quit_start).count();
  std::printf("quit: %s in %.0f ms\n", quit_status == 0 ? "answered" : "FAILED", quit_ms);
  if (started) {
    int status = 0;
    for (int i = 0; i < 50 && waitpid(options.pid, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(100ms);
    }
    if (waitpid(options.pid, &status, WNOHANG) == 0) {
      std::printf("companion did not end after quit; killed\n");
      kill(options.pid, SIGKILL);
      waitpid(options.pid, &status, 0);
    }
    std::string cleanup = "rm -rf '" + settings_dir + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", settings_dir.c_str());
  }

  const Perf& settled = after_clear.read ? after_clear : after;
  bool ticks_back = before.read && settled.read &&
                    settled.tick_avg <= std::max(before.tick_avg * 1.5, before.tick_avg + 2.0);
  bool memory_ok = std::max(hwm, peak_rss) < kRssLimitMb;
  bool probes_ok = late == 0 && probe.failed == 0;
  std::printf("%s: status within 1 s %s, ticks back %s, memory under 200 MB %s\n",
              probes_ok && ticks_back && memory_ok && quit_status == 0 ? "PASS" : "FAIL",
              probes_ok ? "yes" : "no", ticks_back ? "yes" : "no", memory_ok ? "yes" : "no");
  return probes_ok && ticks_back && memory_ok && quit_status == 0 ? 0 : 1;
}
