// Find in page: the "Scroll to next <F3>" command. It looks for the search sample in the page
// the browser shows, selects the next occurrence and scrolls it into view; each press goes on
// after the last occurrence, and when nothing more is found the user is told so and the next
// press starts at the top again. The browser's text ranges do the searching.
//
// The state between presses is FindActive (in the program context, since other search bar
// actions clear it), the address of the document the search began on, a range over that
// document's body and the range of the last occurrence. The browser, dialogs, view and context
// must outlive this object; the ranges are released with it or by ReleaseRanges.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/dialogs.h"
#include "search/search_view.h"
#include "util/context.h"

namespace vellumark {

class TFindInPage final {
 public:
  TFindInPage(ProgramContext& context, Browser& browser, Dialogs& dialogs, SearchView& view);
  TFindInPage(const TFindInPage&) = delete;
  TFindInPage& operator=(const TFindInPage&) = delete;

  void bbNextClick();
  // Drops the ranges (at program end, before the browser goes).
  void ReleaseRanges();

  const std::string& FindDocumentUrl() const { return find_document_url_; }

 private:
  // Runs the search over the browser (steps that call it); false when nothing was found.
  bool FindNext(const std::vector<std::string>& words);

  ProgramContext& context_;
  Browser& browser_;
  Dialogs& dialogs_;
  SearchView& view_;
  std::string find_document_url_;              // Url of the document when the search began
  std::unique_ptr<TextRange> document_range_;  // the whole body of that document
  std::unique_ptr<TextRange> find_range_;      // the last occurrence found
};

}  // namespace vellumark
