// THttpClient is an HTTP/1.0 client over TSocketClient. One exchange uses one connection: the
// address is split into host, port and path, the request header lines are built, sent, the
// status line and header lines are read, then the body, and the connection is closed. A
// redirect answer starts a new exchange with the new address (at most kMaxRedirects of them
// per request). Results stay in the properties (Header, Body, the status number,
// ContentLength, ReceivedCookie); transport failures are raised as exceptions.
//
// A hostile or careless server cannot hold a request: TimeOut bounds the whole request, every
// exchange of it included, not each wait; the header may have at most kMaxHeaderLines lines
// and kMaxHeaderBytes bytes; the answer to HEAD (and a 204 or 304 answer) ends at the blank
// line after the header, a body with Content-Length ends after that many bytes, and any other
// body at the server's close or at MaxBodySize bytes.
//
// Cookies that a redirect answer sets are kept, as name=value, for the host and scheme that
// set them, and sent back only there, until ClearCookies.
//
// An "https" address (port 443 unless it names one) makes the exchange secure: TLS with a
// verified certificate (TSocketClient::Secure, TrustedCAFile). Everything else about the
// exchange is the same. An address with another scheme makes it plain again; one without a
// scheme (a redirect to "/path") keeps the scheme, host and port of the exchange before it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
  std::string Cookie;            // "Cookie: ", sent to every host (before the kept cookies)
  std::string Referer;           // "Referer: "
  std::string UserId;            // with Password: "Authorization: Basic ..."
  std::string Password;
};

class THttpClient : public TSocketClient {
 public:
  using TResultEvent = std::function<void(CmdType cmd)>;

  static constexpr int kMaxRedirects = 10;
  static constexpr int kMaxHeaderLines = 200;    // status line and blank line included
  static constexpr int kMaxHeaderBytes = 65536;  // line ends included
  static constexpr int kDefaultMaxBodySize = 64 << 20;
  static constexpr int kMaxCookies = 64;  // kept cookies; the oldest goes first

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

  // The longest body a request reads, in bytes; -1 for no limit. A longer body ends the
  // request with ESockError "Response body too long", Body (or its file) holding the first
  // MaxBodySize bytes.
  int MaxBodySize = kDefaultMaxBodySize;

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

  // Forgets the cookies that servers have set, so that none reaches a later run.
  void ClearCookies() { cookies_.clear(); }

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
  struct Cookie {
    bool secure;       // set over https
    std::string host;  // lower case
    std::string name;
    std::string pair;  // name=value, as sent back
  };

  void Run(CmdType cmd, const std::string& url);
  void WriteLong(const std::string& text);  // Write in pieces the buffer can hold
  void ReadBody();
  // The address a redirect leads to from `location`, the Location value.
  std::string RedirectTarget(const std::string& location) const;
  void StoreCookies();              // the Set-Cookie values of the current answer
  std::string CookieValue() const;  // the Cookie line's value for the current exchange

  bool status_line_read_ = false;         // the current exchange received a status line
  bool location_read_ = false;            // the current answer had a Location line
  bool content_length_read_ = false;      // the current answer had a Content-Length number
  std::vector<std::string> set_cookies_;  // every Set-Cookie value of the current answer
  std::vector<Cookie> cookies_;           // kept from redirect answers, oldest first
};

}  // namespace vellumark
