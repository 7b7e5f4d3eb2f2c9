#include "app/core/search_bar_search.h"

namespace vellumark {

SearchBarSearch::SearchBarSearch(ProgramContext& context, TdmKiv& dm, Browser& browser,
                                 Dialogs& dialogs, SearchBar& bar, StatusView& status)
    : bar_(bar), view_(bar), search_(context, dm, browser, dialogs, view_, status) {
  bar_.find = [this] { search_.bbFindClick(); };
  bar_.next = [this] { search_.bbNextClick(); };
}

SearchBarSearch::~SearchBarSearch() {
  bar_.find = nullptr;
  bar_.next = nullptr;
  ReleaseRanges();
}

}  // namespace vellumark
