// The platform's TCP sockets as a handful of free functions: loopback listen, accept, connect
// with a time-out, blocking reads and writes for the client, non-blocking reads and writes with
// bounded waits for the server, and small-stack detached threads for connections.
// Implemented by socket_posix.cpp (POSIX) and socket_win32.cpp (Winsock2).
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

// Ends both directions at once. Safe from another thread while the owner still uses the handle
// (it is not closed): the owner's next read sees end of stream and a wait wakes up.
void shutdown_both(SocketHandle socket);

// The server's connections are non-blocking, so that no read or write can wait longer than the
// server allows: it waits with wait_ready and then uses try_read / try_write.
bool set_nonblocking(SocketHandle socket);

enum class Readiness { kReady, kTimedOut, kFailed };
// Waits at most timeout_ms until the socket can be read (or written) without blocking. End of
// stream and errors count as readable.
Readiness wait_ready(SocketHandle socket, bool for_write, int timeout_ms);

inline constexpr std::ptrdiff_t kWouldBlock = -2;
// One read on a non-blocking socket: bytes read, 0 at end of stream, kWouldBlock when nothing
// is waiting, or -1 on an error.
std::ptrdiff_t try_read(SocketHandle socket, char* buffer, std::size_t size, SocketError* error);
// One write on a non-blocking socket: bytes taken (perhaps fewer than size), kWouldBlock when the
// send buffer is full, or -1 on an error. Never raises SIGPIPE.
std::ptrdiff_t try_write(SocketHandle socket, const char* data, std::size_t size,
                         SocketError* error);

void close_socket(SocketHandle socket);

// Runs run(arg) on a new detached thread with the given stack size. False when no thread could
// be started (run is then not called).
bool start_detached_thread(void (*run)(void*), void* arg, std::size_t stack_bytes);

}  // namespace perchkin::net
