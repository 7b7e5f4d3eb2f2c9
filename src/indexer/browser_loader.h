// The browser loader: pages loaded by the browser (the Browser seam), so that a page's scripts
// run and script-written links and text are found. Several pages load at once in off-screen
// loader pages of the browser; a browser without them loads one page at a time in its shown
// page.
//
// Each page goes through the same steps as in a sequential run: the site's robots.txt (when
// obeyed), a HEAD request for its status and content type, and for an HTML page that answered
// without an error the browser's load and one read of its final address, title, links and
// text. The HEAD request is the caller's (the program's HTTP client), asked through `head`; it
// runs for the pages started ahead while the page waited for loads. Each load has its own
// deadline, from the moment it begins in a loader page.
//
// The browser, the event pump and whatever `head` uses are the caller's and must outlive the
// loader; the loader owns its loader pages.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "indexer/page_loader.h"
#include "net/multi_fetcher.h"
#include "platform/browser.h"
#include "platform/event_pump.h"

namespace vellumark {

class RobotsCache;

// The answer to a page's HEAD request.
struct HeadAnswer {
  bool aborted = false;   // Stop ended the request: it is asked again unless the run ends
  std::string header;     // the response header lines
  std::string final_url;  // where the request's redirects ended
  std::string error;      // why no answer came; empty when one did
};
using HeadRequest = std::function<HeadAnswer(const std::string& url)>;

struct BrowserLoaderOptions {
  int pages_in_flight = 2;  // browser loads at once, the page waited for included
  int wait_ms = 60000;      // how long one load may take before the page counts as not opened
  bool obey_robots = true;  // honour the sites' robots.txt
  FetchOptions robots_fetch;
};

class BrowserLoader final : public PageLoader {
 public:
  BrowserLoader(Browser& browser, EventPump& pump, HeadRequest head,
                BrowserLoaderOptions options = {});
  ~BrowserLoader() override;
  BrowserLoader(const BrowserLoader&) = delete;
  BrowserLoader& operator=(const BrowserLoader&) = delete;

  // The pages started ahead have their robots.txt and HEAD request done while the page waited
  // for loads, so even one page in flight has one page started ahead.
  int LoadAhead() const override;
  void Start(const std::string& url) override;
  bool Started(const std::string& url) const override { return entries_.contains(url); }
  std::optional<LoadedPage> Take(const std::string& url,
                                 const std::function<bool()>& check_stop) override;
  void Pump() override;
  void Cancel(const std::string& url) override;
  void CancelAll() override;

  // Browser loads at once: 1 when the browser has no loader pages.
  int PagesInFlight() const { return static_cast<int>(max_slots_); }

 private:
  enum class Step { kRobots, kHead, kWaitPage, kLoading, kDone };
  struct Entry {
    Step step = Step::kHead;
    std::uint64_t order = 0;  // start order
    std::size_t slot = 0;     // the loader page, while kLoading
    std::chrono::steady_clock::time_point deadline{};
    LoadedPage page;
  };
  struct Slot {
    std::unique_ptr<LoaderPage> page;
    std::string url;  // empty while free
  };

  // Robots verdicts, the HEAD of `url` when it needs one, loads for the pages waiting for a
  // loader page (`url` first), and one HEAD of a page started ahead. False when a HEAD request
  // was ended by Stop.
  bool Advance(const std::string& url);
  // True when the HEAD request was ended by Stop.
  bool DoHead(const std::string& url);
  void Launch(const std::string& url, Entry& entry, std::size_t slot);
  // A free loader page, made when fewer than the limit exist; nullopt when all are busy.
  std::optional<std::size_t> FreeSlot();
  // Reads a finished load, or ends a load past its deadline.
  void Finish(Entry& entry, bool timed_out);
  void FreeSlotOf(Entry& entry);
  std::vector<std::string> InStartOrder() const;

  Browser& browser_;
  EventPump& pump_;
  HeadRequest head_;
  BrowserLoaderOptions options_;
  std::size_t max_slots_ = 1;
  bool shown_page_ = false;  // the browser has no loader pages: its shown page is the one
  std::vector<Slot> slots_;
  std::map<std::string, Entry> entries_;  // started and not yet taken, by address
  std::uint64_t next_order_ = 0;
  std::unique_ptr<MultiFetcher> robots_fetcher_;
  std::unique_ptr<RobotsCache> robots_;
};

}  // namespace vellumark
