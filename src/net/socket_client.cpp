#include "net/socket_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace vellumark {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `file_name` with `mode`; `verb` names the failure ("create", "open").
FileHandle OpenFile(const std::string& file_name, const char* mode, const char* verb) {
  FileHandle file(std::fopen(file_name.c_str(), mode));
  if (!file) {
    throw Exception(std::string("Cannot ") + verb + " file \"" + file_name + "\". " +
                    std::strerror(errno));
  }
  return file;
}

struct ErrorRow {
  int number;
  const char* text;
};

constexpr ErrorRow kErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

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

}  // namespace

int WinsockErrorNumber(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case EWOULDBLOCK:
      return kWsaEWouldBlock;
    case EINPROGRESS:
      return kWsaEInProgress;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return kWsaENotConn;
    case ESHUTDOWN:
    case EPIPE:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    case EUSERS:
      return 10068;
    case EDQUOT:
      return 10069;
    case ESTALE:
      return 10070;
    case EREMOTE:
      return 10071;
    // Kept clear of the table's numbers so that an unmapped errno never reads as another error.
    default:
      return 20000 + e;
  }
}

int SystemHostLookup(const std::string& name, std::uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    if (result) freeaddrinfo(result);
    switch (rc) {
      case EAI_AGAIN:
        return 11002;
      case EAI_FAIL:
        return 11003;
#ifdef EAI_NODATA
      case EAI_NODATA:
        return 11004;
#endif
      default:
        return kWsaHostNotFound;
    }
  }
  *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(result);
  return 0;
}

std::string ExtractField(const std::string& text, char ch, int n) {
  if (text.empty() || n < 1) return {};
  std::size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const std::size_t sep = text.find(ch, start);
    if (sep == std::string::npos) return {};
    start = sep + 1;
  }
  const std::size_t end = text.find(ch, start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int PosOfNth(const std::string& text, char ch, int n) {
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ch && ++count == n) return static_cast<int>(i) + 1;
  }
  return static_cast<int>(text.size()) + 1;
}

// One host lookup. The helper thread holds its own reference, so a lookup abandoned after a
// time-out or a cancel ends harmlessly after the component has gone.
struct TSocketClient::Lookup {
  std::atomic<bool> done{false};
  int error = 0;              // Winsock number, 0 on success; written before `done`
  std::uint32_t address = 0;  // network byte order
};

TSocketClient::TSocketClient(EventPump& pump) : pump_(pump), lookup_fn_(SystemHostLookup) {
  Status(8, "Create");
  timer_.SetEnabled(false);
  timer_.SetOnTimer([this](TThreadTimer&) { TimerExpired(); });
  InitializeSocket();
}

TSocketClient::~TSocketClient() {
  // Handlers are not told about the destruction: their owners may be half gone.
  destroying_ = true;
  Status(8, "Destroy");
  canceled_ = true;
  try {
    CloseSocket();
  } catch (...) {
  }
  if (tls_ctx_) SSL_CTX_free(tls_ctx_);
}

void TSocketClient::SetHostLookup(HostLookupFn lookup) {
  lookup_fn_ = lookup ? std::move(lookup) : HostLookupFn(SystemHostLookup);
}

void TSocketClient::Status(int level, const std::string& text) {
  if (level > ReportLevel) return;
  status_text_ = text;
  if (!destroying_ && OnStatus) {
    try {
      OnStatus(*this, status_text_);
    } catch (...) {
      // A status handler must not break the operation that reports.
    }
  }
}

