// The fast loader: pages fetched with GET requests several at a time (MultiFetcher) and read
// with the HTML5 parser (html_page.h), no browser and no scripts. One GET answers both what the
// HEAD check asked (the content type, the header summary) and what the browser gave (title,
// links, text); bodies that are not HTML are not read.
//
// With `obey_robots`, each origin's robots.txt is fetched before its first page and a page it
// does not allow comes back `robots_excluded`, unfetched.
//
// Reading a page (parsing it, and splitting its words when the loader knows the delimiters)
// costs far more processor time than fetching it, so it runs on reading threads of the
// loader's own: each page goes to them as soon as its fetch ends, and the loop's own thread
// finds it read when its turn comes, while it was recording the words of the pages before.
// At most the pages loaded ahead wait read and not taken.
//
// Every member is called from the user-interface thread; the reading threads touch only the
// page handed to them. The event pump is the caller's and must outlive the loader.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "indexer/page_loader.h"
#include "indexer/robots.h"
#include "net/multi_fetcher.h"
#include "util/work_queue.h"

namespace vellumark {

struct FastLoaderOptions {
  FetchOptions fetch;       // requests in flight, per host, deadline and size cap per page
  bool obey_robots = true;  // honour the sites' robots.txt
  std::string agent = std::string(kRobotsAgent);
  // The index's delimiter characters: when set, each page's words are split and put in word
  // list order on the reading threads (LoadedPage::words).
  std::optional<std::u32string> word_delimiters;
};

class FastLoader final : public PageLoader {
 public:
  FastLoader(EventPump& pump, FastLoaderOptions options = {});
  ~FastLoader() override;
  FastLoader(const FastLoader&) = delete;
  FastLoader& operator=(const FastLoader&) = delete;

  int LoadAhead() const override { return options_.fetch.max_in_flight; }
  void Start(const std::string& url) override;
  bool Started(const std::string& url) const override { return pages_.contains(url); }
  std::optional<LoadedPage> Take(const std::string& url,
                                 const std::function<bool()>& check_stop) override;
  void Pump() override;
  void Cancel(const std::string& url) override;
  void CancelAll() override;

  const MultiFetcher& Fetcher() const { return fetcher_; }

 private:
  struct Reading;  // a fetched page on a reading thread: the fetch in, the page out
  struct Page {
    std::optional<MultiFetcher::Id> fetch;  // set once the request is queued
    std::shared_ptr<Reading> reading;       // set once the fetch ended and the page went to be read
    bool waiting_for_robots = false;
    bool robots_excluded = false;
  };
  void Fetch(const std::string& url, Page& page);
  // Takes in ended robots.txt fetches and starts the pages that waited for them, and hands
  // the pages whose fetch ended to the reading threads, in start order.
  void Advance();
  bool Ready(const Page& page) const;

  FastLoaderOptions options_;
  MultiFetcher fetcher_;
  RobotsCache robots_;
  std::map<std::string, Page> pages_;  // started and not yet taken, by address
  std::vector<std::string> started_;   // pages fetching, in start order
  std::vector<std::string> waiting_;   // pages waiting for their robots.txt, in start order
  WorkQueue readers_;                  // last: its threads end before what they use goes
};

}  // namespace vellumark
