#include "indexer/link_url.h"

#include <unicode/uidna.h>

#include <cstdint>
#include <vector>

#include "indexer/html_charset.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

struct Url {
  std::string scheme;
  std::string userinfo;  // "user" or "user:password", encoded; empty for none
  std::string host;
  int port = -1;  // -1: the scheme's default
  std::vector<std::string> path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

int DefaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return 80;
  if (scheme == "https" || scheme == "wss") return 443;
  if (scheme == "ftp") return 21;
  return -1;
}

bool IsSpecial(std::string_view scheme) { return DefaultPort(scheme) != -1; }

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSlash(char c) { return c == '/' || c == '\\'; }

// The percent-encode sets of the URL Standard.
bool InC0Set(unsigned char c) { return c < 0x20 || c > 0x7E; }
bool InFragmentSet(unsigned char c) {
  return InC0Set(c) || c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
}
bool InQuerySet(unsigned char c) {
  return InC0Set(c) || c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
}
bool InSpecialQuerySet(unsigned char c) { return InQuerySet(c) || c == '\''; }
// The browser's path set: the standard one, and "|" and "^" as well.
bool InPathSet(unsigned char c) {
  return InQuerySet(c) || c == '?' || c == '`' || c == '{' || c == '}' || c == '|' || c == '^';
}
bool InUserinfoSet(unsigned char c) {
  return InPathSet(c) || c == '/' || c == ':' || c == ';' || c == '=' || c == '@' ||
         (c >= '[' && c <= '^') || c == '|';
}

bool IsUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

std::string Encode(std::string_view text, bool (*in_set)(unsigned char)) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (in_set(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Escapes of letters, digits and "-._~" in a path segment become the characters, as the
// browser writes paths.
std::string DecodeUnreserved(const std::string& segment) {
  if (segment.find('%') == std::string::npos) return segment;
  std::string out;
  for (std::size_t i = 0; i < segment.size(); ++i) {
    if (segment[i] == '%' && i + 2 < segment.size() && HexValue(segment[i + 1]) >= 0 &&
        HexValue(segment[i + 2]) >= 0) {
      const char c = static_cast<char>(HexValue(segment[i + 1]) * 16 + HexValue(segment[i + 2]));
      if (IsUnreserved(c)) {
        out += c;
        i += 2;
        continue;
      }
    }
    out += segment[i];
  }
  return out;
}

// Leading and trailing C0 controls and blanks go; tabs and line breaks go everywhere.
std::string Clean(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  }
  return out;
}

bool IsSingleDot(std::string_view s) { return s == "." || LowerAscii(s) == "%2e"; }
bool IsDoubleDot(std::string_view s) {
  const std::string l = LowerAscii(s);
  return l == ".." || l == ".%2e" || l == "%2e." || l == "%2e%2e";
}

// The path state over `text` (a path without its leading slash, query and fragment already
// cut off), appending to `path`.
void ParsePath(std::string_view text, std::vector<std::string>& path) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < text.size() && !IsSlash(text[end])) ++end;
    const bool at_end = end == text.size();
    const std::string segment = Encode(text.substr(start, end - start), InPathSet);
    if (IsDoubleDot(segment)) {
      if (!path.empty()) path.pop_back();
      if (at_end) path.emplace_back();
    } else if (IsSingleDot(segment)) {
      if (at_end) path.emplace_back();
    } else {
      path.push_back(DecodeUnreserved(segment));
    }
    if (at_end) return;
    start = end + 1;
  }
}

// One part of an IPv4 address: decimal, 0x hexadecimal or 0 octal. False when it is none.
bool Ipv4Number(std::string_view part, std::uint64_t& value) {
  int radix = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    radix = 16;
    part.remove_prefix(2);
  } else if (part.size() >= 2 && part[0] == '0') {
    radix = 8;
    part.remove_prefix(1);
  }
  value = 0;
  for (char c : part) {
    const int digit = HexValue(c);
    if (digit < 0 || digit >= radix) return false;
    value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) value = 0x100000000ull;  // too big either way
  }
  return true;
}

// A host whose last label is a number is an IPv4 address. Returns false for a host that is
// not one; `failed` is set when it looks like one and is not valid.
bool Ipv4Host(const std::string& host, std::string& out, bool& failed) {
  std::vector<std::string_view> parts;
  std::string_view rest(host);
  for (;;) {
    const std::size_t dot = rest.find('.');
    parts.push_back(rest.substr(0, dot));
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  const std::string_view last = parts.back();
  bool numeric = !last.empty();
  for (char c : last) numeric = numeric && IsDigit(c);
  std::uint64_t ignored = 0;
  const bool hex = last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
                   Ipv4Number(last, ignored);
  if (!numeric && !hex) return false;
  failed = true;
  if (parts.size() > 4) return true;
  std::vector<std::uint64_t> numbers;
  for (std::string_view part : parts) {
    std::uint64_t n = 0;
    if (part.empty() || !Ipv4Number(part, n)) return true;
    numbers.push_back(n);
  }
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255) return true;
  }
  const std::uint64_t limit = 1ull << (8 * (5 - numbers.size()));
  if (numbers.back() >= limit) return true;
  std::uint64_t address = numbers.back();
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) address += numbers[i] << (8 * (3 - i));
  out = std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
        std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
  failed = false;
  return true;
}

