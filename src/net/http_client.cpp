#include "net/http_client.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

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
      if (InputFileMode) {
        CaptureFile(Body);
      } else {
        CaptureString(Body, -1);
      }
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
      if (!ReceivedCookie.empty()) HeaderInfo.Cookie = ReceivedCookie;
      bool handled = false;
      if (OnRedirect) OnRedirect(handled);
      if (handled) return;
      if (RequestURL.find('/') == std::string::npos) {
        // A bare name stays on the server, and so on its scheme.
        RequestURL = std::string(Secure ? "https://" : "http://") + Host + "/" + RequestURL;
      }
    }
    if (status_line_read_ && reply_number_ == 401 && OnAuthenticationNeeded) {
      OnAuthenticationNeeded(*this);
    }
    if (!redirect || redirects == kMaxRedirects) return;
    ++redirects;
  }
}

void THttpClient::ParseURL() {
  if (RequestURL.empty()) throw Exception("Empty URL");
  if (Port == 0) Port = 80;

  const bool has_slashes = RequestURL.find("//") != std::string::npos;
  const std::size_t first_slash = RequestURL.find('/');
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

  const std::size_t colon = RequestURL.find(':');
  if (colon != std::string::npos) {
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
  if (!HeaderInfo.Cookie.empty()) RequestHeader.SetHeaderValue("Cookie", HeaderInfo.Cookie);
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
  ReceivedCookie.clear();
  std::FILE* file = nullptr;
  if (OutputFileMode) {
    file = std::fopen(Header.c_str(), "wb");
    if (!file) throw Exception("Cannot create file \"" + Header + "\". " + std::strerror(errno));
  } else {
    Header.clear();
  }
  auto append = [&](const std::string& line) {
    if (file) {
      std::fwrite(line.data(), 1, line.size(), file);
    } else {
      Header += line;
    }
  };

  try {
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
      } else if (name == "LOCATION:") {
        RequestURL = HeaderValue(line, 11);
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
      }
      append(line);
    } while (!(line.empty() || line == "\n" || line == "\r\n"));
  } catch (...) {
    if (file) std::fclose(file);
    throw;
  }
  if (file) std::fclose(file);
}

}  // namespace vellumark
