#include "indexer/fast_loader.h"

#include "indexer/html_page.h"
#include "indexer/link_url.h"
#include "web/url_header.h"

namespace vellumark {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait asks the loop whether to stop.
constexpr auto kStopCheckPeriod = std::chrono::milliseconds(100);

// Reads the body of HTML pages, and of compressed answers, whose decoded length the header
// summary gives as a HEAD request would.
bool WantsBody(const FetchHead& head) {
  TURLHeader header;
  header.ParseHeader(head.header);
  return header.ContentType.find("text/html") != std::string::npos ||
         !header.ContentEncoding.empty();
}

}  // namespace

FastLoader::FastLoader(EventPump& pump, FastLoaderOptions options)
    : options_(std::move(options)),
      fetcher_(pump, options_.fetch),
      robots_(fetcher_, options_.agent) {}

void FastLoader::Start(const std::string& url) {
  if (pages_.contains(url)) return;
  Page& page = pages_[url];
  if (!options_.obey_robots) {
    Fetch(url, page);
    return;
  }
  switch (robots_.Check(url)) {
    case RobotsCache::Verdict::kAllowed:
      Fetch(url, page);
      break;
    case RobotsCache::Verdict::kDisallowed:
      page.robots_excluded = true;
      break;
    case RobotsCache::Verdict::kPending:
      page.waiting_for_robots = true;
      waiting_.push_back(url);
      break;
  }
}

void FastLoader::Fetch(const std::string& url, Page& page) {
  // The request goes out in normal form: an address typed by the user may hold blanks or
  // letters outside ASCII, which the network library refuses.
  page.fetch = fetcher_.Start(ResolveUrl(url, "").value_or(url), &WantsBody);
}

void FastLoader::Advance() {
  if (!options_.obey_robots) return;
  if (waiting_.empty()) return;
  robots_.Update();
  // In the order the pages were started, which is the order the loop will take them.
  std::erase_if(waiting_, [this](const std::string& url) {
    auto it = pages_.find(url);
    if (it == pages_.end()) return true;  // cancelled
    const RobotsCache::Verdict verdict = robots_.Check(url);
    if (verdict == RobotsCache::Verdict::kPending) return false;
    it->second.waiting_for_robots = false;
    if (verdict == RobotsCache::Verdict::kAllowed) {
      Fetch(url, it->second);
    } else {
      it->second.robots_excluded = true;
    }
    return true;
  });
}

bool FastLoader::Ready(const Page& page) const {
  return page.robots_excluded || (page.fetch && fetcher_.Done(*page.fetch));
}

void FastLoader::Pump() {
  fetcher_.Pump();
  Advance();
}

std::optional<LoadedPage> FastLoader::Take(const std::string& url,
                                           const std::function<bool()>& check_stop) {
  Start(url);
  // The page is looked up at each step: an event handler may cancel it during the wait.
  bool cancelled = false;
  Clock::time_point next_check = Clock::now() + kStopCheckPeriod;
  const bool ready = fetcher_.WaitUntil(
      [&] {
        Advance();
        auto it = pages_.find(url);
        cancelled = it == pages_.end();
        if (cancelled) return true;
        // The page waited for goes first when a place comes free.
        if (it->second.fetch) fetcher_.Prioritize(*it->second.fetch);
        return Ready(it->second);
      },
      [&] {
        if (!check_stop || Clock::now() < next_check) return false;
        next_check = Clock::now() + kStopCheckPeriod;
        return check_stop();
      });
  if (!ready || cancelled) return std::nullopt;
  LoadedPage loaded = Read(url, pages_.at(url));
  pages_.erase(url);
  return loaded;
}

LoadedPage FastLoader::Read(const std::string& url, const Page& page) {
  LoadedPage loaded;
  loaded.url = url;
  if (page.robots_excluded) {
    loaded.robots_excluded = true;
    return loaded;
  }
  FetchResult result = fetcher_.Take(*page.fetch);
  loaded.final_url = ResolveUrl(result.final_url, "").value_or(result.final_url);
  loaded.status = result.status;
  if (!result.error.empty()) {
    loaded.error = result.error;
    return loaded;
  }
  loaded.header = IdentityHeader(result);
  TURLHeader header;
  header.ParseHeader(loaded.header);
  loaded.content_type = header.ContentType;
  loaded.truncated = result.truncated;
  if (!loaded.IsHtml() || !result.body_read) return loaded;
  const Clock::time_point start = Clock::now();
  HtmlPage html = ParseHtmlPage(result.body, loaded.content_type, loaded.final_url);
  loaded.read_time = Clock::now() - start;
  if (!html.error.empty()) {
    loaded.error = html.error;
    return loaded;
  }
  loaded.title = std::move(html.title);
  loaded.links = std::move(html.links);
  loaded.text = std::move(html.text);
  return loaded;
}

void FastLoader::Cancel(const std::string& url) {
  auto it = pages_.find(url);
  if (it == pages_.end()) return;
  if (it->second.fetch) fetcher_.Cancel(*it->second.fetch);
  pages_.erase(it);
}

void FastLoader::CancelAll() {
  fetcher_.CancelAll();
  robots_.ForgetPending();
  pages_.clear();
  waiting_.clear();
}

}  // namespace vellumark
