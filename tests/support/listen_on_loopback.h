// The listening socket of the tests' loopback servers.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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

// A socket listening at a free loopback port whose connections each get a thread of their own
// running `handle(fd)`, which must close fd and return soon after Stopping() turns true. The
// destructor stops accepting, turns Stopping() true and joins every thread: a server declares
// its listener last, so that the threads end before anything they use goes.
class LoopbackListener {
 public:
  explicit LoopbackListener(std::function<void(int fd)> handle) : handle_(std::move(handle)) {
    listen_fd_ = ListenOnLoopback(&port_);
    if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    thread_ = std::thread([this] {
      AcceptUntilStopped(listen_fd_, stop_pipe_[0],
                         [this](int fd) { workers_.emplace_back([this, fd] { handle_(fd); }); });
    });
  }
  ~LoopbackListener() {
    stopping_ = true;
    char c = 0;
    (void)!::write(stop_pipe_[1], &c, 1);
    thread_.join();
    for (std::thread& t : workers_) t.join();
    ::close(listen_fd_);
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  bool Stopping() const { return stopping_; }

 private:
  std::function<void(int fd)> handle_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> workers_;  // touched by the accepting thread only, until it ends
  std::thread thread_;
};

}  // namespace vellumark::testing
