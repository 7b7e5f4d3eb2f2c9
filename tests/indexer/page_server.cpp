#include "indexer/page_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <stdexcept>

#include "support/listen_on_loopback.h"

namespace vellumark::testing {

namespace {

std::string Gzip(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The body in chunks of at most 4 KiB, and the last chunk.
std::string Chunked(const std::string& body) {
  std::string out;
  char size[16];
  for (std::size_t at = 0; at < body.size(); at += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, body.size() - at);
    std::snprintf(size, sizeof size, "%zx\r\n", n);
    out += size + body.substr(at, n) + "\r\n";
  }
  return out + "0\r\n\r\n";
}

bool SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void PageServer::Set(const std::string& path, Route route) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(route);
}

int PageServer::Requests(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = requests_.find(path);
  return it == requests_.end() ? 0 : it->second;
}

void PageServer::Handle(int fd) {
  ++connections_;
  std::string pending;
  char buffer[8192];
  while (!Stopping()) {
    const std::size_t end = pending.find("\r\n\r\n");
    if (end != std::string::npos) {
      const std::string request = pending.substr(0, end + 4);
      pending.erase(0, end + 4);
      if (!Answer(fd, request)) break;
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
}

bool PageServer::Answer(int fd, const std::string& request) {
  const std::size_t sp1 = request.find(' ');
  const std::size_t sp2 = request.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
  const std::string method = request.substr(0, sp1);
  const std::string path = request.substr(sp1 + 1, sp2 - sp1 - 1);
  std::string lower = request;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t encodings = lower.find("\r\naccept-encoding:");
  const bool accepts_gzip =
      encodings != std::string::npos &&
      lower.substr(encodings, lower.find('\r', encodings + 2) - encodings).find("gzip") !=
          std::string::npos;
  // An HTTP/1.0 client reads to the end of the connection.
  const bool keep_alive =
      request.substr(0, request.find('\r')).find("HTTP/1.0") == std::string::npos;
  Route route;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[path];
    if (auto it = routes_.find(path); it != routes_.end()) {
      route = it->second;
      found = true;
    }
  }
  if (!found) {
    route.status = 404;
    route.body = "<html><head><title>Not found</title></head><body>Not found</body></html>";
  }

  const int active = ++active_;
  for (int peak = peak_active_;
       active > peak && !peak_active_.compare_exchange_weak(peak, active);) {
  }
  bool ok = true;
  if (route.hang) {
    // Silent until the client gives up or the server stops.
    char c;
    while (!Stopping()) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0 && ::recv(fd, &c, 1, MSG_PEEK) <= 0) break;
    }
    ok = false;
  } else {
    for (int waited = 0; waited < route.delay_ms && !Stopping(); waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string body = route.body;
    std::string head = "HTTP/1.1 " + std::to_string(route.status) + " Answer\r\n";
    if (!route.content_type.empty()) head += "Content-Type: " + route.content_type + "\r\n";
    bool chunked = route.chunked;
    if (route.gzip && accepts_gzip) {
      body = Gzip(body);
      head += "Content-Encoding: gzip\r\n";
      chunked = true;
    }
    for (const std::string& line : route.headers) head += line + "\r\n";
    head += chunked ? std::string("Transfer-Encoding: chunked\r\n")
                    : "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "\r\n";
    if (method != "HEAD") head += chunked ? Chunked(body) : body;
    ok = SendAll(fd, head);
  }
  --active_;
  return ok && keep_alive;
}

}  // namespace vellumark::testing
