// A Browser double that serves pages from a table: address -> title, links, body text.
// Navigate records the address and shows the page (an unknown address shows an empty page
// with that address; a page with an address of its own shows that one, as after a redirect).
// `busy_polls` keeps the browser busy for that many Busy() reads after
// each Navigate (-1: busy for ever); `fail_next` makes the next member call throw.
//
// With `loader_pages`, the browser makes loader pages that serve the same table: each load is
// recorded in `navigations` too, stays unfinished for `busy_polls` waits on any loader page
// (loads progress side by side; a page that `hangs` never finishes), and `most_loading` keeps
// the most loads that were in flight at once.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser.h"

namespace vellumark::testing {

struct FakePage {
  std::string title;
  std::vector<std::string> links;
  std::string text;
  std::string url{};   // where the load ends (a redirect); empty: the address navigated to
  bool hangs = false;  // a load in a loader page never finishes
};

class FakeBrowser final : public Browser {
 public:
  void SetVisible(bool visible) override {
    Check();
    visible_ = visible;
  }
  bool Visible() override { return visible_; }

  void Navigate(const std::string& url) override {
    Check();
    navigations.push_back(url);
    url_ = url;
    auto it = pages.find(url);
    page_ = it != pages.end() ? it->second : FakePage{};
    if (!page_.url.empty()) url_ = page_.url;
    busy_left_ = busy_polls;
  }
  bool Busy() override {
    Check();
    if (busy_left_ < 0) return true;
    if (busy_left_ > 0) {
      --busy_left_;
      return true;
    }
    return false;
  }
  void WaitWhileBusy(int) override { Busy(); }

  std::string DocumentUrl() override {
    Check();
    return url_;
  }
  std::string DocumentTitle() override {
    Check();
    return page_.title;
  }
  std::vector<std::string> DocumentLinks() override {
    Check();
    return page_.links;
  }
  std::unique_ptr<TextRange> CreateBodyTextRange() override;
  std::unique_ptr<LoaderPage> CreateLoaderPage() override;

  std::map<std::string, FakePage> pages;
  std::vector<std::string> navigations;
  int busy_polls = 0;
  bool fail_next = false;
  // What the last select() chose, as offsets into the body text.
  std::size_t selected_start = 0, selected_end = 0;
  int selections = 0;
  bool loader_pages = false;
  int loading = 0;                   // loads in flight in loader pages
  int most_loading = 0;              // the most at once
  std::vector<std::string> stopped;  // loads ended by Stop
  std::vector<class FakeLoaderPage*> live_pages;

 private:
  friend class FakeTextRange;
  friend class FakeLoaderPage;
  void Check() {
    if (fail_next) {
      fail_next = false;
      throw BrowserError("browser call failed");
    }
  }
  bool visible_ = false;
  std::string url_;
  FakePage page_;
  int busy_left_ = 0;
};

// A text range over the fake page's body text: [start, end) byte offsets.
class FakeTextRange final : public TextRange {
 public:
  FakeTextRange(FakeBrowser& owner, std::string text)
      : owner_(owner), text_(std::move(text)), start_(0), end_(text_.size()) {}

  std::string Text() override { return text_.substr(start_, end_ - start_); }

  void SetEndPoint(const std::string& how, TextRange& other) override {
    auto& o = static_cast<FakeTextRange&>(other);
    if (how == "StartToEnd")
      start_ = o.end_;
    else if (how == "StartToStart")
      start_ = o.start_;
    else if (how == "EndToEnd")
      end_ = o.end_;
    else if (how == "EndToStart")
      end_ = o.start_;
    else
      throw BrowserError("bad end point " + how);
    if (start_ > end_) {  // a collapsed range keeps the end that moved
      if (how.rfind("Start", 0) == 0)
        end_ = start_;
      else
        start_ = end_;
    }
  }

  bool findText(const std::string& needle) override {
    if (needle.empty()) return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    for (std::size_t i = start_; i + needle.size() <= end_; ++i) {
      bool match = true;
      for (std::size_t k = 0; k < needle.size() && match; ++k) {
        match = lower(text_[i + k]) == lower(needle[k]);
      }
      if (match) {
        start_ = i;
        end_ = i + needle.size();
        return true;
      }
    }
    return false;
  }

  int CompareEndPoints(const std::string& how, TextRange& other) override {
    auto& o = static_cast<FakeTextRange&>(other);
    std::size_t a = how.rfind("Start", 0) == 0 ? start_ : end_;
    std::size_t b =
        how.size() >= 5 && how.compare(how.size() - 5, 5, "Start") == 0 ? o.start_ : o.end_;
    return a < b ? -1 : (a > b ? 1 : 0);
  }

  void select() override {
    owner_.selected_start = start_;
    owner_.selected_end = end_;
    ++owner_.selections;
  }
  void scrollIntoView() override {}

  std::size_t start() const { return start_; }
  std::size_t end() const { return end_; }

 private:
  FakeBrowser& owner_;
  std::string text_;
  std::size_t start_, end_;
};

inline std::unique_ptr<TextRange> FakeBrowser::CreateBodyTextRange() {
  Check();
  return std::make_unique<FakeTextRange>(*this, page_.text);
}

// A loader page of the fake browser.
class FakeLoaderPage final : public LoaderPage {
 public:
  explicit FakeLoaderPage(FakeBrowser& owner) : owner_(owner) { owner_.live_pages.push_back(this); }
  ~FakeLoaderPage() override {
    Settle();
    std::erase(owner_.live_pages, this);
  }

  void Load(const std::string& url) override {
    owner_.Check();
    Settle();
    owner_.navigations.push_back(url);
    auto it = owner_.pages.find(url);
    page_ = it != owner_.pages.end() ? it->second : FakePage{};
    url_ = page_.url.empty() ? url : page_.url;
    busy_left_ = page_.hangs ? -1 : owner_.busy_polls;
    if (busy_left_ != 0) {
      loading_ = true;
      owner_.most_loading = std::max(owner_.most_loading, ++owner_.loading);
    }
  }
  void Stop() override {
    if (loading_) owner_.stopped.push_back(url_);
    busy_left_ = 0;
    Settle();
  }
  bool Ready() override { return busy_left_ == 0; }
  void WaitReady(int) override {
    for (FakeLoaderPage* page : owner_.live_pages) page->Tick();
  }
  PageDocument Read() override {
    owner_.Check();
    return {url_, page_.title, page_.links, page_.text};
  }

 private:
  void Tick() {
    if (busy_left_ > 0 && --busy_left_ == 0) Settle();
  }
  void Settle() {
    if (loading_) --owner_.loading;
    loading_ = false;
  }
  FakeBrowser& owner_;
  std::string url_;
  FakePage page_;
  int busy_left_ = 0;
  bool loading_ = false;
};

inline std::unique_ptr<LoaderPage> FakeBrowser::CreateLoaderPage() {
  if (!loader_pages) return nullptr;
  return std::make_unique<FakeLoaderPage>(*this);
}

}  // namespace vellumark::testing
