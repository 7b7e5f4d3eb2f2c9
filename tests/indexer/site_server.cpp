#include "indexer/site_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "support/listen_on_loopback.h"

namespace vellumark::testing {

void SiteServer::SetPage(const std::string& path, SitePage page) {
  std::lock_guard<std::mutex> lock(mutex_);
  pages_[path] = std::move(page);
}

std::vector<std::string> SiteServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int SiteServer::Count(const std::string& request_line) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count(requests_.begin(), requests_.end(), request_line));
}

void SiteServer::Handle(int fd) {
  // Reads the request header block, waking now and then to see whether the server stops.
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos &&
         request.find("\n\n") == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, 100);
    if (Stopping()) break;
    if (r <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t line_end = request.find_first_of("\r\n");
  const std::string line = request.substr(0, line_end);
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = line.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) {
    ::close(fd);
    return;
  }
  const std::string method = line.substr(0, sp1);
  const std::string path = line.substr(sp1 + 1, sp2 - sp1 - 1);
  SitePage page;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(method + " " + path);
    auto it = pages_.find(path);
    if (it != pages_.end()) {
      page = it->second;
      found = true;
    }
  }
  if (found && page.hang) {
    // Silent until the client gives up or the server stops.
    while (!Stopping()) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
    }
    ::close(fd);
    return;
  }
  std::string response;
  if (found) {
    response = "HTTP/1.0 " + std::to_string(page.status) +
               (page.status == 200 ? " OK" : " Status") + "\r\nContent-Type: " + page.content_type +
               "\r\nContent-Length: " + std::to_string(page.body.size()) + "\r\n";
    for (const std::string& line : page.headers) response += line + "\r\n";
    response += "\r\n";
  } else {
    page.body = "<html><head><title>Not found</title></head><body></body></html>";
    response = "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
               std::to_string(page.body.size()) + "\r\n\r\n";
  }
  if (method != "HEAD") response += page.body;
  std::size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t n = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);
  // Let the client read to the end before the socket goes.
  for (int i = 0; i < 50 && !Stopping(); ++i) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
  }
  ::close(fd);
}

}  // namespace vellumark::testing
