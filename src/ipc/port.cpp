#include "ipc/port.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace perchkin {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kAcceptStackBytes = 256u << 10;
// A connection that was made to give up its slot notices within this much even where shutting
// its socket down does not wake its wait.
constexpr std::chrono::milliseconds kWakeSlice{100};

enum class LineStatus { kLine, kEnd, kError };

// A line feed-terminated reader over a socket. Bytes after the line feed stay buffered for the
// next line, so pipelined requests are not lost.
struct LineReader {
  std::array<char, kReadBufferBytes> buffer{};
  std::size_t start = 0;
  std::size_t end = 0;

  // Up to and including the first line feed, at most `limit` bytes. A partial line at end of
  // stream counts as a line. read(buffer, size) is one read: bytes, 0 at end, negative on error.
  template <typename Read>
  LineStatus read_line(std::string& line, std::size_t limit, Read&& read) {
    line.clear();
    while (line.size() < limit) {
      if (start == end) {
        std::ptrdiff_t count = read(buffer.data(), buffer.size());
        if (count < 0) return LineStatus::kError;
        if (count == 0) break;
        start = 0;
        end = static_cast<std::size_t>(count);
      }
      std::size_t available = std::min(end - start, limit - line.size());
      const char* from = buffer.data() + start;
      const void* feed = std::memchr(from, '\n', available);
      std::size_t take =
          feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - from) + 1
                          : available;
      line.append(from, take);
      start += take;
      if (feed != nullptr) return LineStatus::kLine;
    }
    return line.empty() ? LineStatus::kEnd : LineStatus::kLine;
  }
};

struct PortState;

struct Connection {
  std::shared_ptr<PortState> state;
  net::SocketHandle socket = net::kNoSocket;
  LineReader reader;
  // Since when it has been waiting for its next complete request (its opening, its last request
  // or its last reply): the one waiting longest makes room when the slots are full.
  std::atomic<Clock::rep> waiting_since{0};
  // Set (under PortState::mutex) when it gave up its slot; its socket is then shut down.
  std::atomic<bool> evicted{false};

  void mark_waiting() { waiting_since = Clock::now().time_since_epoch().count(); }
  Clock::time_point waiting_start() const {
    return Clock::time_point(Clock::duration(waiting_since.load()));
  }
};

// Shared by the accept thread and every connection thread it started.
struct PortState {
  std::shared_ptr<CommandChannel> channel;
  PortLimits limits;
  std::mutex mutex;
  // The connections holding a slot. A connection's socket stays open while it is listed here,
  // so the accept thread may shut it down; only its own thread closes it, after leaving.
  std::vector<Connection*> holding;
  // Evicted connections whose threads have not ended yet.
  int leaving = 0;
};

int slice_ms(Clock::duration left) {
  auto ms =
      std::chrono::ceil<std::chrono::milliseconds>(std::min<Clock::duration>(left, kWakeSlice));
  return static_cast<int>(std::max<std::int64_t>(0, ms.count()));
}

// One read that gives up at the deadline or when the connection is evicted: bytes, 0 at end of
// stream, -1 otherwise.
std::ptrdiff_t read_before(Connection& connection, char* buffer, std::size_t size,
                           Clock::time_point deadline) {
  for (;;) {
    if (connection.evicted) return -1;
    std::ptrdiff_t count = net::try_read(connection.socket, buffer, size, nullptr);
    if (count != net::kWouldBlock) return count;
    Clock::time_point now = Clock::now();
    if (now >= deadline) return -1;
    if (net::wait_ready(connection.socket, false, slice_ms(deadline - now)) ==
        net::Readiness::kFailed) {
      return -1;
    }
  }
}

