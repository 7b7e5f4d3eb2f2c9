// An HTTP/1.1 web site on 127.0.0.1 for the fast loader's tests and benchmarks: answers GET and
// HEAD by path from a table of routes, keeps connections alive, and can answer compressed,
// in chunks, late or never. It counts requests and connections and the most requests it was
// answering at one time, so tests can see keep-alive and the limits on requests in flight.
//
// Every connection is served on a thread of its own. The destructor closes the listening socket
// and ends every connection, also those waiting on a route that never answers.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/listen_on_loopback.h"

namespace vellumark::testing {

struct Route {
 public:
  int status = 200;
  std::string content_type = "text/html";  // no content-type line when empty
  std::vector<std::string> headers;        // further header lines ("Location: /b")
  std::string body;
  bool gzip = false;     // compressed (and sent in chunks) when the request accepts gzip
  bool chunked = false;  // sent in chunks, without a content length
  int delay_ms = 0;      // waited before answering
  bool hang = false;     // never answered

  // Copies with one field changed, for tables of routes.
  static Route Html(std::string text) { return Route().Body(std::move(text)); }
  Route Status(int s) const {
    return With([&](Route& r) { r.status = s; });
  }
  Route Type(std::string t) const {
    return With([&](Route& r) { r.content_type = std::move(t); });
  }
  Route Header(std::string h) const {
    return With([&](Route& r) { r.headers.push_back(h); });
  }
  Route Body(std::string b) const {
    return With([&](Route& r) { r.body = std::move(b); });
  }
  Route Gzip() const {
    return With([](Route& r) { r.gzip = true; });
  }
  Route Chunked() const {
    return With([](Route& r) { r.chunked = true; });
  }
  Route Delay(int ms) const {
    return With([&](Route& r) { r.delay_ms = ms; });
  }
  Route Hang() const {
    return With([](Route& r) { r.hang = true; });
  }

 private:
  template <typename F>
  Route With(F change) const {
    Route r = *this;
    change(r);
    return r;
  }
};

class PageServer {
 public:
  PageServer() = default;
  PageServer(const PageServer&) = delete;
  PageServer& operator=(const PageServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string Origin() const { return listener_.Origin(); }
  std::uint16_t port() const { return listener_.Port(); }

  // Adds or replaces the route at `path` (starting with "/", query included). Paths without a
  // route answer 404.
  void Set(const std::string& path, Route route);

  int Requests(const std::string& path) const;
  int Connections() const { return connections_; }
  int PeakActive() const { return peak_active_; }
  // Requests being answered now.
  int Active() const { return active_; }

 private:
  void Handle(int fd);
  // Answers one request; false when the connection must close.
  bool Answer(int fd, const std::string& request);
  bool Stopping() const { return listener_.Stopping(); }

  mutable std::mutex mutex_;
  std::map<std::string, Route> routes_;
  std::map<std::string, int> requests_;
  std::atomic<int> connections_{0};
  std::atomic<int> active_{0};
  std::atomic<int> peak_active_{0};
  LoopbackListener listener_{[this](int fd) { Handle(fd); }};  // last: its threads end first
};

}  // namespace vellumark::testing
