// THttpClient is an HTTP/1.0 client over TSocketClient. One exchange uses one connection: the
// address is split into host, port and path, the request header lines are built, sent, the
// status line and header lines are read, then the body until the server closes, and the
// connection is closed. A redirect answer starts a new exchange with the new address (at most
// kMaxRedirects of them per request). Results stay in the properties (Header, Body, the status
// number, ContentLength, ReceivedCookie); transport failures are raised as exceptions.
//
// An "https" address (port 443 unless it names one) makes the exchange secure: TLS with a
// verified certificate (TSocketClient::Secure, TrustedCAFile). Everything else about the
// exchange is the same. An address with another scheme makes it plain again; one without a
// scheme (a redirect to "/path") keeps the scheme of the exchange before it.
#pragma once

#include <functional>
#include <string>

#include "net/ex_string_list.h"
#include "net/socket_client.h"

namespace vellumark {

// The request kinds, in the order of their ordinals.
enum CmdType : int {
  cmdGet = 0,
  cmdOptions = 1,
  cmdHead = 2,
  cmdPost = 3,
  cmdPut = 4,
  cmdPatch = 5,
  cmdCopy = 6,
  cmdMove = 7,
  cmdDelete = 8,
  cmdLink = 9,
  cmdUnlink = 10,
  cmdTrace = 11,
  cmdRaw = 12,
};

// Values for the optional request header lines; all empty after creation.
struct THeaderInfo {
  std::string LocalMailAddress;  // "From: "
  std::string LocalProgram;      // "User-Agent: "
  std::string Cookie;            // "Cookie: "; set from a redirect answer's Set-Cookie
  std::string Referer;           // "Referer: "
  std::string UserId;            // with Password: "Authorization: Basic ..."
  std::string Password;
};

class THttpClient : public TSocketClient {
 public:
  using TResultEvent = std::function<void(CmdType cmd)>;

  static constexpr int kMaxRedirects = 10;

  explicit THttpClient(EventPump& pump);
  ~THttpClient() override = default;

  // Published properties (with those of the base: Host, Port, TimeOut, ReportLevel, Proxy,
  // ProxyPort, OnStatus, OnConnect, OnDisconnect, OnInvalidHost, OnHostResolved,
  // OnConnectionFailed, OnPacketRecvd, OnPacketSent).
  std::string Body = "Default.htm";  // the body, or with InputFileMode the file receiving it
  std::string Header = "Head.txt";   // the header, or with OutputFileMode the file receiving it
  THeaderInfo HeaderInfo;
  bool InputFileMode = false;   // the body goes to the file named by Body
  bool OutputFileMode = false;  // the header goes to a file; request data is read from a file
  TNotifyEvent OnAboutToSend;   // after the header lines are built, before connecting
  TResultEvent OnSuccess;       // status below 299
  TResultEvent OnFailure;       // status above 399
  THandlerEvent OnRedirect;     // status 300 to 398; setting Handled ends the request
  TNotifyEvent OnAuthenticationNeeded;  // status 401

  // Further state.
  std::string RequestURL;       // the address of the current exchange
  std::string RequestPath;      // the path sent in the request line without a proxy
  TExStringList RequestHeader;  // the request header lines, without line ends
  std::string ReceivedCookie;   // the last Set-Cookie value of the current answer
  std::string SendData;         // request data, or with OutputFileMode the file holding it
  std::string LinkValue;        // the value of the "URI-header: " or "Link: " line
  CmdType CurrentCmd = cmdGet;
  bool EncodePostData = true;  // Post URL-encodes its data (not with OutputFileMode)

  // Ends the wait in progress (the lookup included) with its exception.
  void Abort() override;

  virtual void ExecuteRequest();
  virtual void ParseURL();
  virtual void BuildRequestHeader();
  virtual void ReadResponseHeader();
  virtual void SendRequest();

  virtual void Options(const std::string& url);
  virtual void Get(const std::string& url);
  virtual void Post(const std::string& url, const std::string& data);
  virtual void Put(const std::string& url, const std::string& data);
  virtual void Head(const std::string& url);
  virtual void Patch(const std::string& url, const std::string& data);
  virtual void Delete(const std::string& url);
  virtual void Trace(const std::string& url, const std::string& data);
  virtual void Copy(const std::string& url, const std::string& value);
  virtual void Move(const std::string& url, const std::string& value);
  virtual void Link(const std::string& url, const std::string& value);
  virtual void Unlink(const std::string& url, const std::string& value);
  // Sends the header lines and the data without a request line.
  virtual void Raw(const std::string& url, const std::string& data);

 private:
  void Run(CmdType cmd, const std::string& url);
  void WriteLong(const std::string& text);  // Write in pieces the buffer can hold

  bool status_line_read_ = false;  // the current exchange received a status line
};

}  // namespace vellumark
