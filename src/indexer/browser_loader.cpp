#include "indexer/browser_loader.h"

#include <algorithm>

#include "indexer/page_rules.h"
#include "indexer/robots.h"
#include "web/url_header.h"

namespace vellumark {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait asks the loop whether to stop (and shows that it waits).
constexpr int kStopCheckMs = 100;

// The browser's own shown page as the one loader page of a browser that has none of its own:
// loads go through Navigate and the document is read member by member.
class ShownPage final : public LoaderPage {
 public:
  explicit ShownPage(Browser& browser) : browser_(browser) {}
  void Load(const std::string& url) override { browser_.Navigate(url); }
  // A later Navigate supersedes a load that does not end.
  void Stop() override {}
  bool Ready() override { return !browser_.Busy(); }
  void WaitReady(int max_ms) override { browser_.WaitWhileBusy(max_ms); }
  PageDocument Read() override {
    PageDocument doc;
    doc.url = browser_.DocumentUrl();
    doc.links = browser_.DocumentLinks();
    doc.title = browser_.DocumentTitle();
    doc.text = browser_.CreateBodyTextRange()->Text();
    return doc;
  }

 private:
  Browser& browser_;
};

}  // namespace

BrowserLoader::BrowserLoader(Browser& browser, EventPump& pump, HeadRequest head,
                             BrowserLoaderOptions options)
    : browser_(browser), pump_(pump), head_(std::move(head)), options_(std::move(options)) {
  std::unique_ptr<LoaderPage> first = browser_.CreateLoaderPage();
  if (!first) {
    first = std::make_unique<ShownPage>(browser_);
    shown_page_ = true;
  }
  max_slots_ = shown_page_ ? 1 : static_cast<std::size_t>(std::max(1, options_.pages_in_flight));
  slots_.push_back(Slot{std::move(first), {}});
  if (options_.obey_robots) {
    FetchOptions fetch = options_.robots_fetch;
    fetch.max_in_flight = std::max(1, fetch.max_in_flight);
    robots_fetcher_ = std::make_unique<MultiFetcher>(pump_, fetch);
    robots_ = std::make_unique<RobotsCache>(*robots_fetcher_);
  }
}

BrowserLoader::~BrowserLoader() { CancelAll(); }

int BrowserLoader::LoadAhead() const { return std::max<int>(1, static_cast<int>(max_slots_) - 1); }

void BrowserLoader::Start(const std::string& url) {
  if (entries_.contains(url)) return;
  Entry& entry = entries_[url];
  entry.order = next_order_++;
  entry.page.url = url;
  entry.step = robots_ ? Step::kRobots : Step::kHead;
}

std::vector<std::string> BrowserLoader::InStartOrder() const {
  std::vector<std::pair<std::uint64_t, std::string>> order;
  for (const auto& [url, entry] : entries_) order.emplace_back(entry.order, url);
  std::sort(order.begin(), order.end());
  std::vector<std::string> urls;
  for (auto& [n, url] : order) urls.push_back(std::move(url));
  return urls;
}

std::optional<std::size_t> BrowserLoader::FreeSlot() {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].url.empty()) return i;
  }
  if (slots_.size() >= max_slots_) return std::nullopt;
  std::unique_ptr<LoaderPage> page = browser_.CreateLoaderPage();
  if (!page) {
    max_slots_ = slots_.size();
    return std::nullopt;
  }
  slots_.push_back(Slot{std::move(page), {}});
  return slots_.size() - 1;
}

void BrowserLoader::Launch(const std::string& url, Entry& entry, std::size_t slot) {
  slots_[slot].url = url;
  entry.slot = slot;
  entry.step = Step::kLoading;
  entry.deadline = Clock::now() + std::chrono::milliseconds(options_.wait_ms);
  try {
    slots_[slot].page->Load(url);
  } catch (const std::exception& e) {
    FreeSlotOf(entry);
    entry.page.error = e.what();
    entry.step = Step::kDone;
  }
}

void BrowserLoader::FreeSlotOf(Entry& entry) {
  if (entry.step == Step::kLoading) slots_[entry.slot].url.clear();
}

bool BrowserLoader::DoHead(const std::string& url) {
  HeadAnswer answer = head_(url);
  // The request let events run: a handler may have cancelled the page meanwhile.
  auto it = entries_.find(url);
  if (it == entries_.end() || it->second.step != Step::kHead) return answer.aborted;
  if (answer.aborted) return true;
  LoadedPage& page = it->second.page;
  it->second.step = Step::kDone;
  page.final_url = std::move(answer.final_url);
  if (!answer.error.empty()) {
    page.error = std::move(answer.error);
    return false;
  }
  page.header = std::move(answer.header);
  page.status = StatusOfHeader(page.header);
  TURLHeader header;
  header.ParseHeader(page.header);
  page.content_type = header.ContentType;
  // The server's error page is not the page's content; other types are not read.
  if (!IsErrorStatus(page.status) && page.IsHtml()) it->second.step = Step::kWaitPage;
  return false;
}

