// Winsock2 sockets for the command port: listen_loopback, accept_connection, connect_loopback,
// set_receive_timeout, read_some, write_all, the non-blocking reads and writes with wait_ready,
// shut-down and close, start_detached_thread.
#include "ipc/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <process.h>

#include <mutex>

#include "ipc/socket_detail.h"

namespace perchkin::net {

namespace {

// Winsock needs WSAStartup once per process before any other call; it is never undone because
// the listener lives until the process ends.
void ensure_winsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

}  // namespace

std::string detail::error_text(int code) {
  switch (code) {
    case WSAECONNREFUSED: return "connection refused";
    case WSAETIMEDOUT: return "timed out";
    case WSAECONNRESET: return "connection reset";
    case WSAECONNABORTED: return "connection aborted";
    case WSAEADDRINUSE: return "address in use";
    case WSAEACCES: return "permission denied";
    case WSAEADDRNOTAVAIL: return "address not available";
    default: return "socket error " + std::to_string(code);
  }
}

bool detail::is_refused(int code) { return code == WSAECONNREFUSED; }

namespace {

using detail::loopback;
using detail::report;

SOCKET as_socket(SocketHandle socket) { return static_cast<SOCKET>(socket); }
SocketHandle as_handle(SOCKET socket) { return static_cast<SocketHandle>(socket); }

bool set_blocking(SOCKET socket, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &non_blocking) == 0;
}

struct ThreadStart {
  void (*run)(void*);
  void* arg;
};

unsigned __stdcall thread_main(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.run(start.arg);
  return 0;
}

}  // namespace

std::optional<SocketHandle> listen_loopback(std::uint16_t port, int backlog,
                                            std::uint16_t* bound_port, SocketError* error) {
  ensure_winsock();
  SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) {
    report(error, WSAGetLastError());
    return std::nullopt;
  }
  // Without this another program could bind the same port with SO_REUSEADDR and steal
  // connections meant for us.
  BOOL exclusive = TRUE;
  setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in address = loopback(port);
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket, backlog) != 0) {
    report(error, WSAGetLastError());
    closesocket(socket);
    return std::nullopt;
  }
  if (bound_port != nullptr) {
    sockaddr_in actual{};
    int length = sizeof actual;
    getsockname(socket, reinterpret_cast<sockaddr*>(&actual), &length);
    *bound_port = ntohs(actual.sin_port);
  }
  return as_handle(socket);
}

std::optional<SocketHandle> accept_connection(SocketHandle listener) {
  sockaddr_storage peer{};
  int length = sizeof peer;
  SOCKET socket = ::accept(as_socket(listener), reinterpret_cast<sockaddr*>(&peer), &length);
  if (socket == INVALID_SOCKET) return std::nullopt;
  if (peer.ss_family != AF_INET && peer.ss_family != AF_INET6) {
    closesocket(socket);
    return std::nullopt;
  }
  return as_handle(socket);
}

std::optional<SocketHandle> connect_loopback(std::uint16_t port, int timeout_ms,
                                             SocketError* error) {
  ensure_winsock();
  SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET || !set_blocking(socket, false)) {
    report(error, WSAGetLastError());
    if (socket != INVALID_SOCKET) closesocket(socket);
    return std::nullopt;
  }
  sockaddr_in address = loopback(port);
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK) {
      // A failed connect shows up in the exception set, a finished one in the write set.
      fd_set writable;
      fd_set failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(socket, &writable);
      FD_SET(socket, &failed);
      timeval limit{};
      limit.tv_sec = timeout_ms / 1000;
      limit.tv_usec = (timeout_ms % 1000) * 1000;
      int ready = ::select(0, nullptr, &writable, &failed, &limit);
      if (ready == 0) {
        code = WSAETIMEDOUT;
      } else if (ready < 0) {
        code = WSAGetLastError();
      } else {
        int pending = 0;
        int length = sizeof pending;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending),
                       &length) != 0) {
          pending = WSAGetLastError();
        }
        code = pending;
      }
    }
    if (code != 0) {
      report(error, code);
      closesocket(socket);
      return std::nullopt;
    }
  }
  if (!set_blocking(socket, true)) {
    report(error, WSAGetLastError());
    closesocket(socket);
    return std::nullopt;
  }
  return as_handle(socket);
}

