#include "ipc/port.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <thread>

namespace perchkin {

namespace {

constexpr std::size_t kAcceptStackBytes = 256u << 10;

// Shared by the accept thread and every connection thread it started.
struct PortState {
  std::shared_ptr<CommandChannel> channel;
  PortLimits limits;
  std::atomic<int> open_connections{0};
};

enum class LineStatus { kLine, kEnd, kError };

// A line feed-terminated reader over a socket. Bytes after the line feed stay buffered for the
// next line, so pipelined requests are not lost.
struct LineReader {
  net::SocketHandle socket = net::kNoSocket;
  std::array<char, kReadBufferBytes> buffer{};
  std::size_t start = 0;
  std::size_t end = 0;
  net::SocketError error;

  // Up to and including the first line feed, at most `limit` bytes. A partial line at end of
  // stream counts as a line.
  LineStatus read_line(std::string& line, std::size_t limit) {
    line.clear();
    while (line.size() < limit) {
      if (start == end) {
        std::ptrdiff_t count = net::read_some(socket, buffer.data(), buffer.size(), &error);
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

struct Connection {
  std::shared_ptr<PortState> state;
  LineReader reader;
};

// After a bad request we close; reading what the peer already sent first keeps the close a
// clean end of stream instead of a reset that could destroy the reply before it is read.
void discard_rest(net::SocketHandle socket) {
  net::shutdown_write(socket);
  net::set_receive_timeout(socket, 250);
  std::array<char, 2048> sink{};
  std::size_t total = 0;
  while (total < kMaxRequestLineBytes + kReadBufferBytes) {
    std::ptrdiff_t count = net::read_some(socket, sink.data(), sink.size(), nullptr);
    if (count <= 0) break;
    total += static_cast<std::size_t>(count);
  }
}

void serve(Connection& connection) {
  net::SocketHandle socket = connection.reader.socket;
  const PortState& state = *connection.state;
  if (!net::set_receive_timeout(socket, state.limits.receive_timeout_ms)) return;
  std::string line;
  for (;;) {
    if (connection.reader.read_line(line, kMaxRequestLineBytes) != LineStatus::kLine) return;
    std::optional<RequestLine> request = parse_request_line(line);
    if (!request) {
      if (net::write_all(socket, kBadRequestReply.data(), kBadRequestReply.size())) {
        discard_rest(socket);
      }
      return;
    }
    ReplyPair reply = make_reply_channel();
    auto deadline = std::chrono::steady_clock::now() + state.limits.reply_wait;
    if (!state.channel->send(CommandRequest{std::move(request->name), std::move(request->args),
                                            std::move(reply.sender)})) {
      return;
    }
    std::optional<CommandReply> answer = reply.receiver.wait_until(deadline);
    std::string out = reply_line(answer ? *answer : CommandReply{false, std::string(kBusyMessage)});
    if (!net::write_all(socket, out.data(), out.size())) return;
  }
}

void run_connection(void* raw) {
  auto* connection = static_cast<Connection*>(raw);
  try {
    serve(*connection);
  } catch (...) {
    // Out of memory while serving one peer: drop that peer, keep the companion.
  }
  net::close_socket(connection->reader.socket);
  connection->state->open_connections.fetch_sub(1);
  delete connection;
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
    // Every connection costs a thread; past the cap new peers are turned away at once.
    if (state->open_connections.fetch_add(1) >= state->limits.max_connections) {
      state->open_connections.fetch_sub(1);
      net::close_socket(*socket);
      continue;
    }
    Connection* connection = nullptr;
    try {
      connection = new Connection{state, LineReader{}};
    } catch (...) {
      connection = nullptr;
    }
    if (connection != nullptr) {
      connection->reader.socket = *socket;
      if (net::start_detached_thread(run_connection, connection,
                                     state->limits.thread_stack_bytes)) {
        continue;
      }
      delete connection;
    }
    net::close_socket(*socket);
    state->open_connections.fetch_sub(1);
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
  reader.socket = *socket;
  std::string line;
  if (reader.read_line(line, kMaxReplyLineBytes) == LineStatus::kError) {
    return fail(reader.error.message);
  }
  net::close_socket(*socket);
  std::optional<CommandReply> reply = parse_reply_line(line);
  if (!reply) return SendFailure{std::string(kClosedMessage), false};
  return *std::move(reply);
}

}  // namespace perchkin
