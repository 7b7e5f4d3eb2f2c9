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
  SiteServer();
  ~SiteServer();
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string Origin() const;

  // Adds or replaces the page at `path` (starting with "/", query included).
  void SetPage(const std::string& path, SitePage page);
  // Request lines received so far ("HEAD /a.html"), in order.
  std::vector<std::string> Requests() const;
  int Count(const std::string& request_line) const;

 private:
  void Serve();
  void Handle(int fd);

  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, SitePage> pages_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace vellumark::testing
