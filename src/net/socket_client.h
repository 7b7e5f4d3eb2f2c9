// TSocketClient is a TCP client over a non-blocking IPv4 socket whose operations look blocking
// to the caller: each waits in a loop that checks the socket, the host lookup and the time-out
// timer and pumps the application's events (the EventPump seam), so that a Stop button or a
// close request runs in the middle of a request and can end it with Abort or Cancel within one
// turn of the loop.
//
// What a window-message socket would be told (readable, connected with an error word, closed,
// lookup finished) the component finds itself in its waiting loops (DispatchNotifications).
// Host lookups run on the component's one resolver thread (HostResolver), joined when the
// component goes.
//
// The component holds one socket at a time: closing it makes a fresh, unconnected one, so the
// component can connect again. The EventPump must outlive the component. Re-entering the
// component from an event handler is not supported ("Already connected").
//
// With Secure set, Connect also runs a TLS handshake (TlsSession) over the new connection, in
// the same waiting loop, and every later read and write goes through TLS. The server's
// certificate must chain to the system's trusted store or to a certificate of TrustedCAFile,
// and must be made out to Host; otherwise Connect raises "Certificate verification failed: "
// + the reason.
//
// The error table, the exceptions and the translation of system error codes live in
// net/winsock_errors.h.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/host_resolver.h"
#include "net/thread_timer.h"
#include "net/tls_session.h"
#include "net/winsock_errors.h"
#include "platform/event_pump.h"

namespace vellumark {

// The n-th field (1-based) of `text` split at `ch`; empty when there are fewer fields.
std::string ExtractField(const std::string& text, char ch, int n);

// The 1-based position of the n-th `ch` in `text`, or text.size() + 1 when there are fewer.
int PosOfNth(const std::string& text, char ch, int n);

class TSocketClient {
 public:
  using TNotifyEvent = std::function<void(TSocketClient& sender)>;
  using THandlerEvent = std::function<void(bool& handled)>;
  using TOnHostResolved = std::function<void(TSocketClient& sender)>;
  using TOnStatus = std::function<void(TSocketClient& sender, const std::string& status)>;
  using TOnSocketError =
      std::function<void(TSocketClient& sender, std::uint16_t error, const std::string& message)>;

  static constexpr int kNoSocket = -1;
  static constexpr int kBufferSize = 2048;

  explicit TSocketClient(EventPump& pump);
  virtual ~TSocketClient();
  TSocketClient(const TSocketClient&) = delete;
  TSocketClient& operator=(const TSocketClient&) = delete;

  // Published properties.
  std::string Host;     // host name or dotted IPv4 address
  int Port = 0;         // kept in 16 bits when connecting
  int TimeOut = 0;      // milliseconds for each waiting operation; 0 means none
  int ReportLevel = 0;  // highest status level reported
  TNotifyEvent OnDisconnect;
  TNotifyEvent OnConnect;
  THandlerEvent OnInvalidHost;
  TOnHostResolved OnHostResolved;
  TOnStatus OnStatus;
  TNotifyEvent OnConnectionFailed;

  // When Proxy is not empty, it is resolved and connected on ProxyPort instead of Host/Port.
  // The HTTP client publishes them.
  std::string Proxy;
  int ProxyPort = 0;

  // TLS over the connection: set before Connect. Host is the name the certificate must carry.
  bool Secure = false;
  // A file of PEM certificates of authorities trusted besides the system's store; empty for
  // none. Read at the next secure Connect.
  std::string TrustedCAFile;

  // Further events.
  TNotifyEvent OnDataAvailable;
  TNotifyEvent OnAccept;
  TOnSocketError OnSocketError;
  TNotifyEvent OnPacketRecvd;
  TNotifyEvent OnPacketSent;

  // Replaces the host lookup (tests use a table instead of DNS). Null restores the system one.
  void SetHostLookup(HostLookupFn lookup);

  // Virtual operations.
  virtual int Accept();
  virtual void Connect();
  virtual void Disconnect();
  virtual std::string Transaction(const std::string& command);
  virtual void Abort();

  void Cancel();
  void SendBuffer(const char* buffer, int length);  // length 0: up to the first zero byte
  void Write(const std::string& text);              // at most the first 2048 bytes
  void Writeln(const std::string& text);
  void ReadLn(std::string& line);  // the line comes with its line end; empty when closed
  void SendFile(const std::string& file_name);
  void CaptureFile(const std::string& file_name);
  void CaptureString(std::string& text, int maximum);  // maximum -1: until the peer closes
  bool DataAvailable();
  void ResolveHost();
  void CloseSocket();
  void ErrorText(int number, std::string& text);

