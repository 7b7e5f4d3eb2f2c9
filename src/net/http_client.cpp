#include "net/http_client.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "net/url_encoder.h"
#include "net/uu_processor.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

constexpr const char* kVerbs[] = {"GET ",    "OPTIONS ", "HEAD ", "POST ",   "PUT ",
                                  "PATCH ",  "COPY ",    "MOVE ", "DELETE ", "LINK ",
                                  "UNLINK ", "TRACE ",   ""};

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::string WithoutLineEnd(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

// The integer value of `text` as the runtime's string-to-integer conversion reads it: blanks
// before it, a sign, decimal digits and nothing else, within 32 bits.
bool ParseInt(const std::string& text, long long* value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  v = negative ? -v : v;
  if (v > 2147483647LL) return false;
  *value = v;
  return true;
}

int StrToInt(const std::string& text) {
  long long v = 0;
  if (!ParseInt(text, &v)) throw Exception("'" + text + "' is not a valid integer value");
  return static_cast<int>(v);
}

// The header value that starts at the 1-based character `first`, without the line end and
// cut to 256 bytes.
std::string HeaderValue(const std::string& line, std::size_t first) {
  const std::size_t start = std::min(first - 1, line.size());
  return Utf8Truncate(WithoutLineEnd(line.substr(start)), 256);
}

// True when `text` starts with a scheme and "://" (an absolute address).
bool HasSchemeAndHost(const std::string& text) {
  std::size_t i = 0;
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  return text.compare(i, 3, "://") == 0;
}

std::string TrimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

[[noreturn]] void RaiseWriteError(const std::string& file_name) {
  throw Exception("Cannot write file \"" + file_name + "\". " + std::strerror(errno));
}

bool SendsData(CmdType cmd) {
  return cmd == cmdPost || cmd == cmdPut || cmd == cmdPatch || cmd == cmdTrace || cmd == cmdRaw;
}

bool HasContentLength(CmdType cmd) { return SendsData(cmd) || cmd == cmdLink || cmd == cmdUnlink; }

}  // namespace

THttpClient::THttpClient(EventPump& pump) : TSocketClient(pump) {}

void THttpClient::Abort() {
  reply_arrived_ = true;
  Cancel();
}

void THttpClient::Run(CmdType cmd, const std::string& url) {
  RequestURL = url;
  CurrentCmd = cmd;
  ExecuteRequest();
}

void THttpClient::Get(const std::string& url) { Run(cmdGet, url); }
void THttpClient::Options(const std::string& url) { Run(cmdOptions, url); }
void THttpClient::Head(const std::string& url) { Run(cmdHead, url); }
void THttpClient::Delete(const std::string& url) { Run(cmdDelete, url); }

void THttpClient::Post(const std::string& url, const std::string& data) {
  if (EncodePostData && !OutputFileMode) {
    TUrlEncoder encoder;
    SendData = encoder.URLEncode(data);
  } else {
    SendData = data;
  }
  Run(cmdPost, url);
}

void THttpClient::Put(const std::string& url, const std::string& data) {
  SendData = data;
  Run(cmdPut, url);
}

void THttpClient::Patch(const std::string& url, const std::string& data) {
  SendData = data;
  Run(cmdPatch, url);
}

void THttpClient::Trace(const std::string& url, const std::string& data) {
  SendData = data;
  Run(cmdTrace, url);
}

void THttpClient::Raw(const std::string& url, const std::string& data) {
  SendData = data;
  Run(cmdRaw, url);
}

void THttpClient::Copy(const std::string& url, const std::string& value) {
  LinkValue = value;
  Run(cmdCopy, url);
}

void THttpClient::Move(const std::string& url, const std::string& value) {
  LinkValue = value;
  Run(cmdMove, url);
}

void THttpClient::Link(const std::string& url, const std::string& value) {
  LinkValue = value;
  SendData = "Send.dat";
  Run(cmdLink, url);
}

void THttpClient::Unlink(const std::string& url, const std::string& value) {
  LinkValue = value;
  SendData = "Send.dat";
  Run(cmdUnlink, url);
}

