// The fast loader: pages fetched with GET requests several at a time (MultiFetcher) and read
// with the HTML5 parser (html_page.h), no browser and no scripts. One GET answers both what the
// HEAD check asked (the content type, the header summary) and what the browser gave (title,
// links, text); bodies that are not HTML are not read.
//
// With `obey_robots`, each origin's robots.txt is fetched before its first page and a page it
// does not allow comes back `robots_excluded`, unfetched. Pages are parsed when taken, so pages
// loaded ahead cost memory only for their bytes.
//
// The event pump is the caller's and must outlive the loader.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "indexer/page_loader.h"
#include "indexer/robots.h"
#include "net/multi_fetcher.h"

namespace vellumark {

struct FastLoaderOptions {
  FetchOptions fetch;       // requests in flight, per host, deadline and size cap per page
  bool obey_robots = true;  // honour the sites' robots.txt
  std::string agent = std::string(kRobotsAgent);
};

class FastLoader final : public PageLoader {
 public:
  FastLoader(EventPump& pump, FastLoaderOptions options = {});
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
  struct Page {
    std::optional<MultiFetcher::Id> fetch;  // set once the request is queued
    bool waiting_for_robots = false;
    bool robots_excluded = false;
  };
  void Fetch(const std::string& url, Page& page);
  // Takes in ended robots.txt fetches and starts the pages that waited for them.
  void Advance();
  bool Ready(const Page& page) const;
  LoadedPage Read(const std::string& url, const Page& page);

  FastLoaderOptions options_;
  MultiFetcher fetcher_;
  RobotsCache robots_;
  std::map<std::string, Page> pages_;  // started and not yet taken, by address
  std::vector<std::string> waiting_;   // pages waiting for their robots.txt, in start order
};

}  // namespace vellumark
