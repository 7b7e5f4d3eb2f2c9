// The TLS side of a secure connection, over OpenSSL: a client context that holds the trusted
// authorities, and the session of one connected socket. Each owns its OpenSSL object and
// frees it when it goes, so that no error path needs clean-up code.
//
// The server's certificate must chain to the system's trusted store or to a certificate of
// the context's extra authority file, and must be made out to the host the session names;
// verification cannot be turned off. The session reads and writes its socket itself, with
// sends that cannot raise SIGPIPE; it never blocks, but asks its caller to wait for the socket.
#pragma once

#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

namespace vellumark {

struct SslCtxFree {
  void operator()(ssl_ctx_st* ctx) const;
};
struct SslFree {
  void operator()(ssl_st* ssl) const;
};

// A client context: TLS 1.2 or later, peers verified.
class TlsClientContext final {
 public:
  // `ca_file`: PEM certificates of authorities trusted besides the system's store, or empty.
  // Raises ESockError "Certificate verification failed: cannot read the trusted certificates
  // in ..." when the file cannot be read.
  explicit TlsClientContext(const std::string& ca_file);
  TlsClientContext(const TlsClientContext&) = delete;
  TlsClientContext& operator=(const TlsClientContext&) = delete;

  const std::string& ca_file() const { return ca_file_; }
  ssl_ctx_st* get() const { return ctx_.get(); }

 private:
  std::unique_ptr<ssl_ctx_st, SslCtxFree> ctx_;
  std::string ca_file_;  // the extra authorities the context was made with
};

// The TLS session of one connection, from the handshake to the end of the stream.
class TlsSession final {
 public:
  enum class Step { kDone, kWantRead, kWantWrite, kFailed };

  // REQUIRES: `fd` is a connected non-blocking socket that stays open, and `context` stays
  // alive, while the session lives. `host` is the name (or dotted address) the server's
  // certificate must carry.
  TlsSession(const TlsClientContext& context, int fd, const std::string& host);
  // Tells the server that the stream ends here, when the handshake had finished; the answer
  // is not waited for.
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // One step of the client handshake. kWantRead / kWantWrite: call again when the socket is
  // readable / writable. kFailed: FailureText() says why.
  Step Handshake();
  const std::string& FailureText() const { return failure_; }

  // Reads (or with `peek` looks at) up to `length` bytes: the count, 0 at the end of the
  // stream, or -1 with the Winsock number in `*error` (would-block when nothing is there
  // yet). Raises ESockError "TLS Error: ..." when the stream is broken.
  int Read(char* buffer, int length, bool peek, int* error);
  // Writes up to `length` bytes: the count, or -1 with the Winsock number in `*error`.
  int Write(const char* buffer, int length, int* error);

 private:
  std::unique_ptr<ssl_st, SslFree> ssl_;
  std::string failure_;  // why the handshake failed
};

}  // namespace vellumark
