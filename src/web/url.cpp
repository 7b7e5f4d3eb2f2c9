#include "web/url.h"

#include <charconv>

#include "util/splitters.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

// Removes leading and trailing blanks and control characters (every byte up to 0x20).
std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// A decimal port number with an optional sign; -1 when the text is not one.
int PortNumber(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return -1;
  return value;
}

// Resolves the dot segments of a path made from a relative reference: first every "/./" loses
// its "/.", then every "/../" takes the segment in front of it away with it.
std::string RemoveDotSegments(std::string path) {
  std::size_t at;
  while ((at = path.find("/./")) != std::string::npos) path.erase(at, 2);
  while ((at = path.find("/../")) != std::string::npos) {
    const std::size_t q = at + 1;  // 1-based position of "/../"
    const std::size_t r = LastPos("/", path, q - 1);
    // Keep characters 1 to r - 1 and those from q + 3 on (the "/" that ends "/../").
    const std::string rest = path.substr(q + 2);
    path = (r > 0 ? path.substr(0, r - 1) : std::string()) + rest;
  }
  return path;
}

}  // namespace

void TURL::Clear() { SetParts("", "", -1, "/", ""); }

void TURL::SetParts(std::string_view scheme, std::string_view host, int port, std::string_view path,
                    std::string_view anchor) {
  scheme_ = std::string(Trim(scheme));
  host_ = std::string(Trim(host));
  port_ = port;
  path_ = std::string(Trim(path));
  anchor_ = std::string(Trim(anchor));
}

void TURL::SetURL(std::string_view url_text) {
  std::string_view text = Trim(url_text);
  if (text.empty()) return;

  std::string anchor;
  if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
    anchor = std::string(text.substr(hash + 1));
    text = text.substr(0, hash);
  }
  if (text.empty()) {
    // A reference to an anchor alone stays on the same page.
    SetParts(scheme_, host_, port_, path_, anchor);
    return;
  }

  // Local file paths: "\share\x.htm" and "c:\docs\x.htm".
  if (text[0] == '\\' || (text.size() >= 3 && text[1] == ':' && text[2] == '\\')) {
    SetParts("file", "", -1, text, anchor);
    return;
  }
  if (LowerAscii(text.substr(0, 5)) == "file:") {
    const bool slashes = text.size() >= 7 && text[5] == '/' && text[6] == '/';
    SetParts("file", "", -1, text.substr(slashes ? 7 : 5), anchor);
    return;
  }

  std::string scheme = scheme_;
  std::string host = host_;
  int port = port_;
  std::string path = path_;

  // s is the 0-based index of the next character to read.
  std::size_t s = LowerAscii(text.substr(0, 4)) == "url:" ? 4 : 0;

  for (std::size_t p = s; p < text.size(); ++p) {
    if (text[p] == '/' || text[p] == '.') break;
    if (text[p] == ':') {
      scheme = LowerAscii(text.substr(s, p - s));
      s = p + 1;
      break;
    }
  }

  if (s + 1 < text.size() && text[s] == '/' && text[s + 1] == '/') {
    s += 2;
    const std::size_t p = text.find_first_of(":/", s);
    if (p == std::string_view::npos) {
      host = std::string(text.substr(s));
      port = 80;
      s = text.size();
    } else if (text[p] == ':') {
      host = std::string(text.substr(s, p - s));
      std::size_t slash = text.find('/', p + 1);
      if (slash == std::string_view::npos) slash = text.size();
      port = PortNumber(text.substr(p + 1, slash - p - 1));
      s = slash;
    } else {
      host = std::string(text.substr(s, p - s));
      port = 80;
      s = p;
    }
  }

  if (s < text.size()) {
    if (text[s] == '/') {
      path = std::string(text.substr(s));
    } else {
      const std::size_t last = LastPos("/", path, path.size());
      path = path.substr(0, last > 0 ? last - 1 : 0) + "/" + std::string(text.substr(s));
      path = RemoveDotSegments(std::move(path));
    }
  }

  SetParts(scheme, host, port, path, anchor);
}

std::string TURL::GetURL() const {
  if (host_.empty()) return std::string();
  std::string url = (scheme_.empty() ? std::string("http") : scheme_) + "://" + host_;
  if (port_ >= 0 && port_ != 80) url += ":" + std::to_string(port_);
  if (path_.empty()) {
    url += "/";
  } else {
    url += path_;
    if (!anchor_.empty()) url += "#" + anchor_;
  }
  return url;
}

std::string TURL::GetDirectory() const {
  std::size_t q = path_.find('?');
  if (q == std::string::npos) q = path_.find('=');
  q = q == std::string::npos ? path_.size() : q + 1;  // 1-based
  return path_.substr(0, LastPos("/", path_, q));
}

bool SameServer(const TURL& a, const TURL& b) {
  return a.Scheme() == b.Scheme() && a.Host() == b.Host() && a.Port() == b.Port();
}

bool SamePage(const TURL& a, const TURL& b) { return SameServer(a, b) && a.Path() == b.Path(); }

bool IsInside(const TURL& link, const TURL& base) {
  return SameServer(link, base) && link.GetDirectory().starts_with(base.GetDirectory());
}

std::string SetBaseAddress(TURL& url, std::string_view task_url) {
  url.Clear();
  url.SetURL(task_url);
  url.SetAnchor("");
  std::string start = url.GetURL();
  url.SetPath(url.GetDirectory());
  return start;
}

std::string BaseAddressOf(std::string_view task_url) {
  TURL url;
  SetBaseAddress(url, task_url);
  return url.GetURL();
}

}  // namespace vellumark
