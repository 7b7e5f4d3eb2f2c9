#include "indexer/robots.h"

#include "util/utf8.h"

namespace vellumark {

namespace {

constexpr std::size_t kMaxRobotsBytes = 500 * 1024;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// One spelling for every path: escapes of unreserved characters undone, the others in upper
// case, bytes outside printable ASCII escaped.
std::string Uniform(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c == '%' && i + 2 < path.size() && HexValue(path[i + 1]) >= 0 &&
        HexValue(path[i + 2]) >= 0) {
      const auto decoded =
          static_cast<unsigned char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2]));
      if (IsUnreserved(decoded)) {
        out += static_cast<char>(decoded);
      } else {
        out += '%';
        out += kHex[decoded >> 4];
        out += kHex[decoded & 15];
      }
      i += 2;
    } else if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Whether `pattern` ("*" any run, a final "$" the end) matches the start of `path`.
bool Matches(std::string_view pattern, std::string_view path) {
  bool anchored = false;
  if (!pattern.empty() && pattern.back() == '$') {
    anchored = true;
    pattern.remove_suffix(1);
  }
  std::size_t p = 0;
  std::size_t s = 0;
  std::size_t star = std::string_view::npos;  // pattern position after the last "*"
  std::size_t star_s = 0;                     // path position that "*" has reached
  for (;;) {
    if (p == pattern.size()) {
      if (!anchored || s == path.size()) return true;
    } else if (pattern[p] == '*') {
      star = ++p;
      star_s = s;
      continue;
    } else if (s < path.size() && pattern[p] == path[s]) {
      ++p;
      ++s;
      continue;
    }
    // Mismatch (or an anchored pattern that ended early): let the last "*" take one more.
    if (star == std::string_view::npos || star_s >= path.size()) return false;
    p = star;
    s = ++star_s;
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// The product token of a User-agent value ("Vellumark/1.0" gives "vellumark"), lower case.
std::string ProductToken(std::string_view value) {
  std::size_t n = 0;
  while (n < value.size() &&
         ((value[n] >= 'a' && value[n] <= 'z') || (value[n] >= 'A' && value[n] <= 'Z') ||
          value[n] == '_' || value[n] == '-')) {
    ++n;
  }
  return LowerAscii(value.substr(0, n));
}

// "http://host:port" of an address in lower case, with the path and query after it.
bool SplitAddress(std::string_view url, std::string& origin, std::string& path) {
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return false;
  std::size_t path_start = url.find_first_of("/?#", scheme_end + 3);
  if (path_start == std::string_view::npos) path_start = url.size();
  origin = LowerAscii(url.substr(0, path_start));
  std::string_view rest = url.substr(path_start);
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    rest = rest.substr(0, hash);
  }
  path = rest.empty() || rest.front() != '/' ? "/" + std::string(rest) : std::string(rest);
  return true;
}

}  // namespace

RobotsRules RobotsRules::DisallowAll() {
  RobotsRules rules;
  rules.rules_.push_back(Rule{"/", false});
  return rules;
}

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view agent) {
  if (text.size() > kMaxRobotsBytes) text = text.substr(0, kMaxRobotsBytes);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::string own = LowerAscii(agent);

  std::vector<Rule> mine;
  std::vector<Rule> anyone;
  bool group_is_mine = false;
  bool group_is_anyone = false;
  bool in_agent_lines = false;  // the lines before were User-agent lines of one group
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
      line = line.substr(0, hash);
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = LowerAscii(Trim(line.substr(0, colon)));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (key == "user-agent") {
      if (!in_agent_lines) group_is_mine = group_is_anyone = false;
      in_agent_lines = true;
      if (value == "*") {
        group_is_anyone = true;
      } else if (!own.empty() && ProductToken(value) == own) {
        group_is_mine = true;
      }
      continue;
    }
    if (key != "allow" && key != "disallow") continue;
    in_agent_lines = false;
    if (value.empty()) continue;  // "Disallow:" alone allows everything
    std::string pattern = Uniform(value);
    if (pattern.front() != '/' && pattern.front() != '*') pattern.insert(0, "/");
    const Rule rule{std::move(pattern), key == "allow"};
    if (group_is_mine) mine.push_back(rule);
    if (group_is_anyone) anyone.push_back(rule);
  }
  RobotsRules rules;
  rules.rules_ = !mine.empty() ? std::move(mine) : std::move(anyone);
  return rules;
}

bool RobotsRules::Allowed(std::string_view path) const {
  if (rules_.empty()) return true;
  const std::string uniform = Uniform(path);
  const Rule* best = nullptr;
  for (const Rule& rule : rules_) {
    if (best && rule.pattern.size() < best->pattern.size()) continue;
    if (best && rule.pattern.size() == best->pattern.size() && best->allow) continue;
    if (Matches(rule.pattern, uniform)) best = &rule;
  }
  return !best || best->allow;
}

RobotsCache::RobotsCache(MultiFetcher& fetcher, std::string agent)
    : fetcher_(fetcher), agent_(std::move(agent)) {}

RobotsCache::Verdict RobotsCache::Check(const std::string& url) {
  std::string origin;
  std::string path;
  if (!SplitAddress(url, origin, path)) return Verdict::kAllowed;
  if (auto it = rules_.find(origin); it != rules_.end()) {
    return it->second.Allowed(path) ? Verdict::kAllowed : Verdict::kDisallowed;
  }
  if (!pending_.contains(origin)) pending_[origin] = fetcher_.Start(origin + "/robots.txt");
  return Verdict::kPending;
}

void RobotsCache::Update() {
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (!fetcher_.Done(it->second)) {
      ++it;
      continue;
    }
    const FetchResult result = fetcher_.Take(it->second);
    RobotsRules rules;
    if (result.error.empty() && result.status >= 200 && result.status < 300) {
      rules = RobotsRules::Parse(result.body, agent_);
    } else if (result.error.empty() && result.status >= 500) {
      rules = RobotsRules::DisallowAll();
    }
    rules_[it->first] = std::move(rules);
    it = pending_.erase(it);
  }
}

}  // namespace vellumark
