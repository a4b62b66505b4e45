// POSIX sockets for the command port: listen_loopback, accept_connection, connect_loopback,
// set_receive_timeout, read_some, write_all, the non-blocking reads and writes with wait_ready,
// shut-down and close, start_detached_thread.
#include "ipc/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "ipc/socket_detail.h"

namespace perchkin::net {

std::string detail::error_text(int code) {
  switch (code) {
    case ECONNREFUSED: return "connection refused";
    case ETIMEDOUT: return "connection timed out";
    case EAGAIN: return "timed out";  // the receive time-out
    case ECONNRESET: return "connection reset";
    case EADDRINUSE: return "address in use";
    case EPIPE: return "broken pipe";
    default: break;
  }
  std::string text = std::strerror(code);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool detail::is_refused(int code) { return code == ECONNREFUSED; }

namespace {

using detail::loopback;
using detail::report;

int as_fd(SocketHandle socket) { return static_cast<int>(socket); }

bool set_blocking(int fd, bool blocking) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags) == 0;
}

struct ThreadStart {
  void (*run)(void*);
  void* arg;
};

void* thread_main(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.run(start.arg);
  return nullptr;
}

}  // namespace

std::optional<SocketHandle> listen_loopback(std::uint16_t port, int backlog,
                                            std::uint16_t* bound_port, SocketError* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    report(error, errno);
    return std::nullopt;
  }
  // Lets a restarted companion bind while old connections linger in TIME_WAIT; a second live
  // listener is still refused.
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address = loopback(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, backlog) != 0) {
    report(error, errno);
    ::close(fd);
    return std::nullopt;
  }
  if (bound_port != nullptr) {
    sockaddr_in actual{};
    socklen_t length = sizeof actual;
    getsockname(fd, reinterpret_cast<sockaddr*>(&actual), &length);
    *bound_port = ntohs(actual.sin_port);
  }
  return fd;
}

std::optional<SocketHandle> accept_connection(SocketHandle listener) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  int fd = ::accept4(as_fd(listener), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  if (fd < 0) return std::nullopt;
  if (peer.ss_family != AF_INET && peer.ss_family != AF_INET6) {
    ::close(fd);
    return std::nullopt;
  }
  return fd;
}

std::optional<SocketHandle> connect_loopback(std::uint16_t port, int timeout_ms,
                                             SocketError* error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || !set_blocking(fd, false)) {
    report(error, errno);
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  sockaddr_in address = loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) {
      report(error, errno);
      ::close(fd);
      return std::nullopt;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int code = ETIMEDOUT;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd waiting{fd, POLLOUT, 0};
      int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        code = errno;
        break;
      }
      if (ready == 0) break;
      int pending = 0;
      socklen_t length = sizeof pending;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) pending = errno;
      code = pending;
      break;
    }
    if (code != 0) {
      report(error, code);
      ::close(fd);
      return std::nullopt;
    }
  }
  if (!set_blocking(fd, true)) {
    report(error, errno);
    ::close(fd);
    return std::nullopt;
  }
  return fd;
}

bool set_receive_timeout(SocketHandle socket, int timeout_ms) {
  timeval limit{};
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = static_cast<suseconds_t>((timeout_ms % 1000) * 1000);
  return setsockopt(as_fd(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

std::ptrdiff_t read_some(SocketHandle socket, char* buffer, std::size_t size,
                         SocketError* error) {
  for (;;) {
    ssize_t count = ::recv(as_fd(socket), buffer, size, 0);
    if (count >= 0) return count;
    if (errno == EINTR) continue;
    if (errno == ESHUTDOWN) return 0;
    report(error, errno == EWOULDBLOCK ? EAGAIN : errno);
    return -1;
  }
}

bool write_all(SocketHandle socket, const char* data, std::size_t size, SocketError* error) {
  while (size > 0) {
    ssize_t count = ::send(as_fd(socket), data, size, MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      report(error, count < 0 ? errno : EPIPE);
      return false;
    }
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

void shutdown_write(SocketHandle socket) { ::shutdown(as_fd(socket), SHUT_WR); }

void shutdown_both(SocketHandle socket) { ::shutdown(as_fd(socket), SHUT_RDWR); }

bool set_nonblocking(SocketHandle socket) { return set_blocking(as_fd(socket), false); }

Readiness wait_ready(SocketHandle socket, bool for_write, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{as_fd(socket), static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
    int ready = ::poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (ready > 0) return Readiness::kReady;  // POLLHUP and POLLERR show up here too
    if (ready == 0) return Readiness::kTimedOut;
    if (errno != EINTR) return Readiness::kFailed;
  }
}

std::ptrdiff_t try_read(SocketHandle socket, char* buffer, std::size_t size, SocketError* error) {
  for (;;) {
    ssize_t count = ::recv(as_fd(socket), buffer, size, MSG_DONTWAIT);
    if (count >= 0) return count;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    if (errno == ESHUTDOWN) return 0;
    report(error, errno);
    return -1;
  }
}

std::ptrdiff_t try_write(SocketHandle socket, const char* data, std::size_t size,
                         SocketError* error) {
  for (;;) {
    ssize_t count = ::send(as_fd(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (count >= 0) return count;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    report(error, errno);
    return -1;
  }
}

void close_socket(SocketHandle socket) {
  if (socket != kNoSocket) ::close(as_fd(socket));
}

bool start_detached_thread(void (*run)(void*), void* arg, std::size_t stack_bytes) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, std::max<std::size_t>(stack_bytes, PTHREAD_STACK_MIN));
  auto* start = new ThreadStart{run, arg};
  pthread_t thread;
  bool started = pthread_create(&thread, &attributes, thread_main, start) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) delete start;
  return started;
}

}  // namespace perchkin::net