int TSocketClient::OpenSocket(bool linger) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    last_error_ = WinsockErrorNumber(errno);
    return kNoSocket;
  }
  if (linger) {
    // Closing resets the connection at once instead of draining it.
    ::linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  // A request goes out as the header block and then its empty line; waiting for the first
  // part's acknowledgement before sending the second would stall every exchange.
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void TSocketClient::InitializeSocket() {
  Status(8, "Initializing Winsock");
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  wsa_info_ = {"Version= 1.1",
               "High Version= 1.1",
               "Description= POSIX sockets",
               "System= Running",
               "Max Sockets= " + std::to_string(files.rlim_cur),
               "Max Udp pack size= 65507"};
  socket_ = OpenSocket(true);
  if (socket_ == kNoSocket) throw ESockError("Initializaton of windows sockets failed");
}

void TSocketClient::TimerOn() {
  Status(8, "Timer On");
  timed_out_ = false;
  if (TimeOut < 0) throw Exception("Invalid TimeOut");
  timer_.SetInterval(static_cast<std::uint32_t>(TimeOut));
  timer_.SetEnabled(true);
}

void TSocketClient::TimerOff() {
  Status(8, "Timer Off");
  timer_.SetEnabled(false);
}

void TSocketClient::TimerExpired() {
  Status(8, "Timer Triggered");
  TimerOff();
  timed_out_ = true;
  Abort();
}

void TSocketClient::WaitTurn(int max_ms) {
  int wait = max_ms;
  const int left = timer_.RemainingMs();
  if (left >= 0 && left < wait) wait = left;
  if (wait > 0) {
    pollfd p{};
    p.fd = -1;
    if (socket_ != kNoSocket && handshaking_) {
      p.fd = socket_;
      p.events = tls_wait_events_;
    } else if (socket_ != kNoSocket && (connecting_ || (connected_ && !close_seen_))) {
      p.fd = socket_;
      p.events = connecting_ ? POLLOUT : (POLLIN | POLLRDHUP);
    }
    ::poll(&p, 1, wait);
  }
  DispatchNotifications();
  pump_.ProcessEvents();
}

void TSocketClient::DispatchNotifications() {
  if (lookup_ && lookup_->done.load(std::memory_order_acquire)) {
    reply_arrived_ = true;
    succeeded_ = lookup_->error == 0;
    remote_address_ = succeeded_ ? lookup_->address : 0;
    if (!succeeded_) last_error_no_ = lookup_->error;
    lookup_.reset();
  }
  // What a notification handler raises stays here, as with window messages.
  try {
    if (handshaking_) {
      // The handshake reads and writes the socket itself.
    } else if (socket_ != kNoSocket && connecting_) {
      pollfd p{socket_, POLLOUT, 0};
      if (::poll(&p, 1, 0) > 0) {
        connecting_ = false;
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &err, &len);
        succeeded_ = err == 0;
        if (succeeded_) {
          connected_ = true;
          if (OnConnect) OnConnect(*this);
        } else {
          last_error_no_ = WinsockErrorNumber(err);
        }
      }
    } else if (socket_ != kNoSocket && connected_ && !close_seen_) {
      pollfd p{socket_, POLLIN | POLLRDHUP, 0};
      if (::poll(&p, 1, 0) > 0) {
        if ((p.revents & POLLIN) && !read_notified_) {
          read_notified_ = true;
          if (OnDataAvailable) OnDataAvailable(*this);
        }
        if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) {
          close_seen_ = true;
          succeeded_ = (p.revents & POLLERR) == 0;
          // With data still waiting, the reader meets the end of the stream itself.
          if (!DataAvailable()) CloseSocket();
        }
      }
    } else if (socket_ != kNoSocket && accepting_) {
      pollfd p{socket_, POLLIN, 0};
      if (::poll(&p, 1, 0) > 0) {
        reply_arrived_ = true;
        succeeded_ = (p.revents & POLLERR) == 0;
        if (OnAccept) OnAccept(*this);
      }
    }
  } catch (...) {
  }
  timer_.Poll();
}

int TSocketClient::Receive(char* buffer, int length, bool peek) {
  if (socket_ == kNoSocket) {
    last_error_ = 10038;
    return -1;
  }
  if (ssl_) {
    ERR_clear_error();
    const int got = peek ? SSL_peek(ssl_, buffer, length) : SSL_read(ssl_, buffer, length);
    if (got > 0) {
      if (!peek) read_notified_ = false;
      return got;
    }
    const int saved_errno = errno;
    switch (SSL_get_error(ssl_, got)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        last_error_ = kWsaEWouldBlock;
        return -1;
      case SSL_ERROR_ZERO_RETURN:
        return 0;
      case SSL_ERROR_SYSCALL:
        if (saved_errno == 0) return 0;
        last_error_ = WinsockErrorNumber(saved_errno);
        return -1;
      default:
        RaiseTlsError("TLS Error: ");
    }
  }
  const ssize_t got =
      ::recv(socket_, buffer, static_cast<std::size_t>(length), peek ? MSG_PEEK : 0);
  if (got < 0) {
    last_error_ = WinsockErrorNumber(errno);
    return -1;
  }
  if (!peek) read_notified_ = false;
  return static_cast<int>(got);
}