// Writes all of `bytes` before the deadline, or fails (a peer that does not read, an evicted
// connection, a write error).
bool write_before(Connection& connection, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    if (connection.evicted) return false;
    std::ptrdiff_t count = net::try_write(connection.socket, bytes.data(), bytes.size(), nullptr);
    if (count == net::kWouldBlock || count == 0) {
      Clock::time_point now = Clock::now();
      if (now >= deadline) return false;
      if (net::wait_ready(connection.socket, true, slice_ms(deadline - now)) ==
          net::Readiness::kFailed) {
        return false;
      }
      continue;
    }
    if (count < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// After a bad request we close; reading what the peer already sent first keeps the close a
// clean end of stream instead of a reset that could destroy the reply before it is read. Bounded
// in bytes, in silence and in total time, so a slow sender cannot hold the thread.
void discard_rest(Connection& connection) {
  net::shutdown_write(connection.socket);
  const Clock::time_point until = Clock::now() + connection.state->limits.drain_time;
  std::array<char, 2048> sink{};
  std::size_t total = 0;
  while (total < kMaxDrainBytes) {
    Clock::time_point deadline = std::min(until, Clock::now() + kDrainSilence);
    std::ptrdiff_t count = read_before(connection, sink.data(), sink.size(), deadline);
    if (count <= 0) break;
    total += static_cast<std::size_t>(count);
  }
}

void serve(Connection& connection) {
  const PortState& state = *connection.state;
  std::string line;
  for (;;) {
    const Clock::time_point deadline = connection.waiting_start() + state.limits.request_timeout;
    auto read = [&](char* buffer, std::size_t size) {
      return read_before(connection, buffer, size, deadline);
    };
    if (connection.reader.read_line(line, kMaxRequestLineBytes, read) != LineStatus::kLine) {
      return;
    }
    connection.mark_waiting();
    std::optional<RequestLine> request = parse_request_line(line);
    if (!request) {
      if (write_before(connection, kBadRequestReply, Clock::now() + state.limits.write_timeout)) {
        discard_rest(connection);
      }
      return;
    }
    ReplyPair reply = make_reply_channel();
    auto reply_deadline = Clock::now() + state.limits.reply_wait;
    if (!state.channel->send(CommandRequest{std::move(request->name), std::move(request->args),
                                            std::move(reply.sender)})) {
      return;
    }
    std::optional<CommandReply> answer = reply.receiver.wait_until(reply_deadline);
    std::string out = reply_line(answer ? *answer : CommandReply{false, std::string(kBusyMessage)});
    if (!write_before(connection, out, Clock::now() + state.limits.write_timeout)) return;
    connection.mark_waiting();
  }
}

// Gives up the slot (or the place among the evicted), then closes the socket: no other thread
// can reach it any more.
void leave(PortState& state, Connection* connection) {
  {
    std::lock_guard lock(state.mutex);
    if (connection->evicted) {
      state.leaving -= 1;
    } else {
      auto& holding = state.holding;
      holding.erase(std::find(holding.begin(), holding.end(), connection));
    }
  }
  net::close_socket(connection->socket);
  delete connection;
}

void run_connection(void* raw) {
  auto* connection = static_cast<Connection*>(raw);
  try {
    serve(*connection);
  } catch (...) {
    // Out of memory while serving one peer: drop that peer, keep the companion.
  }
  leave(*connection->state, connection);
}

// With every slot taken, the connection that has waited longest for a complete request gives its
// slot up: its socket is shut down (which wakes it) and its thread ends on its own. Called with
// the mutex held.
void evict_longest_waiting(PortState& state) {
  auto victim = std::min_element(
      state.holding.begin(), state.holding.end(), [](const Connection* a, const Connection* b) {
        return a->waiting_since.load() < b->waiting_since.load();
      });
  (*victim)->evicted = true;
  net::shutdown_both((*victim)->socket);
  state.holding.erase(victim);
  state.leaving += 1;
}

// Admits a new connection, making room if needed. Evicted threads end within a wake slice, but
// a burst of newcomers must not pile them up without bound: past one full house of them the
// accept thread waits for some to end.
void admit(PortState& state, Connection* connection) {
  const std::size_t slots = static_cast<std::size_t>(std::max(1, state.limits.max_connections));
  for (;;) {
    {
      std::lock_guard lock(state.mutex);
      if (state.holding.size() < slots || static_cast<std::size_t>(state.leaving) < slots) {
        if (state.holding.size() >= slots) evict_longest_waiting(state);
        state.holding.push_back(connection);
        return;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

struct AcceptStart {
  Listener listener;
  std::shared_ptr<PortState> state;
};

void accept_loop(void* raw) {
  const Listener listener = static_cast<AcceptStart*>(raw)->listener;
  const std::shared_ptr<PortState> state = std::move(static_cast<AcceptStart*>(raw)->state);
  delete static_cast<AcceptStart*>(raw);
  for (;;) {
    std::optional<net::SocketHandle> socket = net::accept_connection(listener.socket);
    if (!socket) {
      // Out of descriptors fails every accept at once; a short pause avoids a busy spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    Connection* connection = nullptr;
    if (net::set_nonblocking(*socket)) {
      try {
        connection = new Connection{};
      } catch (...) {
        connection = nullptr;
      }
    }
    if (connection == nullptr) {
      net::close_socket(*socket);
      continue;
    }
    connection->state = state;
    connection->socket = *socket;
    connection->mark_waiting();
    admit(*state, connection);
    if (net::start_detached_thread(run_connection, connection,
                                   state->limits.thread_stack_bytes)) {
      continue;
    }
    leave(*state, connection);
  }
}

}  // namespace

Result<Listener> bind_listener(std::uint16_t port) {
  net::SocketError failure;
  Listener listener;
  std::optional<net::SocketHandle> socket =
      net::listen_loopback(port, kListenBacklog, &listener.port, &failure);
  if (!socket) return Result<Listener>::fail(failure.message);
  listener.socket = *socket;
  return listener;
}

void close_listener(Listener& listener) {
  net::close_socket(listener.socket);
  listener.socket = net::kNoSocket;
}

bool start_accept_thread(Listener listener, std::shared_ptr<CommandChannel> channel,
                         PortLimits limits) {
  auto state = std::make_shared<PortState>();
  state->channel = std::move(channel);
  state->limits = limits;
  auto* start = new AcceptStart{listener, std::move(state)};
  if (net::start_detached_thread(accept_loop, start, kAcceptStackBytes)) return true;
  delete start;
  return false;
}

SendResult send_command(std::uint16_t port, std::string_view name, const json& args) {
  net::SocketError error;
  std::optional<net::SocketHandle> socket = net::connect_loopback(port, kClientTimeoutMs, &error);
  if (!socket) return SendFailure{error.message, error.refused};

  auto fail = [&](std::string text) {
    net::close_socket(*socket);
    return SendFailure{std::move(text), false};
  };
  if (!net::set_receive_timeout(*socket, kClientTimeoutMs)) {
    return fail("could not set the receive time-out");
  }
  std::string request = request_line(name, args);
  if (!net::write_all(*socket, request.data(), request.size(), &error)) {
    return fail(error.message);
  }
  LineReader reader;
  std::string line;
  auto read = [&](char* buffer, std::size_t size) {
    return net::read_some(*socket, buffer, size, &error);
  };
  if (reader.read_line(line, kMaxReplyLineBytes, read) == LineStatus::kError) {
    return fail(error.message);
  }
  net::close_socket(*socket);
  std::optional<CommandReply> reply = parse_reply_line(line);
  if (!reply) return SendFailure{std::string(kClosedMessage), false};
  return *std::move(reply);
}

}  // namespace perchkin
