#include "net/socket_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

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

// Counters that the design keeps in 32 bits stop at their largest value instead of wrapping.
std::int32_t Saturated(std::int64_t n) {
  return n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n);
}

[[noreturn]] void RaiseWriteError(const std::string& file_name) {
  throw Exception("Cannot write file \"" + file_name + "\". " + std::strerror(errno));
}

}  // namespace

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

TSocketClient::TSocketClient(EventPump& pump) : pump_(pump) {
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
  // resolver_ joins its thread as a member.
}

void TSocketClient::SetHostLookup(HostLookupFn lookup) { resolver_.SetLookup(std::move(lookup)); }

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
  std::int64_t interval = TimeOut;
  if (overall_ && TimeOut > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(overall_end_ - Clock::now()).count();
    // An interval of 0 would stop the timer; 1 makes a deadline already passed fire at once.
    interval = std::clamp<std::int64_t>(left, 1, TimeOut);
  }
  timer_.SetInterval(static_cast<std::uint32_t>(interval));
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

void TSocketClient::BeginOverallTimeOut() {
  overall_ = TimeOut > 0;
  overall_end_ = Clock::now() + std::chrono::milliseconds(TimeOut > 0 ? TimeOut : 0);
}

void TSocketClient::EndOverallTimeOut() { overall_ = false; }

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
  if (resolving_) {
    int error = 0;
    std::uint32_t address = 0;
    if (resolver_.Poll(&error, &address)) {
      resolving_ = false;
      reply_arrived_ = true;
      succeeded_ = error == 0;
      remote_address_ = succeeded_ ? address : 0;
      if (!succeeded_) last_error_no_ = error;
    }
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
    last_error_ = kWsaENotSock;
    return -1;
  }
  if (tls_) {
    const int got = tls_->Read(buffer, length, peek, &last_error_);
    if (got > 0 && !peek) read_notified_ = false;
    return got;
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
    last_error_ = kWsaENotSock;
    return -1;
  }
  if (tls_) return tls_->Write(buffer, length, &last_error_);
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
  resolver_.Start(io_buffer_.data());
  resolving_ = true;
  do {
    WaitTurn(2);
  } while (!reply_arrived_ && !timed_out_ && !canceled_);
  TimerOff();
  if (resolving_) {
    // Still running after a time-out or a cancel: its answer is no longer wanted.
    resolver_.Abandon();
    resolving_ = false;
  }

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
  tls_.reset();
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

void TSocketClient::StartTls() {
  Status(8, "Securing Connection");
  try {
    if (!tls_context_ || tls_context_->ca_file() != TrustedCAFile) {
      tls_context_.reset();
      tls_context_ = std::make_unique<TlsClientContext>(TrustedCAFile);
    }
    tls_ = std::make_unique<TlsSession>(*tls_context_, socket_, Host);
  } catch (const ESockError&) {
    CloseSocket();
    throw;
  }

  TimerOn();
  handshaking_ = true;
  TlsSession::Step step = TlsSession::Step::kWantWrite;
  for (;;) {
    step = tls_->Handshake();
    if (step == TlsSession::Step::kDone || step == TlsSession::Step::kFailed) break;
    tls_wait_events_ = step == TlsSession::Step::kWantRead ? POLLIN : POLLOUT;
    WaitTurn(2);
    if (timed_out_ || canceled_) break;
  }
  handshaking_ = false;
  TimerOff();
  if (step == TlsSession::Step::kDone && !timed_out_ && !canceled_) return;

  const std::string message = timed_out_  ? std::string("TLS Handshake Timed out")
                              : canceled_ ? std::string("TLS Handshake Canceled")
                                          : tls_->FailureText();
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
  text = WinsockErrorText(number);
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
      bytes_sent_ = Saturated(static_cast<std::int64_t>(bytes_sent_) + sent);
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

std::int64_t TSocketClient::Capture(std::string* text, std::FILE* file,
                                    const std::string& file_name, int maximum, std::int64_t limit,
                                    std::int64_t keep) {
  std::int64_t received = 0;
  bytes_received_ = 0;
  TimerOn();
  try {
    while (!canceled_ && (maximum == -1 || received < maximum) && (limit < 0 || received < limit)) {
      int want = kBufferSize;
      if (limit >= 0 && limit - received < want) want = static_cast<int>(limit - received);
      const int got = Receive(io_buffer_.data(), want, false);
      if (got == 0) break;
      if (got > 0) {
        std::size_t kept = static_cast<std::size_t>(got);
        if (keep >= 0)
          kept = static_cast<std::size_t>(std::clamp<std::int64_t>(keep - received, 0, got));
        if (text) text->append(io_buffer_.data(), kept);
        if (file && kept > 0 && std::fwrite(io_buffer_.data(), 1, kept, file) != kept) {
          RaiseWriteError(file_name);
        }
        received += got;
        bytes_received_ = Saturated(received);
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
  return received;
}

void TSocketClient::EndIfCanceled(const char* text) {
  if (!canceled_) return;
  canceled_ = false;
  throw EAbortError(text);
}

void TSocketClient::CaptureString(std::string& text, int maximum) {
  Status(8, "Capture String");
  text.clear();
  Capture(&text, nullptr, {}, maximum, -1, -1);
  EndIfCanceled("Socket capture aborted");
}

void TSocketClient::CaptureFile(const std::string& file_name) {
  CaptureUpTo(nullptr, file_name, -1, -1);
}

std::int64_t TSocketClient::CaptureUpTo(std::string* text, const std::string& file_name,
                                        std::int64_t limit, std::int64_t keep) {
  std::int64_t received = 0;
  Status(8, text ? "Capture String" : "CaptureFile");
  if (text) {
    text->clear();
    received = Capture(text, nullptr, {}, -1, limit, keep);
    EndIfCanceled("Socket capture aborted");
    return received;
  }
  {
    FileHandle file = OpenFile(file_name, "wb", "create");
    received = Capture(nullptr, file.get(), file_name, -1, limit, keep);
    // A full disk often shows only when the buffered rest is written out.
    if (std::fclose(file.release()) != 0) RaiseWriteError(file_name);
  }
  EndIfCanceled("Socket send aborted");
  return received;
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
