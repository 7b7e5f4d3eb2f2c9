// A TLS front on 127.0.0.1 for a plain loopback server: every connection it accepts is
// secured with the given certificate and its bytes relayed to the server behind it, so that a
// plain test site is served over https as well. Each connection runs on a thread of its own,
// since a browser keeps several open at once. The destructor ends them all.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellumark::testing {

class TlsFront {
 public:
  // Throws std::runtime_error when the certificate or key cannot be loaded.
  TlsFront(std::uint16_t backend_port, const std::string& cert_file, const std::string& key_file);
  ~TlsFront();
  TlsFront(const TlsFront&) = delete;
  TlsFront& operator=(const TlsFront&) = delete;

  std::uint16_t port() const { return port_; }
  // "https://127.0.0.1:<port>"
  std::string Origin() const;
  // Connections whose handshake succeeded.
  int Secured() const { return secured_; }

 private:
  void Serve();
  void Relay(int client_fd);

  std::uint16_t backend_port_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  void* tls_ctx_ = nullptr;  // SSL_CTX*
  std::atomic<int> secured_{0};
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::thread thread_;
};

}  // namespace vellumark::testing
