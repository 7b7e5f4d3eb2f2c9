#include "net/tls_session.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "net/winsock_errors.h"

namespace vellumark {

namespace {

// A socket BIO whose writes cannot raise SIGPIPE: OpenSSL's own writes with write(2), which
// kills the process when the peer has reset the connection.
int BioWrite(BIO* bio, const char* data, int length) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  const ssize_t n = ::send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
    BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int length) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
  BIO_clear_retry_flags(bio);
  const ssize_t n = ::recv(fd, data, static_cast<std::size_t>(length), 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long BioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vellumark socket");
    BIO_meth_set_write(m, BioWrite);
    BIO_meth_set_read(m, BioRead);
    BIO_meth_set_ctrl(m, BioCtrl);
    BIO_meth_set_create(m, BioCreate);
    return m;
  }();
  return method;
}

// The reason of the oldest queued OpenSSL error, or "unknown error"; clears the queue.
std::string TakeReason() {
  const unsigned long code = ERR_get_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason ? reason : "unknown error";
}

}  // namespace

void SslCtxFree::operator()(ssl_ctx_st* ctx) const { SSL_CTX_free(ctx); }
void SslFree::operator()(ssl_st* ssl) const { SSL_free(ssl); }

TlsClientContext::TlsClientContext(const std::string& ca_file) : ca_file_(ca_file) {
  ctx_.reset(SSL_CTX_new(TLS_client_method()));
  if (!ctx_) throw ESockError("TLS Handshake Failed: " + TakeReason());
  SSL_CTX* ctx = ctx_.get();
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_paths(ctx);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // HTTP/1.0 ends a body by closing the connection, and many servers close without the TLS
  // close message; such an end counts as the end of the stream.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (!ca_file.empty() && SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr) != 1) {
    ERR_clear_error();
    throw ESockError("Certificate verification failed: cannot read the trusted certificates in \"" +
                     ca_file + "\"");
  }
}

TlsSession::TlsSession(const TlsClientContext& context, int fd, const std::string& host)
    : ssl_(SSL_new(context.get())) {
  if (!ssl_) throw ESockError("TLS Handshake Failed: " + TakeReason());
  SSL* ssl = ssl_.get();
  BIO* bio = BIO_new(SocketBioMethod());
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
  SSL_set_bio(ssl, bio, bio);
  in_addr numeric{};
  if (::inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, host.c_str());
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl, host.c_str());
  }
}

TlsSession::~TlsSession() {
  if (SSL_is_init_finished(ssl_.get())) SSL_shutdown(ssl_.get());
  ERR_clear_error();
}

TlsSession::Step TlsSession::Handshake() {
  ERR_clear_error();
  const int r = SSL_connect(ssl_.get());
  if (r == 1) return Step::kDone;
  const int saved_errno = errno;
  const int error = SSL_get_error(ssl_.get(), r);
  if (error == SSL_ERROR_WANT_READ) return Step::kWantRead;
  if (error == SSL_ERROR_WANT_WRITE) return Step::kWantWrite;

  const long verify = SSL_get_verify_result(ssl_.get());
  if (verify != X509_V_OK) {
    failure_ =
        std::string("Certificate verification failed: ") + X509_verify_cert_error_string(verify);
  } else if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN) {
    failure_ = saved_errno != 0 ? "TLS Handshake Failed: " + std::string(std::strerror(saved_errno))
                                : "TLS Handshake Failed: the server closed the connection";
  } else {
    failure_ = "TLS Handshake Failed: " + TakeReason();
  }
  ERR_clear_error();
  return Step::kFailed;
}

int TlsSession::Read(char* buffer, int length, bool peek, int* error) {
  ERR_clear_error();
  const int got =
      peek ? SSL_peek(ssl_.get(), buffer, length) : SSL_read(ssl_.get(), buffer, length);
  if (got > 0) return got;
  const int saved_errno = errno;
  switch (SSL_get_error(ssl_.get(), got)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      *error = kWsaEWouldBlock;
      return -1;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_SYSCALL:
      if (saved_errno == 0) return 0;
      *error = WinsockErrorNumber(saved_errno);
      return -1;
    default:
      throw ESockError("TLS Error: " + TakeReason());
  }
}

int TlsSession::Write(const char* buffer, int length, int* error) {
  ERR_clear_error();
  const int sent = SSL_write(ssl_.get(), buffer, length);
  if (sent > 0) return sent;
  const int saved_errno = errno;
  switch (SSL_get_error(ssl_.get(), sent)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      *error = kWsaEWouldBlock;
      return -1;
    case SSL_ERROR_SYSCALL:
      *error = WinsockErrorNumber(saved_errno != 0 ? saved_errno : EPIPE);
      return -1;
    default:
      throw ESockError("TLS Error: " + TakeReason());
  }
}

}  // namespace vellumark