int TSocketClient::Send(const char* buffer, int length) {
  if (socket_ == kNoSocket) {
    last_error_ = 10038;
    return -1;
  }
  if (ssl_) {
    ERR_clear_error();
    const int sent = SSL_write(ssl_, buffer, length);
    if (sent > 0) return sent;
    const int saved_errno = errno;
    switch (SSL_get_error(ssl_, sent)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        last_error_ = kWsaEWouldBlock;
        return -1;
      case SSL_ERROR_SYSCALL:
        last_error_ = WinsockErrorNumber(saved_errno != 0 ? saved_errno : EPIPE);
        return -1;
      default:
        RaiseTlsError("TLS Error: ");
    }
  }
  const ssize_t sent = ::send(socket_, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (sent < 0) {
    last_error_ = WinsockErrorNumber(errno);
    return -1;
  }
  return static_cast<int>(sent);
}

void TSocketClient::ResolveHost() {
  Status(8, "Resolve Host");
  const std::string name = Proxy.empty() ? Host : Proxy;
  const std::size_t n = std::min<std::size_t>(name.size(), kBufferSize);
  std::memcpy(io_buffer_.data(), name.data(), n);
  io_buffer_[n] = '\0';

  in_addr numeric{};
  if (!name.empty() && ::inet_aton(io_buffer_.data(), &numeric) != 0 &&
      numeric.s_addr != INADDR_NONE) {
    remote_address_ = numeric.s_addr;
    return;
  }

  remote_address_ = 0;
  TimerOn();
  reply_arrived_ = false;
  auto lookup = std::make_shared<Lookup>();
  lookup_ = lookup;
  std::thread([lookup, fn = lookup_fn_, name = std::string(io_buffer_.data())] {
    int error = kWsaHostNotFound;
    std::uint32_t address = 0;
    try {
      error = fn(name, &address);
    } catch (...) {
    }
    lookup->error = error;
    lookup->address = address;
    lookup->done.store(true, std::memory_order_release);
  }).detach();
  do {
    WaitTurn(2);
  } while (!reply_arrived_ && !timed_out_ && !canceled_);
  TimerOff();
  lookup_.reset();  // a lookup still running is abandoned; its thread ends on its own

  if (timed_out_) throw ESockError("Host Lookup Timed Out");
  if (canceled_) throw ESockError("Host Lookup Canceled");
  if (succeeded_ && remote_address_ != 0) {
    if (OnHostResolved) OnHostResolved(*this);
    return;
  }
  remote_address_ = 0;
  throw ESockError("Host Lookup Failed");
}

void TSocketClient::Connect() {
  Status(8, "Connecting");
  canceled_ = false;
  if (connected_) throw ESockError("Already connected");

  int tries = 0;
  for (;;) {
    try {
      ResolveHost();
    } catch (const ESockError& e) {
      const std::string what = e.what();
      if (what == "Host Lookup Timed Out" || what == "Host Lookup Canceled") throw;
    }
    if (remote_address_ != 0) break;
    if (tries > 0 || !OnInvalidHost) throw ESockError("Null Remote Address");
    bool handled = false;
    OnInvalidHost(handled);
    if (!handled) throw ESockError("Null Remote Address");
    ++tries;
  }

  const int port = Proxy.empty() ? Port : ProxyPort;
  remote_port_ = static_cast<std::uint16_t>(port);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(remote_port_);
  address.sin_addr.s_addr = remote_address_;

  reply_arrived_ = false;
  succeeded_ = true;
  close_seen_ = false;
  read_notified_ = false;
  if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    connecting_ = true;  // the next turn sees it writable and reports the connection
  } else {
    const int e = errno;
    if (e == EINPROGRESS || e == EWOULDBLOCK) {
      connecting_ = true;
    } else if (e == ECONNREFUSED || e == ENETUNREACH || e == EHOSTUNREACH || e == ETIMEDOUT) {
      // An answer the connect notification would have brought: the connection failed.
      succeeded_ = false;
      last_error_no_ = WinsockErrorNumber(e);
    } else {
      last_error_ = WinsockErrorNumber(e);
      std::string message;
      RaiseSocketError(kWsaEWouldBlock, message);
    }
  }

  TimerOn();
  do {
    WaitTurn(2);
  } while (!connected_ && !timed_out_ && !canceled_ && succeeded_);
  TimerOff();
  if (!timed_out_ && !canceled_ && succeeded_) {
    if (Secure) StartTls();
    return;
  }

  connecting_ = false;
  if (OnConnectionFailed) OnConnectionFailed(*this);
  if (timed_out_) throw ESockError("Connection Timed out");
  if (canceled_) throw ESockError("Connection Canceled");
  throw ESockError("Connection Failed");
}

