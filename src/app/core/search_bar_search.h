// The search bar joined to the search layer: SearchBarSearchView shows the search bar window
// to TSearch as its SearchView, and SearchBarSearch owns the TSearch of a run and gives the
// search bar's Find and Next hooks (button, Enter, F3) to its bbFindClick and bbNextClick.
#pragma once

#include <string>
#include <vector>

#include "app/core/search_bar.h"
#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/view.h"
#include "search/search.h"
#include "search/search_view.h"
#include "store/data_module.h"
#include "util/context.h"

namespace vellumark {

// The search bar's window, with the mode the bar keeps from its mode combo.
class SearchBarSearchView final : public SearchView {
 public:
  explicit SearchBarSearchView(SearchBar& bar) : bar_(bar) {}

  std::string SearchText() override { return bar_.view().SearchText(); }
  void FocusSearchText() override { bar_.view().FocusSearchText(); }
  std::vector<std::string> History() override { return bar_.view().History(); }
  void SetHistory(const std::vector<std::string>& items) override { bar_.view().SetHistory(items); }
  TSearchMode SearchMode() override { return bar_.search_mode; }
  bool SubWord() override { return bar_.view().SubWord(); }
  bool ShowSample() override { return bar_.view().ShowSample(); }
  void SetFindEnabled(bool enabled) override { bar_.view().SetFindEnabled(enabled); }

 private:
  SearchBar& bar_;
};

class SearchBarSearch final {
 public:
  // Sets the bar's `find` and `next` hooks; everything passed must outlive this object.
  // `status` is the status line the "Show" listing reports on (the index window's).
  SearchBarSearch(ProgramContext& context, TdmKiv& dm, Browser& browser, Dialogs& dialogs,
                  SearchBar& bar, StatusView& status);
  // Unsets the hooks and releases the find-in-page ranges.
  ~SearchBarSearch();
  SearchBarSearch(const SearchBarSearch&) = delete;
  SearchBarSearch& operator=(const SearchBarSearch&) = delete;

  TSearch& search() { return search_; }
  // Drops the find-in-page ranges; at shutdown, before the browser goes.
  void ReleaseRanges() { search_.FindInPage().ReleaseRanges(); }

 private:
  SearchBar& bar_;
  SearchBarSearchView view_;
  TSearch search_;
};

}  // namespace vellumark
