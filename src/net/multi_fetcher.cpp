#include "net/multi_fetcher.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <mutex>

#include "util/exception.h"
#include "util/utf8.h"

namespace vellumark {

namespace {

// The longest a wait sleeps in the network poll before it lets events run again.
constexpr int kPollMs = 20;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// "scheme://host:port" in lower case, which the per-host limit counts by; the URL itself when
// libcurl cannot take it apart (the request then fails on its own).
std::string HostKey(const std::string& url) {
  CURLU* u = curl_url();
  std::string key = url;
  if (u && curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      key = LowerAscii(std::string(scheme) + "://" + host + ":" + port);
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
  }
  curl_url_cleanup(u);
  return key;
}

// The status number of a status line ("HTTP/1.1 200 OK"); 0 when there is none.
int StatusOf(std::string_view line) {
  const std::size_t sp = line.find(' ');
  if (sp == std::string_view::npos) return 0;
  int status = 0;
  for (std::size_t i = sp + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    status = status * 10 + (line[i] - '0');
    if (status > 999) return 0;
  }
  return status;
}

// The lower-cased name of a header line, "" for a line without a colon.
std::string NameOf(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  std::string_view name = line.substr(0, colon);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return LowerAscii(name);
}

std::string ValueOf(std::string_view line) {
  std::size_t at = line.find(':');
  if (at == std::string_view::npos) return {};
  ++at;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  std::size_t end = line.size();
  while (end > at && (line[end - 1] == '\r' || line[end - 1] == '\n' || line[end - 1] == ' ')) {
    --end;
  }
  return std::string(line.substr(at, end - at));
}

// The header's lines, each with its line end.
std::vector<std::string_view> Lines(std::string_view header) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < header.size()) {
    std::size_t end = header.find('\n', start);
    end = end == std::string_view::npos ? header.size() : end + 1;
    lines.push_back(header.substr(start, end - start));
    start = end;
  }
  return lines;
}

bool HasContentEncoding(std::string_view header) {
  for (std::string_view line : Lines(header)) {
    if (NameOf(line) != "content-encoding") continue;
    const std::string value = LowerAscii(ValueOf(line));
    if (!value.empty() && value != "identity") return true;
  }
  return false;
}

// Adds the extra trusted authorities to the store of each new TLS context.
CURLcode AddTrustedAuthorities(CURL*, void* ssl_ctx, void* file) {
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(ssl_ctx));
  const auto* name = static_cast<const std::string*>(file);
  if (!store || X509_STORE_load_file(store, name->c_str()) != 1) {
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

}  // namespace

struct MultiFetcher::Request {
  Id id = 0;
  std::string host_key;
  ReadBody read_body;
  std::int64_t max_body = 0;
  CURL* easy = nullptr;
  bool running = false;
  bool done = false;
  bool body_started = false;  // the first body bytes have arrived
  bool declined = false;      // read_body declined the body
  char error[CURL_ERROR_SIZE] = {};
  FetchResult result;

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t n, void* self) {
    auto& r = *static_cast<Request*>(self);
    const std::string_view line(data, size * n);
    // Each answer of a redirect chain starts anew; the last one's lines stay.
    if (line.starts_with("HTTP/")) {
      r.result.header.clear();
      r.result.status = StatusOf(line);
      r.body_started = false;
    }
    r.result.header.append(line);
    return size * n;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t n, void* self) {
    auto& r = *static_cast<Request*>(self);
    const std::size_t bytes = size * n;
    if (!r.body_started) {
      r.body_started = true;
      if (r.read_body && !r.read_body(FetchHead{r.result.status, r.result.header})) {
        r.declined = true;
        return 0;  // ends the transfer
      }
    }
    const auto room = static_cast<std::size_t>(
        std::max<std::int64_t>(0, r.max_body - static_cast<std::int64_t>(r.result.body.size())));
    if (bytes > room) {
      r.result.body.append(data, room);
      r.result.truncated = true;
      return 0;
    }
    r.result.body.append(data, bytes);
    return bytes;
  }
};

std::string IdentityHeader(const FetchResult& result) {
  if (!result.decoded) return result.header;
  std::string header;
  bool first = true;
  for (std::string_view line : Lines(result.header)) {
    const std::string name = NameOf(line);
    if (name == "content-length" || name == "content-encoding") continue;
    header.append(line);
    if (first && result.body_read && !result.truncated) {
      header += "Content-Length: " + std::to_string(result.body.size()) + "\r\n";
    }
    first = false;
  }
  return header;
}

