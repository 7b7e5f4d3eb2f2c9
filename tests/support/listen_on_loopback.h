// The listening socket of the tests' loopback servers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vellumark::testing {

// A socket listening on a loopback address (127.0.0.1 unless named; any 127.x.y.z works) at a
// free port, which goes to `port`. Throws when there is none.
inline int ListenOnLoopback(std::uint16_t* port, const char* address = "127.0.0.1") {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("cannot make a socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  ::inet_pton(AF_INET, address, &a.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    throw std::runtime_error(std::string("cannot listen on ") + address);
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return fd;
}

// A TLS server writes with write(2) through OpenSSL, which raises SIGPIPE when the client has
// already gone (a client that stops reading at the end of a header does); the test process
// must not die of it.
inline void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

// Accepts connections on `listen_fd` and hands each to `on_accept` until `stop_fd` becomes
// signals anything (the server's stop pipe: a byte written, or its write end closed).
template <typename OnAccept>
void AcceptUntilStopped(int listen_fd, int stop_fd, OnAccept on_accept) {
  for (;;) {
    pollfd p[2] = {{listen_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    if (p[1].revents != 0) return;
    const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    on_accept(fd);
  }
}

}  // namespace vellumark::testing
