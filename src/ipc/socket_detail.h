// What the two socket layers share. Included by socket_posix.cpp and socket_win32.cpp after
// their platform's socket headers, which give sockaddr_in, htons and htonl.
#pragma once

#include "ipc/socket.h"

#include <cstdint>
#include <string>

namespace perchkin::net::detail {

// The platform's words for an error code, and whether the code means nothing listens.
std::string error_text(int code);
bool is_refused(int code);

inline void report(SocketError* error, int code) {
  if (error == nullptr) return;
  error->message = error_text(code);
  error->refused = is_refused(code);
}

inline sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace perchkin::net::detail
