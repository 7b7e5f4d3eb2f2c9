// A small web site on 127.0.0.1 for the indexer's tests: answers HEAD and GET by path from a
// table of pages (status, content type, header lines and body), 404 for the rest. Every connection
// is served on a thread of its own, since a browser keeps several open at once. A page marked
// `hang` is answered only when the client closes, so a request to it waits until it is aborted.
//
// The destructor closes the listening socket and waits for the connections to end.
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

struct SitePage {
  std::string content_type = "text/html";
  std::string body;
  bool hang = false;
  int status = 200;
  std::vector<std::string> headers{};  // further header lines ("Location: /b/")
};

class SiteServer {
 public:
  SiteServer() = default;
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  std::uint16_t port() const { return listener_.Port(); }
  // "http://127.0.0.1:<port>"
  std::string Origin() const { return listener_.Origin(); }

  // Adds or replaces the page at `path` (starting with "/", query included).
  void SetPage(const std::string& path, SitePage page);
  // Request lines received so far ("HEAD /a.html"), in order.
  std::vector<std::string> Requests() const;
  int Count(const std::string& request_line) const;

 private:
  void Handle(int fd);
  bool Stopping() const { return listener_.Stopping(); }

  mutable std::mutex mutex_;
  std::map<std::string, SitePage> pages_;
  std::vector<std::string> requests_;
  LoopbackListener listener_{[this](int fd) { Handle(fd); }};  // last: its threads end first
};

}  // namespace vellumark::testing
