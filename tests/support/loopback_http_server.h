// A scripted HTTP server on 127.0.0.1 for the network tests. It listens on a port of its own
// choosing, records the exact bytes of every request, and answers each connection with the next
// scripted reply (or the default one): chunks with delays, a close before sending anything,
// silence until the client gives up, or a connection kept open (idle, or sending one piece
// again and again) after the chunks. With UseTls it speaks TLS with the given certificate.
//
// Connections are served one after another on the server's own thread. The destructor stops
// the thread; replies in progress end at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellumark::testing {

struct ServerReply {
  struct Chunk {
    std::string data;
    int delay_ms = 0;  // waited before the chunk is sent
  };
  std::vector<Chunk> chunks;
  bool never_answer = false;  // accept, read nothing, send nothing, wait until the client closes
  // After the chunks, the connection stays open until the client closes it: idle when
  // `repeat` is empty, otherwise sending `repeat` again and again, `repeat_delay_ms` apart.
  bool keep_open = false;
  std::string repeat;
  int repeat_delay_ms = 0;

  // One chunk, then the server closes.
  static ServerReply Text(std::string data) {
    ServerReply r;
    r.chunks.push_back({std::move(data), 0});
    return r;
  }
  // Closes as soon as the request has arrived.
  static ServerReply CloseAtOnce() { return ServerReply{}; }
  static ServerReply Silent() {
    ServerReply r;
    r.never_answer = true;
    return r;
  }
  // `data`, then the connection stays open; `repeat`, when given, follows again and again.
  static ServerReply KeepOpen(std::string data, std::string repeat = {}, int repeat_delay_ms = 0) {
    ServerReply r = Text(std::move(data));
    r.keep_open = true;
    r.repeat = std::move(repeat);
    r.repeat_delay_ms = repeat_delay_ms;
    return r;
  }
};

class LoopbackHttpServer {
 public:
  // Listens on `address`, a loopback address.
  explicit LoopbackHttpServer(const char* address = "127.0.0.1");
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  std::uint16_t port() const { return port_; }

  // Replies for the next connections, in order; when they are used up, the default one.
  void Push(ServerReply reply);
  void SetDefault(ServerReply reply);

  // Serves TLS with the PEM certificate chain and key in these files. Call before the first
  // connection. A client that refuses the certificate makes a connection without a request.
  void UseTls(const std::string& cert_file, const std::string& key_file);

  // Bytes sent after the chunks of `repeat` replies, over all connections.
  long long RepeatedBytes() const { return repeated_bytes_; }

  // The exact bytes received on each connection so far (header block and any body).
  std::vector<std::string> Requests() const;
  std::string LastRequest() const;
  int Connections() const;
  // Forgets the requests recorded so far (a long-running user keeps memory flat with it).
  void ClearRequests();

 private:
  void Serve();
  void Handle(int fd);

  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};  // written by the destructor to wake the thread
  std::uint16_t port_ = 0;
  void* tls_ctx_ = nullptr;  // SSL_CTX*, when serving TLS
  mutable std::mutex mutex_;
  std::deque<ServerReply> script_;
  ServerReply default_reply_;
  std::vector<std::string> requests_;
  int connections_ = 0;
  std::atomic<long long> repeated_bytes_{0};
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens, so that connecting to it is refused.
std::uint16_t RefusingPort();

// "HTTP/1.0 <status>\r\n" + the header lines (each with CR LF) + "\r\n" + body.
std::string HttpResponse(const std::string& status, const std::vector<std::string>& headers,
                         const std::string& body = "");

}  // namespace vellumark::testing
