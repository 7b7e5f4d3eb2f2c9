// The search bar's search commands: Find (bbFindClick) and find in page (bbNextClick).
//
// TSearch owns the whole of both commands, from the first check (an empty sample, the history
// of the sample box) to the shown page; the search bar hands its buttons and keys over as they
// are. Find turns the sample into words, looks every word up in the word tables of the current
// location, adds the weights of each word's pages into the scratch table Result (intersected
// through Result1 for All Words), writes the result page "SrchRes.htm" in the program folder
// with one numbered entry per page, best first, and shows it in the browser.
//
// While a Find runs (a listing with "Show" visits every page and lets events run), Find, Next
// and the sample box are disabled, and FindRunning() tells the indexer not to start. Pages of
// equal score are listed in page-number order.
//
// The context, data module, browser, dialogs, views and the status line (the index window's)
// must outlive this object. The search bar owns it (shell/search_bar.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/view.h"
#include "search/find_in_page.h"
#include "search/result_page.h"
#include "search/search_view.h"
#include "store/data_module.h"
#include "util/context.h"
#include "util/search_mode.h"
#include "web/url.h"

namespace vellumark {

// One entry written to the result page.
struct TResultEntry {
  std::int64_t rank;    // the number shown in front of the entry
  std::int64_t score;   // Result_Score
  int file_no;          // File_No
  std::string address;  // base address + relative address
  std::string title;    // File_Title (may be empty)
};

// The history rule of the sample box: a non-empty sample not equal (exactly) to any item is
// inserted as the first item. Returns true when it was inserted.
bool AddToHistory(std::vector<std::string>& items, const std::string& sample);

class TSearch final {
 public:
  TSearch(ProgramContext& context, TdmKiv& dm, Browser& browser, Dialogs& dialogs, SearchView& view,
          StatusView& status);
  TSearch(const TSearch&) = delete;
  TSearch& operator=(const TSearch&) = delete;

  // The Find command. Refused without a message while a Find or an indexing run is active.
  void bbFindClick();
  // Find in page. Refused without a message while a Find or an indexing run is active.
  void bbNextClick();

  bool FindRunning() const { return running_; }
  // The base address of the location of the last Find.
  const std::string& BaseAddress() const { return base_address_; }
  // The entries of the last result page, in the order written.
  const std::vector<TResultEntry>& Entries() const { return entries_; }
  TFindInPage& FindInPage() { return find_in_page_; }

  // --- the steps of Find; they use the mode, options and words of the Find in progress ---

  // Looks `word` up in the word tables that can hold a match and adds the pages of every
  // matching record to `target` (Result or Result1). True when a record was found.
  bool QueryWord(TTable& target, const std::string& word, std::uint8_t multiplier);
  // Adds the page list of quQuery's current row to `target`: weight x multiplier per page.
  void AddPageList(TTable& target, std::uint8_t multiplier);
  // Scores the pages for `words` by mode, then writes the summary and the entries.
  void WriteResults(const std::vector<std::string>& words);
  // Writes the "Text found:" line for the lower-cased page text, when the sample occurs in it.
  void WriteTextSample(const std::string& text);

 private:
  struct Ranked {
    int file_no;
    std::int64_t score;
  };

  void Find();
  // The Result records, highest score first, equal scores by page number.
  std::vector<Ranked> RankedResults();
  // Keeps the records of `result` whose page is in `result1`, adding its score there.
  void Intersect(TTable& result, TTable& result1);
  void WriteEntries(const std::vector<Ranked>& ranked, std::int64_t count);
  void WriteSampleOfPage(const std::string& address);
  void ShowResultPage();

  ProgramContext& context_;
  TdmKiv& dm_;
  Browser& browser_;
  Dialogs& dialogs_;
  SearchView& view_;
  StatusView& status_;
  TFindInPage find_in_page_;

  bool running_ = false;
  std::string base_address_;
  std::vector<TResultEntry> entries_;
  TResultPageFile page_;
  // The Find in progress.
  TSearchMode mode_ = smAnyWords;
  bool sub_word_ = false;
  bool show_sample_ = false;
  std::string sample_;              // as typed
  std::vector<std::string> words_;  // as searched
};

}  // namespace vellumark
