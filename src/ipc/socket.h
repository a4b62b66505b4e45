// The platform's TCP sockets as a handful of free functions: loopback listen, accept, connect
// with a time-out, blocking reads and writes, and small-stack detached threads for connections.
// Implemented by socket_x11.cpp (POSIX) and socket_win32.cpp (Winsock2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace perchkin::net {

// Wide enough for both a POSIX descriptor and a Winsock SOCKET.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

struct SocketError {
  std::string message;   // lower-case text, e.g. "connection refused"
  bool refused = false;  // nothing listens on the port
};

// Binds 127.0.0.1:port (0 picks a free port) and listens. Reports the bound port.
std::optional<SocketHandle> listen_loopback(std::uint16_t port, int backlog,
                                            std::uint16_t* bound_port, SocketError* error);

// Waits for the next connection. nullopt on a failed accept or a peer that is neither IPv4 nor
// IPv6 (that socket is already closed).
std::optional<SocketHandle> accept_connection(SocketHandle listener);

// Connects to 127.0.0.1:port, giving up after timeout_ms.
std::optional<SocketHandle> connect_loopback(std::uint16_t port, int timeout_ms,
                                             SocketError* error);

bool set_receive_timeout(SocketHandle socket, int timeout_ms);

// One blocking read: bytes read, 0 at end of stream (a shut-down socket counts as that), or -1
// on an error, the receive time-out included. Interrupted reads are retried.
std::ptrdiff_t read_some(SocketHandle socket, char* buffer, std::size_t size,
                         SocketError* error);

// Writes every byte or fails. Never raises SIGPIPE.
bool write_all(SocketHandle socket, const char* data, std::size_t size,
               SocketError* error = nullptr);

// Sends end of stream to the peer but keeps reading possible.
void shutdown_write(SocketHandle socket);

void close_socket(SocketHandle socket);

// Runs run(arg) on a new detached thread with the given stack size. False when no thread could
// be started (run is then not called).
bool start_detached_thread(void (*run)(void*), void* arg, std::size_t stack_bytes);

}  // namespace perchkin::net
