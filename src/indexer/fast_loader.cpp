#include "indexer/fast_loader.h"

#include <atomic>
#include <exception>
#include <thread>

#include "indexer/collation.h"
#include "indexer/html_page.h"
#include "indexer/link_url.h"
#include "indexer/page_text.h"
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

// Reads a fetched page: the header summary, and for HTML its title, links and text, and its
// words when `delimiters` are given. Runs on a reading thread.
LoadedPage ReadFetched(const std::string& url, FetchResult result,
                       const std::optional<std::u32string>& delimiters) {
  LoadedPage loaded;
  loaded.url = url;
  loaded.read_ahead = true;
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
  Clock::time_point start = Clock::now();
  HtmlPage html = ParseHtmlPage(result.body, loaded.content_type, loaded.final_url);
  loaded.read_time = Clock::now() - start;
  if (!html.error.empty()) {
    loaded.error = html.error;
    return loaded;
  }
  loaded.title = std::move(html.title);
  loaded.links = std::move(html.links);
  loaded.text = std::move(html.text);
  if (delimiters && !loaded.text.empty()) {
    start = Clock::now();
    // A collator serves one thread at a time: each reading thread keeps its own.
    static thread_local const TCollation collation;
    std::vector<std::string> words;
    SplitPageWords(LowerPageText(loaded.text), *delimiters, words, collation);
    loaded.words = std::move(words);
    loaded.words_time = Clock::now() - start;
  }
  return loaded;
}

// One reading thread per processor.
int ReadingThreads() { return static_cast<int>(std::thread::hardware_concurrency()); }

}  // namespace

struct FastLoader::Reading {
  std::string url;
  FetchResult result;  // handed in; moved out by the reading thread
  LoadedPage page;     // filled by the reading thread before `done`
  std::atomic<bool> done = false;
};

FastLoader::FastLoader(EventPump& pump, FastLoaderOptions options)
    : options_(std::move(options)),
      fetcher_(pump, options_.fetch),
      robots_(fetcher_, options_.agent),
      readers_(ReadingThreads()) {}

FastLoader::~FastLoader() = default;

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
  started_.push_back(url);
}

void FastLoader::Advance() {
  std::erase_if(started_, [this](const std::string& url) {
    auto it = pages_.find(url);
    if (it == pages_.end() || !it->second.fetch) return true;  // cancelled, or handed on
    Page& page = it->second;
    if (!fetcher_.Done(*page.fetch)) return false;
    auto reading = std::make_shared<Reading>();
    reading->url = url;
    reading->result = fetcher_.Take(*page.fetch);
    page.fetch.reset();
    page.reading = reading;
    readers_.Post([this, reading] {
      std::optional<std::string> failure;
      try {
        reading->page =
            ReadFetched(reading->url, std::move(reading->result), options_.word_delimiters);
      } catch (const std::exception& e) {
        failure = e.what();
      } catch (...) {
        failure = "The page could not be read";
      }
      if (failure) {
        reading->page = LoadedPage{};
        reading->page.url = reading->url;
        reading->page.error = *failure;
      }
      reading->done.store(true, std::memory_order_release);
      fetcher_.Wake();
    });
    return true;
  });
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
  return page.robots_excluded ||
         (page.reading && page.reading->done.load(std::memory_order_acquire));
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
  Page& page = pages_.at(url);
  LoadedPage loaded;
  if (page.robots_excluded) {
    loaded.url = url;
    loaded.robots_excluded = true;
  } else {
    loaded = std::move(page.reading->page);
  }
  pages_.erase(url);
  return loaded;
}

void FastLoader::Cancel(const std::string& url) {
  auto it = pages_.find(url);
  if (it == pages_.end()) return;
  // A page being read is left to its thread, which drops it.
  if (it->second.fetch) fetcher_.Cancel(*it->second.fetch);
  pages_.erase(it);
}

void FastLoader::CancelAll() {
  fetcher_.CancelAll();
  readers_.DropPending();
  robots_.ForgetPending();
  pages_.clear();
  started_.clear();
  waiting_.clear();
}

}  // namespace vellumark