void TSocketClient::Disconnect() {
  Status(8, "Disconnecting");
  CloseSocket();
}

void TSocketClient::Abort() {
  Status(8, "Abort");
  Cancel();
}

void TSocketClient::Cancel() {
  Status(8, "Canceling");
  canceled_ = true;
}

void TSocketClient::CloseSocket() {
  Status(4, "Request Close Socket");
  connected_ = false;
  connecting_ = false;
  accepting_ = false;
  close_seen_ = false;
  read_notified_ = false;
  FreeTls();
  if (socket_ == kNoSocket) return;
  const int fd = socket_;
  socket_ = kNoSocket;
  if (::close(fd) != 0) {
    last_error_ = WinsockErrorNumber(errno);
    std::string message;
    RaiseSocketError(kWsaEWouldBlock, message);
    return;
  }
  if (OnDisconnect && !destroying_) OnDisconnect(*this);
  if (!destroying_) socket_ = OpenSocket(false);
}

void TSocketClient::RaiseTlsError(const std::string& prefix) {
  const unsigned long code = ERR_get_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  throw ESockError(prefix + (reason ? reason : "unknown error"));
}

void TSocketClient::FreeTls() {
  if (!ssl_) return;
  // Tell the server that the stream ends here; it is not waited for.
  if (SSL_is_init_finished(ssl_)) SSL_shutdown(ssl_);
  SSL_free(ssl_);
  ssl_ = nullptr;
  ERR_clear_error();
}

void TSocketClient::StartTls() {
  Status(8, "Securing Connection");
  if (!tls_ctx_ || tls_ctx_ca_file_ != TrustedCAFile) {
    if (tls_ctx_) SSL_CTX_free(tls_ctx_);
    tls_ctx_ = nullptr;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) RaiseTlsError("TLS Handshake Failed: ");
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // HTTP/1.0 ends a body by closing the connection, and many servers close without the TLS
    // close message; such an end counts as the end of the stream.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (!TrustedCAFile.empty() &&
        SSL_CTX_load_verify_locations(ctx, TrustedCAFile.c_str(), nullptr) != 1) {
      SSL_CTX_free(ctx);
      ERR_clear_error();
      CloseSocket();
      throw ESockError(
          "Certificate verification failed: cannot read the trusted certificates in \"" +
          TrustedCAFile + "\"");
    }
    tls_ctx_ = ctx;
    tls_ctx_ca_file_ = TrustedCAFile;
  }

  ssl_ = SSL_new(tls_ctx_);
  BIO* bio = BIO_new(SocketBioMethod());
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(socket_)));
  SSL_set_bio(ssl_, bio, bio);
  in_addr numeric{};
  if (::inet_pton(AF_INET, Host.c_str(), &numeric) == 1) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), Host.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, Host.c_str());
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl_, Host.c_str());
  }

  TimerOn();
  handshaking_ = true;
  bool done = false;
  int error = SSL_ERROR_NONE;
  int saved_errno = 0;
  for (;;) {
    ERR_clear_error();
    const int r = SSL_connect(ssl_);
    if (r == 1) {
      done = true;
      break;
    }
    saved_errno = errno;
    error = SSL_get_error(ssl_, r);
    if (error == SSL_ERROR_WANT_READ) {
      tls_wait_events_ = POLLIN;
    } else if (error == SSL_ERROR_WANT_WRITE) {
      tls_wait_events_ = POLLOUT;
    } else {
      break;
    }
    WaitTurn(2);
    if (timed_out_ || canceled_) break;
  }
  handshaking_ = false;
  TimerOff();
  if (done && !timed_out_ && !canceled_) return;

  std::string message;
  const long verify = SSL_get_verify_result(ssl_);
  if (timed_out_) {
    message = "TLS Handshake Timed out";
  } else if (canceled_) {
    message = "TLS Handshake Canceled";
  } else if (verify != X509_V_OK) {
    message =
        std::string("Certificate verification failed: ") + X509_verify_cert_error_string(verify);
  } else if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN) {
    message = saved_errno != 0 ? "TLS Handshake Failed: " + std::string(std::strerror(saved_errno))
                               : "TLS Handshake Failed: the server closed the connection";
  } else {
    const unsigned long code = ERR_get_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    message = std::string("TLS Handshake Failed: ") + (reason ? reason : "unknown error");
  }
  ERR_clear_error();
  if (OnConnectionFailed) OnConnectionFailed(*this);
  CloseSocket();
  throw ESockError(message);
}