MultiFetcher::MultiFetcher(EventPump& pump, FetchOptions options)
    : pump_(pump), options_(std::move(options)) {
  GlobalInit();
  options_.max_in_flight = std::max(1, options_.max_in_flight);
  options_.max_per_host = std::max(1, std::min(options_.max_per_host, options_.max_in_flight));
  multi_ = curl_multi_init();
  share_ = curl_share_init();
  if (!multi_ || !share_) {
    if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
    if (share_) curl_share_cleanup(static_cast<CURLSH*>(share_));
    throw Exception("Cannot start the network library");
  }
  auto* share = static_cast<CURLSH*>(share_);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  // What a browser asks for, so that a site that chooses by it answers both loaders alike.
  headers_ = curl_slist_append(
      nullptr, "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
  // Redirects to another host count against that host's connections as well.
  curl_multi_setopt(static_cast<CURLM*>(multi_), CURLMOPT_MAX_HOST_CONNECTIONS,
                    static_cast<long>(options_.max_per_host));
}

MultiFetcher::~MultiFetcher() {
  CancelAll();
  curl_multi_cleanup(static_cast<CURLM*>(multi_));
  curl_share_cleanup(static_cast<CURLSH*>(share_));
  curl_slist_free_all(static_cast<curl_slist*>(headers_));
}

MultiFetcher::Id MultiFetcher::Start(const std::string& url, ReadBody read_body) {
  auto request = std::make_unique<Request>();
  request->id = next_id_++;
  request->host_key = HostKey(url);
  request->read_body = std::move(read_body);
  request->max_body = std::max<std::int64_t>(0, options_.max_body_bytes);
  request->result.url = url;
  const Id id = request->id;
  requests_.emplace(id, std::move(request));
  queue_.push_back(id);
  Pump();
  return id;
}

bool MultiFetcher::Done(Id id) const {
  auto it = requests_.find(id);
  return it != requests_.end() && it->second->done;
}

FetchResult MultiFetcher::Take(Id id) {
  auto it = requests_.find(id);
  if (it == requests_.end() || !it->second->done) return {};
  FetchResult result = std::move(it->second->result);
  requests_.erase(it);
  return result;
}

void MultiFetcher::Prioritize(Id id) {
  auto it = std::find(queue_.begin(), queue_.end(), id);
  if (it == queue_.end() || it == queue_.begin()) return;
  queue_.erase(it);
  queue_.insert(queue_.begin(), id);
}

void MultiFetcher::Cancel(Id id) {
  auto it = requests_.find(id);
  if (it == requests_.end()) return;
  Remove(*it->second);
  queue_.erase(std::remove(queue_.begin(), queue_.end(), id), queue_.end());
  requests_.erase(it);
  StartQueued();
}

void MultiFetcher::CancelAll() {
  for (auto& [id, request] : requests_) Remove(*request);
  requests_.clear();
  queue_.clear();
}

void MultiFetcher::Remove(Request& request) {
  if (!request.running) return;
  // Removing a transfer that has not ended closes its connection.
  curl_multi_remove_handle(static_cast<CURLM*>(multi_), request.easy);
  curl_easy_cleanup(request.easy);
  request.easy = nullptr;
  request.running = false;
  --running_;
  if (--per_host_[request.host_key] <= 0) per_host_.erase(request.host_key);
}

void MultiFetcher::Launch(Request& request) {
  CURL* easy = curl_easy_init();
  if (!easy) {
    request.result.error = "Cannot start the network library";
    request.done = true;
    return;
  }
  request.easy = easy;
  curl_easy_setopt(easy, CURLOPT_URL, request.result.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &request);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, request.error);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &request);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &request);
  curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(options_.max_redirects));
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // every coding libcurl can undo
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options_.timeout_ms));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connect_timeout_ms));
  curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.user_agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headers_));
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // cookies kept in memory, as a browser does
  // The program's own proxy setting, never the environment's, like the HTTP client.
  curl_easy_setopt(easy, CURLOPT_PROXY, options_.proxy.c_str());
  if (!options_.proxy.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(options_.proxy_port));
  }
  if (!options_.trusted_ca_file.empty()) {
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &AddTrustedAuthorities);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &options_.trusted_ca_file);
  }
  if (curl_multi_add_handle(static_cast<CURLM*>(multi_), easy) != CURLM_OK) {
    curl_easy_cleanup(easy);
    request.easy = nullptr;
    request.result.error = "Cannot start the request";
    request.done = true;
    return;
  }
  request.running = true;
  ++running_;
  ++per_host_[request.host_key];
}

void MultiFetcher::StartQueued() {
  for (auto it = queue_.begin(); it != queue_.end() && running_ < options_.max_in_flight;) {
    Request& request = *requests_.at(*it);
    auto host = per_host_.find(request.host_key);
    if (host != per_host_.end() && host->second >= options_.max_per_host) {
      ++it;
      continue;
    }
    it = queue_.erase(it);
    Launch(request);
  }
}

void MultiFetcher::Finish(Request& request, int code) {
  CURL* easy = request.easy;
  FetchResult& result = request.result;
  char* final_url = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url) {
    result.final_url = final_url;
  }
  long connects = 0;
  if (curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK) {
    connections_opened_ += connects;
  }
  // Ending the transfer on purpose (body declined, size cap reached) is no failure.
  const bool ended_here = code == CURLE_WRITE_ERROR && (request.declined || result.truncated);
  if (code == CURLE_OK || ended_here) {
    result.body_read = !request.declined;
    result.decoded = HasContentEncoding(result.header);
    if (request.declined) result.body.clear();
  } else {
    std::string reason = curl_easy_strerror(static_cast<CURLcode>(code));
    if (request.error[0] != '\0') reason += std::string(": ") + request.error;
    result.error = reason;
    result.body.clear();
  }
  Remove(request);
  request.done = true;
}

void MultiFetcher::Pump() {
  auto* multi = static_cast<CURLM*>(multi_);
  StartQueued();
  for (;;) {
    int still_running = 0;
    curl_multi_perform(multi, &still_running);
    bool finished = false;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Request* request = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &request);
      if (request) {
        Finish(*request, message->data.result);
        finished = true;
      }
    }
    if (!finished || queue_.empty()) return;
    // Places came free: start the queued requests at once rather than after the next wait.
    StartQueued();
  }
}

void MultiFetcher::Wake() { curl_multi_wakeup(static_cast<CURLM*>(multi_)); }

bool MultiFetcher::WaitUntil(const std::function<bool()>& ready,
                             const std::function<bool()>& stop) {
  for (;;) {
    Pump();
    if (ready()) return true;
    if (stop && stop()) return false;
    pump_.ProcessEvents();
    curl_multi_poll(static_cast<CURLM*>(multi_), nullptr, 0, kPollMs, nullptr);
  }
}

}  // namespace vellumark