void THttpClient::ExecuteRequest() {
  // TimeOut bounds the whole request, however the server spreads what it sends.
  struct OverallTimeOut {
    explicit OverallTimeOut(THttpClient& c) : client(c) { client.BeginOverallTimeOut(); }
    ~OverallTimeOut() { client.EndOverallTimeOut(); }
    THttpClient& client;
  } overall(*this);

  int redirects = 0;
  for (;;) {
    ParseURL();
    BuildRequestHeader();
    if (OnAboutToSend) OnAboutToSend(*this);

    status_line_read_ = false;
    std::exception_ptr failure;
    try {
      Connect();
      SendRequest();
      ReadResponseHeader();
      ReadBody();
      // An exchange that brought no status line is neither a success nor a failure, whatever
      // the status number of an earlier request was.
      if (status_line_read_) {
        if (reply_number_ < 299) {
          if (OnSuccess) OnSuccess(CurrentCmd);
          Status(2, "Transaction Completed");
        } else if (reply_number_ > 399) {
          if (OnFailure) OnFailure(CurrentCmd);
        }
      }
    } catch (...) {
      failure = std::current_exception();
    }
    try {
      Disconnect();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);

    const bool redirect = status_line_read_ && reply_number_ >= 300 && reply_number_ <= 398;
    if (redirect) {
      StoreCookies();
      bool handled = false;
      if (OnRedirect) OnRedirect(handled);
      if (handled) return;
      if (location_read_) RequestURL = RedirectTarget(RequestURL);
    }
    if (status_line_read_ && reply_number_ == 401 && OnAuthenticationNeeded) {
      OnAuthenticationNeeded(*this);
    }
    if (!redirect || redirects == kMaxRedirects) return;
    ++redirects;
  }
}

void THttpClient::ReadBody() {
  std::int64_t limit = -1;  // until the server closes
  const bool bodiless = status_line_read_ && (reply_number_ == 204 || reply_number_ == 304);
  if (CurrentCmd == cmdHead || bodiless) {
    limit = 0;
  } else if (content_length_read_) {
    limit = content_length_;
  }
  // One byte past the limit tells a body of exactly MaxBodySize bytes from a longer one.
  if (MaxBodySize >= 0 && (limit < 0 || limit > MaxBodySize)) limit = MaxBodySize + 1LL;
  const std::int64_t got = CaptureUpTo(InputFileMode ? nullptr : &Body,
                                       InputFileMode ? Body : std::string(), limit, MaxBodySize);
  if (MaxBodySize >= 0 && got > MaxBodySize) throw ESockError("Response body too long");
}

std::string THttpClient::RedirectTarget(const std::string& location) const {
  if (HasSchemeAndHost(location)) return location;
  const std::string scheme = Secure ? "https:" : "http:";
  if (location.rfind("//", 0) == 0) return scheme + location;
  // A path stays on the server of the exchange it answers: ParseURL keeps Host, Port and
  // Secure for an address that starts with "/".
  if (!location.empty() && location[0] == '/') return location;
  std::string origin = scheme + "//" + Host;
  if (Port != (Secure ? 443 : 80)) origin += ":" + std::to_string(Port);
  return origin + "/" + location;
}

void THttpClient::StoreCookies() {
  const std::string host = LowerAscii(Host);
  for (const std::string& value : set_cookies_) {
    // name=value comes first; the attributes after the first ";" are not sent back.
    const std::string pair = value.substr(0, value.find(';'));
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = TrimBlanks(pair.substr(0, equals));
    if (name.empty()) continue;
    std::erase_if(cookies_, [&](const Cookie& c) {
      return c.secure == Secure && c.host == host && c.name == name;
    });
    cookies_.push_back({Secure, host, name, name + "=" + TrimBlanks(pair.substr(equals + 1))});
    if (cookies_.size() > static_cast<std::size_t>(kMaxCookies)) cookies_.erase(cookies_.begin());
  }
}

std::string THttpClient::CookieValue() const {
  std::string value = HeaderInfo.Cookie;
  const std::string host = LowerAscii(Host);
  for (const Cookie& c : cookies_) {
    if (c.secure != Secure || c.host != host) continue;
    if (!value.empty()) value += "; ";
    value += c.pair;
  }
  return value;
}