bool set_receive_timeout(SocketHandle socket, int timeout_ms) {
  DWORD limit = static_cast<DWORD>(timeout_ms);
  return setsockopt(as_socket(socket), SOL_SOCKET, SO_RCVTIMEO,
                    reinterpret_cast<const char*>(&limit), sizeof limit) == 0;
}

std::ptrdiff_t read_some(SocketHandle socket, char* buffer, std::size_t size,
                         SocketError* error) {
  int length = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  for (;;) {
    int count = ::recv(as_socket(socket), buffer, length, 0);
    if (count >= 0) return count;
    int code = WSAGetLastError();
    if (code == WSAEINTR) continue;
    if (code == WSAESHUTDOWN) return 0;
    report(error, code);
    return -1;
  }
}

bool write_all(SocketHandle socket, const char* data, std::size_t size, SocketError* error) {
  while (size > 0) {
    int length = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    int count = ::send(as_socket(socket), data, length, 0);
    if (count < 0 && WSAGetLastError() == WSAEINTR) continue;
    if (count <= 0) {
      report(error, count < 0 ? WSAGetLastError() : WSAECONNABORTED);
      return false;
    }
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

void shutdown_write(SocketHandle socket) { ::shutdown(as_socket(socket), SD_SEND); }

void shutdown_both(SocketHandle socket) { ::shutdown(as_socket(socket), SD_BOTH); }

bool set_nonblocking(SocketHandle socket) { return set_blocking(as_socket(socket), false); }

Readiness wait_ready(SocketHandle socket, bool for_write, int timeout_ms) {
  // One socket, so select's set size is no concern; a failed connection shows up in the
  // exception set.
  fd_set wanted;
  fd_set failed;
  FD_ZERO(&wanted);
  FD_ZERO(&failed);
  FD_SET(as_socket(socket), &wanted);
  FD_SET(as_socket(socket), &failed);
  timeval limit{};
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = (timeout_ms % 1000) * 1000;
  int ready = ::select(0, for_write ? nullptr : &wanted, for_write ? &wanted : nullptr, &failed,
                       &limit);
  if (ready > 0) return Readiness::kReady;
  if (ready == 0) return Readiness::kTimedOut;
  return Readiness::kFailed;
}

std::ptrdiff_t try_read(SocketHandle socket, char* buffer, std::size_t size, SocketError* error) {
  int length = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  for (;;) {
    int count = ::recv(as_socket(socket), buffer, length, 0);
    if (count >= 0) return count;
    int code = WSAGetLastError();
    if (code == WSAEINTR) continue;
    if (code == WSAEWOULDBLOCK) return kWouldBlock;
    if (code == WSAESHUTDOWN) return 0;
    report(error, code);
    return -1;
  }
}

std::ptrdiff_t try_write(SocketHandle socket, const char* data, std::size_t size,
                         SocketError* error) {
  int length = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  for (;;) {
    int count = ::send(as_socket(socket), data, length, 0);
    if (count >= 0) return count;
    int code = WSAGetLastError();
    if (code == WSAEINTR) continue;
    if (code == WSAEWOULDBLOCK) return kWouldBlock;
    report(error, code);
    return -1;
  }
}

void close_socket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(as_socket(socket));
}

bool start_detached_thread(void (*run)(void*), void* arg, std::size_t stack_bytes) {
  auto* start = new ThreadStart{run, arg};
  std::uintptr_t thread = _beginthreadex(nullptr, static_cast<unsigned>(stack_bytes), thread_main,
                                         start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == 0) {
    delete start;
    return false;
  }
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

}  // namespace perchkin::net