  // State.
  bool Connected() const { return connected_; }
  bool Canceled() const { return canceled_; }
  bool TimedOut() const { return timed_out_; }
  bool Succeeded() const { return succeeded_; }
  bool ReplyArrived() const { return reply_arrived_; }
  int LastErrorNo() const { return last_error_no_; }
  const std::string& StatusText() const { return status_text_; }
  std::int16_t ReplyNumber() const { return reply_number_; }
  const std::string& LastReply() const { return last_reply_; }
  std::int32_t ContentLength() const { return content_length_; }
  std::int32_t BytesSent() const { return bytes_sent_; }
  std::int32_t BytesReceived() const { return bytes_received_; }
  const std::vector<std::string>& WSAInfo() const { return wsa_info_; }
  std::uint32_t RemoteAddress() const { return remote_address_; }  // network byte order
  std::uint16_t RemotePort() const { return remote_port_; }        // host byte order
  int SocketHandle() const { return socket_; }
  // The event pump the component waits with.
  EventPump& Pump() const { return pump_; }

 protected:
  using Clock = std::chrono::steady_clock;

  void Status(int level, const std::string& text);
  void InitializeSocket();
  void TimerOn();
  void TimerOff();
  void TimerExpired();
  // Raises ESockError for the last error unless it is `ignored` or 10000 and below.
  void RaiseSocketError(int ignored, std::string& message);

  // An overall deadline, TimeOut milliseconds from now (none when TimeOut is 0): until
  // EndOverallTimeOut, every wait ends by it at the latest, however often a wait restarts its
  // own countdown. The HTTP client bounds a whole request with it.
  void BeginOverallTimeOut();
  void EndOverallTimeOut();

  // The body reads of the HTTP client: like CaptureString into `*text`, or when `text` is null
  // like CaptureFile into `file_name`, but ending after `limit` bytes (-1: when the peer
  // closes) and keeping only the first `keep` of them (-1: all). Returns the bytes read.
  std::int64_t CaptureUpTo(std::string* text, const std::string& file_name, std::int64_t limit,
                           std::int64_t keep);

  std::int16_t reply_number_ = 0;
  std::int32_t content_length_ = 0;
  bool reply_arrived_ = false;

 private:
  // A cancelled operation ends here: the flag is reset and EAbortError(`text`) raised.
  void EndIfCanceled(const char* text);

  // One turn of a waiting loop: wait up to `max_ms` for the socket, then dispatch what the
  // socket, the lookup and the timer have to tell, then pump the application's events.
  void WaitTurn(int max_ms);
  void DispatchNotifications();
  int OpenSocket(bool linger);  // a fresh non-blocking stream socket, or kNoSocket
  // recv / send on the socket: the count, 0 when the peer closed, or -1 with last_error_.
  int Receive(char* buffer, int length, bool peek);
  int Send(const char* buffer, int length);
  void SendLoop(const char* buffer, int length, bool count_sent);  // the send loop of SendBuffer
  // The capture loop: reads at most `limit` bytes (-1: no limit) until the peer closes or
  // `maximum` (-1: none) is reached in whole chunks; keeps the first `keep` bytes (-1: all) in
  // `text` or `file` (named `file_name`, for the message of a failed write).
  std::int64_t Capture(std::string* text, std::FILE* file, const std::string& file_name,
                       int maximum, std::int64_t limit, std::int64_t keep);
  void StartTls();  // the handshake of a secure Connect

  EventPump& pump_;
  HostResolver resolver_;
  bool resolving_ = false;  // ResolveHost waits for resolver_
  TThreadTimer timer_;
  bool overall_ = false;           // an overall deadline applies
  Clock::time_point overall_end_;  // that deadline

  std::array<char, kBufferSize + 1> io_buffer_{};  // transfer buffer and line mirror
  int socket_ = kNoSocket;
  std::uint32_t remote_address_ = 0;  // network byte order, 0 = none
  std::uint16_t remote_port_ = 0;
  bool connecting_ = false;     // a connect is under way, its outcome not yet seen
  bool accepting_ = false;      // Accept waits for a connection on a listening socket
  bool close_seen_ = false;     // the peer's close was noticed on this connection
  bool read_notified_ = false;  // OnDataAvailable ran since the last receive
  int last_error_ = 0;          // Winsock number of the latest failed call
  bool canceled_ = false;
  bool destroying_ = false;
  bool timed_out_ = false;
  bool succeeded_ = false;
  bool connected_ = false;
  int last_error_no_ = 0;
  std::string status_text_;
  std::string last_reply_;
  std::int32_t bytes_sent_ = 0;
  std::int32_t bytes_received_ = 0;
  std::vector<std::string> wsa_info_;

  std::unique_ptr<TlsClientContext> tls_context_;  // made at the first secure Connect
  std::unique_ptr<TlsSession> tls_;                // the TLS session of the current socket, if any
  bool handshaking_ = false;   // StartTls is waiting; notifications leave the socket alone
  short tls_wait_events_ = 0;  // what the handshake waits for: POLLIN or POLLOUT
};

}  // namespace vellumark