void TSocketClient::RaiseSocketError(int ignored, std::string& message) {
  last_error_no_ = last_error_;
  if (last_error_no_ != ignored && last_error_no_ > 10000) {
    ErrorText(last_error_no_, message);
    if (OnSocketError) OnSocketError(*this, static_cast<std::uint16_t>(last_error_no_), message);
    throw ESockError(message);
  }
  message.clear();
}

void TSocketClient::ErrorText(int number, std::string& text) {
  Status(8, "Looking Up Error Message");
  text.clear();
  if (number == 0) return;
  for (const ErrorRow& row : kErrorTable) {
    if (row.number == number) {
      text = std::to_string(number) + ":" + row.text;
      return;
    }
  }
  text = "Unknown Error No. " + std::to_string(number);
}

void TSocketClient::SendLoop(const char* buffer, int length, bool count_sent) {
  int remaining = length;
  do {
    const int sent = Send(buffer + length - remaining, remaining);
    if (sent == 0) break;
    if (sent < 0) {
      std::string message;
      RaiseSocketError(kWsaEWouldBlock, message);
      // The peer is not reading. No events run here, but the time-out may still end the wait.
      pollfd p{socket_, POLLOUT, 0};
      ::poll(&p, 1, 2);
      timer_.Poll();
      continue;
    }
    remaining -= sent;
    if (count_sent) {
      bytes_sent_ += sent;
      if (OnPacketSent) OnPacketSent(*this);
    }
  } while (remaining > 0 && !canceled_);
}

void TSocketClient::SendBuffer(const char* buffer, int length) {
  Status(4, "Sending Buffer");
  TimerOn();
  try {
    if (!canceled_) {
      if (length == 0) length = static_cast<int>(strnlen(buffer, 65535));
      SendLoop(buffer, length, false);
    }
  } catch (...) {
    TimerOff();
    throw;
  }
  TimerOff();
  EndIfCanceled("Socket send aborted");
}

void TSocketClient::Write(const std::string& text) {
  Status(8, "Write");
  const std::size_t n = std::min<std::size_t>(text.size(), kBufferSize);
  std::memcpy(io_buffer_.data(), text.data(), n);
  io_buffer_[n] = '\0';
  SendBuffer(io_buffer_.data(), 0);
}

void TSocketClient::Writeln(const std::string& text) {
  Status(8, "Writeln");
  Write(text + "\r\n");
}

void TSocketClient::ReadLn(std::string& line) {
  Status(8, "ReadLn");
  TimerOn();
  line.clear();
  int consumed = 0;  // bytes of the line already taken from the socket
  int lf = -1;       // index of the line's LF once it has been peeked
  bool full = false;
  try {
    for (;;) {
      if (consumed == kBufferSize) {
        // A line of 2048 bytes without an LF is returned as it is; the rest of it comes
        // with the next call, so nothing is lost and nothing stalls.
        full = true;
        break;
      }
      const int got = Receive(io_buffer_.data() + consumed, kBufferSize - consumed, true);
      if (got == 0) {
        line.clear();
        consumed = 0;
        break;
      }
      if (got > 0) {
        const void* hit =
            std::memchr(io_buffer_.data() + consumed, '\n', static_cast<std::size_t>(got));
        if (hit != nullptr) {
          lf = static_cast<int>(static_cast<const char*>(hit) - io_buffer_.data());
          break;
        }
        line.resize(static_cast<std::size_t>(consumed + got));
        const int taken = Receive(line.data() + consumed, got, false);
        if (taken > 0) consumed += taken;
        line.resize(static_cast<std::size_t>(consumed));
        WaitTurn(0);
      } else {
        last_error_no_ = last_error_;
        if (last_error_ == kWsaENotConn) {
          consumed = 0;
          break;
        }
        std::string message;
        RaiseSocketError(kWsaEWouldBlock, message);
        WaitTurn(2);  // no data yet: wait for some, a little at a time
      }
      if (canceled_) break;
    }
  } catch (...) {
    TimerOff();
    throw;
  }
  TimerOff();
  if (canceled_) {
    canceled_ = false;
    line.clear();
    throw EAbortError("Socket readln aborted");
  }
  if (lf >= 0) {
    line.resize(static_cast<std::size_t>(lf + 1));
    int at = consumed;
    while (at < lf + 1) {
      const int taken = Receive(line.data() + at, lf + 1 - at, false);
      if (taken <= 0) break;  // peeked bytes are there; this only guards a vanished socket
      at += taken;
    }
    line.resize(static_cast<std::size_t>(at));
  } else if (!full) {
    line.clear();
  }
}