bool BrowserLoader::Advance(const std::string& url) {
  if (robots_) {
    robots_fetcher_->Pump();
    robots_->Update();
    for (auto& [address, entry] : entries_) {
      if (entry.step != Step::kRobots) continue;
      switch (robots_->Check(address)) {
        case RobotsCache::Verdict::kAllowed:
          entry.step = Step::kHead;
          break;
        case RobotsCache::Verdict::kDisallowed:
          entry.page.robots_excluded = true;
          entry.step = Step::kDone;
          break;
        case RobotsCache::Verdict::kPending:
          break;
      }
    }
  }
  auto it = entries_.find(url);
  if (it != entries_.end() && it->second.step == Step::kHead && DoHead(url)) return false;

  // The page waited for loads first, taking the loader page of the page started last when
  // none is free; then the others in start order.
  it = entries_.find(url);
  if (it != entries_.end() && it->second.step == Step::kWaitPage) {
    std::optional<std::size_t> slot = FreeSlot();
    if (!slot) {
      Entry* victim = nullptr;
      for (auto& [address, entry] : entries_) {
        if (entry.step == Step::kLoading && (!victim || entry.order > victim->order)) {
          victim = &entry;
        }
      }
      if (victim) {
        slot = victim->slot;
        slots_[*slot].page->Stop();
        FreeSlotOf(*victim);
        victim->step = Step::kWaitPage;
      }
    }
    if (slot) Launch(url, it->second, *slot);
  }
  const std::vector<std::string> order = InStartOrder();
  for (const std::string& address : order) {
    Entry& entry = entries_.at(address);
    if (entry.step != Step::kWaitPage) continue;
    std::optional<std::size_t> slot = FreeSlot();
    if (!slot) break;
    Launch(address, entry, *slot);
  }
  // The next page's HEAD request while the pages in flight load.
  for (const std::string& address : order) {
    auto ahead = entries_.find(address);
    if (ahead == entries_.end() || ahead->second.step != Step::kHead) continue;
    if (DoHead(address)) return false;
    ahead = entries_.find(address);
    if (ahead != entries_.end() && ahead->second.step == Step::kWaitPage) {
      if (std::optional<std::size_t> slot = FreeSlot()) Launch(address, ahead->second, *slot);
    }
    break;
  }
  return true;
}

void BrowserLoader::Finish(Entry& entry, bool timed_out) {
  LoaderPage& page = *slots_[entry.slot].page;
  if (timed_out) {
    page.Stop();
    entry.page.error = "The page did not finish loading";
  } else {
    const Clock::time_point start = Clock::now();
    try {
      PageDocument doc = page.Read();
      // Where the browser ended, after redirects and scripts.
      entry.page.final_url = std::move(doc.url);
      entry.page.title = std::move(doc.title);
      entry.page.links = std::move(doc.links);
      entry.page.text = std::move(doc.text);
    } catch (const std::exception& e) {
      entry.page.error = e.what();
    }
    entry.page.read_time = Clock::now() - start;
  }
  FreeSlotOf(entry);
  entry.step = Step::kDone;
}

std::optional<LoadedPage> BrowserLoader::Take(const std::string& url,
                                              const std::function<bool()>& check_stop) {
  Start(url);
  // The first check comes as soon as the page is not there at once.
  Clock::time_point next_check = Clock::now();
  for (;;) {
    const bool stop_now = !Advance(url);
    auto it = entries_.find(url);
    if (it == entries_.end()) return std::nullopt;  // cancelled by an event handler
    Entry& entry = it->second;
    if (entry.step == Step::kLoading) {
      LoaderPage& page = *slots_[entry.slot].page;
      const Clock::time_point now = Clock::now();
      if (page.Ready() || now >= entry.deadline) {
        Finish(entry, !page.Ready());
      } else if (!stop_now) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(entry.deadline, next_check) - now);
        page.WaitReady(std::max<int>(1, static_cast<int>(left.count())));
      }
    } else if (entry.step == Step::kRobots && !stop_now) {
      robots_fetcher_->WaitUntil(
          [&] {
            robots_->Update();
            return robots_->Check(url) != RobotsCache::Verdict::kPending;
          },
          [&] { return Clock::now() >= next_check; });
    }
    it = entries_.find(url);
    if (it == entries_.end()) return std::nullopt;
    if (it->second.step == Step::kDone) {
      LoadedPage loaded = std::move(it->second.page);
      entries_.erase(it);
      return loaded;
    }
    if (stop_now || Clock::now() >= next_check) {
      next_check = Clock::now() + std::chrono::milliseconds(kStopCheckMs);
      if (check_stop && check_stop()) return std::nullopt;
    }
  }
}

void BrowserLoader::Pump() {
  pump_.ProcessEvents();
  if (robots_) {
    robots_fetcher_->Pump();
    robots_->Update();
  }
}

void BrowserLoader::Cancel(const std::string& url) {
  auto it = entries_.find(url);
  if (it == entries_.end()) return;
  if (it->second.step == Step::kLoading) slots_[it->second.slot].page->Stop();
  FreeSlotOf(it->second);
  entries_.erase(it);
}

void BrowserLoader::CancelAll() {
  for (auto& [url, entry] : entries_) {
    if (entry.step == Step::kLoading) slots_[entry.slot].page->Stop();
    FreeSlotOf(entry);
  }
  entries_.clear();
  if (robots_) {
    robots_fetcher_->CancelAll();
    robots_->ForgetPending();
  }
}

}  // namespace vellumark
