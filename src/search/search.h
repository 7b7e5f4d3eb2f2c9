// The search bar's search commands: Find (bbFindClick) and find in page (bbNextClick).
//
// TSearch owns the whole of both commands, from the first check (an empty sample, the history
// of the sample box) to the shown page; the search bar hands its buttons and keys over as they
// are. Find turns the sample into words, looks every word up in the word tables of the current
// location, adds the weights of each word's pages into scores kept in memory (intersected word
// by word for All Words), writes the result page "SrchRes.htm" in the program folder with one
// numbered entry per page, best first, and hands it to the browser without waiting for it to
// load.
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
#include <string_view>
#include <vector>

#include "platform/browser.h"
#include "platform/dialogs.h"
#include "platform/view.h"
#include "search/find_in_page.h"
#include "search/result_page.h"
#include "search/scores.h"
#include "search/search_view.h"
#include "search/word_lists.h"
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

  // The Find command. Refused without a message while a Find, an indexing run, an export or an
  // import is active.
  void bbFindClick();
  // Find in page. Refused without a message while a Find or an indexing run is active. The
  // first one after a Find waits for the result page to load.
  void bbNextClick();

  bool FindRunning() const { return running_; }
  // How long a listing with "Show" waits for one page to load before it counts as not found.
  static constexpr int kDefaultPageWaitMs = 60000;
  void SetPageWaitMs(int ms) { page_wait_ms_ = ms; }
  // The base address of the location of the last Find.
  const std::string& BaseAddress() const { return base_address_; }
  // The entries of the last result page, in the order written.
  const std::vector<TResultEntry>& Entries() const { return entries_; }
  TFindInPage& FindInPage() { return find_in_page_; }

  // --- the steps of Find; they use the mode, options and words of the Find in progress ---

  // Looks `word` up in the word tables that can hold a match and adds the pages of every
  // matching record to `target`. True when a record was found. Each word table is read
  // through a statement the location's database keeps prepared while it stays open.
  bool QueryWord(TScores& target, const std::string& word, std::uint8_t multiplier);
  // Adds the pages of a page list to `target`: weight x multiplier per page.
  static void AddPageList(TScores& target, std::string_view list, std::uint8_t multiplier);
  // Scores the pages for `words` by mode, then writes the summary and the entries.
  void WriteResults(const std::vector<std::string>& words);
  // Writes the "Text found:" line for the lower-cased page text, when the sample occurs in it.
  void WriteTextSample(const std::string& text);

 private:
  // What an entry shows of its page, read from Files before the listing starts.
  struct PageRow {
    bool found = false;      // false: the page is missing from Files
    std::string address;     // base address + relative address
    std::string title;       // File_Title
    std::string start_text;  // File_Text
  };

  void Find();
  // Fills result_ with the pages of `words` and their scores, by mode.
  void Score(const std::vector<std::string>& words);
  // The Files row of each ranked page, in the same order.
  std::vector<PageRow> ReadPageRows(const std::vector<TRankedPage>& ranked);
  // Writes the entries; takes the strings out of `rows`.
  void WriteEntries(const std::vector<TRankedPage>& ranked, std::vector<PageRow>& rows,
                    std::int64_t count);
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
  int page_wait_ms_ = kDefaultPageWaitMs;
  std::string base_address_;
  std::vector<TResultEntry> entries_;
  TResultPageFile page_;
  bool result_page_pending_ = false;  // the last Find's page was handed over, maybe loading
  TScores result_;                    // the pages of the Find in progress and their scores
  TScores result1_;                   // All Words: the pages of the word being added
  TWordLists word_lists_;             // the location's words, for the sub-word form
  std::vector<std::string_view> inside_words_;  // the stored words that hold a sample word
  // The Find in progress.
  TSearchMode mode_ = smAnyWords;
  bool sub_word_ = false;
  bool show_sample_ = false;
  std::string sample_;              // as typed
  std::vector<std::string> words_;  // as searched
};

}  // namespace vellumark