void TSocketClient::Capture(std::string* text, std::FILE* file, int maximum) {
  bytes_received_ = 0;
  TimerOn();
  try {
    while (!canceled_ && (maximum == -1 || bytes_received_ < maximum)) {
      const int got = Receive(io_buffer_.data(), kBufferSize, false);
      if (got == 0) break;
      if (got > 0) {
        if (text) text->append(io_buffer_.data(), static_cast<std::size_t>(got));
        if (file) std::fwrite(io_buffer_.data(), 1, static_cast<std::size_t>(got), file);
        bytes_received_ += got;
        if (OnPacketRecvd) OnPacketRecvd(*this);
        TimerOn();
        WaitTurn(0);
      } else {
        last_error_no_ = last_error_;
        if (last_error_ == kWsaENotConn) break;
        std::string message;
        RaiseSocketError(kWsaEWouldBlock, message);
        WaitTurn(2);
      }
    }
  } catch (...) {
    TimerOff();
    throw;
  }
  TimerOff();
}

void TSocketClient::EndIfCanceled(const char* text) {
  if (!canceled_) return;
  canceled_ = false;
  throw EAbortError(text);
}

void TSocketClient::CaptureString(std::string& text, int maximum) {
  Status(8, "Capture String");
  text.clear();
  Capture(&text, nullptr, maximum);
  EndIfCanceled("Socket capture aborted");
}

void TSocketClient::CaptureFile(const std::string& file_name) {
  Status(8, "CaptureFile");
  {
    FileHandle file = OpenFile(file_name, "wb", "create");
    Capture(nullptr, file.get(), -1);
  }
  EndIfCanceled("Socket send aborted");
}

void TSocketClient::SendFile(const std::string& file_name) {
  Status(8, "SendFile");
  {
    FileHandle file = OpenFile(file_name, "rb", "open");
    for (;;) {
      if (!canceled_) {
        const std::size_t got = std::fread(io_buffer_.data(), 1, kBufferSize, file.get());
        if (got > 0) SendLoop(io_buffer_.data(), static_cast<int>(got), true);
        WaitTurn(0);
        if (got < static_cast<std::size_t>(kBufferSize)) break;  // the end of the file
      }
      if (canceled_) break;
    }
  }
  EndIfCanceled("Socket send aborted");
}

bool TSocketClient::DataAvailable() {
  Status(8, "Data Available");
  char c;
  return Receive(&c, 1, true) >= 1;
}

std::string TSocketClient::Transaction(const std::string& command) {
  Status(8, "Transaction");
  reply_number_ = 0;
  Writeln(command);
  std::string reply;
  ReadLn(reply);
  last_reply_ = reply;
  if (!last_reply_.empty()) {
    Status(1, last_reply_);
    std::size_t digits = 0;
    long value = 0;
    while (digits < last_reply_.size() && digits < 10 && last_reply_[digits] >= '0' &&
           last_reply_[digits] <= '9') {
      value = value * 10 + (last_reply_[digits] - '0');
      ++digits;
    }
    // A number that does not fit the reply field counts as no number.
    if (digits > 0) reply_number_ = value <= 32767 ? static_cast<std::int16_t>(value) : 0;
  }
  return last_reply_;
}

int TSocketClient::Accept() {
  Status(4, "Accepting");
  accepting_ = true;
  reply_arrived_ = false;
  do {
    WaitTurn(2);
  } while (!reply_arrived_ && !canceled_);
  accepting_ = false;
  if (canceled_ && !reply_arrived_) throw ESockError("Accepting Canceled");
  if (succeeded_) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd =
        ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      remote_address_ = peer.sin_addr.s_addr;
      remote_port_ = ntohs(peer.sin_port);
      if (canceled_) {
        canceled_ = false;
        ::close(fd);
        throw EAbortError("Socket send aborted");
      }
      return fd;
    }
  }
  throw ESockError("Error creating Data Connection");
}

}  // namespace vellumark