// The host in its ASCII form, lower case; nullopt when it is not a valid host.
std::optional<std::string> ParseHost(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (text.front() == '[') {
    if (text.back() != ']') return std::nullopt;
    return LowerAscii(text);
  }
  const std::string decoded = PercentDecode(text);
  bool ascii = true;
  for (char c : decoded) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::string host = LowerAscii(decoded);
  if (!ascii || host.starts_with("xn--") || host.find(".xn--") != std::string::npos) {
    static UIDNA* idna = [] {
      UErrorCode error = U_ZERO_ERROR;
      return uidna_openUTS46(
          UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ, &error);
    }();
    if (!idna) return std::nullopt;
    char buffer[1024];
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n =
        uidna_nameToASCII_UTF8(idna, decoded.data(), static_cast<int32_t>(decoded.size()), buffer,
                               sizeof buffer, &info, &error);
    // Hyphen placement and label lengths are not checked for web addresses.
    const uint32_t ignored = UIDNA_ERROR_HYPHEN_3_4 | UIDNA_ERROR_LEADING_HYPHEN |
                             UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_EMPTY_LABEL |
                             UIDNA_ERROR_LABEL_TOO_LONG | UIDNA_ERROR_DOMAIN_NAME_TOO_LONG;
    if (U_FAILURE(error) || (info.errors & ~ignored) != 0) return std::nullopt;
    host.assign(buffer, static_cast<std::size_t>(n));
  }
  if (host.empty()) return std::nullopt;
  for (char ch : host) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '#' || c == '/' || c == ':' || c == '<' || c == '>' ||
        c == '?' || c == '@' || c == '[' || c == '\\' || c == ']' || c == '^' || c == '|' ||
        c == '%') {
      return std::nullopt;
    }
  }
  std::string ipv4;
  bool failed = false;
  if (Ipv4Host(host, ipv4, failed)) {
    if (failed) return std::nullopt;
    return ipv4;
  }
  return host;
}

// Splits "path?query#fragment" into its parts.
void SplitRest(std::string_view text, std::string_view& path, std::optional<std::string>& query,
               std::optional<std::string>& fragment, bool special,
               std::string_view encoding = "UTF-8") {
  const std::size_t hash = text.find('#');
  if (hash != std::string_view::npos) {
    fragment = Encode(text.substr(hash + 1), InFragmentSet);
    text = text.substr(0, hash);
  }
  const std::size_t question = text.find('?');
  if (question != std::string_view::npos) {
    const std::string raw = special ? EncodeFromUtf8(text.substr(question + 1), encoding)
                                    : std::string(text.substr(question + 1));
    query = Encode(raw, special ? InSpecialQuerySet : InQuerySet);
    text = text.substr(0, question);
  }
  path = text;
}

// The authority and what follows it, for a special scheme; `text` starts after the slashes.
bool ParseAuthority(std::string_view text, Url& url, std::string_view encoding) {
  std::size_t end = 0;
  while (end < text.size() && !IsSlash(text[end]) && text[end] != '?' && text[end] != '#') ++end;
  std::string_view authority = text.substr(0, end);
  std::string_view rest = text.substr(end);

  url.userinfo.clear();
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    std::string_view info = authority.substr(0, at);
    authority.remove_prefix(at + 1);
    const std::size_t colon = info.find(':');
    std::string user = Encode(info.substr(0, colon), InUserinfoSet);
    std::string password =
        colon == std::string_view::npos ? "" : Encode(info.substr(colon + 1), InUserinfoSet);
    if (!user.empty() || !password.empty()) {
      url.userinfo = password.empty() ? user : user + ":" + password;
    }
  }
  std::string_view host_text = authority;
  std::string_view port_text;
  bool has_port = false;
  const std::size_t bracket = authority.find(']');
  const std::size_t colon = authority.find(
      ':', authority.starts_with("[") && bracket != std::string_view::npos ? bracket : 0);
  if (colon != std::string_view::npos) {
    host_text = authority.substr(0, colon);
    port_text = authority.substr(colon + 1);
    has_port = true;
  }
  const std::optional<std::string> host = ParseHost(host_text);
  if (!host) return false;
  url.host = *host;
  url.port = -1;
  if (has_port && !port_text.empty()) {
    long port = 0;
    for (char c : port_text) {
      if (!IsDigit(c)) return false;
      port = port * 10 + (c - '0');
      if (port > 65535) return false;
    }
    if (port != DefaultPort(url.scheme)) url.port = static_cast<int>(port);
  }

  std::string_view path;
  url.query.reset();
  url.fragment.reset();
  SplitRest(rest, path, url.query, url.fragment, true, encoding);
  url.path.clear();
  if (!path.empty() && IsSlash(path.front())) path.remove_prefix(1);
  ParsePath(path, url.path);
  return true;
}

