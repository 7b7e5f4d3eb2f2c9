#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "support/listen_on_loopback.h"

namespace vellumark::testing {

namespace {

// The byte stream of one connection, plain or TLS, with waits that the stop pipe can end.
class Stream {
 public:
  Stream(int fd, int stop_fd, SSL* ssl) : fd_(fd), stop_fd_(stop_fd), ssl_(ssl) {}

  // Waits until the connection is readable (or `ms` passed, -1 for ever). False when the
  // server is stopping or the time ran out.
  bool WaitReadable(int ms) {
    if (ssl_ && SSL_pending(ssl_) > 0) return true;
    pollfd p[2] = {{fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(p, 2, ms) <= 0) return false;
    return (p[1].revents & POLLIN) == 0;
  }
  // Sleeps `ms`, ending early when the server stops. False when it stops.
  bool Sleep(int ms) {
    pollfd p{stop_fd_, POLLIN, 0};
    return ::poll(&p, 1, ms) == 0;
  }
  int Read(char* buf, int n) {
    if (ssl_) return SSL_read(ssl_, buf, n);
    return static_cast<int>(::recv(fd_, buf, static_cast<std::size_t>(n), 0));
  }
  bool Write(const std::string& data) {
    std::size_t at = 0;
    while (at < data.size()) {
      const int n =
          ssl_ ? SSL_write(ssl_, data.data() + at, static_cast<int>(data.size() - at))
               : static_cast<int>(::send(fd_, data.data() + at, data.size() - at, MSG_NOSIGNAL));
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  int stop_fd_;
  SSL* ssl_;
};

// The value of Content-Length in a request header block, or 0.
std::size_t RequestBodyLength(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoul(lower.c_str() + at + 17, nullptr, 10));
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(const char* address) {
  listen_fd_ = ListenOnLoopback(&port_, address);
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  default_reply_ =
      ServerReply::Text(HttpResponse("200 OK", {"Content-Type: text/html"}, "<p>x</p>"));
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  const char c = 'x';
  [[maybe_unused]] const ssize_t n = ::write(stop_pipe_[1], &c, 1);
  thread_.join();
  ::close(listen_fd_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
  if (tls_ctx_) SSL_CTX_free(static_cast<SSL_CTX*>(tls_ctx_));
}

void LoopbackHttpServer::Push(ServerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back(std::move(reply));
}

void LoopbackHttpServer::SetDefault(ServerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  default_reply_ = std::move(reply);
}

void LoopbackHttpServer::UseTls(const std::string& cert_file, const std::string& key_file) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, cert_file.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    if (ctx) SSL_CTX_free(ctx);
    throw std::runtime_error("cannot load the test certificate " + cert_file);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  tls_ctx_ = ctx;
  IgnoreBrokenPipes();
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string LoopbackHttpServer::LastRequest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.empty() ? std::string() : requests_.back();
}

void LoopbackHttpServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

int LoopbackHttpServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

void LoopbackHttpServer::Serve() {
  AcceptUntilStopped(listen_fd_, stop_pipe_[0], [this](int fd) {
    Handle(fd);
    ::close(fd);
  });
}

void LoopbackHttpServer::Handle(int fd) {
  ServerReply reply;
  SSL_CTX* ctx = nullptr;
  std::size_t index = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++connections_;
    if (!script_.empty()) {
      reply = std::move(script_.front());
      script_.pop_front();
    } else {
      reply = default_reply_;
    }
    ctx = static_cast<SSL_CTX*>(tls_ctx_);
    index = requests_.size();
    requests_.emplace_back();
  }
  // A silent server accepts and then says nothing, not even a TLS handshake; it waits until
  // the client closes or the server stops.
  if (reply.never_answer) {
    Stream s(fd, stop_pipe_[0], nullptr);
    char buf[4096];
    while (s.WaitReadable(-1) && s.Read(buf, sizeof buf) > 0) {
    }
    return;
  }

  SSL* ssl = nullptr;
  if (ctx) {
    ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    timeval tv{5, 0};  // a client that stops mid-handshake must not hold the thread for ever
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (SSL_accept(ssl) != 1) {
      SSL_free(ssl);
      ERR_clear_error();
      return;
    }
  }
  Stream s(fd, stop_pipe_[0], ssl);

  // The request: the header block, then as many body bytes as Content-Length announces, but
  // only as long as they keep coming (a client may announce data it does not send).
  std::string request;
  char buf[4096];
  std::size_t head_end = std::string::npos;
  while (head_end == std::string::npos && s.WaitReadable(2000)) {
    const int n = s.Read(buf, sizeof buf);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
    head_end = request.find("\r\n\r\n");
  }
  if (head_end != std::string::npos) {
    const std::size_t want = head_end + 4 + RequestBodyLength(request.substr(0, head_end + 2));
    while (request.size() < want && s.WaitReadable(200)) {
      const int n = s.Read(buf, sizeof buf);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < requests_.size()) requests_[index] = request;
  }

  bool stopping = false;
  bool written = true;
  for (const ServerReply::Chunk& chunk : reply.chunks) {
    if (chunk.delay_ms > 0 && !s.Sleep(chunk.delay_ms)) {
      stopping = true;
      break;
    }
    if (!(written = s.Write(chunk.data))) break;
  }
  if (reply.keep_open && written && !stopping) {
    // Until the client closes (a read of 0, or a failed write) or the server stops.
    for (;;) {
      if (reply.repeat.empty()) {
        if (!s.WaitReadable(-1) || s.Read(buf, sizeof buf) <= 0) break;
        continue;
      }
      if (reply.repeat_delay_ms > 0 && !s.Sleep(reply.repeat_delay_ms)) break;
      if (!s.Write(reply.repeat)) break;
      repeated_bytes_ += static_cast<long long>(reply.repeat.size());
    }
    stopping = true;  // the client is gone: no close message
  }
  if (ssl) {
    if (!stopping) SSL_shutdown(ssl);
    SSL_free(ssl);
  }
}

std::uint16_t RefusingPort() {
  std::uint16_t port = 0;
  const int fd = ListenOnLoopback(&port);
  ::close(fd);
  return port;
}

std::string HttpResponse(const std::string& status, const std::vector<std::string>& headers,
                         const std::string& body) {
  std::string text = "HTTP/1.0 " + status + "\r\n";
  for (const std::string& h : headers) text += h + "\r\n";
  return text + "\r\n" + body;
}

}  // namespace vellumark::testing
