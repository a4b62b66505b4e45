// The command port: the loopback listener with its accept and connection threads, and the
// one-shot client (send_command) used by the quit client, the single-instance rule and the MCP
// server.
#pragma once

#include "base/status.h"
#include "ipc/command.h"
#include "ipc/socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace perchkin {

inline constexpr std::uint16_t kDefaultPort = 47831;
inline constexpr int kListenBacklog = 128;
inline constexpr std::size_t kReadBufferBytes = 8192;
inline constexpr std::size_t kMaxRequestLineBytes = 262144;
// Replies are trusted more than requests but still bounded (a status reply is a few KiB).
inline constexpr std::size_t kMaxReplyLineBytes = 16u << 20;
inline constexpr int kClientTimeoutMs = 5000;
inline constexpr std::string_view kClosedMessage = "buddy closed the connection";

// Connection threads only read, parse, queue and write, so a small stack does; the sanitizers'
// redzones need more.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kConnectionStackBytes = 1u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr std::size_t kConnectionStackBytes = 1u << 20;
#else
inline constexpr std::size_t kConnectionStackBytes = 64u << 10;
#endif
#else
inline constexpr std::size_t kConnectionStackBytes = 64u << 10;
#endif

// What one local program may cost the companion. Every peer on the machine can reach the port,
// so a connection that never completes a request, never takes its replies or trickles bytes
// after a bad request is closed on a clock, and a full house makes room for a newcomer instead
// of turning it away (the quit client and the MCP server must always get through).
inline constexpr std::chrono::milliseconds kRequestTimeout{30000};
inline constexpr std::chrono::milliseconds kReplyWait{3000};
inline constexpr std::chrono::milliseconds kWriteTimeout{5000};
inline constexpr std::chrono::milliseconds kDrainTime{1000};
inline constexpr std::chrono::milliseconds kDrainSilence{250};
inline constexpr std::size_t kMaxDrainBytes = kMaxRequestLineBytes + kReadBufferBytes;
inline constexpr int kMaxConnections = 256;

struct PortLimits {
  // For a complete request line, counted from the connection's opening or its last reply; bytes
  // that trickle in without a line feed do not extend it. Past it: closed without a reply.
  std::chrono::milliseconds request_timeout = kRequestTimeout;
  std::chrono::milliseconds reply_wait = kReplyWait;  // wait for the user-interface thread
  // For writing one whole reply; a peer that does not read is closed.
  std::chrono::milliseconds write_timeout = kWriteTimeout;
  // Reading what follows a bad request before closing: at most this long in all, and no longer
  // than kDrainSilence without a byte.
  std::chrono::milliseconds drain_time = kDrainTime;
  // Past it, the connection that has waited longest for a complete request is closed to make
  // room for the newcomer.
  int max_connections = kMaxConnections;
  std::size_t thread_stack_bytes = kConnectionStackBytes;
};

struct Listener {
  net::SocketHandle socket = net::kNoSocket;
  std::uint16_t port = 0;  // the bound port (the one chosen by the system when 0 was asked)
};

// Binds 127.0.0.1:port with a backlog of 128; a failure carries the system's reason.
Result<Listener> bind_listener(std::uint16_t port);
// For a listener that will not be started (the single-instance rule handed over).
void close_listener(Listener& listener);

// Starts the detached accept thread; it and the listener live until the process ends. False
// when no thread could be started.
bool start_accept_thread(Listener listener, std::shared_ptr<CommandChannel> channel,
                         PortLimits limits = {});

struct SendFailure {
  std::string error;     // I/O error text or "buddy closed the connection"
  bool refused = false;  // nothing listens on the port
};
using SendResult = std::variant<CommandReply, SendFailure>;

// One connection, one request, one reply; 5 s connect and receive time-outs.
SendResult send_command(std::uint16_t port, std::string_view name, const json& args);

}  // namespace perchkin