// The scheme of `text` in lower case, with `rest` after its colon; nullopt when there is none.
std::optional<std::string> SchemeOf(std::string_view text, std::string_view& rest) {
  if (text.empty() || !IsAlpha(text[0])) return std::nullopt;
  std::size_t i = 1;
  while (i < text.size() && (IsAlpha(text[i]) || IsDigit(text[i]) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  if (i >= text.size() || text[i] != ':') return std::nullopt;
  rest = text.substr(i + 1);
  return LowerAscii(text.substr(0, i));
}

// `text` (no scheme of its own, or the base's) relative to the special URL `base`.
bool ParseRelative(std::string_view text, const Url& base, Url& url, std::string_view encoding) {
  url = base;
  url.fragment.reset();
  if (text.empty()) return true;
  if (IsSlash(text[0])) {
    if (text.size() > 1 && IsSlash(text[1])) {
      while (!text.empty() && IsSlash(text.front())) text.remove_prefix(1);
      return ParseAuthority(text, url, encoding);
    }
    std::string_view path;
    url.query.reset();
    SplitRest(text.substr(1), path, url.query, url.fragment, true, encoding);
    url.path.clear();
    ParsePath(path, url.path);
    return true;
  }
  if (text[0] == '?' || text[0] == '#') {
    std::string_view path;
    if (text[0] == '?') url.query.reset();
    SplitRest(text, path, url.query, url.fragment, true, encoding);
    return true;
  }
  std::string_view path;
  url.query.reset();
  SplitRest(text, path, url.query, url.fragment, true, encoding);
  if (!url.path.empty()) url.path.pop_back();
  ParsePath(path, url.path);
  return true;
}

// An absolute special URL; false for anything else.
bool ParseAbsolute(std::string_view text, Url& url) {
  std::string_view rest;
  const std::optional<std::string> scheme = SchemeOf(text, rest);
  if (!scheme || !IsSpecial(*scheme)) return false;
  url = Url{};
  url.scheme = *scheme;
  while (!rest.empty() && IsSlash(rest.front())) rest.remove_prefix(1);
  return ParseAuthority(rest, url, "UTF-8");
}

std::string Serialize(const Url& url) {
  std::string out = url.scheme + "://";
  if (!url.userinfo.empty()) out += url.userinfo + "@";
  out += url.host;
  if (url.port >= 0) out += ":" + std::to_string(url.port);
  if (url.path.empty()) out += "/";
  for (const std::string& segment : url.path) out += "/" + segment;
  if (url.query) out += "?" + *url.query;
  if (url.fragment) out += "#" + *url.fragment;
  return out;
}

}  // namespace

std::optional<std::string> ResolveUrl(std::string_view base_text, std::string_view href,
                                      std::string_view encoding) {
  const std::string input = Clean(href);
  Url base;
  const bool has_base = ParseAbsolute(Clean(base_text), base);
  Url url;
  std::string_view rest;
  if (const std::optional<std::string> scheme = SchemeOf(input, rest)) {
    if (!IsSpecial(*scheme)) {
      // An opaque address (mailto:, tel:): only its query and fragment are encoded.
      std::string_view path;
      std::optional<std::string> query;
      std::optional<std::string> fragment;
      SplitRest(rest, path, query, fragment, false);
      std::string out = *scheme + ":" + Encode(path, InC0Set);
      if (query) out += "?" + *query;
      if (fragment) out += "#" + *fragment;
      return out;
    }
    if (has_base && base.scheme == *scheme && (rest.empty() || !IsSlash(rest.front()))) {
      if (!ParseRelative(rest, base, url, encoding)) return std::nullopt;
      return Serialize(url);
    }
    url.scheme = *scheme;
    while (!rest.empty() && IsSlash(rest.front())) rest.remove_prefix(1);
    if (!ParseAuthority(rest, url, encoding)) return std::nullopt;
    return Serialize(url);
  }
  if (!has_base || !ParseRelative(input, base, url, encoding)) return std::nullopt;
  return Serialize(url);
}

std::string LinkHref(std::string_view base, std::string_view href, std::string_view encoding) {
  std::optional<std::string> url = ResolveUrl(base, href, encoding);
  return url ? *url : std::string(href);
}

}  // namespace vellumark