void THttpClient::ParseURL() {
  if (RequestURL.empty()) throw Exception("Empty URL");
  if (Port == 0) Port = 80;

  const std::size_t first_slash = RequestURL.find('/');
  // A scheme ends at a colon in front of any "/": a colon in the path ("/wiki/Help:Contents")
  // changes neither the scheme nor the port.
  const std::size_t colon = RequestURL.find(':');
  const bool has_scheme = colon != std::string::npos && colon < first_slash;
  // The host follows "//" at the start or right after the scheme; a "//" further on belongs
  // to the path.
  const bool has_slashes = RequestURL.compare(has_scheme ? colon + 1 : 0, 2, "//") == 0;
  if (has_slashes) {
    const int third = PosOfNth(RequestURL, '/', 3);
    RequestPath = third <= static_cast<int>(RequestURL.size())
                      ? Utf8Truncate(std::string_view(RequestURL).substr(third - 1), 256)
                      : std::string();
  } else if (first_slash != std::string::npos) {
    RequestPath = Utf8Truncate(std::string_view(RequestURL).substr(first_slash), 256);
  } else {
    RequestPath.clear();
  }

  if (has_scheme) {
    const std::string scheme = LowerAscii(RequestURL.substr(0, colon));
    Secure = scheme == "https";
    if (scheme == "gopher") {
      Port = 70;
    } else if (scheme == "ftp") {
      Port = 21;
    } else if (Secure) {
      // A proxy would need a tunnel, which this client does not open; sending the request
      // to the proxy in the clear would give away what TLS is for.
      if (!Proxy.empty()) throw Exception("HTTP Secure Socket through a proxy is not supported");
      Port = 443;
    } else {
      Port = 80;
    }
  }

  std::string host_part;
  if (has_slashes) {
    host_part = ExtractField(RequestURL, '/', 3);
  } else if (RequestURL[0] != '/') {
    host_part = RequestURL.substr(0, first_slash);
  }
  const std::size_t port_colon = host_part.find(':');
  if (port_colon != std::string::npos) {
    Port = StrToInt(ExtractField(host_part, ':', 2));
    host_part.resize(port_colon);
  }
  if (!host_part.empty()) Host = host_part;

  if (RequestPath.empty()) {
    RequestPath = "/";
    RequestURL += "/";
  }
}

void THttpClient::BuildRequestHeader() {
  RequestHeader.Clear();
  if (CurrentCmd != cmdRaw) {
    RequestHeader.Add(std::string(kVerbs[CurrentCmd]) + (Proxy.empty() ? RequestPath : RequestURL) +
                      " HTTP/1.0");
  }
  if (!Proxy.empty()) {
    RequestHeader.Add("Proxy-Connection: Keep-Alive");
    RequestHeader.Add("Host: " + Host);
  }
  RequestHeader.SetHeaderValue("Host", Host);
  RequestHeader.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  RequestHeader.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  if (!HeaderInfo.LocalProgram.empty())
    RequestHeader.SetHeaderValue("User-Agent", HeaderInfo.LocalProgram);
  if (!HeaderInfo.LocalMailAddress.empty())
    RequestHeader.SetHeaderValue("From", HeaderInfo.LocalMailAddress);
  const std::string cookie = CookieValue();
  if (!cookie.empty()) RequestHeader.SetHeaderValue("Cookie", cookie);
  if (!HeaderInfo.Referer.empty()) RequestHeader.SetHeaderValue("Referer", HeaderInfo.Referer);
  if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty()) {
    // Credentials of any length: the encoder's lines are joined into one Base64 text.
    RequestHeader.SetHeaderValue(
        "Authorization", "Basic " + Base64Text(HeaderInfo.UserId + ":" + HeaderInfo.Password));
  }
  RequestHeader.Add("Content-type: application/x-www-form-urlencoded");
  if (CurrentCmd == cmdCopy || CurrentCmd == cmdMove) RequestHeader.Add("URI-header: " + LinkValue);
  if (CurrentCmd == cmdLink || CurrentCmd == cmdUnlink) RequestHeader.Add("Link: " + LinkValue);
  if (HasContentLength(CurrentCmd)) {
    long long length = static_cast<long long>(SendData.size());
    if (OutputFileMode) {
      std::FILE* file = std::fopen(SendData.c_str(), "rb");
      if (!file) throw Exception("Cannot open file \"" + SendData + "\". " + std::strerror(errno));
      struct stat st {};
      fstat(fileno(file), &st);
      std::fclose(file);
      length = static_cast<long long>(st.st_size);
    }
    RequestHeader.Add("Content-Length: " + std::to_string(length));
  }
}

