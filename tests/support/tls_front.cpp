#include "support/tls_front.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "support/listen_on_loopback.h"

namespace vellumark::testing {

TlsFront::TlsFront(std::uint16_t backend_port, const std::string& cert_file,
                   const std::string& key_file)
    : backend_port_(backend_port) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    if (ctx) SSL_CTX_free(ctx);
    throw std::runtime_error("cannot load the test certificate " + cert_file);
  }
  tls_ctx_ = ctx;
  IgnoreBrokenPipes();
  listen_fd_ = ListenOnLoopback(&port_);
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("TLS front cannot make a pipe");
  thread_ = std::thread([this] { Serve(); });
}

TlsFront::~TlsFront() {
  const char c = 'x';
  [[maybe_unused]] const ssize_t n = ::write(stop_pipe_[1], &c, 1);
  thread_.join();
  for (std::thread& t : workers_) t.join();
  ::close(listen_fd_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
  SSL_CTX_free(static_cast<SSL_CTX*>(tls_ctx_));
}

std::string TlsFront::Origin() const { return "https://127.0.0.1:" + std::to_string(port_); }

void TlsFront::Serve() {
  AcceptUntilStopped(listen_fd_, stop_pipe_[0], [this](int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, fd] { Relay(fd); });
  });
}

void TlsFront::Relay(int client_fd) {
  SSL* ssl = SSL_new(static_cast<SSL_CTX*>(tls_ctx_));
  SSL_set_fd(ssl, client_fd);
  timeval tv{5, 0};  // a client that stops mid-handshake must not hold the thread for ever
  ::setsockopt(client_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  int backend = -1;
  if (SSL_accept(ssl) == 1) {
    ++secured_;
    backend = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(backend_port_);
    if (backend >= 0 && ::connect(backend, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(backend);
      backend = -1;
    }
  }
  // Both ways until the server behind has closed; the client's end of sending is passed on.
  bool client_open = true;
  char buffer[16384];
  while (backend >= 0) {
    // A negative descriptor is left out of the poll once the client has closed.
    pollfd p[3] = {{client_open ? client_fd : -1, POLLIN, 0},
                   {backend, POLLIN, 0},
                   {stop_pipe_[0], POLLIN, 0}};
    if (SSL_pending(ssl) == 0 && ::poll(p, 3, -1) < 0) continue;
    if (p[2].revents & POLLIN) break;
    if (client_open && (SSL_pending(ssl) > 0 || p[0].revents)) {
      const int n = SSL_read(ssl, buffer, sizeof buffer);
      if (n > 0) {
        if (::send(backend, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
      } else if (SSL_get_error(ssl, n) != SSL_ERROR_WANT_READ) {
        client_open = false;
        ::shutdown(backend, SHUT_WR);
      }
    }
    if (p[1].revents) {
      const ssize_t n = ::recv(backend, buffer, sizeof buffer, 0);
      if (n <= 0) {
        SSL_shutdown(ssl);
        break;
      }
      if (SSL_write(ssl, buffer, static_cast<int>(n)) <= 0) break;
    }
  }
  if (backend >= 0) ::close(backend);
  SSL_free(ssl);
  ERR_clear_error();
  ::close(client_fd);
}

}  // namespace vellumark::testing