void THttpClient::WriteLong(const std::string& text) {
  // Write sends at most one buffer and stops at a zero byte; longer header blocks and data
  // therefore go out in pieces, so nothing is cut.
  if (text.size() <= static_cast<std::size_t>(kBufferSize) &&
      text.find('\0') == std::string::npos) {
    Write(text);
    return;
  }
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = std::min<std::size_t>(text.size() - at, kBufferSize);
    SendBuffer(text.data() + at, static_cast<int>(n));
    at += n;
  }
}

void THttpClient::SendRequest() {
  WriteLong(RequestHeader.Text());
  Writeln("");
  if (SendsData(CurrentCmd)) {
    if (OutputFileMode) {
      SendFile(SendData);
    } else if (!SendData.empty()) {
      WriteLong(SendData);
    }
  }
}

void THttpClient::ReadResponseHeader() {
  content_length_ = 0;
  content_length_read_ = false;
  location_read_ = false;
  ReceivedCookie.clear();
  set_cookies_.clear();
  std::unique_ptr<std::FILE, FileCloser> file;
  if (OutputFileMode) {
    file.reset(std::fopen(Header.c_str(), "wb"));
    if (!file) throw Exception("Cannot create file \"" + Header + "\". " + std::strerror(errno));
  } else {
    Header.clear();
  }
  int lines = 0;
  std::size_t bytes = 0;
  auto append = [&](const std::string& line) {
    // Lines longer than the line buffer come in pieces; each piece counts as a line.
    if (++lines > kMaxHeaderLines || (bytes += line.size()) > kMaxHeaderBytes) {
      throw ESockError("Response header too long");
    }
    if (!file) {
      Header += line;
    } else if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) {
      RaiseWriteError(Header);
    }
  };

  std::string line;
  ReadLn(line);
  if (!line.empty()) {
    status_line_read_ = true;
    // The line end is not part of the number, also when no reason phrase follows it.
    long long status = 0;
    if (!ParseInt(ExtractField(WithoutLineEnd(line), ' ', 2), &status) || status < -32768 ||
        status > 32767) {
      status = 0;
    }
    reply_number_ = static_cast<std::int16_t>(status);
  }
  append(line);

  do {
    ReadLn(line);
    const std::string upper = UpperAscii(line);
    const std::string name = ExtractField(upper, ' ', 1);
    if (name == "SET-COOKIE:") {
      ReceivedCookie = HeaderValue(line, 13);
      set_cookies_.push_back(ReceivedCookie);
    } else if (name == "LOCATION:") {
      RequestURL = HeaderValue(line, 11);
      location_read_ = true;
    } else if (name == "CONTENT-LENGTH:") {
      const std::size_t at = upper.find("ENGTH:");
      const std::string rest = upper.substr(std::min(upper.size(), at + 7));
      std::size_t i = 0;
      while (i < rest.size() && (rest[i] < '0' || rest[i] > '9')) ++i;
      long long value = 0;
      bool fits = i < rest.size();
      for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
        value = value * 10 + (rest[i] - '0');
        if (value > 2147483647LL) {
          fits = false;
          break;
        }
      }
      content_length_ = fits ? static_cast<std::int32_t>(value) : 0;
      content_length_read_ = fits;
    }
    append(line);
  } while (!(line.empty() || line == "\n" || line == "\r\n"));
  // A full disk often shows only when the buffered rest is written out.
  if (file && std::fclose(file.release()) != 0) RaiseWriteError(Header);
}

}  // namespace vellumark
